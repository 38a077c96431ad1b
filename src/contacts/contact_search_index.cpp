#include "contacts/contact_search.h"

#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/contact_search_record.h"
#include "contacts/search_folding.h"
#include "platform/line_reader.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <new>
#include <string>

namespace {

// Zero bytes after the last record: a comparison reads 16 bytes at a time, one byte ahead.
constexpr qsizetype Padding = 32;
static_assert(Padding >= SearchFolding::ReadAhead);
// Record offsets are 32-bit.
constexpr qsizetype LargestText = qsizetype(0xFFFFFFFFu) - Padding;

// Whether the list's keys, as they came, are the file's: the same number, each the same text.
bool holdsKeys(const ContactListModel &list, const std::string &keyBytes, const std::vector<quint32> &keyEnds)
{
    const QStringList &keys = list.keysAsTheyCame();
    if (keys.size() != qsizetype(keyEnds.size()) || list.positionsByRow().size() != keyEnds.size())
        return false;
    for (std::size_t i = 0, from = 0; i < keyEnds.size(); from = keyEnds[i++]) {
        if (!Windows1252::decodesTo(
                QByteArrayView(keyBytes.data() + from, qsizetype(keyEnds[i] - from)), keys[qsizetype(i)]))
            return false;
    }
    return true;
}

} // namespace

std::optional<ContactSearch> ContactSearch::fromFile(const QString &path, const ContactListModel *list)
{
    // A file too large for the memory left is a file that cannot be read, not the end of the program.
    try {
        return build(path, list);
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
}

std::optional<ContactSearch> ContactSearch::build(const QString &path, const ContactListModel *list)
{
    QFile file;
    if (!RegularFile::open(file, path))
        return std::nullopt;
    ContactSearch index;
    // Most of a file is its fields; the split digits add a fifth at most in a usual one. The text
    // is written past its size, which grows ahead in large steps, and cut to what was written.
    const qint64 size = file.size();
    index.m_text.resize(qsizetype(std::min<qint64>(size, qint64(1) << 30) / 4 * 5) + Padding);
    qsizetype written = 0;
    // The list texts of all contacts (surname, blank, name, blank) one after the other, and where
    // each ends: decoded in one go, they need no string each.
    std::string keyBytes;
    keyBytes.reserve(std::size_t(std::min<qint64>(size, qint64(1) << 30) / 6));
    std::vector<quint32> keyEnds;
    std::vector<char> digits(MaxLineBytes + ContactRecord::FieldCount);
    LineReader reader(file);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue; // the list has no entry for a blank line
        line = line.first(std::min(line.size(), MaxLineBytes));
        // A record holds at most the line, its digits, 18 separators and 18 marks.
        const qsizetype room = 2 * (line.size() + ContactRecord::FieldCount);
        if (written + room > LargestText)
            return std::nullopt;
        if (written + room > index.m_text.size())
            index.m_text.resize(std::max(written + room, index.m_text.size() / 2 * 3));
        const qsizetype start = written;
        QByteArrayView key[2];
        written = ContactSearchRecord::write(index.m_text.data() + start, line, digits.data(), key)
            - index.m_text.constData();
        index.m_starts.push_back(quint32(start));
        keyBytes.append(key[0].data(), key[0].size()).append(1, ' ');
        keyBytes.append(key[1].data(), key[1].size()).append(1, ' ');
        keyEnds.push_back(quint32(keyBytes.size()));
    }
    if (reader.failed())
        return std::nullopt;
    file.close();
    index.m_starts.push_back(quint32(written));
    index.m_text.resize(written);
    index.m_text.append(Padding, '\0');
    index.m_text.squeeze();
    index.m_starts.shrink_to_fit();

    if (list && holdsKeys(*list, keyBytes, keyEnds)) {
        index.m_order = list->positionsByRow();
    } else {
        const QString keyText
            = Windows1252::decode(QByteArrayView(keyBytes.data(), qsizetype(keyBytes.size())));
        keyBytes = {};
        QStringList keys;
        keys.reserve(qsizetype(keyEnds.size()));
        for (std::size_t i = 0, from = 0; i < keyEnds.size(); from = keyEnds[i++])
            keys.append(QString::fromRawData(keyText.constData() + from, qsizetype(keyEnds[i] - from)));
        index.m_order = ContactListModel::listOrder(keys);
    }
    index.m_rows.resize(index.m_order.size());
    for (std::size_t row = 0; row < index.m_order.size(); ++row)
        index.m_rows[index.m_order[row]] = quint32(row);
    return index;
}

qsizetype ContactSearch::memoryBytes() const
{
    return m_text.capacity()
        + qsizetype(sizeof(quint32) * (m_starts.capacity() + m_order.capacity() + m_rows.capacity()));
}
