// The file primitives every writer and reader of the program goes through: a regular file only is
// read, and never by an open that can block; a twin is made afresh and never written through a
// link; modes do not depend on the umask; a replaced file keeps its mode and user attributes.

#include "fake_platform.h"
#include "hostile_files.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"
#include "platform/twin_writer.h"
#include "watchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

QList<QByteArray> steps;

void recordStep(TwinWriter::Step step, bool done)
{
    static const char *const names[] = {"write", "sync", "rename", "directory sync"};
    steps << QByteArray(done ? "after " : "before ") + names[int(step)];
}

} // namespace

class TestTwinWriter : public QObject
{
    Q_OBJECT

private slots:
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
    void leftoverTwinIsReplaced_data();
    void leftoverTwinIsReplaced();
    void keptLeftoverStays_data();
    void keptLeftoverStays();
    void nothingButAFileOrLinkGivesWay_data();
    void nothingButAFileOrLinkGivesWay();
    void modeIsExactWhateverTheUmask_data();
    void modeIsExactWhateverTheUmask();
    void userAttributesComeAlongButHidden();
    void copiesPiecesOfAnotherFile();
    void piecesOfEverySizeStayInOrder();
    void stepsAreAnnouncedInOrder();
    void newFileNeverGoesThroughALink();
    void directoriesAreMadeWithTheirMode();
    void adoptedTwinIsPutInPlace_data();
    void adoptedTwinIsPutInPlace();
    void adoptedTwinStaysWhenItCannotTakeThePlace();
    void moveNeverReplaces_data();
    void moveNeverReplaces();
};

void TestTwinWriter::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("FIFO") << u"fifo"_qs << ENXIO;
    QTest::newRow("link to a FIFO") << u"link to fifo"_qs << ENXIO;
    QTest::newRow("link to /dev/zero") << u"zero"_qs << ENXIO;
    QTest::newRow("directory") << u"directory"_qs << EISDIR;
    QTest::newRow("missing") << u"missing"_qs << ENOENT;
    QTest::newRow("link to nothing") << u"dangling"_qs << ENOENT;
    QTest::newRow("file") << u"file"_qs << 0;
    QTest::newRow("link to a file") << u"link to file"_qs << 0;
}

void TestTwinWriter::onlyRegularFilesAreRead()
{
    QFETCH(QString, kind);
    QFETCH(int, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.orv"_qs);
    const QString other = dir.filePath(u"other"_qs);
    if (kind == u"fifo")
        QVERIFY(makeFifo(path));
    else if (kind == u"link to fifo")
        QVERIFY(makeFifo(other) && makeLink(other, path));
    else if (kind == u"zero")
        QVERIFY(makeLink(u"/dev/zero"_qs, path));
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"dangling")
        QVERIFY(makeLink(other, path));
    else if (kind == u"file")
        writeBytes(path, "a\r\nb\r\n");
    else if (kind == u"link to file") {
        writeBytes(other, "a\r\nb\r\n");
        QVERIFY(makeLink(other, path));
    }

    Watchdog watchdog({dir.path()});
    errno = 0;
    const int fd = RegularFile::openForReading(path);
    const int got = errno;
    const std::optional<QStringList> lines = TextFile::readLines(path);
    QVERIFY2(!watchdog.stop(), "an open blocked");
    if (error == 0) {
        QVERIFY(fd >= 0);
        // The descriptor reads as any other: the flag that kept the open from blocking is gone.
        QVERIFY(!(::fcntl(fd, F_GETFL) & O_NONBLOCK));
        ::close(fd);
        QCOMPARE(lines, (QStringList {u"a"_qs, u"b"_qs}));
    } else {
        QCOMPARE(fd, -1);
        QCOMPARE(got, error);
        QCOMPARE(lines, std::nullopt);
    }
}

namespace {

// What a twin's name may already hold: nothing, a file, a link to the victim or to nothing, a FIFO.
bool plantLeftover(const QString &kind, const QString &twin, const QString &victim, const QString &gone)
{
    if (kind == u"file")
        writeBytes(twin, "leftover");
    else if (kind == u"link")
        return makeLink(victim, twin);
    else if (kind == u"dangling")
        return makeLink(gone, twin);
    else if (kind == u"fifo")
        return makeFifo(twin);
    return true;
}

} // namespace

void TestTwinWriter::leftoverTwinIsReplaced_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::newRow("none") << QString();
    QTest::newRow("a half-written twin") << u"file"_qs;
    QTest::newRow("a link to another file of the user") << u"link"_qs;
    QTest::newRow("a link to nothing") << u"dangling"_qs;
}

void TestTwinWriter::leftoverTwinIsReplaced()
{
    QFETCH(QString, leftover);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"Agenda.opt2"_qs);
    const QString twin = dir.filePath(u"Agenda.opt3"_qs);
    const QString victim = dir.filePath(u"tesis.txt"_qs);
    writeBytes(target, "old\r\n");
    writeBytes(victim, "the user's own work\r\n");
    QVERIFY(plantLeftover(leftover, twin, victim, dir.filePath(u"gone"_qs)));

    QVERIFY(TextFile::replaceThroughTwin(target, twin, "new\r\n"));
    QCOMPARE(readBytes(target), QByteArray("new\r\n"));
    QVERIFY(isRegularFile(target));
    QVERIFY(!QFileInfo::exists(twin) && !isLink(twin));
    QCOMPARE(readBytes(victim), QByteArray("the user's own work\r\n"));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"gone"_qs)));
}

void TestTwinWriter::keptLeftoverStays_data()
{
    QTest::addColumn<QString>("leftover");
    QTest::newRow("a file of the user") << u"file"_qs;
    QTest::newRow("a link to another file") << u"link"_qs;
    QTest::newRow("a link to nothing") << u"dangling"_qs;
    QTest::newRow("a FIFO") << u"fifo"_qs;
}

// Beside a file the user chose, whatever has the twin's name is the user's: it stays as it is, the
// twin is not made and says why, and the target is untouched.
void TestTwinWriter::keptLeftoverStays()
{
    QFETCH(QString, leftover);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"contactos.vcf"_qs);
    const QString twin = dir.filePath(u"contactos.vcf.incompleto"_qs);
    const QString victim = dir.filePath(u"tesis.txt"_qs);
    writeBytes(target, "old\r\n");
    writeBytes(victim, "the user's own work\r\n");
    QVERIFY(plantLeftover(leftover, twin, victim, dir.filePath(u"gone"_qs)));
    const QByteArray before = leftover == u"fifo" ? QByteArray() : readBytes(twin);

    TwinWriter writer(target, twin);
    errno = 0;
    QVERIFY(!writer.create(0600, {}, TwinWriter::Leftover::Keep));
    QCOMPARE(errno, EEXIST);
    QVERIFY(!writer.write("new"));
    QVERIFY(!writer.commit());
    QCOMPARE(readBytes(target), QByteArray("old\r\n"));
    QVERIFY(QFileInfo::exists(twin) || isLink(twin));
    QCOMPARE(leftover == u"fifo" ? QByteArray() : readBytes(twin), before);
    QCOMPARE(readBytes(victim), QByteArray("the user's own work\r\n"));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"gone"_qs)));
}

// What stands in the twin's or the target's place and is no file or link of the program's is left
// alone: the write fails and nothing changes.
void TestTwinWriter::nothingButAFileOrLinkGivesWay_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO twin") << u"twin"_qs << u"fifo"_qs;
    QTest::newRow("directory twin") << u"twin"_qs << u"directory"_qs;
    QTest::newRow("FIFO target") << u"target"_qs << u"fifo"_qs;
    QTest::newRow("directory target") << u"target"_qs << u"directory"_qs;
}

void TestTwinWriter::nothingButAFileOrLinkGivesWay()
{
    QFETCH(QString, where);
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"data.bak"_qs);
    const QString twin = dir.filePath(u"data.bak2"_qs);
    const QString path = where == u"twin" ? twin : target;
    if (where == u"twin")
        writeBytes(target, "old");
    QVERIFY(kind == u"fifo" ? makeFifo(path) : QDir().mkdir(path));

    Watchdog watchdog({dir.path()});
    QVERIFY(!TextFile::replaceThroughTwin(target, twin, "new"));
    QVERIFY2(!watchdog.stop(), "the write blocked");
    struct stat status = {};
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &status) == 0);
    QVERIFY(kind == u"fifo" ? S_ISFIFO(status.st_mode) : S_ISDIR(status.st_mode));
    if (where == u"twin")
        QCOMPARE(readBytes(target), QByteArray("old"));
    else
        QVERIFY(!QFileInfo::exists(twin));
}

void TestTwinWriter::modeIsExactWhateverTheUmask_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");
    QTest::newRow("0600 under umask 0") << 0 << 0600;
    QTest::newRow("0644 under umask 0") << 0 << 0644;
    QTest::newRow("0640 under umask 077") << 077 << 0640;
    QTest::newRow("0600 under umask 022") << 022 << 0600;
}

void TestTwinWriter::modeIsExactWhateverTheUmask()
{
    QFETCH(int, umask);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"orvpw.ntd"_qs);
    writeBytes(target, "old");
    ::chmod(QFile::encodeName(target).constData(), 0666);
    const ScopedUmask mask(umask);
    QVERIFY(TextFile::replaceThroughTwin(target, dir.filePath(u"orvpw.ntd2"_qs), "new", mode_t(mode)));
    QCOMPARE(modeOf(target), mode);
    QVERIFY(TextFile::writeNew(dir.filePath(u"actu.txt"_qs), "x", mode_t(mode)));
    QCOMPARE(modeOf(dir.filePath(u"actu.txt"_qs)), mode);
}

void TestTwinWriter::userAttributesComeAlongButHidden()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"data.orv"_qs);
    writeBytes(target, "old");
    if (!setUserAttribute(target, "user.origen", "agenda de casa"))
        QSKIP("this file system keeps no user extended attributes");
    QVERIFY(setUserAttribute(target, HiddenAttributeName, "0x2"));
    QVERIFY(setUserAttribute(target, "user.xdg.tags", "familia"));

    TwinWriter writer(target, dir.filePath(u"data.orv2"_qs));
    QVERIFY(writer.create(0640, target));
    QVERIFY(writer.write("new"));
    QVERIFY(writer.commit());
    QCOMPARE(readBytes(target), QByteArray("new"));
    QCOMPARE(userAttribute(target, "user.origen"), QByteArray("agenda de casa"));
    QCOMPARE(userAttribute(target, "user.xdg.tags"), QByteArray("familia"));
    // The hidden flag is the program's to set, after the rename.
    QCOMPARE(userAttribute(target, HiddenAttributeName), QByteArray("<none>"));
}

// Small pieces wait in a buffer and large ones go straight to the file: whatever their sizes, the
// twin holds them in the order they came.
void TestTwinWriter::piecesOfEverySizeStayInOrder()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"target"_qs);
    QByteArray expected;
    {
        TwinWriter writer(target, dir.filePath(u"twin"_qs));
        QVERIFY(writer.create(0600));
        int piece = 0;
        for (const qsizetype size : {10, 300 * 1024, 5, 200 * 1024, 600 * 1024, 1, 900 * 1024,
                 2 * 1024 * 1024, 3, 1024 * 1024, 256 * 1024 - 1, 256 * 1024, 7}) {
            const QByteArray bytes(size, char('a' + piece++ % 26));
            QVERIFY(writer.write(bytes));
            expected += bytes;
        }
        QVERIFY(writer.commit());
    }
    QVERIFY(readBytes(target) == expected);
}

void TestTwinWriter::copiesPiecesOfAnotherFile()
{
    QTemporaryDir dir;
    const QString source = dir.filePath(u"source"_qs);
    QByteArray bytes(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 % 251);
    writeBytes(source, bytes);
    const int fd = RegularFile::openForReading(source);
    QVERIFY(fd >= 0);

    const QString target = dir.filePath(u"target"_qs);
    const QByteArray expected = "<" + bytes.mid(1024 * 1024 - 3, 2 * 1024 * 1024 + 1) + ">" + bytes;
    {
        TwinWriter writer(target, dir.filePath(u"twin"_qs));
        QVERIFY(writer.create(0600));
        QVERIFY(writer.write("<"));
        QVERIFY(writer.copyFrom(fd, 1024 * 1024 - 3, 2 * 1024 * 1024 + 1));
        QVERIFY(writer.write(">"));
        QVERIFY(writer.copyRest(fd));
        QVERIFY(writer.commit());
    }
    QVERIFY(readBytes(target) == expected);

    // A piece past the end of the file: the twin goes, the target stays.
    {
        TwinWriter writer(target, dir.filePath(u"twin"_qs));
        QVERIFY(writer.create(0600));
        QVERIFY(!writer.copyFrom(fd, bytes.size() - 10, 20));
        QVERIFY(!writer.commit());
    }
    ::close(fd);
    QVERIFY(!QFileInfo::exists(dir.filePath(u"twin"_qs)));
    QVERIFY(readBytes(target) == expected);
}

void TestTwinWriter::stepsAreAnnouncedInOrder()
{
    QTemporaryDir dir;
    steps.clear();
    TwinWriter::setStepObserver(recordStep);
    const bool ok = TextFile::replaceThroughTwin(dir.filePath(u"f"_qs), dir.filePath(u"f2"_qs), "bytes");
    TwinWriter::setStepObserver(nullptr);
    QVERIFY(ok);
    QCOMPARE(steps,
        (QList<QByteArray> {"before write", "after write", "before sync", "after sync", "before rename",
            "after rename", "before directory sync", "after directory sync"}));
}

void TestTwinWriter::newFileNeverGoesThroughALink()
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(u"tesis.txt"_qs);
    const QString path = dir.filePath(u"actu.txt"_qs);
    writeBytes(victim, "mine");
    QVERIFY(makeLink(victim, path));
    QVERIFY(TextFile::writeNew(path, "downloaded"));
    QCOMPARE(readBytes(victim), QByteArray("mine"));
    QVERIFY(isRegularFile(path));
    QCOMPARE(readBytes(path), QByteArray("downloaded"));

    QVERIFY(QFile::remove(path) && makeFifo(path));
    Watchdog watchdog({dir.path()});
    QVERIFY(!TextFile::writeNew(path, "downloaded"));
    QVERIFY(!watchdog.stop());
    QVERIFY(!isRegularFile(path));
}

void TestTwinWriter::directoriesAreMadeWithTheirMode()
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(u"home"_qs);
    QVERIFY(QDir().mkdir(existing));
    ::chmod(QFile::encodeName(existing).constData(), 0755);
    const ScopedUmask mask(0);
    QVERIFY(makePrivateDirectory(existing + u"/.config/orvalia"_qs));
    QCOMPARE(modeOf(existing), 0755); // there before: left as it was
    QCOMPARE(modeOf(existing + u"/.config"_qs), 0700);
    QCOMPARE(modeOf(existing + u"/.config/orvalia"_qs), 0700);
    QVERIFY(makePrivateDirectory(existing + u"/.config"_qs));
    writeBytes(dir.filePath(u"file"_qs), "x");
    QVERIFY(!makePrivateDirectory(dir.filePath(u"file"_qs)));

    // Told that the folders above must exist, it makes the last level alone.
    QVERIFY(!makePrivateDirectory(existing + u"/fotos/viaje"_qs, Parents::MustExist));
    QVERIFY(!QFileInfo::exists(existing + u"/fotos"_qs));
    QVERIFY(makePrivateDirectory(existing + u"/fotos"_qs, Parents::MustExist));
    QCOMPARE(modeOf(existing + u"/fotos"_qs), 0700);
    QVERIFY(makePrivateDirectory(existing + u"/fotos"_qs, Parents::MustExist));
}

// A twin found already written (a change cut short, a working copy) is put in place as a new one
// is: flushed, renamed, the folder flushed. Only a regular file is taken, never through a link,
// and no open waits on a FIFO.
void TestTwinWriter::adoptedTwinIsPutInPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("adopted");
    QTest::newRow("file") << u"file"_qs << true;
    QTest::newRow("empty file") << u"empty"_qs << true;
    QTest::newRow("link to a file") << u"link"_qs << false;
    QTest::newRow("FIFO") << u"fifo"_qs << false;
    QTest::newRow("directory") << u"directory"_qs << false;
    QTest::newRow("missing") << u"missing"_qs << false;
}

void TestTwinWriter::adoptedTwinIsPutInPlace()
{
    QFETCH(QString, kind);
    QFETCH(bool, adopted);
    QTemporaryDir dir;
    const QString target = dir.filePath(u"Agenda.opt"_qs);
    const QString twin = dir.filePath(u"Agenda.opt2"_qs);
    const QString victim = dir.filePath(u"tesis.txt"_qs);
    writeBytes(target, "old\r\n");
    writeBytes(victim, "the user's own work\r\n");
    if (kind == u"file")
        writeBytes(twin, "new\r\n");
    else if (kind == u"empty")
        writeBytes(twin, "");
    else if (kind == u"link")
        QVERIFY(makeLink(victim, twin));
    else if (kind == u"fifo")
        QVERIFY(makeFifo(twin));
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(twin));

    steps.clear();
    TwinWriter::setStepObserver(recordStep);
    Watchdog watchdog({dir.path()});
    TwinWriter writer(target, twin);
    const bool took = writer.adopt();
    const bool committed = took && writer.commit();
    QVERIFY2(!watchdog.stop(), "an open blocked");
    TwinWriter::setStepObserver(nullptr);

    QCOMPARE(took, adopted);
    QCOMPARE(committed, adopted);
    QCOMPARE(writer.handle(), -1);
    QCOMPARE(readBytes(victim), QByteArray("the user's own work\r\n"));
    if (adopted) {
        QCOMPARE(readBytes(target), kind == u"file" ? QByteArray("new\r\n") : QByteArray());
        QVERIFY(!QFileInfo::exists(twin));
        QCOMPARE(steps,
            (QList<QByteArray> {"before sync", "after sync", "before rename", "after rename",
                "before directory sync", "after directory sync"}));
    } else {
        QCOMPARE(readBytes(target), QByteArray("old\r\n"));
        QVERIFY(isRegularFile(target));
        QVERIFY(steps.isEmpty());
        if (kind == u"link")
            QVERIFY(isLink(twin));
    }
}

// Unlike a twin the writer makes, an adopted one holds what nothing else holds: it stays when it
// cannot take the target's place, and when it is discarded.
void TestTwinWriter::adoptedTwinStaysWhenItCannotTakeThePlace()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"data.orv"_qs);
    const QString twin = dir.filePath(u"data.orv2"_qs);
    QVERIFY(makeFifo(target));
    writeBytes(twin, "Gomez\r\n");
    {
        TwinWriter writer(target, twin);
        QVERIFY(writer.adopt());
        QVERIFY(!writer.commit());
    }
    QCOMPARE(readBytes(twin), QByteArray("Gomez\r\n"));
    QVERIFY(!isRegularFile(target));
    {
        TwinWriter writer(target, twin);
        QVERIFY(writer.adopt());
        QVERIFY(writer.handle() >= 0);
        writer.discard();
        QCOMPARE(writer.handle(), -1);
    }
    QCOMPARE(readBytes(twin), QByteArray("Gomez\r\n"));
}

void TestTwinWriter::moveNeverReplaces_data()
{
    QTest::addColumn<QString>("atTheName");
    QTest::addColumn<bool>("moved");
    QTest::newRow("nothing") << QString() << true;
    QTest::newRow("a file") << u"file"_qs << false;
    QTest::newRow("a link to a file") << u"link"_qs << false;
    QTest::newRow("a link to nothing") << u"dangling"_qs << false;
}

void TestTwinWriter::moveNeverReplaces()
{
    QFETCH(QString, atTheName);
    QFETCH(bool, moved);
    QTemporaryDir dir;
    const QString from = dir.filePath(u"data.orv2"_qs);
    const QString to = dir.filePath(u"data.orv2.incompleto"_qs);
    const QString victim = dir.filePath(u"tesis.txt"_qs);
    writeBytes(from, "cut");
    writeBytes(victim, "the user's own work");
    if (atTheName == u"file")
        writeBytes(to, "kept before");
    else if (atTheName == u"link")
        QVERIFY(makeLink(victim, to));
    else if (atTheName == u"dangling")
        QVERIFY(makeLink(dir.filePath(u"gone"_qs), to));

    errno = 0;
    QCOMPARE(TextFile::moveWithoutReplacing(from, to), moved);
    if (moved) {
        QCOMPARE(readBytes(to), QByteArray("cut"));
        QVERIFY(!QFileInfo::exists(from));
    } else {
        QCOMPARE(errno, EEXIST);
        QCOMPARE(readBytes(from), QByteArray("cut"));
        QCOMPARE(isLink(to), atTheName != u"file");
        if (atTheName == u"file")
            QCOMPARE(readBytes(to), QByteArray("kept before"));
    }
    QCOMPARE(readBytes(victim), QByteArray("the user's own work"));
    QVERIFY(!QFileInfo::exists(dir.filePath(u"gone"_qs)));
}

QTEST_GUILESS_MAIN(TestTwinWriter)
#include "tst_twin_writer.moc"
