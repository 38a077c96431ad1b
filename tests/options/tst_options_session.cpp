// The options window's file sequence without the window: what opening, changing, putting in force
// and closing leave of the options file, its working copy and the password file.

#include "fake_platform.h"
#include "options/options_session.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

const QStringList ProtectionOff {u"1"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs};
const QStringList ProtectionOn {u"1"_qs, u"1"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs};

} // namespace

class TestOptionsSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void openDiscardsAWorkingCopyLeftBehind();
    void unreadableSettingsShowTheDefaults();
    void passwordFileOnClosing_data();
    void passwordFileOnClosing();
    void commitThatCannotTakeThePlace();

private:
    QString optionsPath() const { return m_desktop->programFile(u"Agenda.opt"_qs); }
    QString workingCopy() const { return m_desktop->programFile(u"Agenda.opt2"_qs); }
    QString passwordPath() const { return m_desktop->passwordFile(u"orvpw.ntd"_qs); }

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<OptionsSession> m_session;
};

void TestOptionsSession::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_session = std::make_unique<OptionsSession>(m_desktop->programDir(), m_desktop->passwordDir());
}

void TestOptionsSession::openDiscardsAWorkingCopyLeftBehind()
{
    writeBytes(optionsPath(), cp1252Lines(ProtectionOff));
    // Left by a run that ended with the window open: protection switched on, never seen.
    writeBytes(workingCopy(), cp1252Lines(ProtectionOn));
    const OptionsFile::Lines lines = m_session->open();
    QCOMPARE(lines.at(OptionsFile::PasswordProtection - 1), u"0"_qs);
    QVERIFY(!QFileInfo::exists(workingCopy()));
    QCOMPARE(m_session->commit(), OptionsSession::Commit::NothingToDo);
    QCOMPARE(readBytes(optionsPath()), cp1252Lines(ProtectionOff));
}

// A settings file that cannot be read shows the defaults, and leaves the password file alone:
// protection may well be on.
void TestOptionsSession::unreadableSettingsShowTheDefaults()
{
    QVERIFY(QDir().mkpath(optionsPath())); // a directory in the file's place
    writeBytes(passwordPath(), "guardado\r\n");
    const OptionsFile::Lines lines = m_session->open();
    QCOMPARE(lines, OptionsFile::defaults());
    m_session->close();
    QCOMPARE(readBytes(passwordPath()), QByteArray("guardado\r\n"));
}

void TestOptionsSession::passwordFileOnClosing_data()
{
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<bool>("switchedOn"); // a password window set a password and wrote line 4
    QTest::addColumn<bool>("committed");
    QTest::addColumn<bool>("kept");
    QTest::newRow("off, nothing done") << ProtectionOff << false << false << false;
    QTest::newRow("off, set and cancelled") << ProtectionOff << true << false << false;
    QTest::newRow("off, set and put in force") << ProtectionOff << true << true << true;
    QTest::newRow("on, left as it was") << ProtectionOn << false << false << true;
}

void TestOptionsSession::passwordFileOnClosing()
{
    QFETCH(QStringList, found);
    QFETCH(bool, switchedOn);
    QFETCH(bool, committed);
    QFETCH(bool, kept);
    writeBytes(optionsPath(), cp1252Lines(found));
    if (found == ProtectionOn)
        writeBytes(passwordPath(), "antes\r\n");
    m_session->open();
    if (switchedOn) {
        // The set-password window writes the file, then the line, into the same working copy.
        writeBytes(passwordPath(), "nueva\r\n");
        QVERIFY(OptionsFile(m_desktop->programDir()).updateLine(OptionsFile::PasswordProtection, u"1"_qs));
    }
    if (committed)
        QCOMPARE(m_session->commit(), OptionsSession::Commit::Done);
    m_session->close();
    QCOMPARE(QFileInfo::exists(passwordPath()), kept);
    QVERIFY(!QFileInfo::exists(workingCopy()));
    QCOMPARE(readBytes(optionsPath()), cp1252Lines(committed ? ProtectionOn : found));
}

// A change that cannot take the options file's place is reported as failed, and closing then
// throws it away: nothing of it is left behind.
void TestOptionsSession::commitThatCannotTakeThePlace()
{
    writeBytes(optionsPath(), cp1252Lines(ProtectionOff));
    m_session->open();
    QVERIFY(m_session->setLine(OptionsFile::SoundsOn, u"0"_qs));
    // A folder that is not empty in the file's place: no rename can replace it.
    QVERIFY(QFile::remove(optionsPath()));
    QVERIFY(QDir().mkpath(optionsPath() + u"/dentro"_qs));
    QCOMPARE(m_session->commit(), OptionsSession::Commit::Failed);
    QVERIFY(QFileInfo(optionsPath()).isDir());
    QVERIFY(QFileInfo::exists(workingCopy()));
    m_session->close();
    QVERIFY(!QFileInfo::exists(workingCopy()));
}

QTEST_GUILESS_MAIN(TestOptionsSession)
#include "tst_options_session.moc"
