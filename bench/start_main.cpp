// The program's start as a user meets it, for the benchmark: a new process sets up the
// application as src/main.cpp does, in a portable layout on the given program directory, and
// goes on as the welcome window does when its timer fires (the start-up dispatcher, then the main
// window), only without the picture and its two and a half seconds. This executable is built with
// the benchmark alone; the program itself has no way to skip its welcome.
//
//   orvalia_bench_start DIRECTORY [--edit KEY]
//
// Once the contact list has been painted for the first time it prints
//
//   shown entered=NS window=NS painted=NS cpu_window=MS cpu_painted=MS rss_kb=KB
//
// (steady-clock times in nanoseconds, comparable with the caller's; processor time of the process
// so far; its peak resident memory so far). With --edit it goes on as a user would: a click on
// the entry of KEY (surname, blank, name, blank), a new phone number typed, a click on the first
// (or second) entry, which saves the change (the question answered Yes), and prints
//
//   edited click_ms=MS click_cpu_ms=MS save_ms=MS save_cpu_ms=MS rss_kb=KB
//
// Message boxes are answered without waiting for anybody and nothing goes to the network;
// everything else is the program's own desktop.

#include "bench_platform.h"
#include "bench_window.h"

#include "app/application.h"
#include "app/frm_organizador.h"
#include "app/main_window.h"
#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "platform/program_layout.h"
#include "platform/qt_platform.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

using namespace BenchWindow;

namespace {

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

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "orvalia_bench_start: %s\n", what);
    std::exit(1);
}

FrmPrincipal *mainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<FrmPrincipal *>(widget))
            return window;
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    const auto entered = Clock::now();
    qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setUpApplication(app);
    QApplication::setQuitOnLastWindowClosed(true);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2 && (arguments.size() != 4 || arguments[2] != u"--edit"))
        fail("usage: orvalia_bench_start DIRECTORY [--edit KEY]");
    const bool edit = arguments.size() == 4;

    QtPlatform desktop(ProgramLayout::portable(arguments[1]));
    AnsweringMessageBoxes messages;
    OfflineNetwork network;
    Platform platform {
        messages, desktop.dialogs, desktop.sound, desktop.shell, network, desktop.attributes, desktop.system};

    PaintCounter paints;
    const double cpuWindow = cpuMs();
    const auto window = Clock::now();
    new FrmOrganizador(platform);
    if (!waitForListPaint(paints, 0))
        fail("the list was never shown");
    const auto painted = Clock::now();
    std::printf("shown entered=%lld window=%lld painted=%lld cpu_window=%.3f cpu_painted=%.3f rss_kb=%ld\n",
        nanosOf(entered), nanosOf(window), nanosOf(painted), cpuWindow, cpuMs(), peakRssKb());
    std::fflush(stdout);

    FrmPrincipal *main = mainWindow();
    if (!main || main->anotherInstanceRunning())
        fail("no main window");
    if (edit) {
        settle(paints, Clock::now());
        auto *list = main->findChild<QListView *>(QStringLiteral("List1"));
        auto *model = qobject_cast<ContactListModel *>(list->model());
        // Brings the entry into view, then clicks it: the click's wall-clock and processor time.
        const auto click = [&](int row) {
            list->scrollTo(model->index(row, 0));
            settle(paints, Clock::now());
            const double cpuStart = cpuMs();
            const auto start = Clock::now();
            QTest::mouseClick(
                list->viewport(), Qt::LeftButton, {}, list->visualRect(model->index(row, 0)).center());
            const double ms = msBetween(start, settle(paints, Clock::now()));
            return std::pair {ms, cpuMs() - cpuStart};
        };
        const auto [row, found] = model->exactRows(arguments[3]);
        if (found != 1)
            fail("the key is not in the list once");
        const auto [clickMs, clickCpuMs] = click(row);
        if (main->regmostrado() != 1 || ContactRecord::keyOf(main->regoriginal()) != arguments[3])
            fail("the contact is not shown");
        // Another phone number of the same length: the file keeps its size.
        auto *phone = main->findChild<QLineEdit *>(QStringLiteral("txt_%1").arg(ContactRecord::telefono));
        QString changed = phone->text();
        if (changed.isEmpty())
            changed = QStringLiteral("0");
        changed[0] = changed[0] == u'9' ? u'8' : u'9';
        phone->setText(changed);
        const auto [saveMs, saveCpuMs] = click(row == 0 ? 1 : 0);
        if (messages.shown.isEmpty() || !messages.shown.last().startsWith(u"Los datos han sido modificados"))
            fail("the change was not saved");
        std::printf("edited click_ms=%.3f click_cpu_ms=%.3f save_ms=%.3f save_cpu_ms=%.3f rss_kb=%ld\n",
            clickMs, clickCpuMs, saveMs, saveCpuMs, peakRssKb());
        std::fflush(stdout);
    }
    // The window goes before the desktop it was given, and gives up the instance lock.
    delete main;
    return 0;
}
