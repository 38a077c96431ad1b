#include "contacts/contact_list_model.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>
#include <numeric>

namespace {

// The first comparison level: the letter without accent or case. "ñ" keeps a place of its own
// right after "n"; weights are doubled to leave room for it.
constexpr char16_t TableSize = 0x250; // Latin-1 and the Latin Extended blocks

std::array<char32_t, TableSize> makeWeights()
{
    std::array<char32_t, TableSize> weights {};
    for (char16_t u = 0; u < TableSize; ++u) {
        QChar c(u);
        if (c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().front();
        weights[u] = char32_t(c.toCaseFolded().unicode()) << 1;
    }
    weights[0x00D1] = weights[0x00F1] = (char32_t(u'n') << 1) | 1; // Ñ ñ
    return weights;
}

const std::array<char32_t, TableSize> Weights = makeWeights();

inline char32_t baseWeight(char16_t u)
{
    return u < TableSize ? Weights[u] : char32_t(QChar(u).toCaseFolded().unicode()) << 1;
}

// Sorting a list of n entries with compare() costs about n log n calls, each reaching into two
// strings somewhere in memory. Instead the first level of every key is turned into bytes that sort
// like it ("collation bytes"), and the entries are sorted by eight of those bytes at a time.
//
// A weight becomes a number (ñ's odd weight packed between n and o), then one byte when small,
// which every letter of Spanish and Portuguese is, or three bytes otherwise. No byte of a
// character is 0: a 0 byte marks the end of the key, so a key sorts before its longer extensions.
constexpr quint32 FirstLongCode = 0xF0;

inline quint32 codeOf(char32_t weight)
{
    constexpr char32_t Enye = (char32_t(u'n') << 1) | 1;
    return (weight >> 1) + (weight >= Enye ? 1 : 0) + 1;
}

const std::array<quint32, TableSize> Codes = [] {
    std::array<quint32, TableSize> codes {};
    for (std::size_t u = 0; u < TableSize; ++u)
        codes[u] = codeOf(Weights[u]);
    return codes;
}();

inline quint32 collationCode(char16_t u)
{
    return u < TableSize ? Codes[u] : codeOf(baseWeight(u));
}

// One entry while sorting: the next collation bytes of its key, eight to a chunk, big-endian so
// that chunks compare like the bytes; the key's row in file order; where its next bytes start.
// Three chunks hold most keys whole, so the sort rarely has to look at a key again: that would
// be a read somewhere in memory for every entry.
struct SortEntry
{
    std::array<quint64, 3> chunks;
    quint32 row;
    quint32 cursor; // character * 3 + bytes of that character already taken
};
static_assert(sizeof(SortEntry) == 32);

// Keys longer than this are sorted by plain comparison; no contact file has them.
constexpr qsizetype LongestChunkedKey = (qsizetype(1) << 30) - 1;

// Puts the collation bytes of key from the entry's cursor on into its chunks, as many as fit,
// and moves the cursor past them. After the end of the key come 0 bytes.
void fillChunks(SortEntry &entry, QStringView key)
{
    constexpr int Room = int(sizeof(SortEntry::chunks));
    quint8 bytes[Room];
    int filled = 0;
    qsizetype position = entry.cursor / 3;
    quint32 taken = entry.cursor % 3;
    const char16_t *characters = key.utf16();
    while (filled < Room && position < key.size()) {
        const quint32 code = collationCode(characters[position]);
        if (code < FirstLongCode) {
            bytes[filled++] = quint8(code);
            ++position;
            continue;
        }
        const quint8 longCode[3] = {quint8(FirstLongCode + (code >> 14)), quint8(1 + ((code >> 7) & 0x7F)),
            quint8(1 + (code & 0x7F))};
        while (taken < 3 && filled < Room)
            bytes[filled++] = longCode[taken++];
        if (taken == 3) {
            taken = 0;
            ++position;
        }
    }
    std::fill(bytes + filled, bytes + Room, quint8(0));
    for (std::size_t chunk = 0; chunk < entry.chunks.size(); ++chunk)
        entry.chunks[chunk] = qFromBigEndian<quint64>(bytes + 8 * chunk);
    entry.cursor = quint32(position * 3 + taken);
}

inline bool chunksBefore(const SortEntry &a, const SortEntry &b)
{
    if (a.chunks[0] != b.chunks[0])
        return a.chunks[0] < b.chunks[0];
    if (a.chunks[1] != b.chunks[1])
        return a.chunks[1] < b.chunks[1];
    return a.chunks[2] < b.chunks[2];
}

// Sorts the entries by their keys: by their chunks, then each run of equal chunks by the keys'
// next bytes, and so on until the keys end.
void sortByChunks(std::vector<SortEntry> &entries, const QString *keys)
{
    std::vector<std::pair<SortEntry *, SortEntry *>> pending {
        {entries.data(), entries.data() + entries.size()}};
    bool first = true;
    while (!pending.empty()) {
        const auto [begin, end] = pending.back();
        pending.pop_back();
        if (!first) {
            for (SortEntry *entry = begin; entry != end; ++entry)
                fillChunks(*entry, keys[entry->row]);
        }
        first = false;
        std::sort(begin, end, [](const SortEntry &a, const SortEntry &b) { return chunksBefore(a, b); });
        for (SortEntry *run = begin; run != end;) {
            SortEntry *runEnd = run + 1;
            while (runEnd != end && runEnd->chunks == run->chunks)
                ++runEnd;
            if (runEnd - run > 1 && (run->chunks.back() & 0xFF) != 0) {
                pending.emplace_back(run, runEnd);
            } else if (runEnd - run > 1) {
                // The keys ended with equal first levels: accents and letter case decide, then the
                // order of arrival.
                std::sort(run, runEnd, [keys](const SortEntry &a, const SortEntry &b) {
                    const int order = ContactListModel::compare(keys[a.row], keys[b.row]);
                    return order != 0 ? order < 0 : a.row < b.row;
                });
            }
            run = runEnd;
        }
    }
}

} // namespace

std::vector<quint32> ContactListModel::listOrder(const QStringList &keys)
{
    std::vector<quint32> order;
    order.reserve(keys.size());
    const bool chunked = keys.size() < qsizetype(std::numeric_limits<quint32>::max())
        && std::all_of(
            keys.cbegin(), keys.cend(), [](const QString &key) { return key.size() <= LongestChunkedKey; });
    if (!chunked) {
        order.resize(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
            [&keys](quint32 a, quint32 b) { return compare(keys[a], keys[b]) < 0; });
        return order;
    }
    // In file order the keys lie one after the other in memory: the first bytes of all of them
    // are read in one sweep.
    std::vector<SortEntry> entries;
    entries.reserve(keys.size());
    for (qsizetype row = 0; row < keys.size(); ++row) {
        SortEntry entry {{}, quint32(row), 0};
        fillChunks(entry, keys[row]);
        entries.push_back(entry);
    }
    sortByChunks(entries, keys.constData());
    for (const SortEntry &entry : entries)
        order.push_back(entry.row);
    return order;
}

ContactListModel::ContactListModel(QObject *parent)
    : QAbstractListModel(parent)
{ }

int ContactListModel::compare(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] == b[i])
            continue;
        const char32_t wa = baseWeight(a[i].unicode());
        const char32_t wb = baseWeight(b[i].unicode());
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b, Qt::CaseInsensitive);
}

QModelIndex ContactListModel::index(int row, int column, const QModelIndex &parent) const
{
    // The view asks for every row at each layout: straight to the answer, without the virtual calls
    // of the general version.
    return !parent.isValid() && column == 0 && row >= 0 && row < count() ? createIndex(row, column)
                                                                         : QModelIndex();
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return keyAt(index.row());
    return {};
}

bool ContactListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > this->count())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int removed = 0; removed < count; ++removed) {
        const quint32 stored = m_order[row];
        m_keys.remove(stored);
        m_order.erase(m_order.begin() + row);
        for (quint32 &later : m_order)
            later -= later > stored ? 1 : 0;
    }
    endRemoveRows();
    return true;
}

void ContactListModel::setKeys(QStringList keys)
{
    // The list read again after a saved change is mostly the one shown. Where every key is the
    // same in the same place, so is the order, and the view keeps its layout; where a few changed,
    // only those are placed again.
    if (!m_keys.isEmpty() && keys.size() == m_keys.size()) {
        std::vector<quint32> changed;
        for (qsizetype row = 0; row < keys.size() && changed.size() <= MostPlacedAgain; ++row) {
            if (keys[row] != m_keys[row])
                changed.push_back(quint32(row));
        }
        if (changed.empty()) {
            m_keys = std::move(keys);
            return;
        }
        if (changed.size() <= MostPlacedAgain) {
            beginResetModel();
            m_keys = std::move(keys);
            placeAgain(changed);
            endResetModel();
            return;
        }
    }
    beginResetModel();
    m_keys = std::move(keys);
    m_order = listOrder(m_keys);
    endResetModel();
}

void ContactListModel::placeAgain(const std::vector<quint32> &changed)
{
    std::erase_if(m_order,
        [&changed](quint32 stored) { return std::binary_search(changed.cbegin(), changed.cend(), stored); });
    for (const quint32 stored : changed) {
        // Before it go the keys that sort before it, and equal ones that came earlier.
        const auto place = std::partition_point(m_order.begin(), m_order.end(), [&](quint32 entry) {
            const int order = compare(m_keys[entry], m_keys[stored]);
            return order < 0 || (order == 0 && entry < stored);
        });
        m_order.insert(place, stored);
    }
}

void ContactListModel::clear()
{
    setKeys({});
}

int ContactListModel::addKey(const QString &key)
{
    const auto place = std::upper_bound(m_order.cbegin(), m_order.cend(), key,
        [this](const QString &k, quint32 entry) { return compare(k, m_keys[entry]) < 0; });
    const int row = int(place - m_order.cbegin());
    beginInsertRows(QModelIndex(), row, row);
    m_order.insert(place, quint32(m_keys.size()));
    m_keys.append(key);
    endInsertRows();
    return row;
}

void ContactListModel::addKeys(const QStringList &keys)
{
    if (keys.size() <= 1) {
        for (const QString &key : keys)
            addKey(key);
        return;
    }
    addKeys(keys, listOrder(keys));
}

void ContactListModel::addKeys(const QStringList &keys, std::vector<quint32> added)
{
    Q_ASSERT(added.size() == std::size_t(keys.size()));
    const auto first = quint32(m_keys.size());
    for (quint32 &entry : added)
        entry += first;
    beginResetModel();
    m_keys.append(keys);
    std::vector<quint32> order;
    order.reserve(m_order.size() + added.size());
    // Of equal entries the one that came first stays first: the present ones, then the new ones in
    // their order.
    std::merge(m_order.cbegin(), m_order.cend(), added.cbegin(), added.cend(), std::back_inserter(order),
        [this](quint32 a, quint32 b) {
            const int sorted = compare(m_keys[a], m_keys[b]);
            return sorted < 0 || (sorted == 0 && a < b);
        });
    m_order = std::move(order);
    endResetModel();
}

QString ContactListModel::keyAt(int row) const
{
    return row >= 0 && row < count() ? m_keys.at(m_order[row]) : QString();
}

qsizetype ContactListModel::lowerBound(QStringView key) const
{
    const auto place = std::lower_bound(m_order.cbegin(), m_order.cend(), key,
        [this](quint32 entry, QStringView k) { return compare(m_keys[entry], k) < 0; });
    return place - m_order.cbegin();
}

bool ContactListModel::containsIgnoringCase(const QString &key) const
{
    // Entries equal but for letter case compare equal, so they stand together.
    QString lowered;
    for (qsizetype row = lowerBound(key); row < count() && compare(m_keys[m_order[row]], key) == 0; ++row) {
        if (lowered.isNull())
            lowered = caseless(key);
        if (caseless(m_keys[m_order[row]]) == lowered)
            return true;
    }
    return false;
}

std::pair<int, int> ContactListModel::exactRows(const QString &key) const
{
    int first = -1;
    int found = 0;
    for (qsizetype row = lowerBound(key); row < count() && compare(m_keys[m_order[row]], key) == 0; ++row) {
        if (m_keys[m_order[row]] == key) {
            if (first < 0)
                first = int(row);
            ++found;
        }
    }
    return {first, found};
}
