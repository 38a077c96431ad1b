#include "fake_platform.h"
#include "hostile_files.h"
#include "options/options_file.h"
#include "options/sound_cue.h"
#include "watchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

class TestOptionsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void missingFileIsCreatedWithTheDefaults();
    void existingFileIsNeverRepaired();
    void readersFallBackOnShortOrMissingFiles_data();
    void readersFallBackOnShortOrMissingFiles();
    void printPhotoKeepsItsLastValue();
    void valuesAreExactText();
    void soundCue_data();
    void soundCue();
    void protectionLine_data();
    void protectionLine();
    void windowReaderKeepsWhatIsThere();
    void chainedLineUpdates();
    void lineUpdateKeepsExtraLinesAndLosesAChangePastTheEnd();
    void commitPutsTheWorkingCopyInForce();
    void commitWithoutWorkingCopyChangesNothing();
    void discard();
    void lineUpdateStreamsWhatItDoesNotChange();
    void workingCopyKeepsTheModeAndAttributesOfWhatItCopies();
    void commitMovesNoLinkIntoPlace();
    void discardRemovesOnlyWhatTheProgramMakes();

private:
    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<OptionsFile> m_options;

    void write(const QStringList &lines) { writeBytes(m_options->path(), cp1252Lines(lines)); }
};

void TestOptionsFile::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_options = std::make_unique<OptionsFile>(m_desktop->programDir());
}

void TestOptionsFile::missingFileIsCreatedWithTheDefaults()
{
    QVERIFY(m_options->createIfMissing());
    QCOMPARE(readBytes(m_options->path()), QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    QVERIFY(!QFileInfo::exists(m_options->temporaryPath()));
}

void TestOptionsFile::existingFileIsNeverRepaired()
{
    writeBytes(m_options->path(), "0\r\n1\r\n");
    QVERIFY(m_options->createIfMissing());
    QCOMPARE(readBytes(m_options->path()), QByteArray("0\r\n1\r\n"));

    // A file that cannot be read is left alone too.
    QFile::remove(m_options->path());
    QVERIFY(QDir().mkdir(m_options->path()));
    QVERIFY(!m_options->createIfMissing());
    QVERIFY(QFileInfo(m_options->path()).isDir());
}

void TestOptionsFile::readersFallBackOnShortOrMissingFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");

    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("seven lines") << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n") << true;
    QTest::newRow("carriage returns only") << QByteArray("0\r0\r0\r0\r0\r0\r0\r0\r") << true;
}

void TestOptionsFile::readersFallBackOnShortOrMissingFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    if (exists)
        writeBytes(m_options->path(), content);

    MainWindowOptions options;
    options.ConfirmChanges = options.Capitalize = options.UpdateCheck = options.SoundsOn = u"0"_qs;
    options.read(*m_options);
    QCOMPARE(options.ConfirmChanges, u"1"_qs);
    QCOMPARE(options.Capitalize, u"1"_qs);
    QCOMPARE(options.UpdateCheck, u"1"_qs);
    QCOMPARE(options.SoundsOn, u"1"_qs);
    QCOMPARE(options.PrintPhoto, QString());
    QCOMPARE(ReadOptions(*m_options), u"1"_qs);
}

void TestOptionsFile::printPhotoKeepsItsLastValue()
{
    write({u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"7"_qs, u"0"_qs, u"0"_qs, u"0"_qs});
    MainWindowOptions options;
    options.read(*m_options);
    QCOMPARE(options.PrintPhoto, u"7"_qs);

    QFile::remove(m_options->path());
    options.read(*m_options);
    QCOMPARE(options.PrintPhoto, u"7"_qs);
    QCOMPARE(options.SoundsOn, u"1"_qs);
}

void TestOptionsFile::valuesAreExactText()
{
    write({u" 0"_qs, u"no"_qs, u"x"_qs, u"1 "_qs, u"00"_qs, u""_qs, u"0"_qs, u"0"_qs, u"ninth"_qs});
    MainWindowOptions options;
    options.read(*m_options);
    QCOMPARE(options.ConfirmChanges, u" 0"_qs);
    QCOMPARE(options.Capitalize, u"no"_qs);
    QCOMPARE(options.PrintPhoto, u"00"_qs);
    QCOMPARE(options.UpdateCheck, QString());
    QCOMPARE(options.SoundsOn, u"0"_qs);
    QCOMPARE(ReadOptions(*m_options), u"0"_qs);
}

void TestOptionsFile::soundCue_data()
{
    QTest::addColumn<QString>("soundsOn");
    QTest::addColumn<bool>("plays");
    QTest::newRow("0") << u"0"_qs << false;
    QTest::newRow("1") << u"1"_qs << true;
    QTest::newRow("no") << u"no"_qs << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blank 0") << u" 0"_qs << true;
}

void TestOptionsFile::soundCue()
{
    QFETCH(QString, soundsOn);
    QFETCH(bool, plays);
    playSoundCue(m_desktop->sound, soundsOn, ClickSound);
    QCOMPARE(m_desktop->sound.played, plays ? QStringList {u"Tac.WAV"_qs} : QStringList());
}

void TestOptionsFile::protectionLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("line4");
    QTest::newRow("on") << QByteArray("1\r\n1\r\n0\r\n1\r\n") << u"1"_qs;
    QTest::newRow("blank before") << QByteArray("1\r\n1\r\n0\r\n 1\r\n0\r\n") << u" 1"_qs;
    QTest::newRow("three lines") << QByteArray("1\r\n1\r\n1\r\n") << QString();
    QTest::newRow("last line without line end") << QByteArray("1\r\n1\r\n0\r\n1") << u"1"_qs;
}

void TestOptionsFile::protectionLine()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, line4);
    writeBytes(m_options->path(), content);
    QCOMPARE(m_options->readProtectionLine(), line4);
}

void TestOptionsFile::windowReaderKeepsWhatIsThere()
{
    QCOMPARE(m_options->readUpToEight(), std::nullopt);
    writeBytes(m_options->path(), "0\r\n1\r\n12/05/2026\r\n");
    const OptionsFile::Lines expected = {u"0"_qs, u"1"_qs, u"12/05/2026"_qs, {}, {}, {}, {}, {}};
    QCOMPARE(m_options->readUpToEight(), expected);
}

void TestOptionsFile::chainedLineUpdates()
{
    QVERIFY(m_options->createIfMissing());
    const QByteArray before = readBytes(m_options->path());

    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"0"_qs));
    QVERIFY(m_options->updateLine(OptionsFile::ConfirmChanges, u"0"_qs));
    QVERIFY(m_options->updateLine(OptionsFile::LastBackup, u"07/12/2026"_qs));
    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"1"_qs));

    QCOMPARE(readBytes(m_options->workingCopyPath()),
        QByteArray("0\r\n1\r\n07/12/2026\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    QCOMPARE(readBytes(m_options->path()), before);
    QVERIFY(!QFileInfo::exists(m_options->temporaryPath()));
}

void TestOptionsFile::lineUpdateKeepsExtraLinesAndLosesAChangePastTheEnd()
{
    writeBytes(m_options->path(), "1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\nnueve\r\ndiez\r\n");
    QVERIFY(m_options->updateLine(2, u"0"_qs));
    QCOMPARE(readBytes(m_options->workingCopyPath()),
        QByteArray("1\r\n0\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\nnueve\r\ndiez\r\n"));

    QFile::remove(m_options->workingCopyPath());
    writeBytes(m_options->path(), "1\r\n1\r\n0\r\n");
    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"0"_qs));
    QCOMPARE(readBytes(m_options->workingCopyPath()), QByteArray("1\r\n1\r\n0\r\n"));
}

void TestOptionsFile::commitPutsTheWorkingCopyInForce()
{
    QVERIFY(m_options->createIfMissing());
    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"0"_qs));
    QVERIFY(m_options->commit());
    QCOMPARE(readBytes(m_options->path()), QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n"));
    QVERIFY(!QFileInfo::exists(m_options->workingCopyPath()));
    QCOMPARE(ReadOptions(*m_options), u"0"_qs);
}

void TestOptionsFile::commitWithoutWorkingCopyChangesNothing()
{
    QVERIFY(m_options->createIfMissing());
    const QFileInfo before(m_options->path());
    const QDateTime modified = before.lastModified();
    QVERIFY(!m_options->commit());
    QCOMPARE(QFileInfo(m_options->path()).lastModified(), modified);
    QCOMPARE(readBytes(m_options->path()), QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
}

void TestOptionsFile::discard()
{
    QVERIFY(m_options->createIfMissing());
    const QByteArray before = readBytes(m_options->path());
    QVERIFY(m_options->updateLine(1, u"0"_qs));
    m_options->discard();
    QVERIFY(!QFileInfo::exists(m_options->workingCopyPath()));
    QCOMPARE(readBytes(m_options->path()), before);
    m_options->discard(); // nothing left to delete: no error either
}

// Lines of any length pass through a line update byte for byte without being held; the memory a
// tick takes does not grow with the file.
void TestOptionsFile::lineUpdateStreamsWhatItDoesNotChange()
{
    const QByteArray huge(5 * 1024 * 1024 + 3, '7');
    const QByteArray content = "1\r\n1\r\n" + huge + "\r\n0\r\n0\r\n1\r\n0\r\n1\r\n" + huge + "\n" + huge;
    writeBytes(m_options->path(), content);
    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"0"_qs));
    QVERIFY(readBytes(m_options->workingCopyPath())
        == "1\r\n1\r\n" + huge + "\r\n0\r\n0\r\n1\r\n0\r\n0\r\n" + huge + "\r\n" + huge + "\r\n");
    QVERIFY(m_options->updateLine(OptionsFile::LastBackup, u"07/12/2026"_qs));
    QVERIFY(readBytes(m_options->workingCopyPath())
        == "1\r\n1\r\n07/12/2026\r\n0\r\n0\r\n1\r\n0\r\n0\r\n" + huge + "\r\n" + huge + "\r\n");
    QVERIFY(readBytes(m_options->path()) == content);
}

void TestOptionsFile::workingCopyKeepsTheModeAndAttributesOfWhatItCopies()
{
    const OptionsFile::Lines defaults = OptionsFile::defaults();
    write(QStringList(defaults.begin(), defaults.end()));
    ::chmod(QFile::encodeName(m_options->path()).constData(), 0640);
    const bool attributes = setUserAttribute(m_options->path(), "user.origen", "casa");
    const ScopedUmask mask(0);
    QVERIFY(m_options->updateLine(OptionsFile::Capitalize, u"0"_qs));
    QCOMPARE(modeOf(m_options->workingCopyPath()), 0640);
    QVERIFY(m_options->updateLine(OptionsFile::SoundsOn, u"0"_qs));
    QVERIFY(m_options->commit());
    QCOMPARE(modeOf(m_options->path()), 0640);
    if (attributes)
        QCOMPARE(userAttribute(m_options->path(), "user.origen"), QByteArray("casa"));
    // A file made from nothing is its owner's alone.
    QFile::remove(m_options->path());
    QVERIFY(m_options->createIfMissing());
    QCOMPARE(modeOf(m_options->path()), 0600);
}

void TestOptionsFile::commitMovesNoLinkIntoPlace()
{
    write({u"1"_qs});
    const QString victim = m_desktop->programFile(u"otro.txt"_qs);
    writeBytes(victim, "0\r\n");
    QVERIFY(makeLink(victim, m_options->workingCopyPath()));
    QVERIFY(!m_options->commit());
    QVERIFY(isRegularFile(m_options->path()));
    QCOMPARE(readBytes(m_options->path()), QByteArray("1\r\n"));
    // A FIFO in the working copy's place neither blocks nor moves.
    QFile::remove(m_options->workingCopyPath());
    QVERIFY(makeFifo(m_options->workingCopyPath()));
    Watchdog watchdog({m_desktop->programDir()});
    QVERIFY(!m_options->commit());
    QVERIFY(!watchdog.stop());
    QCOMPARE(readBytes(m_options->path()), QByteArray("1\r\n"));
}

void TestOptionsFile::discardRemovesOnlyWhatTheProgramMakes()
{
    QVERIFY(makeFifo(m_options->workingCopyPath()));
    m_options->discard();
    QVERIFY(QFileInfo::exists(m_options->workingCopyPath()));
    QFile::remove(m_options->workingCopyPath());
    const QString victim = m_desktop->programFile(u"otro.txt"_qs);
    writeBytes(victim, "mine");
    QVERIFY(makeLink(victim, m_options->workingCopyPath()));
    m_options->discard();
    QVERIFY(!isLink(m_options->workingCopyPath()));
    QCOMPARE(readBytes(victim), QByteArray("mine"));
}

QTEST_GUILESS_MAIN(TestOptionsFile)
#include "tst_options_file.moc"
