// vCard files: the reader on any bytes, in reads of any size, and the import of what it reads,
// checked by writing the imported contacts as cards and importing those again: the second import
// gives the same record lines, with nothing changed, left out or unreadable.
//
// The first byte of the input sets how many bytes the device hands over per read; the rest is
// the file.

#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_import.h"
#include "contacts/vcard_reader.h"
#include "contacts/vcard_writer.h"
#include "fuzz_support.h"
#include "platform/windows1252.h"
#include "trickle_device.h"

#include <QBuffer>

using namespace ContactRecord;

namespace {

const VCardDates Dates = VCardDates::fromShortFormat(QStringLiteral("d/M/yy"));

VCardImportSettings settings()
{
    // A folder that cannot be made: no picture is ever written.
    return {QStringLiteral("1/2/25"), Dates, QStringLiteral("/nonexistent-orvalia-fuzz/Fotos")};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray file = Fuzz::bytes(data + 1, size - 1);

    ContactListModel empty;
    VCardImport first(empty, settings());
    TrickleDevice device(file, 1 + data[0] % 64);
    FUZZ_CHECK(first.read(device) == VCardImport::Outcome::Done);
    const QStringList lines = first.lines();
    FUZZ_CHECK(lines.size() == first.counts().imported && first.keys().size() == lines.size());
    FUZZ_CHECK(first.savedPhotos().isEmpty());

    QStringList withoutPhotos;
    QByteArrayList fileLines; // as the contact file holds them
    for (qsizetype i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].count(Separator) == FieldCount);
        Fields fields = fieldsOf(lines[i]);
        for (const QString &field : fields) {
            for (QChar c : field)
                FUZZ_CHECK(isStorable(c));
        }
        FUZZ_CHECK(!fields[apellido].isEmpty() && !fields[nombre].isEmpty());
        FUZZ_CHECK(first.keys()[i] == keyOf(lines[i]));
        fields[ubicacionfoto].clear();
        withoutPhotos << lineOf(fields);
        fileLines << Windows1252::encode(withoutPhotos.back());
    }

    QBuffer cards;
    cards.open(QIODevice::WriteOnly);
    VCardWriter writer(Dates);
    FUZZ_CHECK(writer.write(cards, QList<QByteArrayView>(fileLines.cbegin(), fileLines.cend())));
    cards.close();
    cards.open(QIODevice::ReadOnly);
    VCardImport second(empty, settings());
    FUZZ_CHECK(second.read(cards) == VCardImport::Outcome::Done);
    FUZZ_CHECK(second.lines() == withoutPhotos);
    const VCardImportCounts &counts = second.counts();
    FUZZ_CHECK(counts.unreadable == 0 && counts.textChanged == 0 && counts.extrasLeftOut == 0);
    FUZZ_CHECK(counts.namesCompleted == 0 && counts.repeatedInFile == 0);
    return 0;
}
