#include "contacts/contact_file.h"

#include "contacts/contact_record.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr char SeparatorByte = char(0xE3);
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// A line's key fields as the file holds them: everything up to the second separator (or the
// end), with the position of the first separator in it, -1 when there is none.
struct KeyFields
{
    QByteArrayView bytes;
    qsizetype separator = -1;
};

KeyFields keyFields(QByteArrayView line)
{
    const char *data = line.data();
    const auto *first = static_cast<const char *>(std::memchr(data, SeparatorByte, line.size()));
    if (!first)
        return {line};
    const qsizetype afterFirst = first - data + 1;
    const auto *second = static_cast<const char *>(
        std::memchr(data + afterFirst, SeparatorByte, line.size() - afterFirst));
    return {second ? line.first(second - data) : line, afterFirst - 1};
}

// The key of a line in the file's own bytes: surname, blank, name, blank.
QByteArray rawKey(QByteArrayView line)
{
    const KeyFields fields = keyFields(line);
    QByteArray key = fields.bytes.toByteArray();
    if (fields.separator >= 0)
        key[fields.separator] = ' ';
    else
        key += ' ';
    key += ' ';
    return key;
}

// Whether a line's key is the given one (in the file's bytes), compared where the line lies.
bool hasKey(QByteArrayView line, QByteArrayView key)
{
    const KeyFields fields = keyFields(line);
    const QByteArrayView bytes = fields.bytes;
    const qsizetype separator = fields.separator;
    if (key.size() != bytes.size() + (separator >= 0 ? 1 : 2) || key.back() != ' ')
        return false;
    if (separator < 0)
        return key[bytes.size()] == ' ' && key.first(bytes.size()) == bytes;
    return key[separator] == ' ' && key.first(separator) == bytes.first(separator)
        && key.sliced(separator + 1, bytes.size() - separator - 1) == bytes.sliced(separator + 1);
}

// While an operation runs the file is normal; afterwards it is hidden again, whatever happened.
class Unhidden
{
public:
    Unhidden(FileAttributes &attributes, QString path)
        : m_attributes(attributes)
        , m_path(std::move(path))
    {
        m_attributes.setNormal(m_path);
    }
    ~Unhidden()
    {
        if (QFileInfo::exists(m_path))
            m_attributes.setHidden(m_path);
    }
    Unhidden(const Unhidden &) = delete;
    Unhidden &operator=(const Unhidden &) = delete;

private:
    FileAttributes &m_attributes;
    QString m_path;
};

// What follows the 18th separator of a line; empty when it has fewer.
QByteArrayView unseenTail(QByteArrayView line)
{
    const char *data = line.data();
    const char *end = data + line.size();
    for (int i = 0; i < ContactRecord::FieldCount; ++i) {
        const auto *separator = static_cast<const char *>(std::memchr(data, SeparatorByte, end - data));
        if (!separator)
            return {};
        data = separator + 1;
    }
    return QByteArrayView(data, end - data);
}

// Copies the whole of source to destination; false on a read or write error.
bool copyAll(QFile &source, QFile &destination)
{
    constexpr qint64 SmallBlock = 1 << 12;
    constexpr qint64 Block = 1 << 20;
    QByteArray block(qsizetype(qBound(SmallBlock, source.size(), Block)), Qt::Uninitialized);
    for (;;) {
        const qint64 got = source.read(block.data(), block.size());
        if (got <= 0)
            return got == 0;
        if (destination.write(block.constData(), got) != got)
            return false;
    }
}

// Copies source to the twin and renames the twin over target: target is whole, old or new.
bool copyThroughTwin(const QString &source, const QString &twinPath, const QString &target)
{
    QFile from(source);
    if (!from.open(QIODevice::ReadOnly))
        return false;
    QFile twin(twinPath);
    if (!twin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (!copyAll(from, twin)) {
        twin.close();
        QFile::remove(twinPath);
        return false;
    }
    return TextFile::commitTwin(twin, target);
}

} // namespace

ContactFile::ContactFile(const QString &programDirectory, FileAttributes &attributes)
    : m_directory(programDirectory)
    , m_attributes(attributes)
{
}

QString ContactFile::path() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv"));
}

QString ContactFile::twinPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv2"));
}

QString ContactFile::backupPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.bak"));
}

bool ContactFile::ensureExists()
{
    // A directory in the file's place is no contact file.
    if (const QFileInfo info(path()); info.exists())
        return info.isFile();
    // A rewrite that was cut short before its rename leaves the complete new file as the twin.
    if (QFileInfo(twinPath()).isFile()
        && std::rename(QFile::encodeName(twinPath()).constData(), QFile::encodeName(path()).constData()) == 0) {
        m_attributes.setHidden(path());
        return true;
    }
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    m_attributes.setHidden(path());
    return true;
}

std::optional<QStringList> ContactFile::readKeys() const
{
    Unhidden unhidden(m_attributes, path());
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList keys;
    LineReader reader(file);
    QByteArrayView line;
    while (reader.next(line)) {
        if (!line.isEmpty())
            keys << Windows1252::decode(rawKey(line));
    }
    if (reader.failed())
        return std::nullopt;
    return keys;
}

std::optional<QString> ContactFile::findByKey(const QString &key) const
{
    Unhidden unhidden(m_attributes, path());
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray wanted = Windows1252::encode(key);
    LineReader reader(file);
    QByteArrayView line;
    while (reader.next(line)) {
        if (!line.isEmpty() && hasKey(line, wanted))
            return Windows1252::decode(line);
    }
    return std::nullopt;
}

bool ContactFile::append(const QString &line)
{
    Unhidden unhidden(m_attributes, path());
    // Not a write at the end of the file: a write cut short there (the program killed, the disk
    // full) would leave part of a line behind. The old bytes and the new line go to the twin,
    // which takes the file's place in one step.
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) {
        // The file deleted from outside: the contact starts a new one. The file is created empty
        // first, so that the twin never stands alone: the next start would take it for the file.
        if (QFileInfo::exists(path()) || !QFile(path()).open(QIODevice::WriteOnly | QIODevice::NewOnly)
            || !file.open(QIODevice::ReadOnly))
            return false;
    }
    QFile twin(twinPath());
    if (!twin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray bytes;
    bool ok = copyAll(file, twin);
    // A last line that lacks its line end (the file was edited by hand) keeps its own line.
    if (ok && file.size() > 0) {
        char last = 0;
        ok = file.seek(file.size() - 1) && file.getChar(&last);
        if (last != '\n')
            bytes += LineEnd;
    }
    file.close();
    bytes += Windows1252::encode(line);
    bytes += LineEnd;
    if (!ok || twin.write(bytes) != bytes.size()) {
        twin.close();
        QFile::remove(twinPath());
        return false;
    }
    return TextFile::commitTwin(twin, path());
}

namespace {

// Copies the file to its twin line by line, letting decide() choose what goes into the twin for
// each line (nothing, the line itself, or another line), then renames the twin over the file.
bool rewrite(const QString &path, const QString &twinPath, FileAttributes &attributes,
             const std::function<std::optional<QByteArrayView>(QByteArrayView)> &decide)
{
    Unhidden unhidden(attributes, path);
    QFile twin(twinPath);
    if (!twin.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QFile file(path);
    bool ok = file.open(QIODevice::ReadOnly);
    if (ok) {
        LineReader reader(file);
        QByteArrayView line;
        QByteArray out;
        while (ok && reader.next(line)) {
            if (const std::optional<QByteArrayView> written = decide(line)) {
                out.append(written->data(), written->size());
                out += LineEnd;
                if (out.size() >= (1 << 20)) {
                    ok = twin.write(out) == out.size();
                    out.clear();
                }
            }
        }
        ok = ok && !reader.failed() && twin.write(out) == out.size();
        file.close();
    }
    if (!ok) {
        twin.close();
        QFile::remove(twinPath);
        return false;
    }
    return TextFile::commitTwin(twin, path);
}

} // namespace

bool ContactFile::replaceByKey(const QString &oldLine, const QString &newLine)
{
    const QByteArray oldKey = Windows1252::encode(ContactRecord::keyOf(oldLine));
    QByteArray replacement = Windows1252::encode(newLine);
    // Only the first line with the key is replaced, the one a lookup shows; any other line that
    // shares the key stays as it is.
    bool replaced = false;
    return rewrite(path(), twinPath(), m_attributes, [&](QByteArrayView line) -> std::optional<QByteArrayView> {
        if (!replaced && !line.isEmpty() && hasKey(line, oldKey)) {
            replaced = true;
            // Text after the 18th separator shows in no box, so no edit can have meant to drop
            // it: in a hand-edited file it can be further fields, or whole contacts joined to
            // this one by bare CR line ends.
            replacement += unseenTail(line);
            return QByteArrayView(replacement);
        }
        return line;
    });
}

bool ContactFile::removeEqual(const QString &line)
{
    const QByteArray removed = Windows1252::encode(line);
    return rewrite(path(), twinPath(), m_attributes, [&](QByteArrayView current) -> std::optional<QByteArrayView> {
        if (current == removed)
            return std::nullopt;
        return current;
    });
}

bool ContactFile::backup()
{
    Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(path(), backupPath() + QStringLiteral("2"), backupPath());
}

bool ContactFile::restore()
{
    Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(backupPath(), twinPath(), path());
}
