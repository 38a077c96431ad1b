#include "contacts/contact_list_model.h"

#include <algorithm>
#include <array>

namespace {

// The first comparison level: the letter without accent or case. "ñ" keeps a place of its own
// right after "n"; weights are doubled to leave room for it.
constexpr char16_t TableSize = 0x250; // Latin-1 and the Latin Extended blocks

std::array<char32_t, TableSize> makeWeights()
{
    std::array<char32_t, TableSize> weights{};
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

} // namespace

ContactListModel::ContactListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

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

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_keys.at(index.row());
    return {};
}

bool ContactListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > this->count())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_keys.remove(row, count);
    endRemoveRows();
    return true;
}

void ContactListModel::setKeys(QStringList keys)
{
    beginResetModel();
    m_keys = std::move(keys);
    std::stable_sort(m_keys.begin(), m_keys.end(),
                     [](const QString &a, const QString &b) { return compare(a, b) < 0; });
    endResetModel();
}

void ContactListModel::clear()
{
    setKeys({});
}

int ContactListModel::addKey(const QString &key)
{
    const auto place = std::upper_bound(m_keys.cbegin(), m_keys.cend(), key,
                                        [](const QString &k, const QString &entry) { return compare(k, entry) < 0; });
    const int row = int(place - m_keys.cbegin());
    beginInsertRows(QModelIndex(), row, row);
    m_keys.insert(row, key);
    endInsertRows();
    return row;
}

QString ContactListModel::keyAt(int row) const
{
    return row >= 0 && row < count() ? m_keys.at(row) : QString();
}

qsizetype ContactListModel::lowerBound(QStringView key) const
{
    const auto place = std::lower_bound(m_keys.cbegin(), m_keys.cend(), key,
                                        [](const QString &entry, QStringView k) { return compare(entry, k) < 0; });
    return place - m_keys.cbegin();
}

bool ContactListModel::containsIgnoringCase(const QString &key) const
{
    // Entries equal but for letter case compare equal, so they stand together.
    const QString lowered = key.toLower();
    for (qsizetype row = lowerBound(key); row < m_keys.size() && compare(m_keys.at(row), key) == 0; ++row) {
        if (m_keys.at(row).toLower() == lowered)
            return true;
    }
    return false;
}

std::pair<int, int> ContactListModel::exactRows(const QString &key) const
{
    int first = -1;
    int found = 0;
    for (qsizetype row = lowerBound(key); row < m_keys.size() && compare(m_keys.at(row), key) == 0; ++row) {
        if (m_keys.at(row) == key) {
            if (first < 0)
                first = int(row);
            ++found;
        }
    }
    return {first, found};
}
