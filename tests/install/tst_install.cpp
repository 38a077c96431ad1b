#include "fake_platform.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString AppId = QStringLiteral(ORVALIA_APP_ID);
const QList<int> IconSizes = {16, 22, 24, 32, 48, 64, 128, 256};
// The program shows its welcome window for 2.5 s before the main window makes its files; this
// only bounds a start that never comes.
constexpr int StartLimitMs = 60000;

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// Runs a tool to its end; a tool that is missing fails the test with the package to install.
Run runTool(const QString &program, const QStringList &arguments, const QString &package,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    Run run;
    if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable()) {
        run.errors = QStringLiteral("%1 is missing: apt-get install %2").arg(program, package).toUtf8();
        return run;
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}

// Every file and directory below root with what would show a write: kind, size, mode, time.
QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status;
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
            continue;
        entries.insert(QDir(root).relativeFilePath(path),
            QStringLiteral("%1 %2 %3 %4.%5")
                .arg(status.st_mode, 0, 8)
                .arg(status.st_size)
                .arg(status.st_nlink)
                .arg(status.st_mtim.tv_sec)
                .arg(status.st_mtim.tv_nsec));
    }
    return entries;
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

mode_t modeOf(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : mode_t(-1);
}

// Directories r-x, files r-- or r-x: the tree as a package leaves it for a user.
void setWritable(const QString &root, bool writable)
{
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList paths {root};
    while (it.hasNext())
        paths << it.next();
    for (const QString &path : paths) {
        const mode_t mode = modeOf(path);
        ::chmod(QFile::encodeName(path).constData(), writable ? (mode | 0200) : (mode & ~0222));
    }
}

QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(readBytes(path)).split(u'\n');
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            keys.insert(line.left(equals), line.mid(equals + 1));
    }
    return keys;
}

double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGBA8888);
    const QImage y = b.convertToFormat(QImage::Format_RGBA8888);
    if (x.size() != y.size())
        return 255;
    double total = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 4; ++i)
            total += std::abs(int(p[i]) - int(q[i]));
    }
    return total / (x.width() * x.height() * 4);
}
} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void installsTheTree();
    void desktopEntryIsValid();
    void metainfoIsValid();
    void iconsOfOneDesign_data();
    void iconsOfOneDesign();
    void manualPageRenders();
    void installedProgramWritesOnlyInTheUsersDataDirectory();

private:
    QString installed(const QString &relative) const { return m_prefix + u'/' + relative; }

    QTemporaryDir m_root;
    QString m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_root.isValid());
    // Others may need to walk to the tree: the program runs as another user when this test runs
    // as root.
    QVERIFY(QFile::setPermissions(m_root.path(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther
            | QFile::ReadGroup | QFile::ExeGroup));
    m_prefix = m_root.filePath(u"prefix"_qs);
    const Run run = runTool(QStringLiteral(ORVALIA_CMAKE),
        {u"--install"_qs, QStringLiteral(ORVALIA_BUILD_DIR), u"--prefix"_qs, m_prefix}, u"cmake"_qs);
    QVERIFY2(run.exitCode == 0, run.errors.constData());
}

void TestInstall::cleanupTestCase()
{
    setWritable(m_root.path(), true);
}

void TestInstall::installsTheTree()
{
    QStringList expected {u"bin/orvalia"_qs, u"share/applications/%1.desktop"_qs.arg(AppId),
        u"share/icons/hicolor/scalable/apps/%1.svg"_qs.arg(AppId), u"share/man/man1/orvalia.1"_qs,
        u"share/metainfo/%1.metainfo.xml"_qs.arg(AppId), u"share/orvalia/Fin.WAV"_qs,
        u"share/orvalia/Start.WAV"_qs, u"share/orvalia/Tac.WAV"_qs};
    for (const int size : IconSizes)
        expected << u"share/icons/hicolor/%1x%1/apps/%2.png"_qs.arg(size).arg(AppId);
    expected.sort();
    QCOMPARE(filesBelow(m_prefix), expected);

    QVERIFY(QFileInfo(installed(u"bin/orvalia"_qs)).isExecutable());
    for (const QString &sound : {u"Fin.WAV"_qs, u"Start.WAV"_qs, u"Tac.WAV"_qs})
        QCOMPARE(readBytes(installed(u"share/orvalia/"_qs + sound)),
            readBytes(QStringLiteral(ORVALIA_SOURCE_DIR "/assets/sounds/") + sound));
}

void TestInstall::desktopEntryIsValid()
{
    const QString path = installed(u"share/applications/%1.desktop"_qs.arg(AppId));
    const Run run = runTool(u"desktop-file-validate"_qs, {path}, u"desktop-file-utils"_qs);
    QVERIFY2(run.exitCode == 0 && run.output.isEmpty(), (run.output + run.errors).constData());

    const QMap<QString, QString> entry = desktopEntry(path);
    QCOMPARE(entry.value(u"Name"_qs), u"Orvalia"_qs);
    QCOMPARE(entry.value(u"Categories"_qs), u"Office;ContactManagement;"_qs);
    // The menu starts the installed binary, shows the installed icon and finds the windows by
    // the class Qt gives them, the application name.
    QVERIFY(QFileInfo(installed(u"bin/"_qs + entry.value(u"Exec"_qs))).isExecutable());
    QCOMPARE(entry.value(u"Icon"_qs), AppId);
    QCOMPARE(entry.value(u"StartupWMClass"_qs), u"Orvalia"_qs);
}

void TestInstall::metainfoIsValid()
{
    const QString path = installed(u"share/metainfo/%1.metainfo.xml"_qs.arg(AppId));
    const Run run = runTool(u"appstreamcli"_qs, {u"validate"_qs, u"--no-net"_qs, path}, u"appstream"_qs);
    QVERIFY2(run.exitCode == 0, (run.output + run.errors).constData());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString id, launchable, caption, license;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const bool translated = xml.attributes().hasAttribute(u"xml:lang"_qs);
        if (xml.name() == u"id")
            id = xml.readElementText();
        else if (xml.name() == u"launchable")
            launchable = xml.readElementText();
        else if (xml.name() == u"caption" && !translated)
            caption = xml.readElementText();
        else if (xml.name() == u"project_license")
            license = xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(id, AppId);
    QCOMPARE(launchable, AppId + u".desktop"_qs);
    QCOMPARE(license, u"GPL-3.0-or-later"_qs);
    QVERIFY(!caption.isEmpty());
}

void TestInstall::iconsOfOneDesign_data()
{
    QTest::addColumn<int>("size");
    for (const int size : IconSizes)
        QTest::addRow("%dx%d", size, size) << size;
}

void TestInstall::iconsOfOneDesign()
{
    QFETCH(int, size);
    const QImage png(installed(u"share/icons/hicolor/%1x%1/apps/%2.png"_qs.arg(size).arg(AppId)));
    QCOMPARE(png.size(), QSize(size, size));
    QVERIFY(png.hasAlphaChannel());

    // Each size is the scalable icon drawn at that size, so none has gone out of date.
    QTemporaryDir dir;
    const QString rendered = dir.filePath(u"icon.png"_qs);
    const Run run = runTool(u"rsvg-convert"_qs,
        {u"--width"_qs, QString::number(size), u"--height"_qs, QString::number(size), u"--output"_qs,
            rendered, installed(u"share/icons/hicolor/scalable/apps/%1.svg"_qs.arg(AppId))},
        u"librsvg2-bin"_qs);
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    const double difference = meanDifference(png, QImage(rendered));
    QVERIFY2(difference < 2.0, qPrintable(u"mean difference %1"_qs.arg(difference)));
}

void TestInstall::manualPageRenders()
{
    const QString page = installed(u"share/man/man1/orvalia.1"_qs);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
    environment.insert(u"MANWIDTH"_qs, u"80"_qs);
    environment.insert(u"MANROFFSEQ"_qs, QString());
    environment.insert(u"MANPAGER"_qs, u"cat"_qs);

    // As Debian's checks render it: any warning of the formatter fails.
    const Run check = runTool(u"man"_qs,
        {u"--warnings"_qs, u"-E"_qs, u"UTF-8"_qs, u"-l"_qs, u"-Tutf8"_qs, u"-Z"_qs, page}, u"man-db"_qs,
        environment);
    QVERIFY2(check.exitCode == 0 && check.errors.isEmpty(), check.errors.constData());

    const Run text = runTool(u"man"_qs, {u"-l"_qs, page}, u"man-db"_qs, environment);
    QVERIFY2(text.exitCode == 0, text.errors.constData());
    const QString shown = QString::fromUtf8(text.output);
    QVERIFY2(shown.contains(u"orvalia - personal address book"_qs), qPrintable(shown));
    QVERIFY(shown.contains(u"~/.local/share/Orvalia/data.orv"_qs));
    QVERIFY(shown.contains(u"~/.config/Orvalia/orvpw.ntd"_qs));
}

void TestInstall::installedProgramWritesOnlyInTheUsersDataDirectory()
{
    const QString home = m_root.filePath(u"home"_qs);
    const QString runtime = m_root.filePath(u"run"_qs);
    QVERIFY(QDir().mkpath(home));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    // Root may write anywhere: the program then runs as the unprivileged "nobody", the owner of
    // the temporary home, so that the read-only tree really is read-only to it.
    QStringList command;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_qs);
        QVERIFY2(!setpriv.isEmpty(), "setpriv is missing: apt-get install util-linux");
        QCOMPARE(::chown(QFile::encodeName(home).constData(), 65534, 65534), 0);
        QCOMPARE(::chown(QFile::encodeName(runtime).constData(), 65534, 65534), 0);
        command << setpriv << u"--reuid=65534"_qs << u"--regid=65534"_qs << u"--clear-groups"_qs;
    }
    // Started as the menu starts it: the desktop entry's command, found on the PATH.
    const QMap<QString, QString> entry
        = desktopEntry(installed(u"share/applications/%1.desktop"_qs.arg(AppId)));
    command << entry.value(u"Exec"_qs);

    setWritable(m_prefix, false);
    const QMap<QString, QString> before = snapshot(m_prefix);

    QProcessEnvironment environment;
    environment.insert(u"PATH"_qs, installed(u"bin"_qs) + u":/usr/bin:/bin"_qs);
    environment.insert(u"HOME"_qs, home);
    environment.insert(u"XDG_RUNTIME_DIR"_qs, runtime);
    environment.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
    environment.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    for (const QString &name : {u"ASAN_OPTIONS"_qs, u"UBSAN_OPTIONS"_qs}) {
        if (qEnvironmentVariableIsSet(qPrintable(name)))
            environment.insert(name, qEnvironmentVariable(qPrintable(name)));
    }

    QProcess program;
    program.setProcessEnvironment(environment);
    // From the binary's own directory: not even a relative name may land there. A umask that
    // takes nothing away: the directories are private all the same.
    program.setWorkingDirectory(installed(u"bin"_qs));
    program.start(u"/bin/sh"_qs, QStringList {u"-c"_qs, u"umask 000; exec \"$@\""_qs, u"sh"_qs} + command);
    QVERIFY(program.waitForStarted());

    const QString data = home + u"/.local/share/Orvalia"_qs;
    const QStringList made {u"Agenda.opt"_qs, u"Orvalia.lock"_qs, u"data.orv"_qs};
    QDeadlineTimer limit(StartLimitMs);
    while (filesBelow(data) != made && program.state() == QProcess::Running && !limit.hasExpired())
        QTest::qWait(50);
    const bool running = program.state() == QProcess::Running;
    program.kill();
    program.waitForFinished();
    const QByteArray errors = program.readAllStandardError();
    const QMap<QString, QString> after = snapshot(m_prefix);
    setWritable(m_prefix, true);

    QVERIFY2(running, errors.constData());
    QCOMPARE(filesBelow(data), made);
    QCOMPARE(readBytes(data + u"/data.orv"_qs), QByteArray());
    QCOMPARE(readBytes(data + u"/Agenda.opt"_qs), QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    for (const QString &directory : {u"/.local"_qs, u"/.local/share"_qs, u"/.local/share/Orvalia"_qs})
        QCOMPARE(modeOf(home + directory), mode_t(0700));
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(data + u"/data.orv"_qs).constData(), &status), 0);
    QCOMPARE(status.st_uid, ::geteuid() == 0 ? uid_t(65534) : ::geteuid());

    // Nothing of the program's anywhere else in the home (the sound server keeps its own notes).
    QStringList others;
    for (const QString &file : filesBelow(home)) {
        if (!file.startsWith(u".local/share/Orvalia/"_qs) && !file.startsWith(u".config/pulse/"_qs))
            others << file;
    }
    QCOMPARE(others, QStringList());
    // And nothing beside the binary or anywhere in the installed tree.
    QCOMPARE(after, before);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
