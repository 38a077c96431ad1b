// Every window handler that writes a file, clicked against file faults: a directory where its twin
// should be, a file size limit that stops the write part way or at once, a file it needs deleted or
// a directory put in its place while the window is open. Afterwards the files are byte for byte as
// before the click, or as after an undisturbed click where the handler says it succeeded; no file
// descriptor stays open; what the user entered is still there, in a window still open; and the
// message says what happened.

#include "fault_files.h"
#include "file_size_limit.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "tst_main_window_fixture.h"
#include "window_driver.h"

#include <QCheckBox>
#include <QDir>
#include <QPointer>

#include <optional>

using namespace ContactRecord;

namespace {


const QString Gomez = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {domicilio, QString(600, u'x')}});
const QString Perez = rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}});
const QString Ruiz = rec(u"Ruiz"_qs, u"Eva"_qs, {{domicilio, QString(300, u'y')}});


// Every file and directory of the program and password directories, by relative path.
Snapshot snapshot(const TestPlatform &desk)
{
    Snapshot files;
    addTree(files, desk.programDir(), u"program/"_qs);
    addTree(files, desk.passwordDir(), u"password/"_qs);
    return files;
}

// The paths where two snapshots differ.
QStringList differences(const Snapshot &a, const Snapshot &b)
{
    QStringList paths = a.keys() + b.keys();
    paths.removeDuplicates();
    paths.removeIf([&](const QString &path) {
        return a.contains(path) == b.contains(path) && a.value(path) == b.value(path);
    });
    return paths;
}

// On the indicator: a long check box's middle can lie past its caption.
void tick(QWidget *window, const char *name)
{
    auto *box = control<QCheckBox>(window, name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

void type(QWidget *window, const QList<std::pair<const char *, QString>> &boxes)
{
    for (const auto &[name, text] : boxes)
        typeInto(control<QLineEdit>(window, name), text);
}

QStringList texts(QWidget *window)
{
    QStringList values;
    for (const QLineEdit *box : window->findChildren<QLineEdit *>())
        values << box->objectName() + u'=' + box->text();
    return values;
}

QStringList checkStates(QWidget *window)
{
    QStringList states;
    for (const QCheckBox *box : window->findChildren<QCheckBox *>())
        states << box->objectName() + (box->isChecked() ? u"=1"_qs : u"=0"_qs);
    states << control<QLabel>(window, "Label1")->text();
    return states;
}

// One run: the main window on its own fake desktop, with the files every handler starts from.
// Protection is on, so the options window keeps the password file whatever happens.
struct Case
{
    Case()
    {
        f.writeContacts({Gomez, Perez, Ruiz});
        writeBytes(f.desk.programFile(u"data.bak"_qs), cp1252Lines({Perez, rec(u"Viejo"_qs, u"Resto"_qs)}));
        f.writeOptions({u"1"_qs, u"1"_qs, u"01/01/2026"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs});
        writeBytes(
            f.desk.passwordFile(u"orvpw.ntd"_qs), cp1252Lines({u"Vieja"_qs, u"¿Color?"_qs, u"azul"_qs}));
        window = &f.open();
    }
    ~Case()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!widget->parentWidget() && widget != f.window.get())
                delete widget;
        }
    }
    QString file(const QString &relative) const
    {
        const QString name = relative.section(u'/', 1);
        return relative.startsWith(u"program/") ? f.desk.programFile(name) : f.desk.passwordFile(name);
    }

    MainWindowFixture f;
    QPointer<QWidget> window; // the window that holds what the user entered
};

struct Handler
{
    const char *name;
    std::function<void(Case &)> setUp; // brings the window to the moment before the click
    std::function<void(Case &)> click;
    QString target; // the file the handler changes
    QStringList twins; // the files it writes through on the way
    QString needed; // a file it reads, without which it must fail; empty: none
    std::function<QStringList(Case &)> entered; // what the user entered, which a failure keeps
    QString success; // the text that reports success; empty: none
    QStringList failures; // the texts that report failure
    bool renamesOnly = false; // writes no bytes, so no size limit stops it
    bool endsProgram = false; // the exit: the program ends, saved or not
};

void openOptions(Case &c)
{
    c.f.click("cmdoptions");
    c.window = openWindow<FrmOptions>();
    QVERIFY(c.window);
}

QList<Handler> handlers()
{
    const QString saveFailed
        = u"No se pudieron guardar los cambios del registro. El archivo de datos no fue modificado."_qs;
    const auto boxes = [](Case &c) { return texts(c.f.window.get()); };
    const auto states = [](Case &c) { return checkStates(c.window); };
    const auto edit = [](Case &c) {
        c.f.clickEntry(u"Gomez Ana "_qs);
        c.f.retype(telefono, u"999"_qs);
        c.f.retype(ocupacion, u"Piloto"_qs);
    };
    const auto passwordBoxes = [](Case &c) { return texts(c.window); };
    const QString optionFailed
        = u"No se pudo guardar el cambio de la opción. La opción no ha sido modificada."_qs;
    return {
        {"main window, saving an edited contact", edit,
            [](Case &c) {
                c.f.desk.messages.queueAnswer(Answer::Yes);
                c.f.clickEntry(u"Perez Luis "_qs);
            },
            DataOrv, {DataTwin}, DataOrv, boxes, {}, {saveFailed}},
        {"main window, adding",
            [](Case &c) {
                c.f.retype(apellido, u"Nuevo"_qs);
                c.f.retype(nombre, u"Luis"_qs);
                c.f.retype(telefono, u"555"_qs);
            },
            [](Case &c) { c.f.click("Command1"); }, DataOrv, {DataTwin}, {}, boxes, {},
            {u"No se pudo agregar el registro. El archivo de datos no fue modificado."_qs}},
        {"main window, deleting", [](Case &c) { c.f.clickEntry(u"Gomez Ana "_qs); },
            [](Case &c) {
                c.f.desk.messages.queueAnswer(Answer::Yes);
                c.f.click("Command2");
            },
            DataOrv, {DataTwin}, DataOrv, boxes, {},
            {u"No se pudo borrar el registro. El archivo de datos no fue modificado."_qs}},
        {"main window, saving on exit", edit,
            [](Case &c) {
                c.f.desk.messages.queueAnswer(Answer::Yes);
                c.f.click("Command4");
                c.f.window->Timersalsonido_Timer();
            },
            DataOrv, {DataTwin}, DataOrv, boxes, {}, {saveFailed}, false, true},
        {"options, backup", openOptions, [](Case &c) { press(c.window, "cmdcrearbak"); }, DataBak,
            {DataBakTwin}, DataOrv, states, u"¡Backup Completado!"_qs,
            {u"No se pudo hacer el backup de la lista."_qs}},
        {"options, restore", openOptions,
            [](Case &c) {
                c.f.desk.messages.queueAnswer(Answer::Ok);
                press(c.window, "cmdiniciarback");
            },
            DataOrv, {DataTwin}, DataBak, states, {},
            {u"No se pudo cargar el backup. La lista de contactos no ha sido modificada."_qs}},
        {"options, a check box", openOptions, [](Case &c) { tick(c.window, "Check1"); }, AgendaOpt2,
            {AgendaOpt3}, AgendaOpt, states, {}, {optionFailed}},
        {"options, protection cleared", openOptions, [](Case &c) { tick(c.window, "Check2"); }, AgendaOpt2,
            {AgendaOpt3}, AgendaOpt, states, {}, {optionFailed}},
        {"options, Aceptar",
            [](Case &c) {
                openOptions(c);
                tick(c.window, "chmayus");
            },
            [](Case &c) { press(c.window, "cmdacept"); }, AgendaOpt, {}, AgendaOpt2, states, {},
            {u"No se pudieron guardar las opciones. Las opciones no han sido modificadas."_qs}, true},
        {"set password",
            [](Case &c) {
                openOptions(c);
                tick(c.window, "Check2"); // protection off in the working copy, then on again
                tick(c.window, "Check2");
                c.window = openWindow<FrmContra>();
                QVERIFY(c.window);
                type(c.window,
                    {{"txtcontra", u"Clave ñ"_qs}, {"txtrecontra", u"Clave ñ"_qs},
                        {"txtpreg", u"¿Mascota?"_qs}, {"txtresp", u"Rex"_qs}});
            },
            [](Case &c) { press(c.window, "cmdaccept"); }, Orvpw, {OrvpwTwin, AgendaOpt3}, {}, passwordBoxes,
            {},
            {u"No se pudo guardar la contraseña en el archivo de contraseña. La protección no ha sido activada."_qs,
                u"No se pudo guardar la opción de protección. La protección no ha sido activada."_qs}},
        {"change password",
            [](Case &c) {
                openOptions(c);
                press(c.window, "cmdcamcon");
                c.window = openWindow<FrmCamCont>();
                QVERIFY(c.window);
                type(c.window,
                    {{"txtconant", u"Vieja"_qs}, {"txtnuecon", u"Nueva"_qs}, {"txtnuerecon", u"Nueva"_qs}});
            },
            [](Case &c) { press(c.window, "cmdaccept"); }, Orvpw, {OrvpwTwin}, Orvpw, passwordBoxes,
            u"¡La contraseña ha sido modificada correctamente!"_qs,
            {u"No se pudo leer el archivo de contraseña. La contraseña no ha sido modificada."_qs,
                u"No se pudo guardar la nueva contraseña. La contraseña anterior sigue vigente."_qs}},
    };
}

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
