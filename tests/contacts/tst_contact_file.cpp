#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "fake_platform.h"
#include "hostile_files.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace ContactRecord;

namespace {

QString line(const QString &surname, const QString &name, const QString &phone = {})
{
    Fields fields;
    fields[apellido] = surname;
    fields[nombre] = name;
    fields[telefono] = phone;
    return lineOf(fields);
}

} // namespace

class TestContactFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void missingFileIsCreatedEmptyAndHidden();
    void survivingTwinIsTakenWhenTheFileIsMissing();
    void twinBesideTheFileIsIgnoredAndOverwritten();
    void emptyFileHasNoKeysAndFirstAppendMakesOneLine();
    void appendKeepsAHandEditedLastLine();
    void readKeysInFileOrderSkippingBlankLines();
    void recordsAreTheLinesTheListIsMadeOf_data();
    void recordsAreTheLinesTheListIsMadeOf();
    void keysOfOddLines_data();
    void keysOfOddLines();
    void findByKeyIsExactAndTakesTheFirst();
    void replaceByKeyKeepsThePosition();
    void replaceByKeyReplacesOnlyTheFirstOfEqualKeys();
    void rewriteCopiesLinesItDoesNotUnderstandByteForByte();
    void removeEqualRemovesEveryEqualLineAndNothingElse();
    void removeWithoutEqualLineGivesAnIdenticalFile();
    void everyOperationLeavesTheFileHidden();
    void everyCodePageCharacterSurvives();
    void failedRewriteLeavesTheFileAsItWas();
    void failedAppendReportsIt();
    void backupAndRestore();
    void restoreWithoutBackupLeavesTheFile();
    void backupWithoutContactFileFails();
    void cutTwinIsKeptAsideNotAdopted_data();
    void cutTwinIsKeptAsideNotAdopted();
    void longLinesAreListedByACutKeyAndCopiedWhole_data();
    void longLinesAreListedByACutKeyAndCopiedWhole();
    void fileBeyondTheMemoryBudgetIsRefused();
    void rewritesKeepModeAndAttributes_data();
    void rewritesKeepModeAndAttributes();
    void newFilesAreOwnerOnlyWhateverTheUmask();
    void appendToAMissingFileKeepsTheTwin_data();
    void appendToAMissingFileKeepsTheTwin();

private:
    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<ContactFile> m_file;

    void writeLines(const QStringList &lines) { writeBytes(m_file->path(), cp1252Lines(lines)); }
    QByteArray bytes() const { return readBytes(m_file->path()); }
};

void TestContactFile::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_file = std::make_unique<ContactFile>(m_desktop->programDir(), m_desktop->attributes);
}

void TestContactFile::missingFileIsCreatedEmptyAndHidden()
{
    QVERIFY(m_file->ensureExists());
    QVERIFY(QFileInfo(m_file->path()).isFile());
    QCOMPARE(QFileInfo(m_file->path()).size(), 0);
    QVERIFY(m_desktop->attributes.isHidden(m_file->path()));
    QCOMPARE(m_file->readKeys(), QStringList());
}

void TestContactFile::survivingTwinIsTakenWhenTheFileIsMissing()
{
    const QByteArray contacts = cp1252Lines({line(u"Gomez"_qs, u"Ana"_qs), line(u"Perez"_qs, u"Juan"_qs)});
    writeBytes(m_file->twinPath(), contacts);

    QVERIFY(m_file->ensureExists());
    QCOMPARE(bytes(), contacts);
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
    QVERIFY(m_desktop->attributes.isHidden(m_file->path()));
}

void TestContactFile::twinBesideTheFileIsIgnoredAndOverwritten()
{
    writeLines({line(u"Gomez"_qs, u"Ana"_qs)});
    writeBytes(m_file->twinPath(), cp1252Lines({line(u"Viejo"_qs, u"Resto"_qs)}));

    QVERIFY(m_file->ensureExists());
    QCOMPARE(m_file->readKeys(), QStringList {u"Gomez Ana "_qs});

    QVERIFY(m_file->removeEqual(u"nothing"_qs));
    QCOMPARE(m_file->readKeys(), QStringList {u"Gomez Ana "_qs});
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
}

void TestContactFile::emptyFileHasNoKeysAndFirstAppendMakesOneLine()
{
    QVERIFY(m_file->ensureExists());
    QVERIFY(m_file->append(line(u"Gomez"_qs, u"Ana"_qs)));

    QByteArray expected = QByteArray("Gomez\xE3"
                                     "Ana")
        + QByteArray(17, char(0xE3)) + "\r\n";
    QCOMPARE(bytes(), expected);
}

// The key as the list shows it, whatever the line holds: the text up to the second separator with
// that separator and a final one turned into blanks, every byte decoded from the code page.
void TestContactFile::keysOfOddLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("key");
    QTest::newRow("whole") << QByteArray("Gomez\xE3"
                                         "Ana\xE3"
                                         "Calle\xE3")
                           << u"Gomez Ana "_qs;
    QTest::newRow("no separator") << QByteArray("Gomez") << u"Gomez  "_qs;
    QTest::newRow("one separator") << QByteArray("Gomez\xE3"
                                                 "Ana")
                                   << u"Gomez Ana "_qs;
    QTest::newRow("empty fields") << QByteArray("\xE3\xE3\xE3") << u"  "_qs;
    QTest::newRow("code page") << QByteArray("\x80\x9F\xF1\xE3\x8A\x00z\xE3", 9)
                               << QStringLiteral("€Ÿñ Š") + QChar(0) + u"z "_qs;
}

void TestContactFile::keysOfOddLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    writeBytes(m_file->path(), line + "\r\n");
    QCOMPARE(m_file->readKeys(), QStringList {key});
}

void TestContactFile::appendKeepsAHandEditedLastLine()
{
    writeBytes(m_file->path(), cp1252Lines({line(u"Gomez"_qs, u"Ana"_qs)}).chopped(2));
    QVERIFY(m_file->append(line(u"Perez"_qs, u"Juan"_qs)));
    QCOMPARE(m_file->readKeys(), (QStringList {u"Gomez Ana "_qs, u"Perez Juan "_qs}));
    QVERIFY(bytes().endsWith("\r\n"));
}

void TestContactFile::readKeysInFileOrderSkippingBlankLines()
{
    writeLines({line(u"Zapata"_qs, u"Eva"_qs), QString(), line(u"álvarez"_qs, u"Íñigo"_qs),
        line(u"Gomez"_qs, u"Ana"_qs), line(u"Gomez"_qs, u"Ana"_qs)});
    QCOMPARE(m_file->readKeys(),
        (QStringList {u"Zapata Eva "_qs, u"álvarez Íñigo "_qs, u"Gomez Ana "_qs, u"Gomez Ana "_qs}));
}

// The export reads the file in one block and finds the lines itself: its lines and keys are those
// the list and the line reader give, whatever the file holds.
void TestContactFile::recordsAreTheLinesTheListIsMadeOf_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray ana = "Gomez\xE3"
                           "Ana\xE3"
                           "x\xE3";
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("blank lines and line ends of both kinds")
        << "\r\n" + ana + "\r\n\r\n\n" + ana + "\n" + ana + "\r\n\r\n";
    QTest::newRow("last line without its end") << ana + "\r\nPerez\xE3Juan";
    QTest::newRow("carriage returns inside a line") << "Ruiz\rEva\xE3\r\xE3\r\r\n" + ana;
    QTest::newRow("bytes of every kind") << QByteArray("\x00\x80\xFF\xE3\x9D\xE3\x00\r\n", 9) + ana;
    QTest::newRow("a line too long to show")
        << ana + "\r\n" + QByteArray(ContactFile::LongestShown + 10, 'z') + "\xE3y\r\n" + ana;
}

void TestContactFile::recordsAreTheLinesTheListIsMadeOf()
{
    QFETCH(QByteArray, file);
    writeBytes(m_file->path(), file);
    const std::optional<ContactFile::Records> records = m_file->readRecords();
    QVERIFY(records);
    QCOMPARE(records->keys, m_file->readKeys());
    const std::optional<QStringList> lines = m_file->readLines();
    QVERIFY(lines);
    QCOMPARE(records->count(), lines->size());
    for (qsizetype i = 0; i < records->count(); ++i)
        QCOMPARE(records->line(i), Windows1252::encode(lines->at(i)));
}

void TestContactFile::findByKeyIsExactAndTakesTheFirst()
{
    writeLines({line(u"gomez"_qs, u"ana"_qs, u"1"_qs), line(u"Gomez"_qs, u"Ana"_qs, u"2"_qs),
        line(u"Gomez"_qs, u"Ana"_qs, u"3"_qs)});
    QCOMPARE(m_file->findByKey(u"Gomez Ana "_qs), line(u"Gomez"_qs, u"Ana"_qs, u"2"_qs));
    QCOMPARE(m_file->findByKey(u"gomez ana "_qs), line(u"gomez"_qs, u"ana"_qs, u"1"_qs));
    QCOMPARE(m_file->findByKey(u"Gomez Ana"_qs), std::nullopt);
    QCOMPARE(m_file->findByKey(u"GOMEZ ANA "_qs), std::nullopt);
}

void TestContactFile::replaceByKeyKeepsThePosition()
{
    const QString old = line(u"Gomez"_qs, u"Ana"_qs, u"111"_qs);
    writeLines({line(u"Perez"_qs, u"Juan"_qs), old, line(u"Zapata"_qs, u"Eva"_qs)});

    const QString changed = line(u"Gómez"_qs, u"Ana"_qs, u"222"_qs);
    QVERIFY(m_file->replaceByKey(old, changed));
    QCOMPARE(bytes(), cp1252Lines({line(u"Perez"_qs, u"Juan"_qs), changed, line(u"Zapata"_qs, u"Eva"_qs)}));
    QCOMPARE(m_file->findByKey(u"Gomez Ana "_qs), std::nullopt);
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
}

void TestContactFile::replaceByKeyReplacesOnlyTheFirstOfEqualKeys()
{
    const QString first = line(u"Gomez"_qs, u"Ana"_qs, u"1"_qs);
    const QString second = line(u"Gomez"_qs, u"Ana"_qs, u"2"_qs);
    writeLines({first, second});

    const QString changed = line(u"Gomez"_qs, u"Ana"_qs, u"9"_qs);
    QVERIFY(m_file->replaceByKey(first, changed));
    QCOMPARE(bytes(), cp1252Lines({changed, second}));
}

void TestContactFile::rewriteCopiesLinesItDoesNotUnderstandByteForByte()
{
    const QByteArray odd = QByteArray("sin separador\r\n") + "\r\n"
        + "undefined \x81\x8D\x8F\x90\x9D bytes\xE3x\xE3\r\n" + QByteArray("nul\0byte\xE3", 9) + "\r\n"
        + "lone\rcarriage\xE3return\r\n" + QByteArray(40, char(0xE3)) + "\r\n";
    const QString target = line(u"Gomez"_qs, u"Ana"_qs);
    writeBytes(m_file->path(), odd + cp1252Lines({target}) + odd);

    const QString changed = line(u"Gomez"_qs, u"Ana"_qs, u"5"_qs);
    QVERIFY(m_file->replaceByKey(target, changed));
    QCOMPARE(bytes(), odd + cp1252Lines({changed}) + odd);

    QVERIFY(m_file->removeEqual(changed));
    QCOMPARE(bytes(), odd + odd);
}

void TestContactFile::removeEqualRemovesEveryEqualLineAndNothingElse()
{
    const QString ana = line(u"Gomez"_qs, u"Ana"_qs);
    const QString anaOtherPhone = line(u"Gomez"_qs, u"Ana"_qs, u"5"_qs);
    writeLines({ana, line(u"Perez"_qs, u"Juan"_qs), ana, anaOtherPhone, ana});

    QVERIFY(m_file->removeEqual(ana));
    QCOMPARE(bytes(), cp1252Lines({line(u"Perez"_qs, u"Juan"_qs), anaOtherPhone}));
}

void TestContactFile::removeWithoutEqualLineGivesAnIdenticalFile()
{
    writeLines({line(u"Gomez"_qs, u"Ana"_qs), line(u"Perez"_qs, u"Juan"_qs)});
    const QByteArray before = bytes();
    QVERIFY(m_file->removeEqual(line(u"Gomez"_qs, u"Ana"_qs, u"otro"_qs)));
    QCOMPARE(bytes(), before);
}

void TestContactFile::everyOperationLeavesTheFileHidden()
{
    FakeFileAttributes &attributes = m_desktop->attributes;
    const QString ana = line(u"Gomez"_qs, u"Ana"_qs);

    const QList<std::pair<const char *, std::function<void()>>> operations = {
        {"create", [&] { QVERIFY(m_file->ensureExists()); }},
        {"append", [&] { QVERIFY(m_file->append(ana)); }},
        {"read keys", [&] { QVERIFY(m_file->readKeys()); }},
        {"find", [&] { QVERIFY(m_file->findByKey(u"Gomez Ana "_qs)); }},
        {"replace", [&] { QVERIFY(m_file->replaceByKey(ana, ana)); }},
        {"remove", [&] { QVERIFY(m_file->removeEqual(u"x"_qs)); }},
        {"backup", [&] { QVERIFY(m_file->backup()); }},
        {"restore", [&] { QVERIFY(m_file->restore()); }},
    };
    for (const auto &[name, operation] : operations) {
        attributes.calls.clear();
        operation();
        QVERIFY2(attributes.isHidden(m_file->path()), name);
        QVERIFY2(!attributes.calls.isEmpty() && attributes.calls.last() == u"hidden:data.orv"_qs, name);
        if (QByteArray(name) != "create")
            QVERIFY2(attributes.calls.first() == u"normal:data.orv"_qs, name);
    }
    QVERIFY(!attributes.isHidden(m_file->backupPath()));
}

void TestContactFile::everyCodePageCharacterSurvives()
{
    QString all;
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        if (byte != 0xE3)
            all += Windows1252::decode(QByteArray(1, char(byte)));
    }
    Fields fields;
    fields[apellido] = u"Gomez"_qs;
    fields[nombre] = u"Ana"_qs;
    fields[domicilio] = all;
    fields[ocupacion] = all;
    QVERIFY(m_file->ensureExists());
    QVERIFY(m_file->append(lineOf(fields)));

    const std::optional<QString> stored = m_file->findByKey(u"Gomez Ana "_qs);
    QVERIFY(stored);
    QCOMPARE(ContactRecord::fieldsOf(*stored), fields);
    QCOMPARE(*stored, lineOf(fields));
}

void TestContactFile::failedRewriteLeavesTheFileAsItWas()
{
    const QString ana = line(u"Gomez"_qs, u"Ana"_qs);
    writeLines({ana, line(u"Perez"_qs, u"Juan"_qs)});
    const QByteArray before = bytes();

    // A directory in the twin's place: the twin cannot be created.
    QVERIFY(QDir().mkdir(m_file->twinPath()));
    QVERIFY(!m_file->replaceByKey(ana, line(u"Gomez"_qs, u"Ana"_qs, u"1"_qs)));
    QVERIFY(!m_file->removeEqual(ana));
    QVERIFY(!m_file->restore());
    QCOMPARE(bytes(), before);
    QVERIFY(m_desktop->attributes.isHidden(m_file->path()));
    QVERIFY(QDir().rmdir(m_file->twinPath()));

    // The file itself gone from under the program: nothing to rewrite, nothing invented.
    QFile::remove(m_file->path());
    QVERIFY(!m_file->replaceByKey(ana, ana));
    QVERIFY(!QFileInfo::exists(m_file->path()));
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
}

void TestContactFile::failedAppendReportsIt()
{
    QVERIFY(QDir().mkdir(m_file->path()));
    QVERIFY(!m_file->append(line(u"Gomez"_qs, u"Ana"_qs)));
    QCOMPARE(m_file->readKeys(), std::nullopt);
}

void TestContactFile::backupAndRestore()
{
    writeLines({line(u"Gomez"_qs, u"Ana"_qs)});
    const QByteArray saved = bytes();
    QVERIFY(m_file->backup());
    QCOMPARE(readBytes(m_file->backupPath()), saved);

    QVERIFY(m_file->append(line(u"Perez"_qs, u"Juan"_qs)));
    QVERIFY(m_file->restore());
    QCOMPARE(bytes(), saved);
    QCOMPARE(readBytes(m_file->backupPath()), saved);
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
}

void TestContactFile::restoreWithoutBackupLeavesTheFile()
{
    writeLines({line(u"Gomez"_qs, u"Ana"_qs)});
    const QByteArray before = bytes();
    QVERIFY(!m_file->restore());
    QCOMPARE(bytes(), before);
}

void TestContactFile::backupWithoutContactFileFails()
{
    writeBytes(m_file->backupPath(), "old backup");
    QVERIFY(!m_file->backup());
    QCOMPARE(readBytes(m_file->backupPath()), QByteArray("old backup"));
}

// A twin that lost the end of its last line is no contact file: it keeps its bytes under a name of
// its own, and the program starts from an empty file rather than a silently cut one.
void TestContactFile::cutTwinIsKeptAsideNotAdopted_data()
{
    QTest::addColumn<QByteArray>("twin");
    QTest::addColumn<int>("taken"); // names already taken beside it
    QTest::addColumn<QString>("keptAs");
    const QByteArray whole = cp1252Lines({line(u"Gomez"_qs, u"Ana"_qs), line(u"Perez"_qs, u"Juan"_qs)});
    QTest::newRow("cut inside a line") << whole.chopped(9) << 0 << u"data.orv2.incompleto"_qs;
    QTest::newRow("cut between CR and LF") << whole.chopped(1) << 0 << u"data.orv2.incompleto"_qs;
    QTest::newRow("LF alone at the end") << whole.chopped(2) + "\n" << 0 << u"data.orv2.incompleto"_qs;
    QTest::newRow("an earlier one kept already") << whole.chopped(9) << 2 << u"data.orv2.incompleto3"_qs;
}

void TestContactFile::cutTwinIsKeptAsideNotAdopted()
{
    QFETCH(QByteArray, twin);
    QFETCH(int, taken);
    QFETCH(QString, keptAs);
    writeBytes(m_file->twinPath(), twin);
    for (int n = 1; n <= taken; ++n)
        writeBytes(
            m_file->twinPath() + u".incompleto"_qs + (n > 1 ? QString::number(n) : QString()), "older");

    ContactFile::Start start = ContactFile::Start::Found;
    QString kept;
    QVERIFY(m_file->ensureExists(&start, &kept));
    QCOMPARE(start, ContactFile::Start::TwinKept);
    QCOMPARE(QFileInfo(kept).fileName(), keptAs);
    QCOMPARE(readBytes(kept), twin);
    QCOMPARE(bytes(), QByteArray());
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
    QVERIFY(m_desktop->attributes.isHidden(m_file->path()));
    QCOMPARE(readBytes(m_file->twinPath() + u".incompleto"_qs), taken ? QByteArray("older") : twin);

    // A whole twin is the file; a link in the twin's place is nobody's contacts.
    QFile::remove(m_file->path());
    const QByteArray whole = cp1252Lines({line(u"Gomez"_qs, u"Ana"_qs)});
    writeBytes(m_file->twinPath(), whole);
    QVERIFY(m_file->ensureExists(&start));
    QCOMPARE(start, ContactFile::Start::TwinAdopted);
    QCOMPARE(bytes(), whole);
    QFile::remove(m_file->path());
    QVERIFY(makeLink(kept, m_file->twinPath()));
    QVERIFY(m_file->ensureExists(&start));
    QCOMPARE(start, ContactFile::Start::Created);
    QCOMPARE(bytes(), QByteArray());
    QCOMPARE(readBytes(kept), twin);
}

// A line longer than the program shows is listed under its key cut to LongestKey characters, found
// by that key without being read whole, and every rewrite of other lines (and of itself) handles
// it in pieces, byte for byte.
void TestContactFile::longLinesAreListedByACutKeyAndCopiedWhole_data()
{
    QTest::addColumn<QByteArray>("longLine");
    QTest::addColumn<QString>("key");
    const qsizetype size = 3 * 1024 * 1024 + 11;
    const QByteArray sep(1, char(0xE3));
    QTest::newRow("no separator") << QByteArray(size, 'x') << QString(ContactFile::LongestKey, u'x');
    QTest::newRow("a long surname") << QByteArray(2000, 's') + sep + "Ana" + sep + QByteArray(size, 'x')
                                    << QString(ContactFile::LongestKey, u's');
    QTest::newRow("a short key, a long nickname")
        << "Grande" + sep + "Linea" + sep + QByteArray(size, 'n') + QByteArray(16, char(0xE3)) + "detrás"
        << u"Grande Linea "_qs;
    QTest::newRow("NUL bytes") << QByteArray(size, '\0') << QString(ContactFile::LongestKey, QChar(0));
}

void TestContactFile::longLinesAreListedByACutKeyAndCopiedWhole()
{
    QFETCH(QByteArray, longLine);
    QFETCH(QString, key);
    const QByteArray gomez = Windows1252::encode(line(u"Gomez"_qs, u"Ana"_qs));
    writeBytes(m_file->path(), gomez + "\r\n" + longLine + "\r\n");
    QCOMPARE(m_file->readKeys(), (QStringList {u"Gomez Ana "_qs, key}));

    const std::optional<ContactFile::Match> shown = m_file->find(key);
    QVERIFY(shown);
    QVERIFY(!shown->whole);
    QVERIFY(shown->line.isEmpty());
    QCOMPARE(shown->length, longLine.size());

    // Rewrites of the other lines copy it.
    const QByteArray perez = Windows1252::encode(line(u"Perez"_qs, u"Juan"_qs));
    QVERIFY(m_file->append(line(u"Perez"_qs, u"Juan"_qs)));
    QVERIFY(m_file->replaceByKey(line(u"Perez"_qs, u"Juan"_qs), line(u"Perez"_qs, u"Juan"_qs, u"1"_qs)));
    QVERIFY(m_file->removeEqual(line(u"Gomez"_qs, u"Ana"_qs)));
    const QByteArray perez1 = Windows1252::encode(line(u"Perez"_qs, u"Juan"_qs, u"1"_qs));
    QVERIFY(bytes() == longLine + "\r\n" + perez1 + "\r\n");
    QVERIFY(m_file->backup());
    QVERIFY(readBytes(m_file->backupPath()) == bytes());

    if (key == u"Grande Linea "_qs) {
        // Its own replacement keeps the text after the 18th separator, read from the file.
        const QString changed = line(u"Grande"_qs, u"Linea"_qs, u"2"_qs);
        QVERIFY(m_file->replaceByKey(u"Grande\u00E3Linea\u00E3"_qs, changed));
        QVERIFY(bytes() == Windows1252::encode(changed) + "detrás" + "\r\n" + perez1 + "\r\n");
        QVERIFY(m_file->restore());
    }
    // Deleting it compares it whole.
    QVERIFY(m_file->removeEqual(Windows1252::decode(longLine.chopped(1) + "?")));
    QVERIFY(bytes() == longLine + "\r\n" + perez1 + "\r\n");
    QVERIFY(m_file->removeEqual(Windows1252::decode(longLine)));
    QVERIFY(bytes() == perez1 + "\r\n");
}

void TestContactFile::fileBeyondTheMemoryBudgetIsRefused()
{
    writeLines({line(u"Gomez"_qs, u"Ana"_qs), line(u"Perez"_qs, u"Juan"_qs)});
    const QByteArray before = bytes();
    ContactFile::Failure failure = ContactFile::Failure::None;
    QVERIFY(m_file->readKeys(&failure));
    QCOMPARE(failure, ContactFile::Failure::None);

    // Larger than the budget: refused without being read, by every operation.
    ContactFile::setMemoryBudget(before.size() - 1);
    QCOMPARE(m_file->readKeys(&failure), std::nullopt);
    QCOMPARE(failure, ContactFile::Failure::TooLarge);
    QCOMPARE(m_file->find(u"Gomez Ana "_qs), std::nullopt);
    QVERIFY(!m_file->append(line(u"Ruiz"_qs, u"Eva"_qs)));
    QVERIFY(!m_file->removeEqual(line(u"Gomez"_qs, u"Ana"_qs)));
    QVERIFY(!m_file->backup());

    // Small enough, but its list would take more than the budget.
    ContactFile::setMemoryBudget(before.size() + 100);
    QCOMPARE(m_file->readKeys(&failure), std::nullopt);
    QCOMPARE(failure, ContactFile::Failure::TooLarge);
    ContactFile::setMemoryBudget(0);
    QCOMPARE(bytes(), before);
    QVERIFY(!QFileInfo::exists(m_file->backupPath()));

    // Nothing to read: unreadable, not too large.
    QFile::remove(m_file->path());
    QVERIFY(makeFifo(m_file->path()));
    QCOMPARE(m_file->readKeys(&failure), std::nullopt);
    QCOMPARE(failure, ContactFile::Failure::Unreadable);
}

// What a rewrite replaces keeps its permission bits and user attributes, whatever the umask; a
// first backup takes those of the contact file it copies.
void TestContactFile::rewritesKeepModeAndAttributes_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("append") << 0;
    QTest::newRow("replace") << 1;
    QTest::newRow("remove") << 2;
    QTest::newRow("restore") << 3;
    QTest::newRow("first backup") << 4;
    QTest::newRow("backup over an older one") << 5;
}

void TestContactFile::rewritesKeepModeAndAttributes()
{
    QFETCH(int, operation);
    writeLines({line(u"Gomez"_qs, u"Ana"_qs), line(u"Perez"_qs, u"Juan"_qs)});
    const bool attributes = setUserAttribute(m_file->path(), "user.origen", "casa");
    ::chmod(QFile::encodeName(m_file->path()).constData(), 0640);
    if (operation == 3 || operation == 5) {
        writeBytes(m_file->backupPath(), cp1252Lines({line(u"Viejo"_qs, u"Resto"_qs)}));
        ::chmod(QFile::encodeName(m_file->backupPath()).constData(), 0604);
        if (attributes)
            setUserAttribute(m_file->backupPath(), "user.origen", "copia");
    }
    const ScopedUmask mask(0);
    bool ok = false;
    switch (operation) {
    case 0:
        ok = m_file->append(line(u"Ruiz"_qs, u"Eva"_qs));
        break;
    case 1:
        ok = m_file->replaceByKey(line(u"Gomez"_qs, u"Ana"_qs), line(u"Gomez"_qs, u"Ana"_qs, u"1"_qs));
        break;
    case 2:
        ok = m_file->removeEqual(line(u"Gomez"_qs, u"Ana"_qs));
        break;
    case 3:
        ok = m_file->restore();
        break;
    default:
        ok = m_file->backup();
        break;
    }
    QVERIFY(ok);
    const bool backup = operation >= 4;
    const QString written = backup ? m_file->backupPath() : m_file->path();
    QCOMPARE(modeOf(written), operation == 5 ? 0604 : 0640);
    if (attributes)
        QCOMPARE(userAttribute(written, "user.origen"), QByteArray(operation == 5 ? "copia" : "casa"));
}

void TestContactFile::newFilesAreOwnerOnlyWhateverTheUmask()
{
    const ScopedUmask mask(0);
    QVERIFY(m_file->ensureExists());
    QCOMPARE(modeOf(m_file->path()), 0600);
    QVERIFY(m_file->append(line(u"Gomez"_qs, u"Ana"_qs)));
    QCOMPARE(modeOf(m_file->path()), 0600);
    QFile::remove(m_file->path());
    QVERIFY(m_file->append(line(u"Perez"_qs, u"Juan"_qs))); // the file deleted from outside
    QCOMPARE(modeOf(m_file->path()), 0600);
}

// The file gone while a twin stands beside it (deleted from outside, or a start that could not
// put the twin in its place): the twin holds the contacts, so the new contact joins them; a cut
// twin is kept aside, never replaced by the append's own twin.
void TestContactFile::appendToAMissingFileKeepsTheTwin_data()
{
    QTest::addColumn<QByteArray>("twin");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("keptAs");
    const QString gomez = line(u"Gomez"_qs, u"Ana"_qs);
    const QString perez = line(u"Perez"_qs, u"Juan"_qs);
    QTest::newRow("whole twin") << cp1252Lines({gomez}) << cp1252Lines({gomez, perez}) << QString();
    QTest::newRow("empty twin") << QByteArray() << cp1252Lines({perez}) << QString();
    QTest::newRow("cut twin") << cp1252Lines({gomez}).chopped(5) << cp1252Lines({perez})
                              << u"data.orv2.incompleto"_qs;
}

void TestContactFile::appendToAMissingFileKeepsTheTwin()
{
    QFETCH(QByteArray, twin);
    QFETCH(QByteArray, file);
    QFETCH(QString, keptAs);
    writeBytes(m_file->twinPath(), twin);
    QVERIFY(m_file->append(line(u"Perez"_qs, u"Juan"_qs)));
    QCOMPARE(bytes(), file);
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
    if (!keptAs.isEmpty())
        QCOMPARE(readBytes(QFileInfo(m_file->path()).dir().filePath(keptAs)), twin);
    QVERIFY(m_desktop->attributes.isHidden(m_file->path()));
}

QTEST_GUILESS_MAIN(TestContactFile)
#include "tst_contact_file.moc"
