#include "fake_platform.h"
#include "platform/program_layout.h"
#include "platform/qt_platform.h"
#include "platform/text_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
mode_t modeOf(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return mode_t(-1);
    return status.st_mode & 07777;
}

bool isLink(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool exists(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

// Sets the umask for one test and gives the old one back.
class Umask
{
public:
    explicit Umask(mode_t mask)
        : m_old(::umask(mask))
    { }
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

const QByteArray PasswordBytes = "gato\r\n¿Color?\r\nazul\r\n";
} // namespace

class TestProgramLayout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layouts_data();
    void layouts();
    void installedFollowsTheUsersHome();
    void privateDirectoryWhateverTheUmask_data();
    void privateDirectoryWhateverTheUmask();
    void privateDirectoryLeavesWhatExists();
    void privateDirectoryRefuses_data();
    void privateDirectoryRefuses();
    void oldPasswordFileMovesInOnce_data();
    void oldPasswordFileMovesInOnce();
    void movedPasswordFileStaysMoved();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestProgramLayout::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(u"data"_qs)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(u"config"_qs)));
}

void TestProgramLayout::cleanup()
{
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    m_dir.reset();
}

void TestProgramLayout::layouts_data()
{
    QTest::addColumn<bool>("portable");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("sounds");

    QTest::newRow("portable: everything beside the binary")
        << true << u"/opt/orvalia/bin"_qs << u"/opt/orvalia/bin"_qs;
    QTest::newRow("installed: the user's data, the installed sounds")
        << false << u"<data>/Orvalia"_qs << u"/opt/orvalia/share/orvalia"_qs;
}

void TestProgramLayout::layouts()
{
    QFETCH(bool, portable);
    QFETCH(QString, program);
    QFETCH(QString, sounds);

    const QString binary = u"/opt/orvalia/bin/"_qs;
    const ProgramLayout layout = portable ? ProgramLayout::portable(binary)
                                          : ProgramLayout::installed(binary, u"../share/orvalia"_qs);
    program.replace(u"<data>"_qs, path(u"data"_qs));
    QCOMPARE(layout.programDirectory, program);
    QCOMPARE(layout.soundDirectory, sounds);
    // Every copy a user runs shares one password.
    QCOMPARE(layout.passwordDirectory, path(u"config/Orvalia"_qs));
    QCOMPARE(layout.oldPasswordDirectory, path(u"config"_qs));
    // Asking makes nothing.
    QVERIFY(!exists(path(u"data"_qs)));
    QVERIFY(!exists(path(u"config"_qs)));
}

void TestProgramLayout::installedFollowsTheUsersHome()
{
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(path(u"home"_qs)));
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(u"Orvalia"_qs);

    const ProgramLayout layout = ProgramLayout::installed(u"/usr/bin"_qs, u"../share/orvalia"_qs);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);

    QCoreApplication::setApplicationName(name);
    qputenv("HOME", home);
    QCOMPARE(layout.programDirectory, path(u"home/.local/share/Orvalia"_qs));
    QCOMPARE(layout.programDirectory, data);
    QCOMPARE(layout.passwordDirectory, path(u"home/.config/Orvalia"_qs));
    QCOMPARE(layout.passwordDirectory, config);
    QCOMPARE(layout.oldPasswordDirectory, path(u"home/.config"_qs));
    QCOMPARE(layout.soundDirectory, u"/usr/share/orvalia"_qs);
}

void TestProgramLayout::privateDirectoryWhateverTheUmask_data()
{
    QTest::addColumn<int>("umask");
    QTest::newRow("0000") << 0000;
    QTest::newRow("0022") << 0022;
    QTest::newRow("0077") << 0077;
    QTest::newRow("0777") << 0777;
}

void TestProgramLayout::privateDirectoryWhateverTheUmask()
{
    QFETCH(int, umask);
    {
        const Umask mask {mode_t(umask)};
        QVERIFY(makePrivateDirectory(path(u"data/Orvalia"_qs)));
        QVERIFY(makePrivateDirectory(path(u"data/Orvalia"_qs))); // made already: still true
    }
    QCOMPARE(modeOf(path(u"data"_qs)), mode_t(0700));
    QCOMPARE(modeOf(path(u"data/Orvalia"_qs)), mode_t(0700));
}

void TestProgramLayout::privateDirectoryLeavesWhatExists()
{
    QVERIFY(QDir().mkpath(path(u"shared"_qs)));
    QVERIFY(QFile::setPermissions(path(u"shared"_qs),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::ExeOther));
    Umask mask(0);
    QVERIFY(makePrivateDirectory(path(u"shared/Orvalia"_qs)));
    QCOMPARE(modeOf(path(u"shared"_qs)), mode_t(0755));
    QCOMPARE(modeOf(path(u"shared/Orvalia"_qs)), mode_t(0700));

    // A link to a directory is the user's choice of place: used, and its target left as it is.
    QVERIFY(QFile::link(path(u"shared"_qs), path(u"elsewhere"_qs)));
    QVERIFY(makePrivateDirectory(path(u"elsewhere"_qs)));
    QVERIFY(isLink(path(u"elsewhere"_qs)));
    QCOMPARE(modeOf(path(u"shared"_qs)), mode_t(0755));
}

void TestProgramLayout::privateDirectoryRefuses_data()
{
    QTest::addColumn<QString>("inTheWay");
    QTest::newRow("a file where the directory goes") << u"file"_qs;
    QTest::newRow("a file where a parent goes") << u"parent file"_qs;
    QTest::newRow("a dangling link") << u"dangling link"_qs;
}

void TestProgramLayout::privateDirectoryRefuses()
{
    QFETCH(QString, inTheWay);
    QString wanted = path(u"data/Orvalia"_qs);
    QVERIFY(QDir().mkpath(path(u"data"_qs)));
    if (inTheWay == u"file") {
        writeBytes(wanted, "contacts");
    } else if (inTheWay == u"parent file") {
        writeBytes(wanted, "contacts");
        wanted += u"/deeper"_qs;
    } else {
        QVERIFY(QFile::link(path(u"nowhere"_qs), wanted));
    }
    QVERIFY(!makePrivateDirectory(wanted));
    if (inTheWay == u"dangling link") {
        QVERIFY(isLink(path(u"data/Orvalia"_qs)));
        QVERIFY(!exists(path(u"nowhere"_qs)));
    } else {
        QCOMPARE(readBytes(path(u"data/Orvalia"_qs)), QByteArray("contacts"));
    }
}

void TestProgramLayout::oldPasswordFileMovesInOnce_data()
{
    QTest::addColumn<QString>("old"); // what lies at ~/.config/orvpw.ntd
    QTest::addColumn<bool>("newFile"); // ~/.config/Orvalia/orvpw.ntd exists already
    QTest::addColumn<bool>("newBlocked"); // ~/.config/Orvalia cannot be made
    QTest::addColumn<bool>("moves");
    QTest::addColumn<QString>("answer"); // the password directory given: "new" or "old"

    QTest::newRow("nothing to move") << u"none"_qs << false << false << false << u"new"_qs;
    QTest::newRow("a file moves in") << u"file"_qs << false << false << true << u"new"_qs;
    QTest::newRow("a file never replaces the new one") << u"file"_qs << true << false << false << u"new"_qs;
    QTest::newRow("a link is neither followed nor moved")
        << u"link"_qs << false << false << false << u"new"_qs;
    QTest::newRow("a FIFO is left alone") << u"fifo"_qs << false << false << false << u"new"_qs;
    QTest::newRow("a file that cannot move is used where it lies")
        << u"file"_qs << false << true << false << u"old"_qs;
}

void TestProgramLayout::oldPasswordFileMovesInOnce()
{
    QFETCH(QString, old);
    QFETCH(bool, newFile);
    QFETCH(bool, newBlocked);
    QFETCH(bool, moves);
    QFETCH(QString, answer);

    const QString oldDirectory = path(u"config"_qs);
    const QString newDirectory = path(u"config/Orvalia"_qs);
    const QString oldFile = oldDirectory + u"/orvpw.ntd"_qs;
    const QString newFile_ = newDirectory + u"/orvpw.ntd"_qs;
    const QString victim = path(u"victim"_qs);
    QVERIFY(QDir().mkpath(oldDirectory));
    writeBytes(victim, "not a password");

    if (old == u"file") {
        writeBytes(oldFile, PasswordBytes);
        QVERIFY(QFile::setPermissions(oldFile, QFile::ReadOwner | QFile::WriteOwner));
    } else if (old == u"link") {
        QVERIFY(QFile::link(victim, oldFile));
    } else if (old == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(oldFile).constData(), 0600), 0);
    }
    if (newFile) {
        QVERIFY(QDir().mkpath(newDirectory));
        writeBytes(newFile_, "nuevo\r\n");
    }
    if (newBlocked)
        writeBytes(newDirectory, "in the way");

    Umask mask(0);
    QtSystem system(path(u"program"_qs), newDirectory, oldDirectory);
    QCOMPARE(system.passwordDirectory(), answer == u"new" ? newDirectory : oldDirectory);

    if (moves) {
        QCOMPARE(readBytes(newFile_), PasswordBytes);
        QCOMPARE(modeOf(newFile_), mode_t(0600));
        QVERIFY(!exists(oldFile));
    } else if (newFile) {
        QCOMPARE(readBytes(newFile_), QByteArray("nuevo\r\n"));
    } else if (!newBlocked) {
        QVERIFY(!exists(newFile_));
    }
    if (newBlocked)
        QCOMPARE(readBytes(newDirectory), QByteArray("in the way"));
    else if (!newFile)
        QCOMPARE(modeOf(newDirectory), mode_t(0700));

    if (old == u"file" && !moves)
        QCOMPARE(readBytes(oldFile), PasswordBytes);
    if (old == u"link")
        QVERIFY(isLink(oldFile));
    QCOMPARE(readBytes(victim), QByteArray("not a password"));
}

void TestProgramLayout::movedPasswordFileStaysMoved()
{
    const QString oldFile = path(u"config/orvpw.ntd"_qs);
    const QString newFile = path(u"config/Orvalia/orvpw.ntd"_qs);
    QVERIFY(QDir().mkpath(path(u"config"_qs)));
    writeBytes(oldFile, PasswordBytes);

    QtSystem system(path(u"program"_qs), path(u"config/Orvalia"_qs), path(u"config"_qs));
    QCOMPARE(system.passwordDirectory(), path(u"config/Orvalia"_qs));
    QCOMPARE(readBytes(newFile), PasswordBytes);

    // The password changed since; an older copy of the program then wrote its own file at the
    // old place. The newer password stays.
    writeBytes(newFile, "perro\r\n¿Color?\r\nazul\r\n");
    writeBytes(oldFile, PasswordBytes);
    QCOMPARE(system.passwordDirectory(), path(u"config/Orvalia"_qs));
    QCOMPARE(readBytes(newFile), QByteArray("perro\r\n¿Color?\r\nazul\r\n"));
    QCOMPARE(readBytes(oldFile), PasswordBytes);
}

QTEST_GUILESS_MAIN(TestProgramLayout)
#include "tst_program_layout.moc"
