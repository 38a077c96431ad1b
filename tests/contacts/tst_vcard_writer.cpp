#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_import.h"
#include "contacts/vcard_reader.h"
#include "contacts/vcard_writer.h"
#include "platform/windows1252.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ContactRecord;

namespace {

const VCardDates Dates = VCardDates::fromShortFormat(QStringLiteral("d/M/yy"));

QString lineOfList(const QStringList &fields)
{
    Fields record;
    for (int i = 0; i < FieldCount; ++i)
        record[i] = fields.value(i);
    return lineOf(record);
}

// The writer takes the lines as the contact file holds them.
QByteArray cardOf(VCardWriter &writer, const QString &line)
{
    return writer.card(Windows1252::encode(line));
}

bool writeLines(VCardWriter &writer, QIODevice &device, const QStringList &lines,
    const std::function<bool(qsizetype)> &keepGoing = {})
{
    QByteArrayList bytes;
    for (const QString &line : lines)
        bytes << Windows1252::encode(line);
    return writer.write(device, QList<QByteArrayView>(bytes.cbegin(), bytes.cend()), keepGoing);
}

// A picture with a few areas of colour, to be told apart from another after JPEG.
QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    QPainter painter(&image);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(40, 180, 60));
    painter.fillRect(0, height / 2, width / 2, height - height / 2, QColor(30, 50, 210));
    return image;
}

// Whether two pictures of the same size look alike: each pixel of a coarse grid close.
bool alike(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    for (int y = a.height() / 8; y < a.height(); y += std::max(1, a.height() / 4)) {
        for (int x = a.width() / 8; x < a.width(); x += std::max(1, a.width() / 4)) {
            const QColor ca = a.pixelColor(x, y);
            const QColor cb = b.pixelColor(x, y);
            if (std::abs(ca.red() - cb.red()) > 24 || std::abs(ca.green() - cb.green()) > 24
                || std::abs(ca.blue() - cb.blue()) > 24)
                return false;
        }
    }
    return true;
}

QList<QByteArray> physicalLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestVCardWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void cardIsExact();
    void folding_data();
    void folding();
    void roundTrip_data();
    void roundTrip();
    void roundTripOfTheFixtures();
    void smallJpegIsEmbeddedAsItIs();
    void largePictureIsScaledTo512();
    void photoThatCannotBeReadIsLeftOut_data();
    void photoThatCannotBeReadIsLeftOut();
    void linesThatCannotBeParsed();
    void writeStopsWhenTheDeviceRefuses();
    void manyCardsMadeApartComeInOrder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    // Writes the lines and imports them into an empty book.
    std::unique_ptr<VCardImport> roundTripOf(const QStringList &lines, QByteArray *written = nullptr);
    ContactListModel m_emptyList;
};

void TestVCardWriter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

std::unique_ptr<VCardImport> TestVCardWriter::roundTripOf(const QStringList &lines, QByteArray *written)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    VCardWriter writer(Dates);
    if (!writeLines(writer, buffer, lines))
        return nullptr;
    buffer.close();
    if (written)
        *written = buffer.data();
    auto import = std::make_unique<VCardImport>(
        m_emptyList, VCardImportSettings {u"1/1/99"_qs, Dates, m_dir->filePath(u"Fotos"_qs)});
    buffer.open(QIODevice::ReadOnly);
    if (import->read(buffer) != VCardImport::Outcome::Done)
        return nullptr;
    return import;
}

void TestVCardWriter::cardIsExact()
{
    const QString line = lineOfList({u"de la Cruz"_qs, u"Ana María"_qs, u"Anita, la flaca"_qs, u"34"_qs,
        u"Alcalá"_qs, u"Madrid"_qs, u"España"_qs, u"C/ Mayor 5; 2º"_qs, u"91 555 12 34"_qs,
        u"600 11 22 33"_qs, u"ana@correo.example"_qs, u"5/3/24"_qs, u"23/4/1980"_qs, u"Casada"_qs, u"61,5"_qs,
        u"1.68"_qs, u"Médica\\cirujana"_qs, {}});
    VCardWriter writer(Dates);
    QCOMPARE(cardOf(writer, line),
        QByteArray("BEGIN:VCARD\r\n"
                   "VERSION:3.0\r\n"
                   "FN:Ana María de la Cruz\r\n"
                   "N:de la Cruz;Ana María;;;\r\n"
                   "NICKNAME:Anita\\, la flaca\r\n"
                   "ADR;TYPE=HOME:;;C/ Mayor 5\\; 2º;Alcalá;Madrid;;España\r\n"
                   "TEL;TYPE=HOME,VOICE:91 555 12 34\r\n"
                   "TEL;TYPE=CELL:600 11 22 33\r\n"
                   "EMAIL;TYPE=INTERNET:ana@correo.example\r\n"
                   "BDAY:1980-04-23\r\n"
                   "TITLE:Médica\\\\cirujana\r\n"
                   "X-ORVALIA-FECHA-ALTA:5/3/24\r\n"
                   "X-ORVALIA-EDAD:34\r\n"
                   "X-ORVALIA-FECHA-NACIMIENTO:23/4/1980\r\n"
                   "X-ORVALIA-SITUACION-CIVIL:Casada\r\n"
                   "X-ORVALIA-PESO:61\\,5\r\n"
                   "X-ORVALIA-ALTURA:1.68\r\n"
                   "END:VCARD\r\n"));
    // Without any field but the names: the registration date is written all the same.
    QCOMPARE(cardOf(writer, lineOfList({u"Gil"_qs, u"Eva"_qs})),
        QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eva Gil\r\nN:Gil;Eva;;;\r\nX-ORVALIA-FECHA-ALTA:\r\n"
                   "END:VCARD\r\n"));
}

void TestVCardWriter::folding_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("short") << u"Gómez"_qs;
    QTest::newRow("exactly 75 bytes") << QString(75 - 5, u'a');
    QTest::newRow("76 bytes") << QString(76 - 5, u'a');
    QTest::newRow("ASCII") << QString(400, u'x');
    QTest::newRow("two-byte letters") << QString(300, u'ñ');
    QTest::newRow("three-byte signs") << QString(200, QChar(0x20AC));
    QTest::newRow("four-byte characters") << QString::fromUtf8(QByteArray("\xF0\x9F\x98\x80").repeated(90));
    QTest::newRow("mixed") << QString(u"añ€😀x"_qs).repeated(40);
}

void TestVCardWriter::folding()
{
    QFETCH(QString, text);
    const QByteArray logical = "NOTE:" + text.toUtf8();
    const QByteArray folded = VCardWriter::folded(logical);
    QVERIFY(folded.endsWith("\r\n"));
    QByteArray unfolded;
    const QList<QByteArray> lines = physicalLines(folded);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        QVERIFY(line.endsWith('\r'));
        line.chop(1);
        QVERIFY2(line.size() <= 75, line.constData());
        QVERIFY(line.size() >= 72 || i == lines.size() - 1); // folded as late as a character allows
        if (i > 0) {
            QVERIFY(line.startsWith(' '));
            line.remove(0, 1);
        }
        QStringDecoder utf8(QStringDecoder::Utf8);
        utf8(line);
        QVERIFY2(!utf8.hasError(), "a character split between two lines");
        unfolded += line;
    }
    QCOMPARE(unfolded, logical);
}

void TestVCardWriter::roundTrip_data()
{
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("every field") << QStringList {u"García Pérez"_qs, u"José Ángel"_qs, u"Pepe"_qs, u"47"_qs,
        u"Córdoba"_qs, u"Córdoba"_qs, u"España"_qs, u"Avda. de la Libertad 12, 3º izq."_qs,
        u"957 12 34 56"_qs, u"666-123-456"_qs, u"jose@correo.example"_qs, u"5/3/24"_qs, u"23/4/1978"_qs,
        u"Casado"_qs, u"82,5"_qs, u"1.79"_qs, u"Maestro"_qs};
    QTest::newRow("code page signs and escapes") << QStringList {u"de la Cruz, hijo"_qs, u"Ana; María"_qs,
        u"“La Flaca” €"_qs, {}, u"Œuvre Ÿ"_qs, u"Straße"_qs, u"Ã\\"_qs, u"C:\\Casa\\n;,"_qs, {}, {},
        u"a,b@c.example"_qs, u"1/1/00"_qs, {}, {}, {}, {}, u"Ingeniera; jefa, obra"_qs};
    QTest::newRow("blanks kept") << QStringList {
        u"Gomez "_qs, u" Ana"_qs, u"  "_qs, {}, {}, {}, {}, u" 5 "_qs};
    QTest::newRow("name of blanks") << QStringList {u"Solo"_qs, u" "_qs};
    QTest::newRow("registration date empty") << QStringList {u"Gil"_qs, u"Eva"_qs};
    QTest::newRow("birthday as text") << QStringList {
        u"Gil"_qs, u"Luz"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, u"2/2/22"_qs, u"hacia 1970"_qs};
    QTest::newRow("birthday without year, mobile only")
        << QStringList {u"Gil"_qs, u"Sol"_qs, {}, {}, {}, {}, {}, {}, {}, u"600"_qs, {}, {}, u"29/2"_qs};
    QTest::newRow("birthday with two digits")
        << QStringList {u"Gil"_qs, u"Mar"_qs, {}, {}, {}, {}, {}, {}, u"91"_qs, {}, {}, {}, u"23/4/80"_qs};
    QTest::newRow("control characters the file holds") << QStringList {u"Tab\tulador"_qs,
        u"Raro\u0081\u008D\u009D"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, u"x\u0001y"_qs};
    QTest::newRow("long fields, folded") << QStringList {QString(u"Ñandú"_qs).repeated(30),
        QString(u"Él€"_qs).repeated(50), {}, {}, {}, {}, {}, QString(u"calle "_qs).repeated(40)};
    QTest::newRow("text like addresses, fields of blanks") << QStringList {u"Gil"_qs, u"Ana"_qs, {}, {}, {},
        {}, {}, {}, u"tel:600"_qs, u" "_qs, u"mailto:a@b.example"_qs, {}, {}, {}, {}, {}, u"  "_qs};
    QTest::newRow("text like vCard") << QStringList {
        u"END:VCARD"_qs, u"BEGIN:VCARD"_qs, u"=0D=0A"_qs, u"item1.TEL:1"_qs};
}

void TestVCardWriter::roundTrip()
{
    QFETCH(QStringList, fields);
    const QString line = lineOfList(fields);
    QByteArray written;
    auto import = roundTripOf({line}, &written);
    QVERIFY(import);
    QCOMPARE(import->lines(), QStringList {line});
    QCOMPARE(import->counts().textChanged, 0);
    QStringDecoder utf8(QStringDecoder::Utf8);
    utf8(written);
    QVERIFY(!utf8.hasError());
    for (const QByteArray &physical : physicalLines(written))
        QVERIFY(physical.endsWith('\r') && physical.size() <= 76);
}

void TestVCardWriter::roundTripOfTheFixtures()
{
    // What the program made of other programs' cards survives an export and an import, each
    // picture as the same picture in a new file.
    for (const char *name : {"phone_21.vcf", "mail_service_30.vcf", "desktop_30.vcf", "v40.vcf"}) {
        QTemporaryDir first;
        ContactListModel list;
        VCardImport original(list, {u"9/9/19"_qs, Dates, first.filePath(u"Fotos"_qs)});
        QCOMPARE(original.readFile(QStringLiteral(VCARD_FIXTURES "/") + QLatin1String(name)),
            VCardImport::Outcome::Done);
        const QStringList lines = original.lines();
        auto again = roundTripOf(lines);
        QVERIFY(again);
        const QStringList back = again->lines();
        QCOMPARE(back.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const Fields a = fieldsOf(lines[i]);
            const Fields b = fieldsOf(back[i]);
            QCOMPARE(QStringList(b.begin(), b.begin() + ubicacionfoto),
                QStringList(a.begin(), a.begin() + ubicacionfoto));
            QCOMPARE(b[ubicacionfoto].isEmpty(), a[ubicacionfoto].isEmpty());
            if (!a[ubicacionfoto].isEmpty()) {
                QVERIFY(b[ubicacionfoto] != a[ubicacionfoto]);
                QVERIFY(alike(QImage(a[ubicacionfoto]), QImage(b[ubicacionfoto])));
            }
        }
    }
}

void TestVCardWriter::smallJpegIsEmbeddedAsItIs()
{
    const QString photo = m_dir->filePath(u"retrato.jpg"_qs);
    QVERIFY(picture(240, 320).save(photo, "JPEG", 85));
    QFile file(photo);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    const QString line = lineOfList(
        {u"Gil"_qs, u"Ana"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, photo});
    VCardWriter writer(Dates);
    QVERIFY(cardOf(writer, line).contains("PHOTO;ENCODING=b;TYPE=JPEG:"));
    auto import = roundTripOf({line});
    QVERIFY(import);
    const QString copy = fieldsOf(import->lines()[0])[ubicacionfoto];
    QVERIFY(!copy.isEmpty() && copy != photo);
    QFile copied(copy);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), bytes);
}

void TestVCardWriter::largePictureIsScaledTo512()
{
    const QString photo = m_dir->filePath(u"grande.png"_qs);
    const QImage large = picture(1200, 900);
    QVERIFY(large.save(photo, "PNG"));
    const QString tall = m_dir->filePath(u"alta.jpg"_qs);
    QVERIFY(picture(300, 2000).save(tall, "JPEG"));
    auto import = roundTripOf({lineOfList({u"Gil"_qs, u"Ana"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                                   {}, {}, {}, {}, photo}),
        lineOfList(
            {u"Gil"_qs, u"Eva"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, tall})});
    QVERIFY(import);
    const QImage wide(fieldsOf(import->lines()[0])[ubicacionfoto]);
    QCOMPARE(wide.size(), QSize(512, 384));
    QVERIFY(alike(wide, large.scaled(512, 384, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    const QImage high(fieldsOf(import->lines()[1])[ubicacionfoto]);
    QCOMPARE(high.size(), QSize(76, 512));
}

void TestVCardWriter::photoThatCannotBeReadIsLeftOut_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << u"missing"_qs;
    QTest::newRow("not a picture") << u"text"_qs;
    QTest::newRow("FIFO") << u"fifo"_qs;
    QTest::newRow("directory") << u"directory"_qs;
}

void TestVCardWriter::photoThatCannotBeReadIsLeftOut()
{
    QFETCH(QString, kind);
    const QString path = m_dir->filePath(u"foto.jpg"_qs);
    if (kind == u"text") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("esto no es una foto");
    } else if (kind == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"directory") {
        QVERIFY(QDir().mkdir(path));
    }
    VCardWriter writer(Dates);
    const QByteArray card = cardOf(writer,
        lineOfList({u"Gil"_qs, u"Ana"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, path}));
    QVERIFY(card.startsWith("BEGIN:VCARD\r\n") && card.endsWith("END:VCARD\r\n"));
    QVERIFY(!card.contains("PHOTO"));
}

void TestVCardWriter::linesThatCannotBeParsed()
{
    VCardWriter writer(Dates);
    // Two fields and no more: the card has what there is.
    QCOMPARE(cardOf(writer, u"GomezãAna"_qs),
        QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ana Gomez\r\n"
                   "N:Gomez;Ana;;;\r\nX-ORVALIA-FECHA-ALTA:\r\nEND:VCARD\r\n"));
    // Text after the 18th separator has no field to go to.
    QVERIFY(!cardOf(writer, lineOfList({u"Gil"_qs, u"Eva"_qs}) + u"resto"_qs).contains("resto"));
    // A blank line or one of separators only is no contact.
    QCOMPARE(cardOf(writer, QString()), QByteArray());
    QCOMPARE(cardOf(writer, QString(18, Separator)), QByteArray());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(writeLines(writer, buffer, {QString(), u"GilãEvaã"_qs, QString(5, Separator)}));
    QCOMPARE(buffer.data().count("BEGIN:VCARD"), 1);
    // A card needs a formatted name: without surname and name, what else there is.
    QVERIFY(cardOf(writer, u"ããPepeããããããã600ã"_qs).contains("\r\nFN:Pepe\r\n"));
    QVERIFY(cardOf(writer, u"ããããããããã600ã"_qs).contains("\r\nFN:600\r\n"));
}

void TestVCardWriter::writeStopsWhenTheDeviceRefuses()
{
    const QStringList lines {lineOfList({u"Gil"_qs, u"Ana"_qs}), lineOfList({u"Gil"_qs, u"Eva"_qs})};
    VCardWriter writer(Dates);
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QVERIFY(!writeLines(writer, readOnly, lines));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QList<qsizetype> asked;
    QVERIFY(!writeLines(writer, buffer, lines, [&](qsizetype done) {
        asked << done;
        return false; // "Cancelar"
    }));
    QCOMPARE(asked, QList<qsizetype> {1});
    QCOMPARE(buffer.data().count("BEGIN:VCARD"), 1);
}

// Thousands of lines are made into cards in batches, on other threads where the machine has
// processors to spare: the file holds the card of every line in the order given, and a cancel
// keeps exactly the cards before it.
void TestVCardWriter::manyCardsMadeApartComeInOrder()
{
    QStringList lines;
    QByteArray expected;
    VCardWriter writer(Dates);
    for (int i = 0; i < 5000; ++i) {
        // Every 7th line makes no card; the others differ in every field and in length.
        lines << (i % 7 == 3
                ? QString(FieldCount, Separator)
                : lineOfList({u"Núñez %1"_qs.arg(i), QString(i % 40, u'a'), {}, QString::number(i % 90), {},
                    {}, {}, u"Calle %1; piso %2"_qs.arg(i).arg(i % 9)}));
        expected += cardOf(writer, lines.back());
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(writeLines(writer, buffer, lines));
    QCOMPARE(writer.cardsWritten(), 5000 - 714);
    QVERIFY(buffer.data() == expected);

    QBuffer cancelled;
    cancelled.open(QIODevice::WriteOnly);
    qsizetype lastAsked = 0;
    bool inOrder = true;
    QVERIFY(!writeLines(writer, cancelled, lines, [&](qsizetype done) {
        inOrder = inOrder && done == lastAsked + 1;
        lastAsked = done;
        return done < 3000;
    }));
    QVERIFY(inOrder);
    QCOMPARE(lastAsked, 3000);
    QByteArray firstCards;
    for (int i = 0; i < 3000; ++i)
        firstCards += cardOf(writer, lines[i]);
    QVERIFY(cancelled.data() == firstCards);
}

QTEST_MAIN(TestVCardWriter)
#include "tst_vcard_writer.moc"
