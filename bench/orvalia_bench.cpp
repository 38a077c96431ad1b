// Times the contact handlers of the main window on a generated address book of N contacts:
//
//   orvalia_bench N [--runs R] [--keep]
//
// Everything goes through the real main window and the real contact file on the offscreen
// platform; only message boxes, sound and network are stand-ins (bench_platform.h). Each figure is
// the median of R runs, set against the floor: reading the whole file into memory and counting
// its lines. A table goes to the standard output, followed by one line of JSON.
//
// The contact search is timed without its window: building its index from the file, and each
// keystroke of a typed query (a piece of a surname, then a piece of a phone number with another
// spacing) as a new search over the index.

#include "bench_platform.h"
#include "sample_contacts.h"

#include "app/main_window.h"
#include "contacts/contact_file.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/contact_search.h"
#include "platform/text_file.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace ContactRecord;

double msBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "orvalia_bench: %s\n", qPrintable(what));
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
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Counts the paints of every widget of the program, and those of the list's viewport.
class PaintCounter : public QObject
{
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    int all = 0;
    int list = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++all;
            const QObject *parent = watched->parent();
            if (parent && parent->objectName() == u"List1")
                ++list;
        }
        return false;
    }
};

// Lets the window finish what a handler started (delayed layouts, repaints) and returns the
// moment its last paint ended, or handlerEnd when nothing was painted. Two passes in a row that
// paint nothing end it.
Clock::time_point settle(PaintCounter &paints, Clock::time_point handlerEnd)
{
    Clock::time_point lastPaint = handlerEnd;
    for (int idle = 0; idle < 2;) {
        const int before = paints.all;
        QCoreApplication::processEvents();
        if (paints.all != before) {
            lastPaint = Clock::now();
            idle = 0;
        } else {
            ++idle;
        }
    }
    return lastPaint;
}

struct Operation
{
    Operation(const char *id, const char *title)
        : id(id)
        , title(title)
    {
    }

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

// The floor: the whole file into memory in one read, then its lines counted.
qsizetype readAndCount(const QString &path)
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

// The offscreen platform's notes about window hints say nothing about the program.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || message.contains(u"propagateSizeHints") || message.contains(u"XDG_RUNTIME_DIR"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
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
                static_cast<long long>(n), bytes / 1e6, double(bytes) / double(n),
                msBetween(generated, Clock::now()), qPrintable(directory.path()));
    std::fflush(stdout);

    const QString firstLine = SampleContacts::line(0, photos);
    const QString lastStored = SampleContacts::line(n - 1, photos);
    const QString firstKey = keyOf(firstLine);
    const QString lastKey = keyOf(lastStored);

    Operation load{"load", "load until the list is shown"};
    Operation display{"display_last", "List1_Click on the last line's contact"};
    Operation save{"save", "modification save (rewrite, list rebuilt)"};
    Operation rename{"save_renamed", "  the same, surname changed (entry moves)"};
    Operation add{"add", "add (append, list entry)"};
    Operation remove{"delete", "delete (rewrite without the line)"};
    Operation backup{"backup", "backup copy (ContactFile::backup)"};
    Operation floor{"floor", "floor: read the file, count its lines"};
    AppendSteps appendSteps;

    PaintCounter paints;
    std::unique_ptr<FrmPrincipal> window;
    for (int run = 0; run < settings.runs; ++run) {
        window.reset();
        QCoreApplication::processEvents();
        const int listPaints = paints.list;
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        window = std::make_unique<FrmPrincipal>(desk.platform);
        window->show();
        while (paints.list == listPaints) {
            QCoreApplication::processEvents();
            check(msBetween(start, Clock::now()) < 600'000, "the list was never shown");
        }
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

    // The search, on the file as the handlers above left it.
    Operation searchOpen {"search_open", "search: index built from the file"};
    Operation keystroke {"search_keystroke", "search: keystroke (12 typed, a new search each)"};
    // A contact from the middle of the file, which no operation above changed.
    const QString wanted = SampleContacts::line(n / 2, photos);
    const QString typed = typedQuery(wanted);
    check(typed.size() == 12, "the typed query is not 12 characters long");
    std::vector<std::vector<double>> perLength(typed.size()); // each keystroke's times
    std::vector<qsizetype> perLengthCount(typed.size()); // and how many contacts it found
    qsizetype indexBytes = 0;
    for (int run = 0; run < settings.runs; ++run) {
        std::optional<ContactSearch> index;
        double cpuStart = cpuMs();
        auto start = Clock::now();
        index = ContactSearch::fromFile(dataPath);
        searchOpen.samples.push_back(msBetween(start, Clock::now()));
        searchOpen.cpu.push_back(cpuMs() - cpuStart);
        check(index && index->contactCount() == n, "the search index does not hold every contact");
        indexBytes = index->memoryBytes();
        ContactSearch::Results results;
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            cpuStart = cpuMs();
            start = Clock::now();
            results = index->find(typed.left(length));
            keystroke.samples.push_back(msBetween(start, Clock::now()));
            keystroke.cpu.push_back(cpuMs() - cpuStart);
            perLength[length - 1].push_back(keystroke.samples.back());
            perLengthCount[length - 1] = results.count;
        }
        const auto found = std::find_if(results.shown.cbegin(), results.shown.cend(),
            [&](const ContactSearch::Result &r) { return r.key == keyOf(wanted); });
        check(found != results.shown.cend() && found->field == telefono,
            "the typed query does not find the contact by its phone");
    }
    const double keystrokeWorst = *std::max_element(keystroke.samples.cbegin(), keystroke.samples.cend());
    const double keystrokeWorstCpu = *std::max_element(keystroke.cpu.cbegin(), keystroke.cpu.cend());

    for (int run = 0; run < settings.runs; ++run) {
        const double cpuStart = cpuMs();
        const auto start = Clock::now();
        const qsizetype lines = readAndCount(dataPath);
        floor.samples.push_back(msBetween(start, Clock::now()));
        floor.cpu.push_back(cpuMs() - cpuStart);
        check(lines == n, "the floor counted a different number of lines");
    }
    const QByteArray oneLine = Windows1252::encode(lastStored) + "\r\n";
    for (int run = 0; run < settings.runs; ++run)
        timeAppendSteps(dataPath, oneLine, appendSteps);

    const double floorMs = floor.ms();
    std::printf("\n%-46s %10s %9s %10s\n", "operation (median of runs)", "ms", "x floor", "cpu ms");
    QString json = QStringLiteral("{\"contacts\":%1,\"bytes\":%2,\"runs\":%3,\"operations\":{")
                       .arg(n)
                       .arg(bytes)
                       .arg(settings.runs);
    bool firstEntry = true;
    for (const Operation *op : {&floor, &load, &display, &save, &rename, &add, &remove, &backup}) {
        std::printf("%-46s %10.1f %9.1f %10.1f\n", op->title, op->ms(), op->ms() / floorMs, op->cpuMs());
        json += QStringLiteral("%1\"%2\":{\"median_ms\":%3,\"ratio\":%4,\"cpu_ms\":%5}")
                    .arg(firstEntry ? "" : ",")
                    .arg(QString::fromLatin1(op->id))
                    .arg(op->ms(), 0, 'f', 2)
                    .arg(op->ms() / floorMs, 0, 'f', 2)
                    .arg(op->cpuMs(), 0, 'f', 2);
        firstEntry = false;
    }
    std::printf("%-46s %10.1f %9.1f %10.1f   %.2f x load\n", searchOpen.title, searchOpen.ms(),
        searchOpen.ms() / floorMs, searchOpen.cpuMs(), searchOpen.ms() / load.ms());
    std::printf("%-46s %10.3f %9.3f %10.3f   median\n", keystroke.title, keystroke.ms(),
        keystroke.ms() / floorMs, keystroke.cpuMs());
    std::printf("%-46s %10.3f %9.3f %10.3f   worst\n", "", keystrokeWorst, keystrokeWorst / floorMs,
        keystrokeWorstCpu);
    std::printf("%-46s %10.1f MB %.2f x the file\n", "search index memory", indexBytes / 1e6,
        double(indexBytes) / double(bytes));
    std::printf("%-46s %10.1f MB\n", "peak resident memory (ru_maxrss)", programPeakKb / 1024.0);
    std::printf("\nsearch keystrokes (median ms of the runs, and how many contacts each found):\n ");
    for (std::size_t i = 0; i < perLength.size(); ++i) {
        std::printf(" \"%s\" %.2f (%lld)", qPrintable(typed.left(qsizetype(i) + 1)), median(perLength[i]),
            static_cast<long long>(perLengthCount[i]));
    }
    std::printf("\n");
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
