// Kills a program that is busy with its files and checks, after every kill, what the next start of
// the program finds: every contact whose operation had completed is there exactly once with all
// its fields, the operation under way happened completely or not at all, no line is partial, and
// the options file, its working copy and the password file are each as before or as after.
//
// Half the kills are aimed: the driver kills itself just before or just after a write, a flush, a
// rename or a directory flush (TwinWriter's steps), so that every step's edge is hit however fast
// the disk is. The others fall at random instants, and the driver's journal tells where each one
// landed: inside a flush, inside a rename, while reading. A kill loses nothing the kernel holds, so
// it cannot show a flush left out; the journal can: every completed operation must have taken its
// writes, a flush, the rename and a directory flush, in that order.
//
// ORVALIA_CRASH_KILLS sets the number of kills (100 by default), ORVALIA_CRASH_SEED repeats a run,
// ORVALIA_CRASH_DIR names where the directories are made. By default that is the system's temporary
// directory unless it lives in memory (tmpfs), else the current directory: on a disk, flushes and
// directory flushes take real time, so that kills land inside them.

#include "contacts/contact_file.h"
#include "crash_records.h"
#include "fake_platform.h"
#include "options/options_file.h"
#include "password/password_file.h"
#include "password/password_secrets.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>

using CrashRecords::Entry;

namespace {

constexpr int DefaultKills = 100;
// A run is killed after this many completed operations at most, plus a part of the next one.
constexpr int MostOperationsPerRun = 12;
// One run in this many is killed while the driver starts up; of the others, one in AimedEvery is
// killed at a kill point.
constexpr int StartUpKillEvery = 10;
constexpr int AimedEvery = 2;

// Every completed operation writes (or not), flushes the file, renames it and flushes the directory,
// in that order.
const QRegularExpression DurableSteps(u"^(Ww)*SsRrDd$"_qs);

const QByteArray DefaultOptions = QByteArrayLiteral("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n");

struct Contact
{
    quint32 id;
    quint32 version;
    friend bool operator==(const Contact &, const Contact &) = default;
};

struct State
{
    QList<Contact> contacts;
    std::optional<QList<Contact>> backup; // nothing: no data.bak
    QByteArray options = DefaultOptions;
    std::optional<QByteArray> workingCopy; // nothing: no Agenda.opt2
    QByteArray password = TextFile::encodeLines({CrashRecords::firstPasswordValues().password,
        CrashRecords::firstPasswordValues().question, CrashRecords::firstPasswordValues().answer});
};

// Where a kill landed, from the last step the driver announced.
enum Place {
    StartUp,
    Between,
    Reading,
    InWrite,
    AfterWrite,
    InSync,
    AfterSync,
    InRename,
    AfterRename,
    InDirectorySync,
    AfterDirectorySync,
    PlaceCount
};

// For a kill at a random instant, and for one at a kill point (which is just before or just after
// a step).
const char *const PlaceNames[2][PlaceCount] = {
    {"during start-up", "between operations", "reading or before the first write", "inside a write",
        "after a write", "inside fdatasync", "after fdatasync", "inside a rename", "after a rename",
        "inside the directory sync", "after the directory sync"},
    {"", "", "", "just before a write", "just after a write", "just before fdatasync", "just after fdatasync",
        "just before a rename", "just after a rename", "just before the directory sync",
        "just after the directory sync"},
};

Place placeOf(char lastStep)
{
    switch (lastStep) {
    case 'W':
        return InWrite;
    case 'w':
        return AfterWrite;
    case 'S':
        return InSync;
    case 's':
        return AfterSync;
    case 'R':
        return InRename;
    case 'r':
        return AfterRename;
    case 'D':
        return InDirectorySync;
    case 'd':
        return AfterDirectorySync;
    default:
        return Reading;
    }
}

struct Figures
{
    int kills = 0;
    int aimed = 0;
    int landed[2][PlaceCount] = {}; // random, aimed
    qint64 completed = 0;
    qint64 inFlight = 0;
    qint64 inFlightTookEffect = 0;
    qint64 contactsChecked = 0;
    qint64 contactsLost = 0;
    qint64 partialLines = 0;
    qint64 settingsLost = 0; // options file, working copy or password file neither as before nor after
    qint64 leftoverTwins = 0; // starts that found some twin or temporary beside its file
    qint64 largestFile = 0;
    QHash<char, qint64> inFlightByOperation;
};

class Lines
{
public:
    const QByteArray &of(const Contact &c)
    {
        const quint64 key = (quint64(c.id) << 32) | c.version;
        auto it = m_cache.find(key);
        if (it == m_cache.end())
            it = m_cache.insert(key, CrashRecords::bytes(c.id, c.version));
        return *it;
    }

    const ContactRecord::Fields &fields(const Contact &c)
    {
        const quint64 key = (quint64(c.id) << 32) | c.version;
        auto it = m_fields.find(key);
        if (it == m_fields.end())
            it = m_fields.insert(key, CrashRecords::fields(c.id, c.version));
        return *it;
    }

    QByteArray file(const QList<Contact> &contacts)
    {
        QByteArray bytes;
        for (const Contact &c : contacts)
            bytes += of(c) + "\r\n";
        return bytes;
    }

private:
    QHash<quint64, QByteArray> m_cache;
    QHash<quint64, ContactRecord::Fields> m_fields;
};

QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

QByteArray joinLines(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

// The state after the operation that begin announced.
State applied(State state, const Entry &begin)
{
    switch (begin.op) {
    case 'A':
        state.contacts << Contact {begin.id, begin.version};
        break;
    case 'M':
        for (Contact &c : state.contacts) {
            if (c == Contact {begin.id, begin.version}) {
                c.version = begin.newVersion;
                break;
            }
        }
        break;
    case 'D':
        state.contacts.removeAll(Contact {begin.id, begin.version});
        break;
    case 'K':
        state.backup = state.contacts;
        break;
    case 'S':
        if (state.backup)
            state.contacts = *state.backup;
        break;
    case 'U': {
        QList<QByteArray> lines = splitLines(state.workingCopy.value_or(state.options));
        if (begin.id <= lines.size())
            lines[begin.id - 1] = Windows1252::encode(CrashRecords::optionValue(begin.token));
        state.workingCopy = joinLines(lines);
        break;
    }
    case 'C':
        if (state.workingCopy)
            state.options = *std::exchange(state.workingCopy, std::nullopt);
        break;
    case 'W':
    case 'P':
        state.password = begin.bytes;
        break;
    }
    return state;
}

// Whether the bytes a password operation announced say what it should: the new values, or the new
// password with the question and answer of the file before. Empty when they do, else what is wrong.
QString passwordMismatch(const QByteArray &before, const Entry &begin)
{
    const PasswordSecrets::Parsed parsed = PasswordSecrets::parse(begin.bytes);
    if (!parsed.form)
        return u"not a password file of the new form"_qs;
    CrashRecords::PasswordValues expected = CrashRecords::passwordValues(begin.token);
    if (begin.op == 'P') {
        const PasswordSecrets::Parsed old = PasswordSecrets::parse(before);
        expected.question = old.form ? PasswordSecrets::question(*old.form)
                                     : PasswordSecrets::legacyValues(before).question;
        expected.answer = CrashRecords::answerTo(expected.question);
        expected.password = CrashRecords::newPassword(begin.token);
    }
    if (PasswordSecrets::question(*parsed.form) != expected.question)
        return u"another question"_qs;
    if (!PasswordSecrets::verifyPassword(*parsed.form, expected.password))
        return u"the password does not match"_qs;
    if (PasswordSecrets::recoverPassword(*parsed.form, expected.answer) != expected.password)
        return u"the answer does not tell the password"_qs;
    for (const QString &secret : {expected.password, expected.answer}) {
        if (begin.bytes.contains(Windows1252::encode(secret)))
            return u"a secret in clear"_qs;
    }
    return {};
}

std::optional<QByteArray> fileBytes(const QString &path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return readBytes(path);
}

// Where the directories are made: a disk, not memory.
QString parentDirectory(QString &fileSystem)
{
    QString parent = qEnvironmentVariable("ORVALIA_CRASH_DIR");
    const auto inMemory = [](const QString &path) {
        struct statfs info = {};
        return ::statfs(QFile::encodeName(path).constData(), &info) == 0
            && (info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC);
    };
    if (parent.isEmpty())
        parent = inMemory(QDir::tempPath()) ? QDir::currentPath() : QDir::tempPath();
    struct statfs info = {};
    ::statfs(QFile::encodeName(parent).constData(), &info);
    switch (info.f_type) {
    case EXT4_SUPER_MAGIC:
        fileSystem = u"ext4"_qs;
        break;
    case XFS_SUPER_MAGIC:
        fileSystem = u"xfs"_qs;
        break;
    case BTRFS_SUPER_MAGIC:
        fileSystem = u"btrfs"_qs;
        break;
    case TMPFS_MAGIC:
        fileSystem = u"tmpfs, in memory"_qs;
        break;
    case OVERLAYFS_SUPER_MAGIC:
        fileSystem = u"overlayfs"_qs;
        break;
    default:
        fileSystem = u"file system 0x%1"_qs.arg(quint64(info.f_type), 0, 16);
    }
    return parent;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedAtAnyInstantNothingIsLost();

private:
    // Checks what a start finds after a kill and returns the state on disk: before or after the
    // operation in flight. Nothing, with the failure in why, when it is neither.
    std::optional<State> check(const QString &program, const QString &password, const State &before,
        const std::optional<Entry> &inFlight, Figures &figures, QString &why);

    Lines m_lines;
};

std::optional<State> TestCrashSafety::check(const QString &program, const QString &passwordDirectory,
    const State &before, const std::optional<Entry> &inFlight, Figures &figures, QString &why)
{
    FakeFileAttributes attributes;
    ContactFile file(program, attributes);
    const OptionsFile options(program);
    const PasswordFile password(passwordDirectory);
    // The start-up path of the main window: create or recover the file, then build the list.
    if (!file.ensureExists()) {
        why = u"the start-up could not make data.orv exist"_qs;
        return std::nullopt;
    }
    const std::optional<QStringList> keys = file.readKeys();
    if (!keys) {
        why = u"the start-up could not read data.orv"_qs;
        return std::nullopt;
    }
    const QByteArray onDisk = readBytes(file.path());
    const std::optional<QByteArray> backupOnDisk = fileBytes(file.backupPath());
    const std::optional<QByteArray> optionsOnDisk = fileBytes(options.path());
    const std::optional<QByteArray> workingCopyOnDisk = fileBytes(options.workingCopyPath());
    const std::optional<QByteArray> passwordOnDisk = fileBytes(password.path());
    figures.largestFile = qMax(figures.largestFile, qint64(onDisk.size()));
    for (const QString &twin :
        {file.twinPath(), file.backupPath() + u'2', options.temporaryPath(), password.twinPath()}) {
        if (QFileInfo::exists(twin)) {
            ++figures.leftoverTwins;
            break;
        }
    }
    struct stat status = {};
    if (::stat(QFile::encodeName(password.path()).constData(), &status) != 0
        || (status.st_mode & 07777) != 0600) {
        why = u"the password file is not readable by its owner alone"_qs;
        return std::nullopt;
    }

    QList<State> candidates {before};
    if (inFlight)
        candidates << applied(before, *inFlight);

    bool settingsMatch = false;
    for (const State &candidate : std::as_const(candidates)) {
        const bool settings = optionsOnDisk == candidate.options && workingCopyOnDisk == candidate.workingCopy
            && passwordOnDisk == candidate.password;
        settingsMatch = settingsMatch || settings;
        if (!settings || onDisk != m_lines.file(candidate.contacts))
            continue;
        if (backupOnDisk
            != (candidate.backup ? std::optional(m_lines.file(*candidate.backup)) : std::nullopt))
            continue;
        QStringList expectedKeys;
        for (const Contact &c : candidate.contacts)
            expectedKeys << ContactRecord::keyOf(CrashRecords::line(c.id, c.version));
        if (*keys != expectedKeys) {
            why = u"the list built at start-up differs from the file"_qs;
            return std::nullopt;
        }
        // Every record read back, field by field.
        for (const QByteArray &line : splitLines(onDisk)) {
            const ContactRecord::Fields fields = ContactRecord::fieldsOf(Windows1252::decode(line));
            quint32 id = 0;
            quint32 version = 0;
            if (!CrashRecords::nickname(fields[ContactRecord::nick], id, version)
                || fields != m_lines.fields(Contact {id, version})) {
                why = u"a record's fields differ"_qs;
                return std::nullopt;
            }
            ++figures.contactsChecked;
        }
        return candidate;
    }

    // Neither state: count what went missing and what is there that should not be.
    if (!settingsMatch)
        ++figures.settingsLost;
    QSet<QByteArray> known;
    for (const State &candidate : std::as_const(candidates)) {
        for (const Contact &c : candidate.contacts)
            known.insert(m_lines.of(c));
    }
    const QList<QByteArray> lines = splitLines(onDisk);
    for (const QByteArray &line : lines) {
        if (!known.contains(line))
            ++figures.partialLines;
    }
    for (const Contact &c : before.contacts) {
        qsizetype found = lines.count(m_lines.of(c));
        if (inFlight && inFlight->op == 'M' && c == Contact {inFlight->id, inFlight->version})
            found += lines.count(m_lines.of(Contact {c.id, inFlight->newVersion}));
        if (found != 1)
            ++figures.contactsLost;
    }
    why = u"data.orv (%1 bytes), data.bak, Agenda.opt, Agenda.opt2 or orvpw.ntd is neither as before nor "
          u"as after operation %2"_qs.arg(onDisk.size())
              .arg(inFlight ? QString(QChar::fromLatin1(inFlight->op)) : u"(none)"_qs);
    return std::nullopt;
}

void TestCrashSafety::killedAtAnyInstantNothingIsLost()
{
    const int kills = qEnvironmentVariableIsSet("ORVALIA_CRASH_KILLS")
        ? qEnvironmentVariableIntValue("ORVALIA_CRASH_KILLS")
        : DefaultKills;
    const quint64 seed = qEnvironmentVariableIsSet("ORVALIA_CRASH_SEED")
        ? qEnvironmentVariable("ORVALIA_CRASH_SEED").toULongLong()
        : QRandomGenerator::system()->generate64();
    QRandomGenerator random(seed);

    QString fileSystem;
    const QString parent = parentDirectory(fileSystem);
    QTemporaryDir directory(parent + u"/orvalia-crash-XXXXXX"_qs);
    QVERIFY2(directory.isValid(), qPrintable(parent));
    qInfo("crash test: %d kills in %s (%s), seed %llu (ORVALIA_CRASH_SEED repeats the run)", kills,
        qPrintable(directory.path()), qPrintable(fileSystem), seed);
    const QString program = directory.filePath(u"program"_qs);
    const QString password = directory.filePath(u"password"_qs);
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(password));
    State state;
    writeBytes(OptionsFile(program).path(), state.options);
    QVERIFY(TextFile::replaceThroughTwin(
        PasswordFile(password).path(), PasswordFile(password).twinPath(), state.password, 0600));

    Figures figures;
    QString failure;
    // Running averages that place the random kills inside the start-up and inside an operation.
    qint64 startUpNanos = 20'000'000;
    qint64 operationNanos = 5'000'000;
    qint64 operationsTimed = 0;
    qint64 operationTime = 0;
    // Every added contact gets a new number: each run starts after the last one announced.
    quint32 nextId = 1;

    for (int run = 0; run < kills && failure.isEmpty(); ++run) {
        const bool duringStartUp = random.bounded(StartUpKillEvery) == 0;
        const bool aimed = !duringStartUp && random.bounded(AimedEvery) == 0;
        QStringList arguments {
            program, password, QString::number(nextId), QString::number(random.generate64())};
        if (aimed) {
            // Every operation takes one flush, one rename and one directory flush, and most take a
            // write or two: the n-th comes within the run's dozen operations.
            const char point = CrashRecords::StepPoints[random.bounded(8)];
            arguments << QString(QChar::fromLatin1(point))
                      << QString::number(1 + random.bounded(MostOperationsPerRun / 2));
        }
        QProcess driver;
        driver.setProgram(QStringLiteral(CRASH_DRIVER));
        driver.setArguments(arguments);
        driver.start();
        QVERIFY2(driver.waitForStarted(), qPrintable(driver.errorString()));
        QElapsedTimer clock;
        clock.start();

        QByteArray pending;
        std::optional<Entry> inFlight;
        char lastStep = 0;
        QByteArray steps; // the durable steps of the operation in flight, in order
        bool ready = false;
        qint64 readyAt = 0;
        int completedThisRun = 0;
        const auto consume = [&] {
            pending += driver.readAllStandardOutput();
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                Entry entry;
                const bool parsed = CrashRecords::parse(QByteArrayView(pending).first(end), entry);
                pending.remove(0, end + 1);
                if (!parsed) {
                    failure = u"unreadable journal line"_qs;
                } else if (entry.kind == 'R') {
                    ready = true;
                    readyAt = clock.nsecsElapsed();
                } else if (entry.kind == 's') {
                    lastStep = entry.op;
                    steps += entry.op;
                } else if (entry.kind == 'B') {
                    inFlight = entry;
                    lastStep = 0;
                    steps.clear();
                    if (entry.op == 'A')
                        nextId = qMax(nextId, entry.id + 1);
                } else if (entry.kind == 'E' && inFlight && inFlight->seq == entry.seq) {
                    if (!entry.ok)
                        failure = u"operation %1 reported a failure on a healthy disk"_qs.arg(inFlight->op);
                    else if (const QString wrong = (inFlight->op == 'W' || inFlight->op == 'P')
                                 ? passwordMismatch(state.password, *inFlight)
                                 : QString();
                             !wrong.isEmpty())
                        failure = u"password operation %1 wrote a file that is wrong: %2"_qs.arg(inFlight->op)
                                      .arg(wrong);
                    else if (!DurableSteps.match(QString::fromLatin1(steps)).hasMatch())
                        // A kill cannot show a flush that was left out; the order of the steps can.
                        failure
                            = u"operation %1 took the steps %2: not its writes, a flush, the rename and a "
                              u"directory flush"_qs.arg(inFlight->op)
                                  .arg(QString::fromLatin1(steps));
                    else
                        state = applied(state, *inFlight);
                    inFlight.reset();
                    ++figures.completed;
                    ++completedThisRun;
                }
            }
        };
        if (aimed) {
            // The driver kills itself at its kill point.
            while (driver.state() == QProcess::Running && failure.isEmpty()) {
                driver.waitForReadyRead(1000);
                consume();
                QVERIFY2(clock.elapsed() < 60000, "the driver never reached its kill point");
            }
        } else {
            // Pick the instant: inside the start-up, or inside the operation after a few completed
            // ones.
            const int wantedCompleted = duringStartUp ? 0 : random.bounded(MostOperationsPerRun);
            while (!duringStartUp && completedThisRun < wantedCompleted && failure.isEmpty()
                && driver.state() == QProcess::Running) {
                driver.waitForReadyRead(1000);
                consume();
            }
            QVERIFY2(driver.state() == QProcess::Running,
                qPrintable(u"the driver ended by itself: "_qs
                    + QString::fromLocal8Bit(driver.readAllStandardError())));
            const qint64 range = duringStartUp ? startUpNanos : operationNanos;
            // Not a wait for something: the random instant of the kill.
            std::this_thread::sleep_for(std::chrono::nanoseconds(random.bounded(range + 1)));
            ::kill(pid_t(driver.processId()), SIGKILL);
        }
        QVERIFY(driver.state() == QProcess::NotRunning || driver.waitForFinished(30000));
        QVERIFY2(driver.exitStatus() == QProcess::CrashExit,
            qPrintable(
                u"the driver ended by itself: "_qs + QString::fromLocal8Bit(driver.readAllStandardError())));
        consume();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        ++figures.kills;
        figures.aimed += aimed ? 1 : 0;
        const Place place = !ready ? StartUp : inFlight ? placeOf(lastStep) : Between;
        ++figures.landed[aimed ? 1 : 0][place];
        if (ready && completedThisRun > 0 && !aimed) {
            operationTime += clock.nsecsElapsed() - readyAt;
            operationsTimed += completedThisRun;
            operationNanos = qMax<qint64>(operationTime / operationsTimed, 100'000);
        }
        if (ready)
            startUpNanos = (startUpNanos * 3 + readyAt) / 4;

        const State before = state;
        const std::optional<State> found = check(program, password, before, inFlight, figures, failure);
        if (!found)
            break;
        if (inFlight) {
            ++figures.inFlight;
            ++figures.inFlightByOperation[inFlight->op];
            if (!(found->contacts == before.contacts) || found->backup != before.backup
                || found->options != before.options || found->workingCopy != before.workingCopy
                || found->password != before.password)
                ++figures.inFlightTookEffect;
        }
        state = *found;
    }

    const auto share = [&](int count) { return figures.kills ? 100.0 * count / figures.kills : 0.0; };
    const auto landed = [&](int place) { return figures.landed[0][place] + figures.landed[1][place]; };
    qInfo(
        "crash test: %d kills (%d aimed at a kill point, %d at a random instant), %lld operations completed, "
        "%lld contacts checked, %lld contacts lost, %lld partial lines, %lld settings or passwords lost",
        figures.kills, figures.aimed, figures.kills - figures.aimed, figures.completed,
        figures.contactsChecked, figures.contactsLost, figures.partialLines, figures.settingsLost);
    for (int aimed = 1; aimed >= 0; --aimed) {
        QStringList where;
        for (int place = 0; place < PlaceCount; ++place) {
            if (figures.landed[aimed][place])
                where << u"%1 %2"_qs.arg(figures.landed[aimed][place])
                             .arg(QLatin1String(PlaceNames[aimed][place]));
        }
        qInfo("crash test: %s kills landed: %s", aimed ? "aimed" : "random", qPrintable(where.join(u", ")));
    }
    qInfo("crash test: inside sync and rename: %.1f%% of the kills (inside fdatasync %.1f%%, inside a rename "
          "%.1f%%, "
          "inside the directory sync %.1f%%); at a step's edge or inside it: %.1f%%",
        share(landed(InSync) + landed(InRename) + landed(InDirectorySync)), share(landed(InSync)),
        share(landed(InRename)), share(landed(InDirectorySync)),
        share(landed(InWrite) + landed(AfterWrite) + landed(InSync) + landed(AfterSync) + landed(InRename)
            + landed(AfterRename) + landed(InDirectorySync) + landed(AfterDirectorySync)));
    qInfo("crash test: %lld operations in flight at a kill (append %lld, modify %lld, delete %lld, backup "
          "%lld, "
          "restore %lld, option line %lld, options put in force %lld, new password %lld, password change "
          "%lld), "
          "%lld of them found done; %lld starts found a twin or temporary left beside its file (by that kill "
          "or an earlier one); largest data.orv %lld bytes",
        figures.inFlight, figures.inFlightByOperation.value('A'), figures.inFlightByOperation.value('M'),
        figures.inFlightByOperation.value('D'), figures.inFlightByOperation.value('K'),
        figures.inFlightByOperation.value('S'), figures.inFlightByOperation.value('U'),
        figures.inFlightByOperation.value('C'), figures.inFlightByOperation.value('W'),
        figures.inFlightByOperation.value('P'), figures.inFlightTookEffect, figures.leftoverTwins,
        figures.largestFile);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(figures.contactsLost, 0);
    QCOMPARE(figures.partialLines, 0);
    QCOMPARE(figures.settingsLost, 0);
    QCOMPARE(figures.kills, kills);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crash_safety.moc"
