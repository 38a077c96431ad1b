#pragma once

// The window handlers that write a file, each brought to the moment before its click on a main
// window with a known set of files: shared by the suites that click them against faults and
// against hostile files.

#include "fault_files.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password_fixtures.h"
#include "tst_main_window_fixture.h"
#include "window_driver.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QPointer>

using namespace ContactRecord;

namespace HandlerCases {

inline const QString Gomez = rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {domicilio, QString(600, u'x')}});
inline const QString Perez = rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}});
inline const QString Ruiz = rec(u"Ruiz"_qs, u"Eva"_qs, {{domicilio, QString(300, u'y')}});

// Every file and directory of the program and password directories, by relative path.
inline Snapshot snapshot(const TestPlatform &desk)
{
    Snapshot files;
    addTree(files, desk.programDir(), u"program/"_qs);
    addTree(files, desk.passwordDir(), u"password/"_qs);
    return files;
}

// The paths where two snapshots differ.
inline QStringList differences(const Snapshot &a, const Snapshot &b)
{
    QStringList paths = a.keys() + b.keys();
    paths.removeDuplicates();
    paths.removeIf([&](const QString &path) {
        return a.contains(path) == b.contains(path) && a.value(path) == b.value(path);
    });
    return paths;
}

// On the indicator: a long check box's middle can lie past its caption.
inline void tick(QWidget *window, const char *name)
{
    auto *box = control<QCheckBox>(window, name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

inline void type(QWidget *window, const QList<std::pair<const char *, QString>> &boxes)
{
    for (const auto &[name, text] : boxes)
        typeInto(control<QLineEdit>(window, name), text);
}

inline QStringList texts(QWidget *window)
{
    QStringList values;
    for (const QLineEdit *box : window->findChildren<QLineEdit *>())
        values << box->objectName() + u'=' + box->text();
    return values;
}

inline QStringList checkStates(QWidget *window)
{
    QStringList states;
    for (const QCheckBox *box : window->findChildren<QCheckBox *>())
        states << box->objectName() + (box->isChecked() ? u"=1"_qs : u"=0"_qs);
    states << control<QLabel>(window, "Label1")->text();
    return states;
}

// One run: the main window on its own fake desktop, with the files every handler starts from.
// Protection is on, so the options window keeps the password file whatever happens. The random
// bytes start afresh with each case, so that two runs of a handler that writes the password file
// write the same salts and nonces.
struct Case
{
    Case()
    {
        PasswordFixtures::FixedRandom::install();
        PasswordFixtures::FixedRandom::restart();
        // Every run looks at each box its handler showed: the success notice, or one error.
        f.desk.messages.allowDefaults();
        f.writeContacts({Gomez, Perez, Ruiz});
        writeBytes(f.desk.programFile(u"data.bak"_qs), cp1252Lines({Perez, rec(u"Viejo"_qs, u"Resto"_qs)}));
        f.writeOptions({u"1"_qs, u"1"_qs, u"01/01/2026"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs});
        writeBytes(f.desk.passwordFile(u"orvpw.ntd"_qs),
            PasswordFixtures::newForm(u"Vieja"_qs, u"¿Color?"_qs, u"azul"_qs));
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
    bool derivesKeys = false; // takes a fraction of a second for each key it derives
};

inline void openOptions(Case &c)
{
    c.f.click("cmdoptions");
    c.window = openWindow<FrmOptions>();
    QVERIFY(c.window);
}

inline QList<Handler> handlers()
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
        {"main window, importing",
            [](Case &c) {
                // No picture: its path, in the case's own folder, would differ between two runs.
                const QString cards = c.f.desk.programFile(u"tarjetas.vcf"_qs);
                writeBytes(cards,
                    "BEGIN:VCARD\r\nN:Abad;Leo;;;\r\nEND:VCARD\r\n"
                    "BEGIN:VCARD\r\nN:Nuevo;Luis;;;\r\nTEL:555\r\nEND:VCARD\r\n");
                c.f.desk.dialogs.queueFile(cards);
            },
            [](Case &c) { c.f.window->findChild<QAction *>(u"mnuimportar"_qs)->trigger(); }, DataOrv,
            {DataTwin}, {}, boxes, u"Se importaron 2 contactos."_qs,
            {u"No se pudieron importar los contactos. El archivo de datos no fue modificado."_qs}},
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
                u"No se pudo guardar la opción de protección. La protección no ha sido activada."_qs},
            false, false, true},
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
                u"No se pudo guardar la nueva contraseña. La contraseña anterior sigue vigente."_qs},
            false, false, true},
    };
}

} // namespace HandlerCases
