// Files the program did not write: malformed, binary, huge. Whatever it finds, the program does not
// crash or hang, gives a clear result, and every rewrite copies the lines it cannot parse unchanged
// (their bytes; every line leaves a rewrite ended by CR LF).

#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "fake_platform.h"
#include "options/options_file.h"
#include "password/password_store.h"
#include "password_fixtures.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"
#include "update/version_check.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactRecord;

namespace {

const QByteArray CrLf = QByteArrayLiteral("\r\n");
const QByteArray Sep(1, char(0xE3));
const QByteArray Marker = QByteArrayLiteral("\xBF-?"); // "¿-?" in Windows-1252

QByteArray bytesOf(const QString &line)
{
    return Windows1252::encode(line);
}

QString contact(const QString &surname, const QString &name, const QString &phone = {})
{
    Fields fields;
    fields[apellido] = surname;
    fields[nombre] = name;
    fields[telefono] = phone;
    return lineOf(fields);
}

// n separators, each after a short field.
QByteArray separated(int n)
{
    QByteArray line;
    for (int i = 0; i < n; ++i)
        line += "f" + QByteArray::number(i) + Sep;
    return line;
}

// Lines as the program reads them: ended by LF, a CR before the LF not part of the line.
QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    const bool ended = bytes.endsWith('\n');
    if (ended || lines.last().isEmpty())
        lines.removeLast();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if ((ended || i + 1 < lines.size()) && lines[i].endsWith('\r'))
            lines[i].chop(1);
    }
    return lines;
}

// Bytes of a literal that holds NULs.
template <qsizetype N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + CrLf;
    return bytes;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void contactLineShapes_data();
    void contactLineShapes();
    void contactLineEnds_data();
    void contactLineEnds();
    void fiftyMegabyteLine();
    void twoHundredThousandLines();

    void optionsFileShapes_data();
    void optionsFileShapes();

    void passwordFileShapes_data();
    void passwordFileShapes();

    void updateFileShapes_data();
    void updateFileShapes();

private:
    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<ContactFile> m_contacts;
    QByteArray contactBytes() const { return readBytes(m_contacts->path()); }
};

void TestHostileInput::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_contacts = std::make_unique<ContactFile>(m_desktop->programDir(), m_desktop->attributes);
}

// One odd line between two good ones: it is listed under the key its first two fields give, found
// by that key, shown as far as it goes, copied unchanged by every rewrite of other lines, replaced
// in its place and deleted like any other.
void TestHostileInput::contactLineShapes_data()
{
    QTest::addColumn<QByteArray>("odd");
    QTest::addColumn<QString>("key"); // empty: not listed
    QTest::addColumn<QByteArray>("kept"); // what a replacement keeps after the new line

    QTest::newRow("blank line") << QByteArray() << QString() << QByteArray();
    QTest::newRow("no separator") << QByteArray("Solo texto") << u"Solo texto  "_qs << QByteArray();
    QTest::newRow("1 separator") << QByteArray("Apellido\xE3"
                                               "Nombre")
                                 << u"Apellido Nombre "_qs << QByteArray();
    QTest::newRow("17 separators") << separated(17) << u"f0 f1 "_qs << QByteArray();
    QTest::newRow("17 separators and a last field")
        << separated(17) + "foto.jpg" << u"f0 f1 "_qs << QByteArray();
    QTest::newRow("19 separators") << separated(19) << u"f0 f1 "_qs << QByteArray("f18\xE3");
    QTest::newRow("40 separators") << separated(40) << u"f0 f1 "_qs
                                   << separated(40).mid(separated(18).size());
    QTest::newRow("undefined code page bytes")
        << QByteArray("Ap\x81\x8D\xE3No\x8F\x90\x9D\xE3") + QByteArray(16, char(0xE3))
        << u"Ap\u0081\u008D No\u008F\u0090\u009D "_qs << QByteArray();
    QTest::newRow("NUL bytes") << raw("A\0b\xE3N\0\xE3") + QByteArray(16, char(0xE3))
                               << QString(u"A\0b N\0 "_qs) << QByteArray();
    QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBFGarc\xC3\xAD"
                                                         "a\xE3"
                                                         "Ana\xE3")
            + QByteArray(16, char(0xE3)) << u"ï»¿GarcÃ\u00ADa Ana "_qs
                                           << QByteArray();
}

void TestHostileInput::contactLineShapes()
{
    QFETCH(QByteArray, odd);
    QFETCH(QString, key);
    QFETCH(QByteArray, kept);
    const QByteArray gomez = bytesOf(contact(u"Gomez"_qs, u"Ana"_qs));
    const QByteArray zapata = bytesOf(contact(u"Zapata"_qs, u"Eva"_qs));
    writeBytes(m_contacts->path(), odd + CrLf + gomez + CrLf + zapata + CrLf);

    QStringList keys {u"Gomez Ana "_qs, u"Zapata Eva "_qs};
    if (!key.isEmpty())
        keys.prepend(key);
    QCOMPARE(m_contacts->readKeys(), keys);
    if (!key.isEmpty()) {
        const std::optional<QString> found = m_contacts->findByKey(key);
        QVERIFY(found);
        QCOMPARE(bytesOf(*found), odd);
        const Fields fields = fieldsOf(*found);
        QCOMPARE(fields[apellido] + u' ' + fields[nombre] + u' ', key);
    }

    // Rewrites of the other lines leave it as it is.
    const QByteArray added = bytesOf(contact(u"Nuevo"_qs, u"Luis"_qs));
    QVERIFY(m_contacts->append(contact(u"Nuevo"_qs, u"Luis"_qs)));
    const QByteArray gomez2 = bytesOf(contact(u"Gómez"_qs, u"Ana"_qs, u"1"_qs));
    QVERIFY(
        m_contacts->replaceByKey(contact(u"Gomez"_qs, u"Ana"_qs), contact(u"Gómez"_qs, u"Ana"_qs, u"1"_qs)));
    QVERIFY(m_contacts->removeEqual(contact(u"Zapata"_qs, u"Eva"_qs)));
    QCOMPARE(contactBytes(), odd + CrLf + gomez2 + CrLf + added + CrLf);

    if (key.isEmpty())
        return;
    // Its own replacement keeps its place, and whatever followed the 18th separator.
    const QString changed = contact(u"Arreglado"_qs, u"Ya"_qs);
    QVERIFY(m_contacts->replaceByKey(Windows1252::decode(odd), changed));
    QCOMPARE(contactBytes(), bytesOf(changed) + kept + CrLf + gomez2 + CrLf + added + CrLf);
    QVERIFY(m_contacts->removeEqual(Windows1252::decode(bytesOf(changed) + kept)));
    QCOMPARE(contactBytes(), gomez2 + CrLf + added + CrLf);
}

void TestHostileInput::contactLineEnds_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QByteArray>("afterReplace"); // Gomez Ana's telephone set to 9

    const QByteArray gomez = bytesOf(contact(u"Gomez"_qs, u"Ana"_qs));
    const QByteArray gomez9 = bytesOf(contact(u"Gomez"_qs, u"Ana"_qs, u"9"_qs));
    const QByteArray perez = bytesOf(contact(u"Perez"_qs, u"Juan"_qs));
    // Line feeds alone end lines too; a rewrite ends every line with CR LF.
    QTest::newRow("LF only") << gomez + "\n" + perez + "\n"
                             << QStringList {u"Gomez Ana "_qs, u"Perez Juan "_qs}
                             << gomez9 + CrLf + perez + CrLf;
    // Carriage returns alone do not: the records make one line, listed once. Changing it keeps
    // the records that follow, which no box shows.
    QTest::newRow("CR only") << gomez + "\r" + perez + "\r" << QStringList {u"Gomez Ana "_qs}
                             << gomez9 + "\r" + perez + "\r" + CrLf;
    QTest::newRow("mixed") << gomez + "\n" + perez + "\r\n" + "\r\n" + "\n"
                           << QStringList {u"Gomez Ana "_qs, u"Perez Juan "_qs}
                           << gomez9 + CrLf + perez + CrLf + CrLf + CrLf;
}

void TestHostileInput::contactLineEnds()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, keys);
    QFETCH(QByteArray, afterReplace);
    writeBytes(m_contacts->path(), file);
    QCOMPARE(m_contacts->readKeys(), keys);

    const std::optional<QString> shown = m_contacts->findByKey(u"Gomez Ana "_qs);
    QVERIFY(shown);
    Fields fields = fieldsOf(*shown);
    QCOMPARE(fields[apellido], u"Gomez"_qs);
    fields[telefono] = u"9"_qs;
    QVERIFY(m_contacts->replaceByKey(*shown, lineOf(fields)));
    QCOMPARE(contactBytes(), afterReplace);
}

void TestHostileInput::fiftyMegabyteLine()
{
    const QByteArray gomez = bytesOf(contact(u"Gomez"_qs, u"Ana"_qs));
    const QByteArray huge = "Grande" + Sep + "Linea" + Sep + QByteArray(50 * 1024 * 1024, 'x');
    // No line end after it either.
    writeBytes(m_contacts->path(), gomez + CrLf + huge);

    QCOMPARE(m_contacts->readKeys(), (QStringList {u"Gomez Ana "_qs, u"Grande Linea "_qs}));
    const std::optional<QString> found = m_contacts->findByKey(u"Grande Linea "_qs);
    QVERIFY(found);
    QCOMPARE(found->size(), huge.size());
    QCOMPARE(fieldsOf(*found)[nick].size(), 50 * 1024 * 1024);

    const QByteArray perez = bytesOf(contact(u"Perez"_qs, u"Juan"_qs));
    QVERIFY(m_contacts->append(contact(u"Perez"_qs, u"Juan"_qs)));
    QVERIFY(contactBytes() == gomez + CrLf + huge + CrLf + perez + CrLf);
    QVERIFY(m_contacts->removeEqual(contact(u"Gomez"_qs, u"Ana"_qs)));
    QVERIFY(contactBytes() == huge + CrLf + perez + CrLf);
}

void TestHostileInput::twoHundredThousandLines()
{
    constexpr int Count = 200'000;
    QByteArray file;
    QList<QByteArray> lines;
    for (int i = 0; i < Count; ++i) {
        lines << bytesOf(
            contact(u"Apellido%1"_qs.arg(i, 6, 10, QLatin1Char('0')), u"Nombre"_qs, QString::number(i)));
        file += lines.last() + CrLf;
    }
    writeBytes(m_contacts->path(), file);

    const std::optional<QStringList> keys = m_contacts->readKeys();
    QVERIFY(keys);
    QCOMPARE(keys->size(), Count);
    QCOMPARE(keys->last(), u"Apellido199999 Nombre "_qs);
    QCOMPARE(m_contacts->findByKey(u"Apellido199999 Nombre "_qs), Windows1252::decode(lines.last()));

    const QString last = Windows1252::decode(lines.last());
    const QString changed = contact(u"Apellido199999"_qs, u"Nombre"_qs, u"cambiado"_qs);
    QVERIFY(m_contacts->replaceByKey(last, changed));
    QVERIFY(m_contacts->removeEqual(Windows1252::decode(lines.first())));
    QVERIFY(m_contacts->append(contact(u"Nuevo"_qs, u"Luis"_qs)));

    lines.last() = bytesOf(changed);
    lines.removeFirst();
    lines << bytesOf(contact(u"Nuevo"_qs, u"Luis"_qs));
    QVERIFY(contactBytes() == joined(lines));
}

// Any content: the eight-line readers fall back unless there are eight lines, the window's reader
// and the start-up's keep what there is, a line update changes its line alone and keeps the
// rest byte for byte, and "Aceptar" puts exactly that in force.
void TestHostileInput::optionsFileShapes_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("one line") << QByteArray("0\r\n");
    QTest::newRow("two lines") << QByteArray("0\r\n0\r\n");
    QTest::newRow("four lines") << QByteArray("0\r\n0\r\n0\r\n1\r\n");
    QTest::newRow("six lines") << QByteArray("0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n");
    QTest::newRow("eight lines, LF only") << QByteArray("0\n0\n0\n1\n0\n0\n0\n0\n");
    QTest::newRow("twenty lines") << QByteArray("0\r\n").repeated(20);
    QTest::newRow("no final line end") << QByteArray("0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0");
    QTest::newRow("huge third line") << "0\r\n0\r\n" + QByteArray(8 * 1024 * 1024, '7')
            + "\r\n1\r\n0\r\n0\r\n0\r\n0\r\n";
    QTest::newRow("binary") << randomBytes(4096, 1);
    QTest::newRow("binary lines") << raw(
        "\0\x81\r\n\x8D\x8F\r\n\x90\x9D\xE3\r\n1\r\n\xFF\xFE\r\n\r\n\r\r\n\x01\x02\r\n");
}

void TestHostileInput::optionsFileShapes()
{
    QFETCH(QByteArray, content);
    const OptionsFile options(m_desktop->programDir());
    writeBytes(options.path(), content);
    const QList<QByteArray> lines = linesOf(content);
    const auto line = [&](int n) { return Windows1252::decode(lines.value(n - 1)); };

    const std::optional<OptionsFile::Lines> eight = options.readEight();
    QCOMPARE(eight.has_value(), lines.size() >= 8);
    MainWindowOptions main;
    main.read(options);
    QCOMPARE(main.SoundsOn, lines.size() >= 8 ? line(8) : u"1"_qs);
    QCOMPARE(ReadOptions(options), lines.size() >= 8 ? line(8) : u"1"_qs);
    const std::optional<OptionsFile::Lines> upToEight = options.readUpToEight();
    QVERIFY(upToEight);
    for (int n = 1; n <= 8; ++n)
        QCOMPARE(upToEight->at(n - 1), line(n));
    QCOMPARE(options.readProtectionLine(), line(OptionsFile::PasswordProtection));

    for (int n = 1; n <= 8; ++n) {
        options.discard();
        QVERIFY(options.updateLine(n, u"X"_qs));
        QList<QByteArray> expected = lines;
        if (n <= expected.size())
            expected[n - 1] = "X";
        QVERIFY2(readBytes(options.workingCopyPath()) == joined(expected), qPrintable(QString::number(n)));
        QVERIFY(readBytes(options.path()) == content);
    }
    QVERIFY(options.commit());
    QList<QByteArray> committed = lines;
    if (committed.size() >= 8)
        committed[7] = "X";
    QVERIFY(readBytes(options.path()) == joined(committed));
}

// Short, long, huge and binary password files of the earlier form: read as the old reader read
// them, the password checked and changed. A change writes the new form with the question kept byte
// for byte and the answer still telling the password; values no new file can hold (a line of
// megabytes) leave the file as it was.
void TestHostileInput::passwordFileShapes_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one line") << QByteArray("clave\r\n");
    QTest::newRow("two lines, no final line end") << QByteArray("clave\r\npregunta");
    QTest::newRow("five lines") << QByteArray("c\r\np\r\nr\r\n4\r\n5\r\n");
    const QByteArray huge(16 * 1024 * 1024, 'h');
    QTest::newRow("huge lines") << huge + "1\r\n" + huge + "2\r\n" + huge + "3\r\n";
    QTest::newRow("a long question") << "c\r\n" + QByteArray(32767, 'q') + "\r\nr\r\n";
    QTest::newRow("binary lines") << raw("\0\x81\r\n\x8D\r\x8F\r\n\x90\x9D\xE3\xFF\r\n");
    QTest::newRow("binary") << randomBytes(4096, 2);
}

void TestHostileInput::passwordFileShapes()
{
    QFETCH(QByteArray, content);
    const QString path = m_desktop->passwordFile(u"orvpw.ntd"_qs);
    writeBytes(path, content);
    const QList<QByteArray> lines = linesOf(content);
    const auto line = [&](int i) { return Windows1252::decode(lines.value(i)); };

    PasswordStore store(m_desktop->passwordDir(), PasswordFixtures::light());
    QVERIFY(store.load());
    if (content.isEmpty()) {
        // A new file cut before its first byte: nothing matches, not even an empty password.
        QCOMPARE(store.status(), PasswordSecrets::Status::Cut);
        QVERIFY(!store.checkPassword(QString()));
        QVERIFY(!store.changePassword(QString(), u"nueva"_qs));
        QCOMPARE(readBytes(path), content);
        return;
    }
    QCOMPARE(store.status(), PasswordSecrets::Status::Legacy);
    QCOMPARE(store.question(), line(1));
    QVERIFY(!store.isPassword(line(0) + u'x'));
    QVERIFY(store.isPassword(line(0)));
    QCOMPARE(readBytes(path), content);

    const bool storable = lines.value(0).size() <= PasswordSecrets::MaxValueBytes
        && lines.value(1).size() <= PasswordSecrets::MaxValueBytes
        && lines.value(2).size() <= PasswordSecrets::MaxValueBytes;
    QCOMPARE(store.changePassword(line(0), u"nueva"_qs), storable);
    if (!storable) {
        QVERIFY(readBytes(path) == content);
        return;
    }
    PasswordStore changed(m_desktop->passwordDir(), PasswordFixtures::light());
    QVERIFY(changed.load());
    QCOMPARE(changed.status(), PasswordSecrets::Status::Ok);
    QVERIFY(PasswordFixtures::formOf(readBytes(path)).question == lines.value(1));
    QVERIFY(changed.isPassword(u"nueva"_qs));
    QCOMPARE(changed.recoverPassword(line(2)), u"nueva"_qs);
}

// The update information as the check reads it: lines joined, the text between the markers, the
// number compared with 2.0. A file with nothing usable is "not newer".
void TestHostileInput::updateFileShapes_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("newer");

    const QByteArray filler = QByteArray("Morq Technologies\r\n").repeated(10 * 1024 * 1024 / 19);
    QTest::newRow("10 MB without markers") << filler << false;
    QTest::newRow("10 MB, the version at the end") << filler + Marker + "2.1" + Marker + "\r\n" << true;
    QTest::newRow("10 MB of markers") << Marker.repeated(10 * 1024 * 1024 / 3) << false;
    QTest::newRow("10 MB in one line between the markers")
        << Marker + "2.1" + QByteArray(10 * 1024 * 1024, '9') + Marker << true;
    QTest::newRow("markers with nothing between") << Marker + Marker + "2.1" << false;
    QTest::newRow("markers with words between") << Marker + "nueva version" + Marker << false;
    QTest::newRow("binary") << randomBytes(64 * 1024, 3) << false;
    QTest::newRow("binary around the version")
        << raw("\0\x81\r\xFF\n") + Marker + "2.\r\n1" + Marker + raw("\0\xBF\0") << true;
    QTest::newRow("NUL inside the version") << Marker
            + raw("2.\0"
                  "1")
            + Marker << false;
}

void TestHostileInput::updateFileShapes()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, newer);
    const QString path = m_desktop->programFile(u"actu.txt"_qs);
    writeBytes(path, content);
    const std::optional<QStringList> lines = TextFile::readLines(path);
    QVERIFY(lines);
    const QString version = VersionCheck::versionText(VersionCheck::joinLines(*lines));
    QCOMPARE(VersionCheck::isNewer(version, 2, 0), newer);
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
