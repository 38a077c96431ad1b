// Every operation that writes the contact, options or password file, run against real faults: a
// directory where a file should be, a file deleted between operations, a file size limit and a
// full disk. Afterwards each file is byte for byte as before or as after the operation, never in
// between and never missing, the operation's answer says which, no stray file is left and no file
// descriptor stays open.

#include "contacts/contact_file.h"
#include "contacts/contact_record.h"
#include "fake_platform.h"
#include "fault_files.h"
#include "options/options_file.h"
#include "password/password_store.h"
#include "password_fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ContactRecord;

namespace {

// Pages of the small file system of the full-disk case.
constexpr int PageSize = 4096;

// A target as an undisturbed run leaves it.
const QByteArray AsAfter = QByteArrayLiteral("<as after>");

QString contact(const QString &surname, const QString &name, qsizetype longField = 0)
{
    Fields fields;
    fields[apellido] = surname;
    fields[nombre] = name;
    fields[telefono] = u"555-1234"_qs;
    fields[domicilio] = QString(longField, u'x');
    return lineOf(fields);
}

Snapshot snapshot(const QString &root)
{
    Snapshot files;
    addTree(files, root);
    return files;
}

QByteArray fixtureContacts()
{
    return cp1252Lines({contact(u"Gomez"_qs, u"Ana"_qs), contact(u"Perez"_qs, u"Juan"_qs, 9000),
        contact(u"Zapata"_qs, u"Eva"_qs), contact(u"Núñez"_qs, u"Íñigo"_qs, 5000)});
}

// The program and password directories of one case, filled with a known set of files.
struct Fixture
{
    explicit Fixture(const QString &directory)
        : root(directory)
        , program(directory + u"/program"_qs)
        , password(directory + u"/password"_qs)
        , contacts(program, attributes)
        , options(program)
        , passwordFile(password)
        , passwordStore(password, PasswordFixtures::light())
    {
        // The same salts and nonces in every run of an operation, so that its files compare.
        PasswordFixtures::FixedRandom::install();
        PasswordFixtures::FixedRandom::restart();
        QDir().mkpath(program);
        QDir().mkpath(password);
        // Long enough to span several pages of the small file system.
        writeBytes(contacts.path(), fixtureContacts());
        writeBytes(contacts.backupPath(),
            cp1252Lines({contact(u"Gomez"_qs, u"Ana"_qs), contact(u"Viejo"_qs, u"Resto"_qs)}));
        writeBytes(options.path(), "1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n");
        writeBytes(options.workingCopyPath(), "0\r\n1\r\n01/01/2026\r\n0\r\n0\r\n1\r\n0\r\n0\r\n");
        writeBytes(
            passwordFile.path(), PasswordFixtures::newForm(u"clave"_qs, u"pregunta"_qs, u"respuesta"_qs));
    }

    QString root;
    QString program;
    QString password;
    FakeFileAttributes attributes;
    ContactFile contacts;
    OptionsFile options;
    PasswordFile passwordFile;
    PasswordStore passwordStore;
};

struct Operation
{
    QString name;
    QString target; // the file the operation changes, relative to the case's root
    QStringList needs; // files whose fault makes it fail
    std::function<void(Fixture &)> prepare;
    std::function<bool(Fixture &)> run;
};

const QStringList AllPaths
    = {DataOrv, DataTwin, DataBak, DataBakTwin, AgendaOpt, AgendaOpt2, AgendaOpt3, Orvpw, OrvpwTwin};

QList<Operation> operations()
{
    const auto nothing = [](Fixture &) {};
    return {
        {u"append"_qs, DataOrv, {DataOrv, DataTwin}, nothing,
            [](Fixture &f) { return f.contacts.append(contact(u"Nuevo"_qs, u"Luis"_qs, 3000)); }},
        {u"replaceByKey"_qs, DataOrv, {DataOrv, DataTwin}, nothing,
            [](Fixture &f) {
                return f.contacts.replaceByKey(
                    contact(u"Perez"_qs, u"Juan"_qs, 9000), contact(u"Pérez"_qs, u"Juan"_qs, 12));
            }},
        {u"removeEqual"_qs, DataOrv, {DataOrv, DataTwin}, nothing,
            [](Fixture &f) { return f.contacts.removeEqual(contact(u"Zapata"_qs, u"Eva"_qs)); }},
        {u"backup"_qs, DataBak, {DataOrv, DataBak, DataBakTwin}, nothing,
            [](Fixture &f) { return f.contacts.backup(); }},
        {u"restore"_qs, DataOrv, {DataOrv, DataTwin, DataBak}, nothing,
            [](Fixture &f) { return f.contacts.restore(); }},
        {u"updateLine, first change"_qs, AgendaOpt2, {AgendaOpt, AgendaOpt2, AgendaOpt3},
            [](Fixture &f) { QFile::remove(f.options.workingCopyPath()); },
            [](Fixture &f) { return f.options.updateLine(OptionsFile::LastBackup, u"07/12/2026"_qs); }},
        {u"updateLine, next change"_qs, AgendaOpt2, {AgendaOpt2, AgendaOpt3}, nothing,
            [](Fixture &f) { return f.options.updateLine(OptionsFile::SoundsOn, u"1"_qs); }},
        {u"commit"_qs, AgendaOpt, {AgendaOpt, AgendaOpt2}, nothing,
            [](Fixture &f) { return f.options.commit(); }},
        {u"createIfMissing"_qs, AgendaOpt, {AgendaOpt, AgendaOpt3},
            [](Fixture &f) { QFile::remove(f.options.path()); },
            [](Fixture &f) { return f.options.createIfMissing(); }},
        {u"new password file"_qs, Orvpw, {Orvpw, OrvpwTwin}, nothing,
            [](Fixture &f) { return f.passwordStore.create(u"otra"_qs, u"¿Color?"_qs, u"azul"_qs); }},
        {u"password change"_qs, Orvpw, {Orvpw, OrvpwTwin}, nothing,
            [](Fixture &f) {
                return f.passwordStore.load() && f.passwordStore.changePassword(u"clave"_qs, u"nueva"_qs);
            }},
        {u"old password file converted"_qs, Orvpw, {Orvpw, OrvpwTwin},
            [](Fixture &f) { writeBytes(f.passwordFile.path(), "clave\r\npregunta\r\nrespuesta\r\n"); },
            [](Fixture &f) {
                return f.passwordStore.load() && f.passwordStore.checkPassword(u"clave"_qs)
                    && f.passwordStore.status() == PasswordSecrets::Status::Ok;
            }},
    };
}

std::optional<QByteArray> entry(const Snapshot &files, const QString &path)
{
    return files.contains(path) ? std::optional(files[path]) : std::nullopt;
}

// Each file as before or as after, never anything else; the target as the answer says; the
// faulted path, if any, left alone.
QString judge(const Snapshot &before, const Snapshot &after, const Snapshot &now, const QString &target,
    bool answer, const QString &faulted = {})
{
    QStringList paths = before.keys() + after.keys() + now.keys();
    paths.removeDuplicates();
    for (const QString &path : std::as_const(paths)) {
        if (!faulted.isEmpty() && (path == faulted || path.startsWith(faulted + u'/')))
            continue;
        if (entry(now, path) != entry(before, path) && entry(now, path) != entry(after, path))
            return path + u" is neither as before nor as after"_qs;
    }
    if (target != faulted && entry(now, target) != entry(answer ? after : before, target))
        return target
            + (answer ? u" is not as after, yet the operation reported success"_qs
                      : u" is not as before, yet the operation reported failure"_qs);
    if (!faulted.isEmpty() && now.value(faulted) != DirectoryMark)
        return faulted + u" (the directory in a file's place) was touched"_qs;
    return {};
}

} // namespace

class TestFileFaults : public QObject
{
    Q_OBJECT

private slots:
    void directoryInAFilesPlace_data();
    void directoryInAFilesPlace();
    void fileDeletedBetweenOperations_data();
    void fileDeletedBetweenOperations();
    void fileSizeLimit_data();
    void fileSizeLimit();
    void fullDisk_data();
    void fullDisk();
    void readersReleaseEveryFile();
    void cleanupTestCase();

private:
    // The files before and after one undisturbed run of the operation.
    void reference(const Operation &operation, Snapshot &before, Snapshot &after);

    QString m_mountPoint;
};

void TestFileFaults::reference(const Operation &operation, Snapshot &before, Snapshot &after)
{
    QTemporaryDir root;
    Fixture fixture(root.path());
    operation.prepare(fixture);
    before = snapshot(root.path());
    QVERIFY2(operation.run(fixture), qPrintable(operation.name));
    after = snapshot(root.path());
    QVERIFY2(before != after, qPrintable(operation.name));
}

void TestFileFaults::directoryInAFilesPlace_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("faulted");
    const QList<Operation> all = operations();
    for (int i = 0; i < all.size(); ++i) {
        for (const QString &path : AllPaths)
            QTest::addRow("%s, %s", qPrintable(all[i].name), qPrintable(path)) << i << path;
    }
}

void TestFileFaults::directoryInAFilesPlace()
{
    QFETCH(int, operation);
    QFETCH(QString, faulted);
    const Operation op = operations().at(operation);
    Snapshot before;
    Snapshot after;
    reference(op, before, after);

    QTemporaryDir root;
    Fixture fixture(root.path());
    op.prepare(fixture);
    // A directory with something in it, so that it cannot be removed by accident either.
    const QString directory = root.filePath(faulted);
    QFile::remove(directory);
    QVERIFY(QDir().mkpath(directory + u"/inside"_qs));

    const int descriptors = openDescriptors();
    const bool answer = op.run(fixture);
    QCOMPARE(openDescriptors(), descriptors);

    const QString verdict = judge(before, after, snapshot(root.path()), op.target, answer, faulted);
    QVERIFY2(verdict.isEmpty(), qPrintable(verdict));
    // A fault in a file the operation needs makes it fail; any other fault does not disturb it.
    QCOMPARE(answer, !op.needs.contains(faulted));
}

void TestFileFaults::fileDeletedBetweenOperations_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QByteArray>("target"); // the target afterwards; empty: missing

    const QList<Operation> all = operations();
    const auto row
        = [&](const char *operation, const QString &deleted, bool answer, const QByteArray &target) {
              for (int i = 0; i < all.size(); ++i) {
                  if (all[i].name == QLatin1String(operation))
                      QTest::addRow("%s, %s deleted", operation, qPrintable(deleted))
                          << i << deleted << answer << target;
              }
          };
    const QByteArray added = cp1252Lines({contact(u"Nuevo"_qs, u"Luis"_qs, 3000)});
    const QByteArray backup
        = cp1252Lines({contact(u"Gomez"_qs, u"Ana"_qs), contact(u"Viejo"_qs, u"Resto"_qs)});
    const QByteArray workingCopy = "0\r\n1\r\n01/01/2026\r\n0\r\n0\r\n1\r\n0\r\n0\r\n";

    // The contact added after the file vanished is kept: it starts a new file.
    row("append", DataOrv, true, added);
    // Nothing to rewrite: nothing is invented.
    row("replaceByKey", DataOrv, false, {});
    row("removeEqual", DataOrv, false, {});
    row("backup", DataOrv, false, backup);
    row("restore", DataOrv, true, backup);
    row("restore", DataBak, false, fixtureContacts());
    row("updateLine, first change", AgendaOpt, false, {});
    row("updateLine, next change", AgendaOpt2, true, "1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n");
    row("commit", AgendaOpt2, false, "1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n");
    row("commit", AgendaOpt, true, workingCopy);
    // What a new file holds does not depend on an old one: as after an undisturbed run.
    row("new password file", Orvpw, true, AsAfter);
    row("password change", Orvpw, false, {});
}

void TestFileFaults::fileDeletedBetweenOperations()
{
    QFETCH(int, operation);
    QFETCH(QString, deleted);
    QFETCH(bool, answer);
    QFETCH(QByteArray, target);
    const Operation op = operations().at(operation);
    if (target == AsAfter) {
        Snapshot before;
        Snapshot after;
        reference(op, before, after);
        target = after.value(op.target);
        QVERIFY(!target.isEmpty());
    }

    QTemporaryDir root;
    Fixture fixture(root.path());
    op.prepare(fixture);
    QVERIFY(QFile::remove(root.filePath(deleted)));
    const Snapshot before = snapshot(root.path());

    const int descriptors = openDescriptors();
    QCOMPARE(op.run(fixture), answer);
    QCOMPARE(openDescriptors(), descriptors);

    const Snapshot now = snapshot(root.path());
    QCOMPARE(now.contains(op.target), !target.isEmpty());
    QCOMPARE(now.value(op.target), target);
    // Nothing else changed, and no twin was left behind.
    for (const QString &path : AllPaths) {
        if (path != op.target && !(op.name == u"commit"_qs && path == AgendaOpt2))
            QVERIFY2(now.value(path, "-") == before.value(path, "-"), qPrintable(path));
    }
}

void TestFileFaults::fileSizeLimit_data()
{
    QTest::addColumn<int>("operation");
    const QList<Operation> all = operations();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(qPrintable(all[i].name)) << i;
}

// A disk that fills up at every size the operation passes through: the file size limit of a
// child process, which makes every write beyond it fail as a full disk would.
void TestFileFaults::fileSizeLimit()
{
    QFETCH(int, operation);
    const Operation op = operations().at(operation);
    Snapshot before;
    Snapshot after;
    reference(op, before, after);

    qsizetype largest = 0;
    for (const QByteArray &bytes : std::as_const(after))
        largest = qMax(largest, bytes.size());
    // Small limits, a walk through the whole range, and each side of every file's size.
    QList<qsizetype> limits = {0, 1, 2, 3, 7, 16, 31, 64};
    for (qsizetype limit = 100; limit <= largest + 1; limit += 331)
        limits << limit;
    for (const Snapshot *files : {&before, &after}) {
        for (const QByteArray &bytes : *files) {
            for (qsizetype d = -2; d <= 2; ++d)
                limits << qMax<qsizetype>(0, bytes.size() + d);
        }
    }
    limits << largest + 1;
    std::sort(limits.begin(), limits.end());
    limits.erase(std::unique(limits.begin(), limits.end()), limits.end());

    int failures = 0;
    for (const qsizetype limit : std::as_const(limits)) {
        QTemporaryDir root;
        Fixture fixture(root.path());
        op.prepare(fixture);

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit rl {rlim_t(limit), RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &rl);
            const int descriptors = openDescriptors();
            const bool answer = op.run(fixture);
            ::_exit((answer ? 1 : 0) | (openDescriptors() != descriptors ? 2 : 0));
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), qPrintable(u"the child died at limit %1"_qs.arg(limit)));
        const int code = WEXITSTATUS(status);
        QVERIFY2(!(code & 2), qPrintable(u"a file stayed open at limit %1"_qs.arg(limit)));
        const bool answer = code & 1;
        failures += answer ? 0 : 1;

        const QString verdict = judge(before, after, snapshot(root.path()), op.target, answer);
        QVERIFY2(verdict.isEmpty(), qPrintable(u"limit %1: "_qs.arg(limit) + verdict));
        if (limit > largest)
            QVERIFY2(answer, qPrintable(u"fails with room to spare at limit %1"_qs.arg(limit)));
    }
    // Commit only renames: no limit stops it. Every other operation writes, and a limit of 0 stops it.
    QCOMPARE(failures > 0, op.name != u"commit"_qs);
}

void TestFileFaults::fullDisk_data()
{
    fileSizeLimit_data();
}

// A real full disk: a small tmpfs, filled up but for a number of pages.
void TestFileFaults::fullDisk()
{
    QFETCH(int, operation);
    const Operation op = operations().at(operation);
    if (m_mountPoint.isEmpty()) {
        static QTemporaryDir mountPoint;
        if (::geteuid() != 0
            || ::mount("tmpfs", QFile::encodeName(mountPoint.path()).constData(), "tmpfs", 0,
                   "size=256k,nr_inodes=256")
                != 0)
            QSKIP("The full-disk case mounts a small tmpfs, which needs root (CAP_SYS_ADMIN); the file size "
                  "limit case covers writes that fail for want of room.");
        m_mountPoint = mountPoint.path();
    }
    Snapshot before;
    Snapshot after;
    reference(op, before, after);

    qsizetype pagesNeeded = 0;
    for (const QByteArray &bytes : std::as_const(after))
        pagesNeeded += bytes.size() / PageSize + 1;

    int failures = 0;
    for (qsizetype freePages = 0; freePages <= pagesNeeded + 1; ++freePages) {
        const QString root = m_mountPoint + u"/case"_qs;
        QDir(root).removeRecursively();
        QFile::remove(m_mountPoint + u"/filler"_qs);
        std::optional<Fixture> fixture;
        fixture.emplace(root);
        op.prepare(*fixture);

        // Fill the disk, then give back the pages this round allows.
        const int filler = ::open(
            QFile::encodeName(m_mountPoint + u"/filler"_qs).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(filler >= 0);
        const QByteArray block(64 * 1024, 'f');
        off_t filled = 0;
        for (ssize_t n; (n = ::write(filler, block.constData(), size_t(block.size()))) > 0;)
            filled += n;
        for (ssize_t n; (n = ::write(filler, block.constData(), 1)) > 0;)
            filled += n;
        QCOMPARE(::ftruncate(filler, qMax<off_t>(0, filled - off_t(freePages) * PageSize)), 0);
        ::close(filler);

        const int descriptors = openDescriptors();
        const bool answer = op.run(*fixture);
        QCOMPARE(openDescriptors(), descriptors);
        failures += answer ? 0 : 1;

        Snapshot now = snapshot(root);
        const QString verdict = judge(before, after, now, op.target, answer);
        QVERIFY2(verdict.isEmpty(), qPrintable(u"%1 free pages: "_qs.arg(freePages) + verdict));
        fixture.reset();
        QDir(root).removeRecursively();
    }
    QFile::remove(m_mountPoint + u"/filler"_qs);
    QCOMPARE(failures > 0, op.name != u"commit"_qs);
}

// Reading never keeps a file: not when it is there, not when it is gone, not when a directory
// stands in its place.
void TestFileFaults::readersReleaseEveryFile()
{
    for (const int fault : {0, 1, 2}) {
        QTemporaryDir root;
        Fixture fixture(root.path());
        for (const QString &path : {DataOrv, AgendaOpt, Orvpw}) {
            if (fault > 0)
                QFile::remove(root.filePath(path));
            if (fault == 2)
                QVERIFY(QDir().mkdir(root.filePath(path)));
        }
        const int descriptors = openDescriptors();
        QCOMPARE(fixture.contacts.readKeys().has_value(), fault == 0);
        QCOMPARE(fixture.contacts.findByKey(u"Gomez Ana "_qs).has_value(), fault == 0);
        QCOMPARE(fixture.options.readEight().has_value(), fault == 0);
        QCOMPARE(fixture.options.readUpToEight().has_value(), fault == 0);
        QCOMPARE(fixture.options.readProtectionLine().has_value(), fault == 0);
        QCOMPARE(fixture.passwordFile.read().has_value(), fault == 0);
        QCOMPARE(fixture.passwordStore.load(), fault == 0);
        QCOMPARE(fixture.passwordFile.saved().has_value(), fault == 0);
        // The start-up creates a missing contact file, but takes no directory for one.
        QCOMPARE(fixture.contacts.ensureExists(), fault < 2);
        QCOMPARE(openDescriptors(), descriptors);
    }
}

void TestFileFaults::cleanupTestCase()
{
    if (!m_mountPoint.isEmpty())
        ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
}

QTEST_GUILESS_MAIN(TestFileFaults)
#include "tst_file_faults.moc"
