// Times the contact handlers of the main window on a generated address book of N contacts:
//
//   orvalia_bench N [--runs R] [--keep]
//
// Everything goes through the real main window and the real contact file on the offscreen
// platform; only message boxes, sound and network are stand-ins (bench_platform.h). Each figure is
// the median of R runs, set against the floor: the file streamed through one buffer of 1 MB and
// its lines counted with memchr, in this process and during this run. Reading the whole file into
// one fresh buffer is printed beside it for comparison.
//
// The load is timed twice: in this process, where each run builds a new main window while fonts,
// styles and touched memory stay from the runs before (warm), and in a new process for each run
// (orvalia_bench_start, built beside this program), as a user's start is. That process also gives
// the whole start-up, from the moment it is spawned to the list shown, and its peak memory.
//
// Where a size has targets (100,000 and 1,000,000 contacts) they are printed beside the figures,
// met or missed. A table goes to the standard output, followed by one line of JSON.
//
// The contact search is timed through its window, "Buscar contacto": opening it (the contact file
// read into its index), and each keystroke of a typed query (a piece of a surname, then a piece of
// a phone number with another spacing) until the results are painted.

#include "bench_platform.h"
#include "bench_window.h"
#include "sample_contacts.h"

#include "app/main_window.h"
#include "app/search_window.h"
#include "contacts/contact_file.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/contact_search.h"
#include "platform/windows1252.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace BenchWindow;
using namespace ContactRecord;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The temporary program directory, which a failure removes too (a million contacts take 400 MB).
QTemporaryDir *scratch = nullptr;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "orvalia_bench: %s\n", qPrintable(what));
    if (scratch && scratch->autoRemove())
        scratch->remove();
    std::exit(1);
}

void check(bool condition, const char *what)
{
    if (!condition)
        fail(QString::fromUtf8(what));
}

// Processor time of the whole process: unlike the wall clock it leaves out waiting for the disk
// and for other programs on a busy machine.
double cpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Operation
{
    Operation(const char *name, const char *caption)
        : id(name)
        , title(caption)
    { }

    const char *id;
    const char *title;
    std::vector<double> samples;
    std::vector<double> cpu;
    double ms() const { return median(samples); }
    double cpuMs() const { return median(cpu); }
};

// The last line of a file, without its CR LF, decoded.
QString lastLine(const QString &path)
{
    QFile file(path);
    check(file.open(QIODevice::ReadOnly), "cannot read data.orv");
    const qint64 tail = std::min<qint64>(file.size(), 4096);
    file.seek(file.size() - tail);
    QByteArray bytes = file.read(tail);
    check(bytes.endsWith("\r\n"), "data.orv does not end with CR LF");
    bytes.chop(2);
    return Windows1252::decode(QByteArrayView(bytes).sliced(bytes.lastIndexOf('\n') + 1));
}

// The floor: the file streamed through one buffer of 1 MB, its line ends found with memchr. No
// program that reads the whole file can do less.
qsizetype streamAndCount(const QString &path)
{
    constexpr std::size_t Block = 1 << 20;
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    check(file >= 0, "cannot read data.orv");
    const std::unique_ptr<char[]> buffer(new char[Block]);
    qsizetype lines = 0;
    for (ssize_t got; (got = ::read(file, buffer.get(), Block)) != 0;) {
        check(got > 0, "cannot read data.orv");
        const char *end = buffer.get() + got;
        for (const char *at = buffer.get(); (at = static_cast<const char *>(std::memchr(at, '\n', end - at)));
             ++at)
            ++lines;
    }
    ::close(file);
    return lines;
}

// For comparison: the whole file into one fresh buffer in one read, then its lines counted. At a
// million contacts the first touches of that much fresh memory cost more than the reading.
qsizetype readWholeAndCount(const QString &path)
{
    QFile file(path);
    check(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered), "cannot read data.orv");
    QByteArray bytes(file.size(), Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const qint64 n = file.read(bytes.data() + got, bytes.size() - got);
        check(n > 0, "short read of data.orv");
        got += n;
    }
    return std::count(bytes.cbegin(), bytes.cend(), '\n');
}

// One start of the program in a process of its own (orvalia_bench_start).
struct FreshStart
{
    double loadMs = 0; // from creating the window to the list shown, as the warm load
    double loadCpuMs = 0;
    double startupMs = 0; // from the spawn to the list shown
    double startupCpuMs = 0;
    long startupPeakKb = 0; // peak resident memory until the list was shown
    double clickMs = 0; // then a click on the last line's contact
    double clickCpuMs = 0;
    double saveMs = 0; // and a modification saved
    double saveCpuMs = 0;
    long editedPeakKb = 0; // peak resident memory of the whole process
};

// The value of name=value in a line of the start-up program's report.
QByteArray field(const QByteArray &line, const char *name)
{
    const QByteArray wanted = QByteArray(name) + '=';
    for (const QByteArray &word : line.split(' ')) {
        if (word.startsWith(wanted))
            return word.mid(wanted.size());
    }
    fail(QStringLiteral("the start-up program reported no %1: %2").arg(name, QString::fromLatin1(line)));
}

FreshStart startFresh(const QByteArray &program, const QByteArray &directory, const QByteArray &key)
{
    int out[2];
    check(::pipe2(out, O_CLOEXEC) == 0, "cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const char *arguments[]
        = {program.constData(), directory.constData(), "--edit", key.constData(), nullptr};
    pid_t child = -1;
    const auto spawned = Clock::now();
    const int error = posix_spawn(
        &child, program.constData(), &actions, nullptr, const_cast<char *const *>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (error != 0)
        fail(QStringLiteral("cannot start %1: %2")
                 .arg(QString::fromLocal8Bit(program), QString::fromLocal8Bit(std::strerror(error))));

    QByteArray report;
    char block[4096];
    for (;;) {
        pollfd ready {out[0], POLLIN, 0};
        if (::poll(&ready, 1, 600'000) <= 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            fail(QStringLiteral("the start-up program did not finish"));
        }
        const ssize_t got = ::read(out[0], block, sizeof block);
        if (got <= 0)
            break;
        report.append(block, got);
    }
    ::close(out[0]);
    int status = 0;
    rusage usage {};
    check(::wait4(child, &status, 0, &usage) == child, "cannot wait for the start-up program");
    check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the start-up program failed");

    const QList<QByteArray> lines = report.trimmed().split('\n');
    check(lines.size() == 2 && lines[0].startsWith("shown ") && lines[1].startsWith("edited "),
        "the start-up program's report is incomplete");
    const QByteArray &shown = lines[0];
    const QByteArray &edited = lines[1];
    const auto window = momentOf(field(shown, "window").toLongLong());
    const auto painted = momentOf(field(shown, "painted").toLongLong());
    FreshStart start;
    start.loadMs = msBetween(window, painted);
    start.loadCpuMs = field(shown, "cpu_painted").toDouble() - field(shown, "cpu_window").toDouble();
    start.startupMs = msBetween(spawned, painted);
    start.startupCpuMs = field(shown, "cpu_painted").toDouble();
    start.startupPeakKb = field(shown, "rss_kb").toLong();
    start.clickMs = field(edited, "click_ms").toDouble();
    start.saveMs = field(edited, "save_ms").toDouble();
    start.clickCpuMs = field(edited, "click_cpu_ms").toDouble();
    start.saveCpuMs = field(edited, "save_cpu_ms").toDouble();
    start.editedPeakKb = usage.ru_maxrss;
    return start;
}

// The load average of the machine: one, five and fifteen minutes.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("? ? ?");
    return QString::fromLatin1(file.readLine()).section(u' ', 0, 2);
}

// Where the time of an add goes, with the same steps as the contact file's append (old bytes
// and the new line to a twin, flushed to the disk, renamed over the file), on a scratch copy.
struct AppendSteps
{
    std::vector<double> copy, sync, rename, inPlaceAppend, inPlaceSync;
};

void timeAppendSteps(const QString &dataPath, const QByteArray &line, AppendSteps &steps)
{
    const QByteArray source = QFile::encodeName(dataPath);
    const QByteArray directory = QFile::encodeName(QFileInfo(dataPath).absolutePath());
    const QByteArray twin = directory + "/bench-append.twin";
    const QByteArray target = directory + "/bench-append.target";

    auto start = Clock::now();
    const int in = ::open(source.constData(), O_RDONLY);
    const int out = ::open(twin.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    check(in >= 0 && out >= 0, "cannot open the scratch files");
    std::vector<char> block(1 << 20);
    for (ssize_t n; (n = ::read(in, block.data(), block.size())) > 0;)
        check(::write(out, block.data(), n) == n, "scratch write failed");
    check(::write(out, line.constData(), line.size()) == line.size(), "scratch write failed");
    ::close(in);
    auto copied = Clock::now();
    ::fdatasync(out);
    auto synced = Clock::now();
    ::close(out);
    check(std::rename(twin.constData(), target.constData()) == 0, "scratch rename failed");
    const int dir = ::open(directory.constData(), O_RDONLY | O_DIRECTORY);
    ::fsync(dir);
    ::close(dir);
    auto renamed = Clock::now();
    steps.copy.push_back(msBetween(start, copied));
    steps.sync.push_back(msBetween(copied, synced));
    steps.rename.push_back(msBetween(synced, renamed));

    // The alternative: the line written at the end of the file itself, then flushed.
    start = Clock::now();
    const int file = ::open(target.constData(), O_WRONLY | O_APPEND);
    check(file >= 0 && ::write(file, line.constData(), line.size()) == line.size(), "scratch append failed");
    auto appended = Clock::now();
    ::fdatasync(file);
    auto flushed = Clock::now();
    ::close(file);
    ::unlink(target.constData());
    steps.inPlaceAppend.push_back(msBetween(start, appended));
    steps.inPlaceSync.push_back(msBetween(appended, flushed));
}

// What a user types to find a contact: the start of its surname without accents, a blank, and the
// start of its phone number with a blank where the file has a hyphen. Twelve characters.
QString typedQuery(const QString &line)
{
    const Fields fields = fieldsOf(line);
    QString surname;
    for (QChar c : fields[apellido]) {
        if (c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().front();
        surname += c.toLower();
    }
    QString phone = fields[telefono];
    phone.replace(u'-', u' ');
    return surname.left(5) + u' ' + phone.left(6);
}

// The targets asked of the program at two sizes (medians on a 2-core machine); 0 where none is.
struct Limits
{
    double warmLoad = 0; // x the floor
    double freshLoad = 0; // x the floor
    double saveVsLoad = 0; // a modification save, x the warm load
    double clickMs = 0; // the click on the last line's contact
    double peakMb = 0; // peak resident memory of a fresh start
    double searchOpenVsLoad = 0; // opening the search window, x the warm load
    double keystrokeMs = 0; // median keystroke in the search window
    double keystrokeWorstMs = 0;
    double indexVsFile = 0; // the search index's memory, x the file's size
    bool any() const { return warmLoad > 0 || freshLoad > 0 || saveVsLoad > 0 || clickMs > 0 || peakMb > 0; }
};

Limits limitsFor(qint64 contacts)
{
    if (contacts == 100'000)
        return {6, 15, 1.3, 5, 50, 1.5, 15, 40, 1.5};
    if (contacts == 1'000'000)
        return {8, 0, 0, 0, 150};
    return {};
}

struct Settings
{
    qint64 count = 0;
    int runs = 5;
    bool keep = false;
};

Settings parse(const QStringList &arguments)
{
    Settings settings;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == u"--runs" && i + 1 < arguments.size())
            settings.runs = arguments[++i].toInt();
        else if (argument == u"--keep")
            settings.keep = true;
        else
            settings.count = argument.toLongLong();
    }
    if (settings.count < 2 || settings.count > SampleContacts::capacity() || settings.runs < 1) {
        std::fprintf(stderr, "usage: orvalia_bench N [--runs R] [--keep]   (2 <= N <= %lld)\n",
            static_cast<long long>(SampleContacts::capacity()));
        std::exit(2);
    }
    return settings;
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Settings settings = parse(QCoreApplication::arguments());
    const qint64 n = settings.count;

    QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/orv-XXXXXX"));
    check(directory.isValid(), "cannot create a temporary program directory");
    directory.setAutoRemove(!settings.keep);
    scratch = &directory;
    const QString photos = directory.filePath(QStringLiteral("f"));
    BenchPlatform desk(directory.path());
    ContactFile contacts(directory.path(), desk.attributes);
    const QString dataPath = contacts.path();

    const auto generated = Clock::now();
    const qint64 bytes = SampleContacts::writeFile(dataPath, photos, n);
    check(bytes > 0, "cannot write data.orv");
    desk.attributes.setHidden(dataPath);
    {
        // Confirmations on (answered Yes), capitalisation on, sounds on, no update check.
        QFile options(directory.filePath(QStringLiteral("Agenda.opt")));
        check(options.open(QIODevice::WriteOnly)
                && options.write("1\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n") == 24,
            "cannot write Agenda.opt");
    }
    std::printf("%lld contacts, %.1f MB (%.0f bytes a line), written in %.0f ms to %s\n",
        static_cast<long long>(n), bytes / 1e6, double(bytes) / double(n), msBetween(generated, Clock::now()),
        qPrintable(directory.path()));
    std::fflush(stdout);

    const QString firstLine = SampleContacts::line(0, photos);
    const QString lastStored = SampleContacts::line(n - 1, photos);
    const QString firstKey = keyOf(firstLine);
    const QString lastKey = keyOf(lastStored);

    Operation floor {"floor", "floor: stream in 1 MB blocks, count lines"};
    Operation wholeFile {"floor_whole_file", "  whole file in one fresh buffer, count"};
    Operation load {"load", "load until the list is shown (warm)"};
    Operation freshLoad {"load_fresh", "  the same in a fresh process"};
    Operation startup {"startup", "start-up to the list shown (whole process)"};
    Operation display {"display_last", "List1_Click on the last line's contact"};
    Operation save {"save", "modification save (rewrite, list rebuilt)"};
    Operation rename {"save_renamed", "  the same, surname changed (entry moves)"};
    Operation add {"add", "add (append, list entry)"};
    Operation remove {"delete", "delete (rewrite without the line)"};
    Operation backup {"backup", "backup copy (ContactFile::backup)"};
    AppendSteps appendSteps;
    const QString loadAtStart = loadAverage();

    // The floor is taken again and again between the other measurements, so that what the rest
    // of the machine does at the time weighs on it as on them.
    const auto timeFloor = [&] {
        for (int i = 0; i < 3; ++i) {
            const double cpuStart = cpuMs();
            const auto start = Clock::now();
            const qsizetype lines = streamAndCount(dataPath);
            floor.samples.push_back(msBetween(start, Clock::now()));
            floor.cpu.push_back(cpuMs() - cpuStart);
            check(lines == n, "the floor counted a different number of lines");
        }
    };

    // The fresh starts work on a copy of the contact file in a program directory of their own:
    // each saves a change there, and the handlers timed below expect the contacts as generated.
    std::vector<FreshStart> fresh;
    {
        QDir(directory.path()).mkdir(QStringLiteral("fresh"));
        const QString freshDirectory = directory.filePath(QStringLiteral("fresh"));
        for (const char *name : {"data.orv", "Agenda.opt"}) {
            check(QFile::copy(directory.filePath(QString::fromLatin1(name)),
                      freshDirectory + u'/' + QString::fromLatin1(name)),
                "cannot copy the contacts for the fresh starts");
        }
        desk.attributes.setHidden(freshDirectory + QStringLiteral("/data.orv"));
        const QByteArray program = QFile::encodeName(
            QCoreApplication::applicationDirPath() + QStringLiteral("/orvalia_bench_start"));
        for (int run = 0; run < settings.runs; ++run) {
            timeFloor();
            fresh.push_back(startFresh(program, QFile::encodeName(freshDirectory), lastKey.toUtf8()));
            const FreshStart &last = fresh.back();
            freshLoad.samples.push_back(last.loadMs);
            freshLoad.cpu.push_back(last.loadCpuMs);
            startup.samples.push_back(last.startupMs);
            startup.cpu.push_back(last.startupCpuMs);
        }
    }
    const auto medianOf = [&](auto member) {
        std::vector<double> values;
        for (const FreshStart &start : fresh)
            values.push_back(double(start.*member));
        return median(values);
    };

    PaintCounter paints;
    std::unique_ptr<FrmPrincipal> window;
    for (int run = 0; run < settings.runs; ++run) {
        window.reset();
        QCoreApplication::processEvents();
        timeFloor();
        const int listPaints = paints.list;
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        window = std::make_unique<FrmPrincipal>(desk.platform);
        window->show();
        check(waitForListPaint(paints, listPaints), "the list was never shown");
        load.samples.push_back(msBetween(start, Clock::now()));
        load.cpu.push_back(cpuMs() - cpuStart);
        settle(paints, start);
    }
    window->setProgramEnd([] {});
    auto *list = window->findChild<QListView *>(QStringLiteral("List1"));
    auto *model = qobject_cast<ContactListModel *>(list->model());
    check(model && model->count() == n, "the list does not hold every contact");
    const auto box
        = [&](int index) { return window->findChild<QLineEdit *>(QStringLiteral("txt_%1").arg(index)); };
    const auto button
        = [&](const char *name) { return window->findChild<QPushButton *>(QString::fromLatin1(name)); };

    const auto rowOf = [&](const QString &key) {
        const auto [row, found] = model->exactRows(key);
        check(found == 1, "a contact's entry is missing from the list");
        return row;
    };
    const auto bringIntoView = [&](int row) {
        list->scrollTo(model->index(row));
        settle(paints, Clock::now());
    };
    const auto clickRow = [&](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model->index(row)).center());
    };
    // Shows a contact, untimed: a click on another entry first, so that the selection changes.
    const auto show = [&](const QString &key, const QString &other) {
        for (const QString &k : {other, key}) {
            const int row = rowOf(k);
            bringIntoView(row);
            clickRow(row);
            settle(paints, Clock::now());
        }
        check(window->regmostrado() == 1 && keyOf(window->regoriginal()) == key, "the contact is not shown");
    };
    const auto timed = [&](Operation &operation, const std::function<void()> &act) {
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        act();
        operation.samples.push_back(msBetween(start, settle(paints, Clock::now())));
        operation.cpu.push_back(cpuMs() - cpuStart);
    };
    const auto noErrors = [&](qsizetype before, const char *expected) {
        const QStringList &shown = desk.messages.shown;
        const bool asked = expected == nullptr
            ? shown.size() == before
            : shown.size() == before + 1 && shown.last().startsWith(QString::fromUtf8(expected));
        if (!asked)
            fail(QStringLiteral("unexpected message: ") + (shown.isEmpty() ? QString() : shown.last()));
    };

    for (int run = 0; run < settings.runs; ++run) {
        show(firstKey, lastKey);
        const int row = rowOf(lastKey);
        bringIntoView(row);
        timed(display, [&] { clickRow(row); });
        check(window->regoriginal() == lastStored, "the last contact is not shown as stored");
    }

    for (int run = 0; run < settings.runs; ++run) {
        show(lastKey, firstKey);
        Fields changed = fieldsOf(window->regoriginal());
        changed[telefono] = QStringLiteral("4%1-0000").arg(run % 1000, 3, 10, QChar(u'0'));
        box(telefono)->setText(changed[telefono]);
        const int row = rowOf(firstKey);
        bringIntoView(row);
        const qsizetype before = desk.messages.shown.size();
        timed(save, [&] { clickRow(row); });
        noErrors(before, "Los datos han sido modificados");
        check(window->regmostrado() == 0 && model->count() == n, "the save did not rebuild the list");
        check(lastLine(dataPath) == lineOf(changed), "the save did not store the change in place");
    }

    // The same with a new surname: the entry moves in the list. Its first letter goes to Z and
    // back, so the file keeps its size.
    QString shownKey = lastKey;
    for (int run = 0; run < settings.runs; ++run) {
        show(shownKey, firstKey);
        Fields changed = fieldsOf(window->regoriginal());
        changed[apellido][0] = run % 2 == 0 ? QChar(u'Z') : lastKey.front();
        box(apellido)->setText(changed[apellido]);
        const int row = rowOf(firstKey);
        bringIntoView(row);
        const qsizetype before = desk.messages.shown.size();
        timed(rename, [&] { clickRow(row); });
        noErrors(before, "Los datos han sido modificados");
        const QString oldKey = shownKey;
        shownKey = keyOf(lineOf(changed));
        check(model->count() == n && model->exactRows(shownKey).second == 1
                && model->exactRows(oldKey).second == 0,
            "the renamed contact's entry did not move");
        check(lastLine(dataPath) == lineOf(changed), "the save did not store the new surname in place");
    }

    for (int run = 0; run < settings.runs; ++run) {
        // Add a contact, then delete it again: the file keeps its size from run to run.
        const Fields typed = fieldsOf(SampleContacts::newcomer(run, photos));
        for (int i = 0; i < FieldCount; ++i)
            box(i)->setText(typed[i]);
        Fields stored;
        std::transform(typed.cbegin(), typed.cend(), stored.begin(), capitalized);
        const QString newKey = keyOf(lineOf(stored));
        qsizetype before = desk.messages.shown.size();
        timed(add, [&] { QTest::mouseClick(button("Command1"), Qt::LeftButton); });
        noErrors(before, nullptr);
        check(model->count() == n + 1 && lastLine(dataPath) == lineOf(stored), "the add was not stored");

        show(newKey, firstKey);
        before = desk.messages.shown.size();
        timed(remove, [&] { QTest::mouseClick(button("Command2"), Qt::LeftButton); });
        noErrors(before, "¿Esta seguro");
        check(
            model->count() == n && QFileInfo(dataPath).size() == bytes, "the delete did not remove the line");
    }

    for (int run = 0; run < settings.runs; ++run) {
        timed(backup, [&] { check(contacts.backup(), "the backup failed"); });
        check(QFileInfo(contacts.backupPath()).size() == bytes, "the backup is incomplete");
    }
    const long programPeakKb = peakRssKb();

    // Where a load's time goes: the keys read from the file, their list order worked out, and the
    // list's layout of that many entries, each step timed alone in this process. The rest of the
    // warm load is the window itself: its controls, options and first paint.
    Operation readKeys {"read_keys", "keys read from the file (ContactFile::readKeys)"};
    Operation sortKeys {"sort", "their order (ContactListModel::listOrder)"};
    Operation layout {"layout", "the list's layout (QListView::doItemsLayout)"};
    for (int run = 0; run < settings.runs; ++run) {
        double cpuStart = cpuMs();
        auto start = Clock::now();
        const std::optional<QStringList> keys = contacts.readKeys();
        readKeys.samples.push_back(msBetween(start, Clock::now()));
        readKeys.cpu.push_back(cpuMs() - cpuStart);
        check(keys && keys->size() == n, "the keys read are not every contact's");
        cpuStart = cpuMs();
        start = Clock::now();
        const std::vector<quint32> order = ContactListModel::listOrder(*keys);
        sortKeys.samples.push_back(msBetween(start, Clock::now()));
        sortKeys.cpu.push_back(cpuMs() - cpuStart);
        check(qsizetype(order.size()) == n && keys->at(order.front()) == model->keyAt(0),
            "the order worked out is not the list's");
        cpuStart = cpuMs();
        start = Clock::now();
        list->doItemsLayout();
        layout.samples.push_back(msBetween(start, Clock::now()));
        layout.cpu.push_back(cpuMs() - cpuStart);
        settle(paints, Clock::now());
    }

    // The search, on the file as the handlers above left it, through its window.
    Operation searchOpen {"search_open", "search: window opened, file read into its index"};
    Operation keystroke {"search_keystroke", "search: keystroke (12 typed, results painted)"};
    // A contact from the middle of the file, which no operation above changed.
    const QString wanted = SampleContacts::line(n / 2, photos);
    const QString typed = typedQuery(wanted);
    check(typed.size() == 12, "the typed query is not 12 characters long");
    std::vector<std::vector<double>> perLength(typed.size()); // each keystroke's times
    std::vector<qsizetype> perLengthCount(typed.size()); // and how many results it listed
    QString lastCount;
    for (int run = 0; run < settings.runs; ++run) {
        double cpuStart = cpuMs();
        auto start = Clock::now();
        window->mnubuscar_Click();
        auto *search = window->findChild<FrmBuscar *>();
        check(search && search->isVisible(), "the search window did not open");
        searchOpen.samples.push_back(msBetween(start, settle(paints, Clock::now())));
        searchOpen.cpu.push_back(cpuMs() - cpuStart);
        auto *query = search->findChild<QLineEdit *>(QStringLiteral("txtbuscar"));
        auto *results = search->findChild<QListView *>(QStringLiteral("lstresultados"));
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            cpuStart = cpuMs();
            start = Clock::now();
            QTest::sendKeyEvent(
                QTest::Click, query, Qt::Key_unknown, QString(typed[length - 1]), Qt::NoModifier);
            keystroke.samples.push_back(msBetween(start, settle(paints, Clock::now())));
            keystroke.cpu.push_back(cpuMs() - cpuStart);
            perLength[length - 1].push_back(keystroke.samples.back());
            perLengthCount[length - 1] = results->model()->rowCount();
        }
        lastCount = search->findChild<QLabel *>(QStringLiteral("lblcuenta"))->text();
        // Among the matches, the contact the query was made from, found by its phone.
        bool found = false;
        for (int row = 0; row < results->model()->rowCount() && !found; ++row) {
            const QString text = results->model()->index(row, 0).data().toString();
            found = text.startsWith(keyOf(wanted).trimmed() + QStringLiteral(" — "))
                && text.contains(u"Telefono: ");
        }
        check(found, "the typed query does not find the contact by its phone");
        search->close();
        settle(paints, Clock::now());
    }
    const double keystrokeWorst = *std::max_element(keystroke.samples.cbegin(), keystroke.samples.cend());
    const double keystrokeWorstCpu = *std::max_element(keystroke.cpu.cbegin(), keystroke.cpu.cend());
    // What the window keeps while it is open: the index of the same file.
    const std::optional<ContactSearch> index = ContactSearch::fromFile(dataPath);
    check(index && index->contactCount() == n, "the search index does not hold every contact");
    const qsizetype indexBytes = index->memoryBytes();

    for (int run = 0; run < settings.runs; ++run) {
        timeFloor();
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        const qsizetype lines = readWholeAndCount(dataPath);
        wholeFile.samples.push_back(msBetween(start, Clock::now()));
        wholeFile.cpu.push_back(cpuMs() - cpuStart);
        check(lines == n, "the whole-file read counted a different number of lines");
    }
    const QByteArray oneLine = Windows1252::encode(lastStored) + "\r\n";
    for (int run = 0; run < settings.runs; ++run)
        timeAppendSteps(dataPath, oneLine, appendSteps);
    const QString loadAtEnd = loadAverage();

    Operation freshClick {"display_last_fresh", "  the first click in a fresh process"};
    Operation freshSave {"save_fresh", "  the first save in a fresh process"};
    for (const FreshStart &start : fresh) {
        freshClick.samples.push_back(start.clickMs);
        freshClick.cpu.push_back(start.clickCpuMs);
        freshSave.samples.push_back(start.saveMs);
        freshSave.cpu.push_back(start.saveCpuMs);
    }
    const double startupPeakMb = medianOf(&FreshStart::startupPeakKb) * 1024 / 1e6;
    const double editedPeakMb = medianOf(&FreshStart::editedPeakKb) * 1024 / 1e6;

    // What is asked of the program, where this size has targets: a value no greater than limit.
    struct Target
    {
        const char *id;
        double value;
        double limit;
        QString text; // the limit as printed
        bool met() const { return value <= limit; }
    };
    const Limits limits = limitsFor(n);
    const double floorMs = floor.ms();
    std::vector<Target> targets;
    if (limits.warmLoad > 0)
        targets.push_back({"load", load.ms() / floorMs, limits.warmLoad,
            QStringLiteral("<= %1 x floor").arg(limits.warmLoad)});
    if (limits.freshLoad > 0)
        targets.push_back({"load_fresh", freshLoad.ms() / floorMs, limits.freshLoad,
            QStringLiteral("<= %1 x floor").arg(limits.freshLoad)});
    if (limits.clickMs > 0)
        targets.push_back(
            {"display_last", display.ms(), limits.clickMs, QStringLiteral("<= %1 ms").arg(limits.clickMs)});
    if (limits.saveVsLoad > 0)
        targets.push_back({"save", save.ms() / load.ms(), limits.saveVsLoad,
            QStringLiteral("<= %1 x load (%2 ms)")
                .arg(limits.saveVsLoad)
                .arg(limits.saveVsLoad * load.ms(), 0, 'f', 1)});
    if (limits.peakMb > 0)
        targets.push_back(
            {"peak_memory", startupPeakMb, limits.peakMb, QStringLiteral("<= %1 MB").arg(limits.peakMb)});
    if (limits.searchOpenVsLoad > 0) {
        targets.push_back({"search_open", searchOpen.ms() / load.ms(), limits.searchOpenVsLoad,
            QStringLiteral("<= %1 x load").arg(limits.searchOpenVsLoad)});
        targets.push_back({"search_keystroke", keystroke.ms(), limits.keystrokeMs,
            QStringLiteral("median <= %1 ms").arg(limits.keystrokeMs)});
        targets.push_back({"search_keystroke_worst", keystrokeWorst, limits.keystrokeWorstMs,
            QStringLiteral("worst <= %1 ms").arg(limits.keystrokeWorstMs)});
        targets.push_back({"search_index", double(indexBytes) / double(bytes), limits.indexVsFile,
            QStringLiteral("<= %1 x the file").arg(limits.indexVsFile)});
    }
    const auto targetOf = [&](const char *id) -> QString {
        for (const Target &target : targets) {
            if (std::strcmp(target.id, id) == 0)
                return target.text + (target.met() ? QStringLiteral(": met") : QStringLiteral(": MISSED"));
        }
        return {};
    };

    std::printf("\nload average %s at the start, %s at the end (%ld processors)\n", qPrintable(loadAtStart),
        qPrintable(loadAtEnd), sysconf(_SC_NPROCESSORS_ONLN));
    const double floorCpuMs = floor.cpuMs();
    // One line of the table: the wall-clock time and the processor time, each also against the
    // floor's (on a busy machine the processor time varies less).
    const auto row = [&](const char *title, double ms, double cpu, const QString &note, int decimals = 1) {
        std::printf("%-44s %9.*f %8.*f %9s %8s   %s\n", title, decimals, ms, decimals, ms / floorMs,
            cpu >= 0 ? qPrintable(QString::number(cpu, 'f', decimals)) : "",
            cpu >= 0 ? qPrintable(QString::number(cpu / floorCpuMs, 'f', decimals)) : "", qPrintable(note));
    };
    std::printf("%-44s %9s %8s %9s %8s   %s\n",
        qPrintable(QStringLiteral("operation (median of %1 runs)").arg(settings.runs)), "ms", "x floor",
        "cpu ms", "x floor", limits.any() ? qPrintable(QStringLiteral("target at %1 contacts").arg(n)) : "");
    QString json = QStringLiteral("{\"contacts\":%1,\"bytes\":%2,\"runs\":%3,\"load_average\":{\"start\":\"%"
                                  "4\",\"end\":\"%5\"},\"operations\":{")
                       .arg(n)
                       .arg(bytes)
                       .arg(settings.runs)
                       .arg(loadAtStart, loadAtEnd);
    bool firstEntry = true;
    for (const Operation *op : {&floor, &wholeFile, &load, &freshLoad, &startup, &display, &freshClick, &save,
             &freshSave, &rename, &add, &remove, &backup}) {
        row(op->title, op->ms(), op->cpuMs(),
            op == &wholeFile ? QStringLiteral("(for comparison, not the floor)") : targetOf(op->id));
        json += QStringLiteral("%1\"%2\":{\"median_ms\":%3,\"ratio\":%4,\"cpu_ms\":%5,\"cpu_ratio\":%6}")
                    .arg(firstEntry ? "" : ",")
                    .arg(QString::fromLatin1(op->id))
                    .arg(op->ms(), 0, 'f', 2)
                    .arg(op->ms() / floorMs, 0, 'f', 2)
                    .arg(op->cpuMs(), 0, 'f', 2)
                    .arg(op->cpuMs() / floorCpuMs, 0, 'f', 2);
        firstEntry = false;
    }
    row(searchOpen.title, searchOpen.ms(), searchOpen.cpuMs(),
        QStringLiteral("%1 x load %2")
            .arg(searchOpen.ms() / load.ms(), 0, 'f', 2)
            .arg(targetOf("search_open")));
    row(keystroke.title, keystroke.ms(), keystroke.cpuMs(),
        QStringLiteral("median %1").arg(targetOf("search_keystroke")), 3);
    row("", keystrokeWorst, keystrokeWorstCpu,
        QStringLiteral("worst %1").arg(targetOf("search_keystroke_worst")), 3);
    std::printf("%-44s %9.1f MB, %.2f x the file   %s\n", "search index memory", indexBytes / 1e6,
        double(indexBytes) / double(bytes), qPrintable(targetOf("search_index")));
    std::printf("%-44s %9.1f MB %30s %s\n", "peak memory of a fresh start (ru_maxrss)", startupPeakMb, "",
        qPrintable(targetOf("peak_memory")));
    std::printf("%-44s %9.1f MB\n", "  the same after its click and save", editedPeakMb);
    std::printf("%-44s %9.1f MB\n", "peak memory of this process (warm runs)", programPeakKb * 1024 / 1e6);
    std::printf("(MB: 1,000,000 bytes)\n");
    std::printf(
        "\nsearch keystrokes (median ms of the runs, and how many results each listed; at the end: %s):\n ",
        qPrintable(lastCount));
    for (std::size_t i = 0; i < perLength.size(); ++i) {
        std::printf(" \"%s\" %.2f (%lld)", qPrintable(typed.left(qsizetype(i) + 1)), median(perLength[i]),
            static_cast<long long>(perLengthCount[i]));
    }
    std::printf("\n");
    std::printf("\nwhere a load's time goes (each step alone in this process, median ms, wall and cpu):\n");
    for (const Operation *step : {&readKeys, &sortKeys, &layout})
        std::printf("  %-48s %8.1f %8.1f   %4.0f%% of the warm load\n", step->title, step->ms(),
            step->cpuMs(), 100 * step->ms() / load.ms());
    std::printf("\nwhere an add's time goes (the same steps on a scratch copy, median ms):\n"
                "  copy to the twin %.1f, fdatasync %.1f, rename and directory fsync %.1f\n"
                "  for comparison, an append at the end of the file %.2f, its fdatasync %.1f\n",
        median(appendSteps.copy), median(appendSteps.sync), median(appendSteps.rename),
        median(appendSteps.inPlaceAppend), median(appendSteps.inPlaceSync));
    json += QStringLiteral("},\"search\":{\"open_ms\":%1,\"open_vs_load\":%2,\"keystroke_median_ms\":%3,"
                           "\"keystroke_worst_ms\":%4,\"index_bytes\":%5,\"index_vs_file\":%6}")
                .arg(searchOpen.ms(), 0, 'f', 2)
                .arg(searchOpen.ms() / load.ms(), 0, 'f', 2)
                .arg(keystroke.ms(), 0, 'f', 3)
                .arg(keystrokeWorst, 0, 'f', 3)
                .arg(indexBytes)
                .arg(double(indexBytes) / double(bytes), 0, 'f', 3);
    json += QStringLiteral(",\"fresh_peak_rss_kb\":%1,\"fresh_edited_peak_rss_kb\":%2,\"targets\":[")
                .arg(medianOf(&FreshStart::startupPeakKb), 0, 'f', 0)
                .arg(medianOf(&FreshStart::editedPeakKb), 0, 'f', 0);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Target &target = targets[i];
        json += QStringLiteral("%1{\"id\":\"%2\",\"value\":%3,\"limit\":%4,\"target\":\"%5\",\"met\":%6}")
                    .arg(i == 0 ? "" : ",")
                    .arg(QString::fromLatin1(target.id))
                    .arg(target.value, 0, 'f', 2)
                    .arg(target.limit)
                    .arg(target.text, target.met() ? QStringLiteral("true") : QStringLiteral("false"));
    }
    json += u']';
    json += QStringLiteral(",\"load_steps_ms\":{\"read_keys\":%1,\"sort\":%2,\"layout\":%3}")
                .arg(readKeys.ms(), 0, 'f', 2)
                .arg(sortKeys.ms(), 0, 'f', 2)
                .arg(layout.ms(), 0, 'f', 2);
    json += QStringLiteral(",\"peak_rss_kb\":%1,\"append_steps_ms\":{\"copy\":%2,\"fdatasync\":%3,"
                           "\"rename\":%4,\"in_place_append\":%5,\"in_place_fdatasync\":%6}}")
                .arg(programPeakKb)
                .arg(median(appendSteps.copy), 0, 'f', 2)
                .arg(median(appendSteps.sync), 0, 'f', 2)
                .arg(median(appendSteps.rename), 0, 'f', 2)
                .arg(median(appendSteps.inPlaceAppend), 0, 'f', 2)
                .arg(median(appendSteps.inPlaceSync), 0, 'f', 2);
    std::printf("\n%s\n", qPrintable(json));
    window.reset();
    return 0;
}
