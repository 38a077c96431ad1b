// Record lines: the code page, the line reader, the key and the fields of a line, and the contact
// file's own reading of keys, lookup and rewrites, checked against what the lines say.
//
// The first byte of the input sets how many bytes the device hands over per read, so that lines
// cross the reader's block boundaries; the rest is the file.

#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "fuzz_support.h"
#include "platform/file_attributes.h"
#include "platform/line_reader.h"
#include "platform/windows1252.h"
#include "trickle_device.h"

#include <QStringList>

using namespace ContactRecord;

namespace {

class NoAttributes : public FileAttributes
{
public:
    void setNormal(const QString &) override { }
    void setHidden(const QString &) override { }
};

QByteArray keyBytes(const QByteArray &line)
{
    return Windows1252::encode(keyOf(Windows1252::decode(line)));
}

// What follows the 18th separator.
QByteArray tail(const QByteArray &line)
{
    qsizetype from = 0;
    for (int i = 0; i < FieldCount; ++i) {
        const qsizetype separator = line.indexOf(char(0xE3), from);
        if (separator < 0)
            return {};
        from = separator + 1;
    }
    return line.mid(from);
}

void checkLine(const QByteArray &line)
{
    const QString text = Windows1252::decode(line);
    FUZZ_CHECK(Windows1252::encode(text) == line);
    const Fields fields = fieldsOf(text);
    FUZZ_CHECK(keyOf(text) == fields[apellido] + u' ' + fields[nombre] + u' ');

    // A composed line always has 18 separators, no line break, and reads back as its fields.
    const QString composed = lineOf(fields);
    FUZZ_CHECK(composed.count(Separator) == FieldCount);
    FUZZ_CHECK(!composed.contains(u'\r') && !composed.contains(u'\n'));
    Fields stored;
    for (int i = 0; i < FieldCount; ++i) {
        stored[i] = storable(fields[i]);
        const QString capital = capitalized(stored[i]);
        FUZZ_CHECK(capital.size() == stored[i].size() && storable(capital) == capital);
    }
    FUZZ_CHECK(fieldsOf(composed) == stored);
    FUZZ_CHECK(Windows1252::decode(Windows1252::encode(composed)) == composed);
    // A line that is already well formed is its own composition.
    const bool wellFormed = text.count(Separator) == FieldCount && text.endsWith(Separator)
        && storable(text).size() + FieldCount == text.size();
    if (wellFormed)
        FUZZ_CHECK(composed == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray file = Fuzz::bytes(data + 1, size - 1);
    const QList<QByteArray> lines = Fuzz::linesOf(file);

    // The reader gives every line, whatever the size of the reads.
    TrickleDevice device(file, 1 + data[0] % 64);
    LineReader reader(device);
    QByteArrayView line;
    qsizetype count = 0;
    while (reader.next(line)) {
        FUZZ_CHECK(count < lines.size() && line == lines.at(count));
        checkLine(line.toByteArray());
        ++count;
    }
    FUZZ_CHECK(!reader.failed() && count == lines.size());

    // The contact file agrees with the lines.
    NoAttributes attributes;
    ContactFile contacts(Fuzz::scratch(), attributes);
    Fuzz::write(contacts.path(), file);
    QStringList keys;
    for (const QByteArray &l : lines) {
        if (!l.isEmpty())
            keys << Windows1252::decode(keyBytes(l));
    }
    FUZZ_CHECK(contacts.readKeys() == keys);
    if (lines.isEmpty())
        return 0;

    const QByteArray &chosen = lines.at(data[0] % lines.size());
    const QString chosenKey = Windows1252::decode(keyBytes(chosen));
    const std::optional<QString> found = contacts.findByKey(chosenKey);
    if (chosen.isEmpty()) {
        FUZZ_CHECK(!found || keys.contains(chosenKey));
    } else {
        FUZZ_CHECK(found && keyBytes(Windows1252::encode(*found)) == keyBytes(chosen));
    }

    // Replacing the chosen line's contact: the first line with its key takes the new line and
    // keeps what no box shows; everything else is copied.
    Fields fields = fieldsOf(Windows1252::decode(chosen));
    fields[telefono] = QStringLiteral("555");
    const QString newLine = lineOf(fields);
    QList<QByteArray> expected = lines;
    for (QByteArray &l : expected) {
        if (!l.isEmpty() && keyBytes(l) == keyBytes(chosen)) {
            l = Windows1252::encode(newLine) + tail(l);
            break;
        }
    }
    FUZZ_CHECK(contacts.replaceByKey(Windows1252::decode(chosen), newLine));
    FUZZ_CHECK(Fuzz::read(contacts.path()) == Fuzz::joined(expected));

    // Removing the lines equal to one of them.
    const QByteArray removed = expected.at(data[0] % expected.size());
    expected.removeAll(removed);
    FUZZ_CHECK(contacts.removeEqual(Windows1252::decode(removed)));
    FUZZ_CHECK(Fuzz::read(contacts.path()) == Fuzz::joined(expected));

    // Appending.
    FUZZ_CHECK(contacts.append(newLine));
    expected << Windows1252::encode(newLine);
    FUZZ_CHECK(Fuzz::read(contacts.path()) == Fuzz::joined(expected));
    FUZZ_CHECK(!QFileInfo::exists(contacts.twinPath()));
    return 0;
}
