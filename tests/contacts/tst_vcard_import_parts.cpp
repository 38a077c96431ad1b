#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_import.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactRecord;

namespace {

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(VCARD_FIXTURES "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray smallJpeg(int shade)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(QColor(shade, 255 - shade, 90));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return buffer.data();
}

// Cards of contacts numbered from first, every third with a picture of its own.
QByteArray numberedCards(int first, int count)
{
    QByteArray cards;
    for (int i = first; i < first + count; ++i) {
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Pérez " + QByteArray::number(i)
            + ";Ana;;;\r\nTEL;TYPE=CELL:600" + QByteArray::number(i) + "\r\n";
        if (i % 3 == 0)
            cards += "PHOTO;ENCODING=b;TYPE=JPEG:" + smallJpeg(i % 256).toBase64() + "\r\n";
        cards += "END:VCARD\r\n";
    }
    return cards;
}

QByteArray padding(int lines)
{
    return QByteArray("NOTE:una nota que nadie lee, para llenar la tarjeta\r\n").repeated(lines);
}

struct Imported
{
    QStringList lines; // with the photo field as "foto" when there is one
    QList<QByteArray> photos; // the pictures the lines name, in their order
    QStringList keys;
    QList<int> counts;
    int photoFiles = 0; // in the photo folder
};

Imported outcomeOf(const VCardImport &import, const QString &photoDirectory)
{
    Imported outcome;
    for (QString line : import.lines()) {
        Fields fields = fieldsOf(line);
        if (!fields[ubicacionfoto].isEmpty()) {
            QFile photo(fields[ubicacionfoto]);
            outcome.photos << (photo.open(QIODevice::ReadOnly) ? photo.readAll() : QByteArray("missing"));
            fields[ubicacionfoto] = QStringLiteral("foto");
        }
        outcome.lines << lineOf(fields);
    }
    outcome.keys = import.keys();
    const VCardImportCounts &c = import.counts();
    outcome.counts = {c.imported, c.alreadyInList, c.repeatedInFile, c.unreadable, c.textChanged,
        c.extrasLeftOut, c.namesCompleted, c.photosLeftOut};
    outcome.photoFiles = int(QDir(photoDirectory).entryList(QDir::Files).size());
    return outcome;
}

} // namespace

class TestVCardImportParts : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { VCardImport::setParts(0, 0); }

    void partsGiveWhatOneReadingGives_data();
    void partsGiveWhatOneReadingGives();
    void cancelledPartsKeepNothing();
};

void TestVCardImportParts::partsGiveWhatOneReadingGives_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("readers");

    // Every fixture, cards that cannot be read among them, again and again: later parts repeat the
    // contacts of earlier ones, pictures included, and those are left out with their pictures.
    QByteArray fixtures;
    for (const char *name :
        {"phone_21.vcf", "mail_service_30.vcf", "broken.vcf", "desktop_30.vcf", "v40.vcf"})
        fixtures += fixture(name);
    QByteArray mixed;
    for (int round = 0; round < 12; ++round)
        mixed += numberedCards(round * 20, 40) + fixtures;
    QTest::newRow("repeated contacts across parts, two readers") << mixed << 2;
    QTest::newRow("repeated contacts across parts, four readers") << mixed << 4;

    // The first "END:VCARD" then "BEGIN:VCARD" after the middle belongs to a 2.1 AGENT inside a
    // card: a cut there is no cut between cards, and the file is read in one go.
    const QByteArray outer = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Exterior;Ana\r\nAGENT:\r\nBEGIN:VCARD\r\n"
                             "VERSION:2.1\r\nN:Agente;Uno\r\n"
        + padding(400) + "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:2.1\r\nN:Agente;Dos\r\n" + padding(20)
        + "END:VCARD\r\nTEL;CELL:600\r\nEND:VCARD\r\n";
    QTest::newRow("agent card at the cut") << numberedCards(0, 30) + outer + numberedCards(100, 30) << 2;
}

// The same file read in parts and in one go gives the same lines, keys, counts and pictures.
void TestVCardImportParts::partsGiveWhatOneReadingGives()
{
    QFETCH(QByteArray, file);
    QFETCH(int, readers);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("contactos.vcf"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(file), file.size());
    out.close();
    const VCardDates dates = VCardDates::fromShortFormat(QStringLiteral("d/M/yy"));
    ContactListModel list;
    list.setKeys({QStringLiteral("pérez 7 ana ")}); // in the list already, letter case aside

    const QString onePhotos = dir.filePath(QStringLiteral("Fotos1"));
    VCardImport oneGo(list, {QStringLiteral("1/1/25"), dates, onePhotos});
    QFile whole(path);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    QCOMPARE(oneGo.read(whole), VCardImport::Outcome::Done);
    const Imported expected = outcomeOf(oneGo, onePhotos);
    QVERIFY(!expected.photos.isEmpty());
    if (QTest::currentDataTag() == QByteArray("agent card at the cut")) {
        // The card with the agents inside is one card; the agents are none of their own.
        QVERIFY(expected.keys.contains(QStringLiteral("Exterior Ana ")));
        QVERIFY(!expected.keys.contains(QStringLiteral("Agente Dos ")));
    } else {
        QVERIFY(expected.counts[0] > 100 && expected.counts[1] == 1);
        QVERIFY(expected.counts[2] > 0 && expected.counts[3] > 0);
    }

    // Parts of 2 % of the file and more: four for two readers, eight for four.
    VCardImport::setParts(readers, file.size() / 50);
    const QString partsPhotos = dir.filePath(QStringLiteral("Fotos2"));
    VCardImport inParts(list, {QStringLiteral("1/1/25"), dates, partsPhotos});
    QCOMPARE(inParts.readFile(path), VCardImport::Outcome::Done);
    const Imported got = outcomeOf(inParts, partsPhotos);
    QCOMPARE(got.lines, expected.lines);
    QCOMPARE(got.keys, expected.keys);
    QCOMPARE(got.counts, expected.counts);
    QVERIFY(got.photos == expected.photos);
    // No picture is left behind for a card that was left out.
    QCOMPARE(got.photoFiles, int(expected.photos.size()));
    QCOMPARE(expected.photoFiles, int(expected.photos.size()));
}

// "Cancelar" while the parts are read: nothing is kept and no picture stays.
void TestVCardImportParts::cancelledPartsKeepNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("contactos.vcf"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    const QByteArray file = numberedCards(0, 600);
    out.write(file);
    out.close();
    VCardImport::setParts(2, file.size() / 3);
    ContactListModel list;
    const QString photos = dir.filePath(QStringLiteral("Fotos"));
    VCardImport import(
        list, {QStringLiteral("1/1/25"), VCardDates::fromShortFormat(QStringLiteral("d/M/yy")), photos});
    int asked = 0;
    QCOMPARE(import.readFile(path, [&](qint64) { return ++asked < 150; }), VCardImport::Outcome::Stopped);
    QCOMPARE(import.keys().size(), 0);
    QCOMPARE(import.recordBytes().size(), 0);
    QVERIFY(!QFileInfo::exists(photos) || QDir(photos).isEmpty());
}

QTEST_MAIN(TestVCardImportParts)
#include "tst_vcard_import_parts.moc"
