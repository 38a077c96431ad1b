// Kills a program that is busy with the contact file at random instants and checks, after every
// kill, what the next start of the program finds: every contact whose operation had completed is
// there exactly once with all its fields, the operation under way happened completely or not at
// all, and no line is partial.
//
// ORVALIA_CRASH_KILLS sets the number of kills (100 by default), ORVALIA_CRASH_SEED repeats a run,
// ORVALIA_CRASH_DIR names where the program directory is made. By default that is the RAM file
// system /dev/shm when there is one: the operations run fastest there, so that more kills land
// inside a write, and a killed process leaves the files exactly as it would on a disk.

#include "contacts/contact_file.h"
#include "crash_records.h"
#include "fake_platform.h"
#include "platform/text_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <thread>

using CrashRecords::Entry;

namespace {

constexpr int DefaultKills = 100;
// A run is killed after this many completed operations at most, plus a part of the next one.
constexpr int MostOperationsPerRun = 12;
// One run in this many is killed while the driver starts up.
constexpr int StartUpKillEvery = 10;

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
};

struct Figures
{
    int kills = 0;
    int startUpKills = 0;
    qint64 completed = 0;
    qint64 inFlight = 0;
    qint64 inFlightTookEffect = 0;
    qint64 contactsChecked = 0;
    qint64 contactsLost = 0;
    qint64 partialLines = 0;
    qint64 leftoverTwins = 0;
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
    }
    return state;
}

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

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedAtAnyInstantNothingIsLost();

private:
    // Checks what a start finds after a kill and returns the state on disk: before or after the
    // operation in flight. Nothing, with the failure in why, when it is neither.
    std::optional<State> check(const QString &directory, const State &before,
        const std::optional<Entry> &inFlight, Figures &figures, QString &why);

    Lines m_lines;
};

std::optional<State> TestCrashSafety::check(const QString &directory, const State &before,
    const std::optional<Entry> &inFlight, Figures &figures, QString &why)
{
    FakeFileAttributes attributes;
    ContactFile file(directory, attributes);
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
    const bool backupExists = QFileInfo::exists(file.backupPath());
    const QByteArray backupOnDisk = readBytes(file.backupPath());
    figures.largestFile = qMax(figures.largestFile, qint64(onDisk.size()));
    if (QFileInfo::exists(file.twinPath()))
        ++figures.leftoverTwins;

    QList<State> candidates {before};
    if (inFlight)
        candidates << applied(before, *inFlight);

    for (const State &candidate : std::as_const(candidates)) {
        if (onDisk != m_lines.file(candidate.contacts))
            continue;
        if (candidate.backup ? !backupExists || backupOnDisk != m_lines.file(*candidate.backup)
                             : backupExists)
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
    why = u"data.orv (%1 bytes) or data.bak is neither as before nor as after operation %2"_qs
              .arg(onDisk.size())
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
    qInfo("crash test: %d kills, seed %llu (ORVALIA_CRASH_SEED repeats the run)", kills, seed);
    QRandomGenerator random(seed);

    QString parent = qEnvironmentVariable("ORVALIA_CRASH_DIR");
    if (parent.isEmpty())
        parent = QFileInfo(u"/dev/shm"_qs).isWritable() ? u"/dev/shm"_qs : QDir::tempPath();
    QTemporaryDir directory(parent + u"/orvalia-crash-XXXXXX"_qs);
    QVERIFY2(directory.isValid(), qPrintable(parent));
    State state;
    Figures figures;
    QString failure;
    // Running averages that place the kills inside the start-up and inside an operation.
    qint64 startUpNanos = 20'000'000;
    qint64 operationNanos = 5'000'000;
    qint64 operationsTimed = 0;
    qint64 operationTime = 0;
    // Every added contact gets a new number: each run starts after the last one announced.
    quint32 nextId = 1;

    for (int run = 0; run < kills && failure.isEmpty(); ++run) {
        QProcess driver;
        driver.setProgram(QStringLiteral(CRASH_DRIVER));
        driver.setArguments({directory.path(), QString::number(nextId),
            QString::number(random.generate64())});
        driver.start();
        QVERIFY2(driver.waitForStarted(), qPrintable(driver.errorString()));
        QElapsedTimer clock;
        clock.start();

        QByteArray pending;
        std::optional<Entry> inFlight;
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
                } else if (entry.kind == 'B') {
                    inFlight = entry;
                    if (entry.op == 'A')
                        nextId = qMax(nextId, entry.id + 1);
                } else if (entry.kind == 'E' && inFlight && inFlight->seq == entry.seq) {
                    if (!entry.ok)
                        failure = u"operation %1 reported a failure on a healthy disk"_qs.arg(inFlight->op);
                    else
                        state = applied(state, *inFlight);
                    inFlight.reset();
                    ++figures.completed;
                    ++completedThisRun;
                }
            }
        };

        // Pick the instant: inside the start-up, or inside the operation after a few completed ones.
        const bool duringStartUp = random.bounded(StartUpKillEvery) == 0;
        const int wantedCompleted = duringStartUp ? 0 : random.bounded(MostOperationsPerRun);
        while (!duringStartUp && completedThisRun < wantedCompleted && failure.isEmpty()
            && driver.state() == QProcess::Running) {
            driver.waitForReadyRead(1000);
            consume();
        }
        QVERIFY2(driver.state() == QProcess::Running,
            qPrintable(
                u"the driver ended by itself: "_qs + QString::fromLocal8Bit(driver.readAllStandardError())));
        const qint64 range = duringStartUp ? startUpNanos : operationNanos;
        // Not a wait for something: the random instant of the kill.
        std::this_thread::sleep_for(std::chrono::nanoseconds(random.bounded(range + 1)));
        ::kill(pid_t(driver.processId()), SIGKILL);
        QVERIFY(driver.waitForFinished(30000));
        QCOMPARE(driver.exitStatus(), QProcess::CrashExit);
        consume();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        ++figures.kills;
        if (!ready)
            ++figures.startUpKills;
        else if (completedThisRun > 0) {
            operationTime += clock.nsecsElapsed() - readyAt;
            operationsTimed += completedThisRun;
            operationNanos = qMax<qint64>(operationTime / operationsTimed, 100'000);
        }
        if (ready)
            startUpNanos = (startUpNanos * 3 + readyAt) / 4;

        const State before = state;
        const std::optional<State> found = check(directory.path(), before, inFlight, figures, failure);
        if (!found)
            break;
        if (inFlight) {
            ++figures.inFlight;
            ++figures.inFlightByOperation[inFlight->op];
            if (!(found->contacts == before.contacts) || found->backup != before.backup)
                ++figures.inFlightTookEffect;
        }
        state = *found;
    }

    qInfo("crash test: %d kills (%d during start-up), %lld operations completed, %lld contacts checked, "
          "%lld contacts lost, %lld partial lines",
        figures.kills, figures.startUpKills, figures.completed, figures.contactsChecked, figures.contactsLost,
        figures.partialLines);
    qInfo(
        "crash test: %lld operations in flight at a kill (append %lld, modify %lld, delete %lld, backup "
        "%lld, "
        "restore %lld), %lld of them found done; %lld kills left a twin behind; largest data.orv %lld bytes",
        figures.inFlight, figures.inFlightByOperation.value('A'), figures.inFlightByOperation.value('M'),
        figures.inFlightByOperation.value('D'), figures.inFlightByOperation.value('K'),
        figures.inFlightByOperation.value('S'), figures.inFlightTookEffect, figures.leftoverTwins,
        figures.largestFile);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(figures.contactsLost, 0);
    QCOMPARE(figures.partialLines, 0);
    QCOMPARE(figures.kills, kills);
}

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crash_safety.moc"
