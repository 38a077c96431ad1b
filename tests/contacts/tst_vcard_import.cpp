#include "contact_fixtures.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_files.h"
#include "contacts/vcard_fit.h"
#include "contacts/vcard_import.h"
#include "contacts/vcard_reader.h"
#include "platform/windows1252.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ContactRecord;

Q_DECLARE_METATYPE(VCardImportCounts)

namespace {

const QString Today = QStringLiteral("15/6/25");

QString fixture(const QString &name)
{
    return QStringLiteral(VCARD_FIXTURES "/") + name;
}

// The counts in a fixed order, so that a failed comparison shows which one differs.
QList<int> listed(const VCardImportCounts &c)
{
    return {c.imported, c.alreadyInList, c.repeatedInFile, c.unreadable, c.textChanged, c.extrasLeftOut,
        c.namesCompleted, c.photosLeftOut};
}

VCardImportCounts counts(QList<int> values)
{
    values.resize(8);
    VCardImportCounts c;
    c.imported = values[0];
    c.alreadyInList = values[1];
    c.repeatedInFile = values[2];
    c.unreadable = values[3];
    c.textChanged = values[4];
    c.extrasLeftOut = values[5];
    c.namesCompleted = values[6];
    c.photosLeftOut = values[7];
    return c;
}

QColor colorAt(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24
        && std::abs(a.blue() - b.blue()) < 24;
}

} // namespace

class TestVCardImport : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void fixtureFields_data();
    void fixtureFields();
    void fixtureCounts_data();
    void fixtureCounts();
    void summaryLines_data();
    void summaryLines();
    void keyInTheListIsComparedAsAgregarDoes();
    void recordBytesAreWhatTheFileAppends();
    void eachCardGivesTheLineItGivesAlone();
    void fitted_data();
    void fitted();
    void dateForms_data();
    void dateForms();
    void bday_data();
    void bday();
    void fileAddressGivesItsPath();
    void chosenFileThatIsNoRegularFile_data();
    void chosenFileThatIsNoRegularFile();
    void stoppedImportKeepsNothing();
    void savedPhotoNeverOverwritesNorFollowsALink();
    void photosFolderThatIsALinkIsNotUsed();
    void photoFolderAndFileModes();
    void photoPathTheContactFileCannotHold();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ContactListModel m_list;

    QString photoDirectory() const { return m_dir->filePath(QStringLiteral("Fotos")); }
    VCardImportSettings settings() const
    {
        return {Today, VCardDates::fromShortFormat(QStringLiteral("d/M/yy")), photoDirectory()};
    }
    // Imports bytes into the list m_list holds.
    std::unique_ptr<VCardImport> importBytes(const QByteArray &bytes)
    {
        auto import = std::make_unique<VCardImport>(m_list, settings());
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        if (import->read(buffer) != VCardImport::Outcome::Done)
            return nullptr;
        return import;
    }
};

void TestVCardImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_list.clear();
}

void TestVCardImport::fixtureFields_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("fields"); // the first 17: the photo is checked on its own
    QTest::addColumn<QSize>("photoSize"); // no size: no photo
    QTest::addColumn<QPoint>("spot");
    QTest::addColumn<QColor>("color");

    const QSize none;
    // apellido, nombre, nick, edad, localidad, provincia, pais, domicilio, telefono, celular, email,
    // fechaalta, fechanac, estadocivil, peso, altura, ocupacion
    QTest::newRow("2.1 phone, UTF-8 quoted-printable")
        << u"phone_21.vcf"_qs << 0
        << QStringList {u"Muñoz"_qs, u"José María"_qs, {}, {}, u"Madrid"_qs, u"Madrid"_qs, u"España"_qs,
               u"Calle de Alcalá 12 Piso 3"_qs, u"911234567"_qs, u"+34600111222"_qs, u"jmm@correo.example"_qs,
               Today, u"12/8/1975"_qs, {}, {}, {}, {}}
        << QSize(16, 12) << QPoint(1, 1) << QColor(200, 30, 30);
    QTest::newRow("2.1 phone, ISO-8859-1, two mobiles")
        << u"phone_21.vcf"_qs << 1
        << QStringList {u"Peña"_qs, u"Lucía"_qs, {}, {}, {}, {}, {}, {}, u"600 444 555"_qs, u"600 222 333"_qs,
               {}, Today, {}, {}, {}, {}, u"Mecánica"_qs}
        << none << QPoint() << QColor();
    QTest::newRow("2.1 phone, Windows-1252, preferred mobile, photo not indented")
        << u"phone_21.vcf"_qs << 2
        << QStringList {u"Ibáñez"_qs, u"Raúl"_qs, u"“Rulo”"_qs, {}, {}, {}, {}, {}, u"933 000 111"_qs,
               u"677 000 222"_qs, {}, Today, {}, {}, {}, {}, {}}
        << QSize(12, 16) << QPoint(5, 1) << QColor(250, 250, 250);
    QTest::newRow("2.1 phone, card with an agent inside")
        << u"phone_21.vcf"_qs << 3
        << QStringList {u"Ortega"_qs, u"Marta"_qs, {}, {}, {}, {}, {}, {}, u"915 000 000"_qs, {}, {}, Today,
               {}, {}, {}, {}, {}}
        << none << QPoint() << QColor();
    QTest::newRow("3.0 mail service, groups and labels")
        << u"mail_service_30.vcf"_qs << 0
        << QStringList {u"Gómez Ruiz"_qs, u"Ana Belén"_qs, u"Anabel"_qs, {}, u"Alcalá de Henares"_qs,
               u"Madrid"_qs, u"España"_qs, u"Calle Mayor 5, 2º B"_qs, u"91 555 12 34"_qs,
               u"+34 611 22 33 44"_qs, u"agomez@trabajo.example"_qs, Today, u"23/4"_qs, {}, {}, {},
               u"Hospital Clínico, Pediatría"_qs}
        << none << QPoint() << QColor();
    QTest::newRow("3.0 mail service, no N, fax after voice")
        << u"mail_service_30.vcf"_qs << 1
        << QStringList {u"Rodríguez"_qs, u"Carlos Alberto"_qs, {}, {}, {}, {}, {}, {}, u"+34 912 000 000"_qs,
               {}, u"carlos@empresa.example"_qs, Today, u"30/1/1982"_qs, {}, {}, {}, u"Contable"_qs}
        << none << QPoint() << QColor();
    QTest::newRow("3.0 mail service, given name only, mobile by its label")
        << u"mail_service_30.vcf"_qs << 2
        << QStringList {u"-"_qs, u"Mamá"_qs, {}, {}, {}, {}, {}, {}, {}, u"+34 622 000 333"_qs, {}, Today, {},
               {}, {}, {}, u"Jubilada"_qs}
        << none << QPoint() << QColor();
    QTest::newRow("3.0 desktop, folded, escaped, TYPE lists")
        << u"desktop_30.vcf"_qs << 0
        << QStringList {u"de la Cruz"_qs, u"Sebastián"_qs, u"El Sebastián"_qs, {}, u"Buenos Aires"_qs,
               u"Ciudad Autónoma de Buenos Aires"_qs, u"Argentina"_qs, u"Av. Corrientes 1234, 5° piso"_qs,
               u"011 4444-5555"_qs, u"+54 9 11 5555-1234"_qs, u"sebas@correo.example"_qs, Today,
               u"5/11/1968"_qs, {}, {}, {}, u"Ingeniero, jefe de obra; turno noche"_qs}
        << QSize(12, 16) << QPoint(5, 1) << QColor(250, 250, 250);
    QTest::newRow("3.0 desktop, work address, PNG photo")
        << u"desktop_30.vcf"_qs << 1
        << QStringList {u"Fernández Ortiz"_qs, u"Lucía"_qs, u"Lu, Luchi"_qs, {}, u"Sevilla"_qs, u"Sevilla"_qs,
               u"España"_qs, u"Calle Sierpes 3"_qs, u"+34 954 111 222"_qs, u"+34 633 111 222"_qs,
               u"lucia@correo.example"_qs, Today, u"14/7/1990"_qs, {}, {}, {}, u"Ayuntamiento de Sevilla"_qs}
        << QSize(10, 10) << QPoint(8, 8) << QColor(240, 200, 20);
    QTest::newRow("4.0, tel: and data: addresses, separator fitted")
        << u"v40.vcf"_qs << 0
        << QStringList {u"Conceiçao"_qs, u"Joao"_qs, {}, {}, u"Lisboa"_qs, {}, u"Portugal"_qs,
               u"Rua Augusta 10"_qs, u"+351-21-123-4567"_qs, u"+351-912-345-678"_qs,
               u"joao@trabalho.example"_qs, Today, u"29/2"_qs, {}, {}, {}, u"Arquitecto"_qs}
        << QSize(10, 10) << QPoint(1, 1) << QColor(10, 10, 10);
    QTest::newRow("4.0, text outside the code page")
        << u"v40.vcf"_qs << 1
        << QStringList {u"?"_qs, u"?"_qs, {}, {}, {}, {}, {}, {}, {}, u"+86 139 0000 0000"_qs, {}, Today,
               u"12/4/1985"_qs, {}, {}, {}, {}}
        << none << QPoint() << QColor();
    QTest::newRow("4.0, birthday as text, missing photo file")
        << u"v40.vcf"_qs << 2
        << QStringList {u"Lukasz"_qs, u"Zoë"_qs, {}, {}, {}, {}, {}, {}, {}, {}, {}, Today, u"circa 1970"_qs,
               {}, {}, {}, {}}
        << none << QPoint() << QColor();
    QTest::newRow("broken cards, the good ones") << u"broken.vcf"_qs << 1
                                                 << QStringList {u"Dos"_qs, u"Segundo"_qs, {}, {}, {}, {}, {},
                                                        {}, {}, {}, {}, Today, {}, {}, {}, {}, {}}
                                                 << none << QPoint() << QColor();
}

void TestVCardImport::fixtureFields()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    QFETCH(QStringList, fields);
    QFETCH(QSize, photoSize);
    QFETCH(QPoint, spot);
    QFETCH(QColor, color);

    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(fixture(file)), VCardImport::Outcome::Done);
    const QStringList lines = import.lines();
    QVERIFY(index < lines.size());
    const Fields got = fieldsOf(lines[index]);
    QCOMPARE(QStringList(got.begin(), got.begin() + ubicacionfoto), fields);
    QCOMPARE(import.keys()[index], keyOf(lines[index]));

    const QString photo = got[ubicacionfoto];
    if (!photoSize.isValid()) {
        QCOMPARE(photo, QString());
        return;
    }
    QVERIFY(photo.startsWith(photoDirectory() + u'/'));
    QVERIFY(photo.endsWith(u".jpg"));
    QVERIFY(import.savedPhotos().contains(photo));
    QFile saved(photo);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.read(3).startsWith("\xFF\xD8\xFF")); // JPEG, whatever the card held
    const QImage image(photo);
    QCOMPARE(image.size(), photoSize);
    QVERIFY2(near(colorAt(image, spot.x(), spot.y()), color),
        qPrintable(colorAt(image, spot.x(), spot.y()).name()));
}

void TestVCardImport::fixtureCounts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<int>("photos");

    // imported, in the list, repeated in the file, unreadable, text changed, extras, names
    // completed, photos left out
    QTest::newRow("2.1 phone") << u"phone_21.vcf"_qs << QList<int> {4, 0, 0, 0, 1, 2, 0, 0} << 2;
    QTest::newRow("3.0 mail service")
        << u"mail_service_30.vcf"_qs << QList<int> {3, 0, 0, 0, 0, 2, 1, 1} << 0;
    QTest::newRow("3.0 desktop") << u"desktop_30.vcf"_qs << QList<int> {2, 0, 0, 0, 0, 1, 0, 0} << 2;
    QTest::newRow("4.0") << u"v40.vcf"_qs << QList<int> {3, 0, 1, 0, 3, 1, 0, 1} << 1;
    QTest::newRow("broken among good") << u"broken.vcf"_qs << QList<int> {3, 0, 0, 3, 0, 0, 0, 1} << 0;
}

void TestVCardImport::fixtureCounts()
{
    QFETCH(QString, file);
    QFETCH(QList<int>, expected);
    QFETCH(int, photos);

    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(fixture(file)), VCardImport::Outcome::Done);
    QCOMPARE(listed(import.counts()), expected);
    QCOMPARE(import.lines().size(), expected[0]);
    QCOMPARE(import.keys().size(), expected[0]);
    QCOMPARE(import.savedPhotos().size(), photos);
    QCOMPARE(QDir(photoDirectory()).entryList(QDir::Files).size(), photos);
    QVERIFY(!import.foundNoCard());
}

void TestVCardImport::summaryLines_data()
{
    QTest::addColumn<VCardImportCounts>("counts");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one") << counts({1}) << QStringList {u"Se importó 1 contacto."_qs};
    QTest::newRow("none, all in the list")
        << counts({0, 2})
        << QStringList {u"No se importó ningún contacto."_qs,
               u"2 contactos ya estaban en la lista y no se importaron."_qs};
    QTest::newRow("every line, singular")
        << counts({12, 1, 1, 1, 1, 1, 1, 1})
        << QStringList {u"Se importaron 12 contactos."_qs,
               u"1 contacto ya estaba en la lista y no se importó."_qs,
               u"1 tarjeta repetía un contacto anterior del mismo archivo y no se importó."_qs,
               u"1 tarjeta no se pudo leer."_qs, u"En 1 contacto se cambió texto para poder guardarlo."_qs,
               u"1 contacto tenía más teléfonos o correos electrónicos de los que caben; los demás se dejaron fuera."_qs,
               u"1 contacto no tenía nombre o apellido; se puso un guion en su lugar."_qs,
               u"1 foto no se pudo importar."_qs};
    QTest::newRow("every line, plural")
        << counts({800, 3, 4, 5, 6, 7, 8, 9})
        << QStringList {u"Se importaron 800 contactos."_qs,
               u"3 contactos ya estaban en la lista y no se importaron."_qs,
               u"4 tarjetas repetían contactos anteriores del mismo archivo y no se importaron."_qs,
               u"5 tarjetas no se pudieron leer."_qs,
               u"En 6 contactos se cambió texto para poder guardarlo."_qs,
               u"7 contactos tenían más teléfonos o correos electrónicos de los que caben; los demás se dejaron fuera."_qs,
               u"8 contactos no tenían nombre o apellido; se puso un guion en su lugar."_qs,
               u"9 fotos no se pudieron importar."_qs};
    QTest::newRow("zero lines left out")
        << counts({2, 0, 0, 3})
        << QStringList {u"Se importaron 2 contactos."_qs, u"3 tarjetas no se pudieron leer."_qs};
}

void TestVCardImport::summaryLines()
{
    QFETCH(VCardImportCounts, counts);
    QFETCH(QStringList, lines);
    QCOMPARE(VCardImport::summaryLines(counts), lines);
}

void TestVCardImport::keyInTheListIsComparedAsAgregarDoes()
{
    // Letter case is ignored, blanks and accents are not.
    m_list.setKeys({u"PEÑA LUCÍA "_qs, u"Ibañez Raúl "_qs, u"Ortega  Marta "_qs});
    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(fixture(u"phone_21.vcf"_qs)), VCardImport::Outcome::Done);
    QCOMPARE(import.keys(), (QStringList {u"Muñoz José María "_qs, u"Ibáñez Raúl "_qs, u"Ortega Marta "_qs}));
    QCOMPARE(import.counts().alreadyInList, 1);
    QCOMPARE(import.summaryLines().value(1), u"1 contacto ya estaba en la lista y no se importó."_qs);

    // All of them there: nothing imported, but the file was read.
    const QStringList photosBefore = QDir(photoDirectory()).entryList(QDir::Files);
    QCOMPARE(photosBefore.size(), 2);
    m_list.setKeys({u"muñoz josé maría "_qs, u"peña lucía "_qs, u"ibáñez raúl "_qs, u"ortega marta "_qs});
    VCardImport again(m_list, settings());
    QCOMPARE(again.readFile(fixture(u"phone_21.vcf"_qs)), VCardImport::Outcome::Done);
    QCOMPARE(again.counts().imported, 0);
    QCOMPARE(again.counts().alreadyInList, 4);
    QVERIFY(!again.foundNoCard());
    // A card not imported leaves no picture behind.
    QCOMPARE(again.savedPhotos(), QStringList());
    QCOMPARE(QDir(photoDirectory()).entryList(QDir::Files), photosBefore);

    // The first of equal keys in the file wins, letter case ignored.
    auto repeated = importBytes(card("N:Gomez;Ana;;;\r\nTEL:1\r\n") + card("N:GOMEZ;ana;;;\r\nTEL:2\r\n"));
    QVERIFY(repeated);
    QCOMPARE(repeated->lines().size(), 1);
    QCOMPARE(fieldsOf(repeated->lines()[0])[telefono], u"1"_qs);
    QCOMPARE(repeated->counts().repeatedInFile, 1);
}

void TestVCardImport::recordBytesAreWhatTheFileAppends()
{
    auto import = importBytes(card("N:Pérez;Ana;;;\r\nTEL;TYPE=CELL:600\r\n") + card("N:Gil;Luis;;;\r\n"));
    QVERIFY(import);
    const QByteArray e3 = "\xE3";
    QCOMPARE(import->recordBytes().size(), 1);
    QCOMPARE(import->recordBytes().front().toByteArray(),
        "P\xE9rez" + e3 + "Ana" + e3 + e3.repeated(7) + "600" + e3 + e3 + "15/6/25" + e3 + e3.repeated(6)
            + "\r\n" + "Gil" + e3 + "Luis" + e3 + e3.repeated(9) + "15/6/25" + e3 + e3.repeated(6) + "\r\n");
    QCOMPARE(import->keys(), (QStringList {u"Pérez Ana "_qs, u"Gil Luis "_qs}));

    // A name of nothing but accents is no name once fitted.
    auto marks = importBytes(card("N:\xCC\x81;Eva;;;\r\n"));
    QVERIFY(marks);
    QCOMPARE(marks->keys(), QStringList {u"- Eva "_qs});
    QCOMPARE(marks->counts().namesCompleted, 1);

    auto nothing = importBytes("BEGIN:VCARD\r\nTEL:1\r\nEND:VCARD\r\nno cards here\r\n");
    QVERIFY(nothing);
    QVERIFY(nothing->foundNoCard());
    QVERIFY(nothing->recordBytes().isEmpty());
    QCOMPARE(VCardImport::noCardMessage(),
        u"El archivo no tiene ninguna tarjeta de contacto que se pueda leer."_qs);
}

// One import maps card after card into the same texts, keeping their memory: no text of a card
// may stay for the next, however the two differ (a field there or not, longer or shorter, escaped
// or not, shared with the card or written apart).
void TestVCardImport::eachCardGivesTheLineItGivesAlone()
{
    const QList<QByteArrayList> variants = {
        {"N:%1;Ana;;;",
            "N:%1 de la Fuente;Ana Mar\xC3\xAD"
            "a;Luisa;;",
            "N:%1;Jos\xC3\xA9\\, hijo;;;", "FN:Eva %1", "N:%1;;;;\r\nFN:Eva Gil %1"},
        {"", "NICKNAME:Pato", "NICKNAME:Pato,Patito", "NICKNAME:La \\\"Rubia\\\" de Triana"},
        {"", "ADR;TYPE=HOME:;;Calle Ancha 275;M\xC3\xA9rida;Yucat\xC3\xA1n;;M\xC3\xA9xico",
            "ADR:;;Av. Corrientes 391\\, 2\xC2\xBA;Montevideo", "ADR:;;Sol 1"},
        {"", "TEL;TYPE=CELL:600 111 222", "TEL:91 555 12 34\r\nTEL;TYPE=CELL:6", "TEL;TYPE=FAX:9"},
        {"", "EMAIL:ana@correo.es", "EMAIL:un.nombre.bastante.largo@servidor.example.org"},
        {"", "TITLE:Ingeniero",
            "ORG:Hospital Cl\xC3\xADnico;Pediatr\xC3\xAD"
            "a",
            "ROLE:Jefa\\; de todo"},
        {"", "BDAY:1969-06-16", "X-ORVALIA-FECHA-NACIMIENTO:16/06/1969", "BDAY:--0304"},
        {"", "X-ORVALIA-FECHA-ALTA:07/10/2008"},
        {"", "X-ORVALIA-EDAD:28", "X-ORVALIA-EDAD:veintiocho a\xC3\xB1os y medio"},
        {"", "X-ORVALIA-SITUACION-CIVIL:Viudo", "X-ORVALIA-SITUACION-CIVIL:Casada"},
        {"", "X-ORVALIA-PESO:74\\,6", "X-ORVALIA-PESO:74"},
        {"", "X-ORVALIA-ALTURA:1\\,72", "X-ORVALIA-ALTURA:1.72 m"},
    };
    QRandomGenerator random(20261209);
    QByteArray all;
    QList<QByteArray> alone;
    for (int n = 0; n < 300; ++n) {
        QByteArray body;
        for (const QByteArrayList &choices : variants) {
            QByteArray chosen = choices[random.bounded(int(choices.size()))];
            chosen.replace("%1", "Gil" + QByteArray::number(n));
            if (!chosen.isEmpty())
                body += chosen + "\r\n";
        }
        all += card(body);
        auto one = importBytes(card(body));
        QVERIFY(one);
        QCOMPARE(one->recordBytes().size(), 1);
        alone << one->recordBytes().front().toByteArray();
    }
    auto import = importBytes(all);
    QVERIFY(import);
    QCOMPARE(import->counts().imported, alone.size());
    QByteArray lines;
    for (const QByteArrayView piece : import->recordBytes())
        lines += piece;
    QCOMPARE(lines.count("\r\n"), alone.size());
    qsizetype at = 0;
    for (const QByteArray &line : alone) {
        QCOMPARE(lines.mid(at, line.size()), line);
        at += line.size();
    }
}

void TestVCardImport::fitted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("fitted");
    QTest::addColumn<bool>("changed");

    QTest::newRow("code page text") << u"Peña “Rulo” €5 œ Ÿ"_qs << u"Peña “Rulo” €5 œ Ÿ"_qs << false;
    QTest::newRow("the separator") << u"João Conceição"_qs << u"Joao Conceiçao"_qs << true;
    QTest::newRow("capital A tilde stays") << u"Ã"_qs << u"Ã"_qs << false;
    QTest::newRow("decomposed accents compose") << u"Jose\u0301"_qs << u"José"_qs << false;
    QTest::newRow("accent outside the code page")
        << u"Dvořák Łódź Ővári"_qs << u"Dvorák Lódz Ovári"_qs << true;
    QTest::newRow("ligature") << u"ﬁn"_qs << u"fin"_qs << true;
    QTest::newRow("no letter to keep") << u"王伟 ☎"_qs << u"?? ?"_qs << true;
    QTest::newRow("outside the basic plane") << u"a😀b"_qs << u"a?b"_qs << true;
    QTest::newRow("line breaks") << u"uno\r\ndos\ntres\rcuatro\u2028cinco"_qs
                                 << u"uno dos tres cuatro cinco"_qs << true;
    QTest::newRow("line break alone") << u"uno\ndos"_qs << u"uno dos"_qs << true;
    QTest::newRow("lone accent") << u"\u0301a"_qs << u"a"_qs << true;
    QTest::newRow("tab stays") << u"a\tb"_qs << u"a\tb"_qs << false;
    // Longer texts, looked over eight characters at a time.
    QTest::newRow("long ASCII") << u"Calle del Doctor Fleming 12"_qs << u"Calle del Doctor Fleming 12"_qs
                                << false;
    QTest::newRow("line break in the first eight")
        << u"Calle\nMayor 5, bajo"_qs << u"Calle Mayor 5, bajo"_qs << true;
    QTest::newRow("carriage return eighth") << u"Avenida\rdel Puerto"_qs << u"Avenida del Puerto"_qs << true;
    QTest::newRow("line break after sixteen")
        << u"Domicilio conocido\nsin número"_qs << u"Domicilio conocido sin número"_qs << true;
    QTest::newRow("code page text after sixteen")
        << u"Domicilio conocido, Peñíscola €"_qs << u"Domicilio conocido, Peñíscola €"_qs << false;
    QTest::newRow("separator after sixteen")
        << u"Avenida Paulista, São Paulo"_qs << u"Avenida Paulista, Sao Paulo"_qs << true;
}

void TestVCardImport::fitted()
{
    QFETCH(QString, text);
    QFETCH(QString, fitted);
    QFETCH(bool, changed);
    bool wasChanged = !changed;
    QCOMPARE(VCardFit::fitted(text, &wasChanged), fitted);
    QCOMPARE(wasChanged, changed);
    for (QChar c : fitted)
        QVERIFY(isStorable(c));
    // The import writes a text as it is only when fitting leaves it exactly so: a decomposed
    // accent, which fitting composes without calling it a change, is fitted first.
    QByteArray bytes(text.size(), '\0');
    const char *end = VCardFit::storedAsItIs(text, bytes.data());
    QCOMPARE(end != nullptr, fitted == text);
    if (end)
        QCOMPARE(QByteArrayView(bytes.constData(), end - bytes.constData()), Windows1252::encode(text));
}

void TestVCardImport::dateForms_data()
{
    QTest::addColumn<QString>("shortFormat");
    QTest::addColumn<QString>("birthDate");
    QTest::addColumn<QString>("dayMonth");

    QTest::newRow("Spain") << u"d/M/yy"_qs << u"d/M/yyyy"_qs << u"d/M"_qs;
    QTest::newRow("United States") << u"M/d/yy"_qs << u"M/d/yyyy"_qs << u"M/d"_qs;
    QTest::newRow("Germany") << u"dd.MM.yy"_qs << u"dd.MM.yyyy"_qs << u"dd.MM"_qs;
    QTest::newRow("year already in full") << u"dd/MM/yyyy"_qs << u"dd/MM/yyyy"_qs << u"dd/MM"_qs;
    QTest::newRow("year first") << u"yyyy-MM-dd"_qs << u"yyyy-MM-dd"_qs << u"MM-dd"_qs;
    QTest::newRow("month name") << u"d MMM yyyy"_qs << u"d MMM yyyy"_qs << u"d MMM"_qs;
}

void TestVCardImport::dateForms()
{
    QFETCH(QString, shortFormat);
    QFETCH(QString, birthDate);
    QFETCH(QString, dayMonth);
    const VCardDates dates = VCardDates::fromShortFormat(shortFormat);
    QCOMPARE(dates.date, shortFormat);
    QCOMPARE(dates.birthDate, birthDate);
    QCOMPARE(dates.dayMonth, dayMonth);
}

void TestVCardImport::bday_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("bday"); // what an export writes for the field

    QTest::newRow("4.0 basic") << QByteArray("BDAY:19850412") << u"12/4/1985"_qs << u"1985-04-12"_qs;
    QTest::newRow("3.0 extended") << QByteArray("BDAY:1968-11-05") << u"5/11/1968"_qs << u"1968-11-05"_qs;
    QTest::newRow("with a time") << QByteArray("BDAY:1990-07-14T00:00:00Z") << u"14/7/1990"_qs
                                 << u"1990-07-14"_qs;
    QTest::newRow("4.0 without year") << QByteArray("BDAY:--0229") << u"29/2"_qs << u"--02-29"_qs;
    QTest::newRow("3.0 without year") << QByteArray("BDAY:--04-23") << u"23/4"_qs << u"--04-23"_qs;
    QTest::newRow("Apple without year")
        << QByteArray("BDAY;X-APPLE-OMIT-YEAR=1604:1604-12-24") << u"24/12"_qs << u"--12-24"_qs;
    QTest::newRow("text") << QByteArray("BDAY;VALUE=text:circa 1970") << u"circa 1970"_qs << QString();
    QTest::newRow("no date") << QByteArray("BDAY:1985-13-45") << u"1985-13-45"_qs << QString();
    QTest::newRow("year and month only") << QByteArray("BDAY:1985-04") << u"1985-04"_qs << QString();
}

void TestVCardImport::bday()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, field);
    QFETCH(QString, bday);
    auto import = importBytes(card("N:Gil;Ana;;;\r\n" + property + "\r\n"));
    QVERIFY(import);
    QCOMPARE(import->lines().size(), 1);
    QCOMPARE(fieldsOf(import->lines()[0])[fechanac], field);
    const VCardDates dates = VCardDates::fromShortFormat(u"d/M/yy"_qs);
    QCOMPARE(dates.toBday(field), bday);
}

void TestVCardImport::fileAddressGivesItsPath()
{
    const QString picture = m_dir->filePath(u"mi foto.png"_qs);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture));
    const QByteArray address = QUrl::fromLocalFile(picture).toEncoded();
    auto import = importBytes(card("N:Gil;Ana;;;\r\nPHOTO;VALUE=uri:" + address + "\r\n")
        + card("N:Gil;Eva;;;\r\nPHOTO;VALUE=uri:https://fotos.example/eva.jpg\r\n"));
    QVERIFY(import);
    QCOMPARE(fieldsOf(import->lines()[0])[ubicacionfoto], picture);
    QCOMPARE(fieldsOf(import->lines()[1])[ubicacionfoto], QString());
    QCOMPARE(import->counts().photosLeftOut, 1);
    QCOMPARE(import->savedPhotos(), QStringList()); // the picture stays where it is
}

void TestVCardImport::chosenFileThatIsNoRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << u"fifo"_qs;
    QTest::newRow("directory") << u"directory"_qs;
    QTest::newRow("missing") << u"missing"_qs;
    QTest::newRow("device") << u"device"_qs;
}

void TestVCardImport::chosenFileThatIsNoRegularFile()
{
    QFETCH(QString, kind);
    QString path = m_dir->filePath(u"contactos.vcf"_qs);
    if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"device")
        path = u"/dev/zero"_qs;
    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(path), VCardImport::Outcome::CannotRead);
    QVERIFY(import.recordBytes().isEmpty());
}

void TestVCardImport::stoppedImportKeepsNothing()
{
    VCardImport import(m_list, settings());
    int asked = 0;
    qint64 lastPosition = 0;
    const auto outcome = import.readFile(fixture(u"phone_21.vcf"_qs), [&](qint64 position) {
        lastPosition = position;
        // After the first block (the whole file) and each card: "Cancelar" after the second card,
        // with a picture saved by then.
        return ++asked < 3;
    });
    QCOMPARE(outcome, VCardImport::Outcome::Stopped);
    QCOMPARE(asked, 3);
    QVERIFY(lastPosition > 0 && lastPosition < QFileInfo(fixture(u"phone_21.vcf"_qs)).size());
    QVERIFY(import.recordBytes().isEmpty());
    QVERIFY(import.keys().isEmpty());
    QCOMPARE(import.counts().imported, 0);
    QVERIFY(!QFileInfo::exists(photoDirectory())); // made for the import, gone with it
}

void TestVCardImport::savedPhotoNeverOverwritesNorFollowsALink()
{
    QVERIFY(QDir().mkpath(photoDirectory()));
    const QString taken = photoDirectory() + u"/Munoz_Jose_Maria.jpg"_qs;
    QFile existing(taken);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("ya estaba");
    existing.close();
    // A link in the place of the next name points at a file that must stay as it is.
    const QString victim = m_dir->filePath(u"victima.txt"_qs);
    QFile victimFile(victim);
    QVERIFY(victimFile.open(QIODevice::WriteOnly));
    victimFile.write("no tocar");
    victimFile.close();
    QVERIFY(QFile::link(victim, photoDirectory() + u"/Munoz_Jose_Maria_2.jpg"_qs));
    QVERIFY(QFile::link(m_dir->filePath(u"nada"_qs), photoDirectory() + u"/Munoz_Jose_Maria_3.jpg"_qs));

    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(fixture(u"phone_21.vcf"_qs)), VCardImport::Outcome::Done);
    QCOMPARE(fieldsOf(import.lines()[0])[ubicacionfoto], photoDirectory() + u"/Munoz_Jose_Maria_4.jpg"_qs);
    QCOMPARE(fieldsOf(import.lines()[2])[ubicacionfoto], photoDirectory() + u"/Ibanez_Raul.jpg"_qs);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("ya estaba"));
    QVERIFY(victimFile.open(QIODevice::ReadOnly));
    QCOMPARE(victimFile.readAll(), QByteArray("no tocar"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"nada"_qs)));

    import.removeSavedPhotos();
    QVERIFY(!QFileInfo::exists(photoDirectory() + u"/Munoz_Jose_Maria_4.jpg"_qs));
    QVERIFY(QFileInfo::exists(taken));
}

void TestVCardImport::photosFolderThatIsALinkIsNotUsed()
{
    const QString elsewhere = m_dir->filePath(u"otra"_qs);
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QFile::link(elsewhere, photoDirectory()));
    VCardImport import(m_list, settings());
    QCOMPARE(import.readFile(fixture(u"phone_21.vcf"_qs)), VCardImport::Outcome::Done);
    QCOMPARE(import.counts().imported, 4);
    QCOMPARE(import.counts().photosLeftOut, 2);
    QCOMPARE(fieldsOf(import.lines()[0])[ubicacionfoto], QString());
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files), QStringList());
}

void TestVCardImport::photoFolderAndFileModes()
{
    const mode_t old = ::umask(0);
    VCardImport import(m_list, settings());
    const auto outcome = import.readFile(fixture(u"desktop_30.vcf"_qs));
    ::umask(old);
    QCOMPARE(outcome, VCardImport::Outcome::Done);
    QVERIFY(import.syncPhotos());
    struct stat status
    {
    };
    QCOMPARE(::stat(QFile::encodeName(photoDirectory()).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0700));
    QCOMPARE(import.savedPhotos().size(), 2);
    for (const QString &photo : import.savedPhotos()) {
        QCOMPARE(::lstat(QFile::encodeName(photo).constData(), &status), 0);
        QVERIFY(S_ISREG(status.st_mode));
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
    }
}

void TestVCardImport::photoPathTheContactFileCannotHold()
{
    VCardImportSettings unusual = settings();
    unusual.photoDirectory = m_dir->filePath(u"Fotos de João"_qs);
    VCardImport import(m_list, unusual);
    QCOMPARE(import.readFile(fixture(u"phone_21.vcf"_qs)), VCardImport::Outcome::Done);
    QCOMPARE(import.counts().photosLeftOut, 2);
    QCOMPARE(fieldsOf(import.lines()[0])[ubicacionfoto], QString());
    QVERIFY(!QFileInfo::exists(unusual.photoDirectory));
    // Bytes that are no picture are no photo either.
    QCOMPARE(VCardFiles::savePhoto(photoDirectory(), u"x"_qs, "no es una imagen"), QString());
}

QTEST_MAIN(TestVCardImport)
#include "tst_vcard_import.moc"
