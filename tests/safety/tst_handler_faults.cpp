// Every window handler that writes a file, clicked against file faults: a directory where its twin
// should be, a file size limit that stops the write part way or at once, a file it needs deleted or
// a directory put in its place while the window is open. Afterwards the files are byte for byte as
// before the click, or as after an undisturbed click where the handler says it succeeded; no file
// descriptor stays open; what the user entered is still there, in a window still open; and the
// message says what happened.

#include "file_size_limit.h"
#include "handler_cases.h"

#include <optional>

using namespace HandlerCases;

namespace {

enum Fault { NoFault, Directory, Deleted, HalfSize, NoSize };

} // namespace

class TestHandlerFaults : public QObject
{
    Q_OBJECT

private slots:
    void handlerAgainstFault_data();
    void handlerAgainstFault();
};

void TestHandlerFaults::handlerAgainstFault_data()
{
    QTest::addColumn<int>("handler");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("path");
    const QList<Handler> all = handlers();
    for (int i = 0; i < all.size(); ++i) {
        const Handler &h = all[i];
        const auto row = [&](const QString &fault, int kind, const QString &path = {}) {
            QTest::addRow("%s: %s", h.name, qPrintable(fault)) << i << kind << path;
        };
        row(u"no fault"_qs, NoFault);
        QStringList directories = h.twins;
        directories << h.target;
        if (!h.needed.isEmpty() && h.needed != h.target)
            directories << h.needed;
        for (const QString &path : std::as_const(directories))
            row(path + u" is a directory"_qs, Directory, path);
        if (!h.needed.isEmpty())
            row(h.needed + u" deleted"_qs, Deleted, h.needed);
        row(u"disk full halfway"_qs, HalfSize);
        row(u"disk full"_qs, NoSize);
    }
}

void TestHandlerFaults::handlerAgainstFault()
{
    QFETCH(int, handler);
    QFETCH(int, fault);
    QFETCH(QString, path);
    const Handler h = handlers().at(handler);

    // The files before and after an undisturbed click.
    Snapshot undisturbedBefore;
    Snapshot undisturbedAfter;
    {
        Case c;
        h.setUp(c);
        if (QTest::currentTestFailed())
            return;
        undisturbedBefore = snapshot(c.f.desk);
        h.click(c);
        undisturbedAfter = snapshot(c.f.desk);
    }
    QVERIFY2(
        differences(undisturbedBefore, undisturbedAfter).contains(h.target), "the target is not written");

    Case c;
    h.setUp(c);
    if (QTest::currentTestFailed())
        return;
    if (fault == Directory || fault == Deleted)
        QFile::remove(c.file(path));
    if (fault == Directory) // with something inside, so that it cannot be removed by accident either
        QVERIFY(QDir().mkpath(c.file(path) + u"/inside"_qs));
    const Snapshot before = snapshot(c.f.desk);
    const QStringList entered = h.entered(c);
    const qsizetype earlierMessages = c.f.desk.messages.shown.size();

    const int descriptors = openDescriptors();
    {
        std::optional<FileSizeLimit> full;
        if (fault == HalfSize || fault == NoSize) {
            full.emplace(rlim_t(fault == HalfSize ? undisturbedAfter.value(h.target).size() / 2 : 0));
            if (!full->ok())
                QSKIP("the file size limit cannot be set here");
        }
        h.click(c);
    }
    QCOMPARE(openDescriptors(), descriptors);

    QStringList shown;
    QStringList errors;
    for (const FakeMessageBoxes::Shown &box : c.f.desk.messages.shown.mid(earlierMessages)) {
        shown << box.text;
        if (box.title == u"Error") {
            errors << box.text;
            QCOMPARE(box.icon, Icon::Error);
        }
    }
    const Snapshot now = snapshot(c.f.desk);
    if (fault == NoFault || (h.renamesOnly && (fault == HalfSize || fault == NoSize))) {
        const QStringList changed = differences(now, undisturbedAfter);
        QVERIFY2(changed.isEmpty(), qPrintable(u"not as after: "_qs + changed.join(u", ")));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u" / ")));
        QVERIFY(h.success.isEmpty() || shown.contains(h.success));
    } else {
        const QStringList changed = differences(now, before);
        QVERIFY2(changed.isEmpty(), qPrintable(u"not as before: "_qs + changed.join(u", ")));
        QVERIFY2(errors.size() == 1, qPrintable(shown.join(u" / ")));
        QVERIFY2(h.failures.contains(errors.first()), qPrintable(errors.first()));
        QVERIFY(h.success.isEmpty() || !shown.contains(h.success));
        if (!h.endsProgram) {
            QVERIFY(c.window && c.window->isVisible());
            QCOMPARE(h.entered(c), entered);
        }
    }
    if (h.endsProgram) {
        QVERIFY(!c.f.window->isVisible());
        QCOMPARE(c.f.programEnds, 1);
    }
}

QTEST_MAIN(TestHandlerFaults)
#include "tst_handler_faults.moc"
