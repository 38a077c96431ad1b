#include "contacts/contact_record.h"
#include "platform/windows1252.h"

#include <QTest>

using namespace ContactRecord;

class TestContactRecord : public QObject
{
    Q_OBJECT

private slots:
    void keyOf_data();
    void keyOf();
    void fieldsOf_data();
    void fieldsOf();
    void lineIsByteExact();
    void lineNeverHoldsWhatTheFileCannotKeep_data();
    void lineNeverHoldsWhatTheFileCannotKeep();
    void lineOfFieldsRoundTrips();
    void capitalized_data();
    void capitalized();
};

void TestContactRecord::keyOf_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("key");

    QTest::newRow("trailing blank") << u"GomezãAnaã34ããããããããããããããããã"_qs << u"Gomez Ana "_qs;
    QTest::newRow("only two fields looked at") << u"GomezãAnaãxã"_qs << u"Gomez Ana "_qs;
    QTest::newRow("blank in surname") << u"de la CruzãAnaã"_qs << u"de la Cruz Ana "_qs;
    QTest::newRow("other split, same key") << u"de laãCruz Anaã"_qs << u"de la Cruz Ana "_qs;
    QTest::newRow("surname with trailing blank") << u"Gomez ãAnaã"_qs << u"Gomez  Ana "_qs;
    QTest::newRow("one separator") << u"GomezãAna"_qs << u"Gomez Ana "_qs;
    QTest::newRow("no separator") << u"Gomez"_qs << u"Gomez  "_qs;
    QTest::newRow("empty line") << QString() << u"  "_qs;
}

void TestContactRecord::keyOf()
{
    QFETCH(QString, line);
    QFETCH(QString, key);
    QCOMPARE(ContactRecord::keyOf(line), key);
}

void TestContactRecord::fieldsOf_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");

    QStringList all;
    QString line;
    for (int i = 0; i < FieldCount; ++i) {
        all << QString::number(i);
        line += QString::number(i) + Separator;
    }
    QTest::newRow("well formed") << line << all;
    QTest::newRow("text after the 18th separator ignored") << line + u"extra"_qs << all;

    QStringList short_(FieldCount);
    short_[0] = u"Gomez"_qs;
    short_[1] = u"Ana"_qs;
    QTest::newRow("missing fields are empty") << u"GomezãAnaã"_qs << short_;
    QTest::newRow("last field without separator") << u"GomezãAna"_qs << short_;
}

void TestContactRecord::fieldsOf()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    const Fields fields = ContactRecord::fieldsOf(line);
    QCOMPARE(QStringList(fields.begin(), fields.end()), expected);
}

void TestContactRecord::lineIsByteExact()
{
    Fields fields;
    fields[apellido] = u"Gomez"_qs;
    fields[nombre] = u"Ana"_qs;
    fields[edad] = u"34"_qs;
    const QByteArray bytes = Windows1252::encode(lineOf(fields));

    QByteArray expected = QByteArray::fromHex("476F6D657AE3416E61E3E33334E3");
    expected += QByteArray(14, char(0xE3));
    QCOMPARE(bytes.size(), 28);
    QCOMPARE(bytes, expected);
}

void TestContactRecord::lineNeverHoldsWhatTheFileCannotKeep_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("separator") << u"Peñaãloza"_qs << u"Peñaloza"_qs;
    QTest::newRow("line feed") << u"Calle\nMayor"_qs << u"CalleMayor"_qs;
    QTest::newRow("carriage return") << u"Calle\r\nMayor"_qs << u"CalleMayor"_qs;
    QTest::newRow("outside the code page") << u"Łódź €5 日本"_qs << u"ód €5 "_qs;
    QTest::newRow("code page punctuation kept") << u"“Pepe” – ‰ ™"_qs << u"“Pepe” – ‰ ™"_qs;
}

void TestContactRecord::lineNeverHoldsWhatTheFileCannotKeep()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    Fields fields;
    fields.fill(typed);
    const QString line = lineOf(fields);
    QCOMPARE(line.count(Separator), FieldCount);
    QVERIFY(!line.contains(u'\n') && !line.contains(u'\r'));
    QCOMPARE(ContactRecord::fieldsOf(line)[domicilio], stored);
    // What is stored survives the file's code page unchanged.
    QCOMPARE(Windows1252::decode(Windows1252::encode(line)), line);
}

void TestContactRecord::lineOfFieldsRoundTrips()
{
    Fields fields;
    for (int i = 0; i < FieldCount; ++i)
        fields[i] = u"campo %1 áéíóúñÑüÜ¿¡"_qs.arg(i);
    fields[ubicacionfoto] = u"C:\\Fotos\\Ana Gómez.jpg"_qs;
    QCOMPARE(ContactRecord::fieldsOf(lineOf(fields)), fields);
}

void TestContactRecord::capitalized_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("first letter only") << u"de la cruz"_qs << u"De la cruz"_qs;
    QTest::newRow("nothing lowered") << u"ANA"_qs << u"ANA"_qs;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("accented") << u"ñandú"_qs << u"Ñandú"_qs;
    QTest::newRow("digit first") << u"5 de mayo"_qs << u"5 de mayo"_qs;
    QTest::newRow("blank first") << u" perez"_qs << u" perez"_qs;
    QTest::newRow("y with diaeresis, upper case in the code page") << u"ÿves"_qs << u"Ÿves"_qs;
    QTest::newRow("upper case outside the code page kept as typed") << u"µm"_qs << u"µm"_qs;
    QTest::newRow("upper case of two letters kept as typed") << u"ßa"_qs << u"ßa"_qs;
}

void TestContactRecord::capitalized()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QCOMPARE(ContactRecord::capitalized(field), expected);
}

QTEST_APPLESS_MAIN(TestContactRecord)
#include "tst_contact_record.moc"
