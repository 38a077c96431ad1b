// The main window's frame: layout, start, the list and the display of a contact, saving a
// modified contact, typing rules, leaving, timers and menus.

#include "tst_main_window_fixture.h"

#include "options/frm_options.h"
#include "update/frm_bus_actu.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSignalSpy>

using namespace ContactRecord;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { f = std::make_unique<MainWindowFixture>(); }
    void cleanup()
    {
        // Windows opened from the main window are top-level; none may leak into the next test.
        f->window.reset();
        QList<QPointer<QWidget>> left;
        for (QWidget *w : QApplication::topLevelWidgets())
            left << w;
        for (const QPointer<QWidget> &w : left)
            delete w.data();
        f.reset();
    }

    void layout_data();
    void layout();
    void frame();
    void tabOrder();
    void menus();

    void load_createsMissingFiles();
    void load_recoversTwin();
    void load_updateTimer_data();
    void load_updateTimer();
    void load_sortsEntries();
    void load_largeFile();
    void secondInstanceEnds();

    void select_withoutEdits();
    void select_byKeyboard();
    void select_editedPhone_data();
    void select_editedPhone();
    void select_savesSilentlyWithoutConfirmations();
    void select_surnameChangeKeepsPlace();
    void select_keyDifferingInCase();
    void select_afterEmptying();
    void select_missingPhoto();
    void select_fileThatIsNoPicture();
    void select_saveFails();
    void select_entryGoneFromFile();

    void keyFilter_data();
    void keyFilter();
    void paste_data();
    void paste();
    void dateOnFocus();

    void clickSound_data();
    void clickSound();
    void exit_unchanged_data();
    void exit_unchanged();
    void exit_modified_data();
    void exit_modified();
    void exit_afterEmptying();
    void exit_closeBox();
    void exit_saveFails();

    void updateTimer();
    void updateTimer_waitsForOtherWindows_data();
    void updateTimer_waitsForOtherWindows();
    void updateTimer_stopsOnExit();
    void exit_releasesInstanceLock();
    void menuWebPage();
    void menuUpdate();
    void optionsWindow_restore();
    void aboutWindow();
    void print();

private:
    // Two contacts shown and ready: Gomez Ana and Perez Luis.
    void openTwo(const QStringList &options = optionLines());

    std::unique_ptr<MainWindowFixture> f;
};

// --- layout ------------------------------------------------------------------------------------

void TestMainWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    const auto row = [](const char *name, const char *caption, int l, int t, int w, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption) << QRect(l, t, w, h);
    };
    row("List1", "", 120, 120, 2775, 7665);
    const int boxes[FieldCount][4] = {{3000, 240, 3975, 285}, {3000, 840, 1575, 285}, {5400, 840, 1575, 285},
        {3000, 1440, 3975, 285}, {3000, 2040, 1575, 285}, {5400, 2040, 1575, 285}, {3000, 2640, 3975, 285},
        {3000, 3240, 3975, 285}, {3000, 3840, 1575, 285}, {5400, 3840, 1575, 285}, {3000, 4440, 3975, 285},
        {3000, 5040, 3975, 285}, {3000, 5640, 3975, 285}, {3000, 6240, 3975, 285}, {3000, 6840, 1455, 285},
        {5160, 6840, 1455, 285}, {3000, 7440, 3975, 285}, {7080, 4080, 3495, 285}};
    for (int i = 0; i < FieldCount; ++i) {
        const QByteArray name = "txt_" + QByteArray::number(i);
        row(name.constData(), "", boxes[i][0], boxes[i][1], boxes[i][2], boxes[i][3]);
    }
    row("Command8", "Borrar", 10680, 4080, 1095, 255);
    row("Command5", "Buscar Foto", 7080, 4560, 4695, 375);
    row("Command6", "Abrir Foto", 7080, 4920, 4695, 375);
    row("Command1", "Agregar", 7080, 5640, 2295, 375);
    row("cmdvaciar", "Vaciar Cajas De Texto", 9480, 5640, 2295, 375);
    row("Command2", "Quitar", 7080, 6120, 2295, 375);
    row("Command7", "Imprimir", 9480, 6120, 2295, 375);
    row("cmdoptions", "Opciones...", 7080, 6840, 2295, 375);
    row("cmdacerca", "Acerca De...", 9480, 6840, 2295, 375);
    row("Command4", "Salir", 7080, 7320, 4695, 375);
    row("Image1", "", 7080, 120, 4695, 3615);
    row("Line1", "", 7080, 5460, 4680, 15);
    row("Line2", "", 7080, 6660, 4680, 15);

    // Field labels 240 twips above their boxes, 255 high; the photo's label 2055 wide.
    const char *labels[FieldCount]
        = {"Apellido :", "Nombre :", "Nick :", "Edad :", "Localidad :", "Provincia :", "País :",
            "Domicilio :", "Telefono :", "Celular :", "E-Mail :", "Fecha De Alta :", "Fecha De Nacimiento :",
            "Situacion Civil :", "Peso :", "Altura :", "Ocupacion :", "Ubicación De La Foto :"};
    for (int i = 0; i < FieldCount; ++i) {
        const QByteArray name = i == ubicacionfoto ? "Label6" : "lbl_" + QByteArray::number(i);
        row(name.constData(), labels[i], boxes[i][0], boxes[i][1] - 240,
            i == ubicacionfoto ? 2055 : boxes[i][2], 255);
    }
    row("lblkgs", "Kgs", 4485, 6930, 375, 255);
    row("lblmts", "Mts", 6675, 6930, 375, 255);
}

void TestMainWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    f->open();
    auto *widget = f->window->centralWidget()->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    const QRect expected(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(widget->geometry(), expected);
    QCOMPARE(widget->parentWidget(), f->window->centralWidget());
    if (auto *label = qobject_cast<QLabel *>(widget); label && !caption.isEmpty()) {
        QCOMPARE(label->text(), caption);
        QVERIFY(label->font().bold());
    }
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->font().bold());
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        QVERIFY(!edit->font().bold());
        QVERIFY(edit->maxLength() >= 1000000); // no box limits its text
    }

    // Nothing moves when the window is resized.
    f->window->resize(f->window->width() + 200, f->window->height() + 150);
    QCOMPARE(widget->geometry(), expected);
}

void TestMainWindow::frame()
{
    f->open();
    QCOMPARE(f->window->windowTitle(), QStringLiteral("Orvalia - Morq Technologies"));
    QCOMPARE(f->window->centralWidget()->size(), QSize(11880 / 15, 8190 / 15));
    QCOMPARE(f->window->font().pointSizeF(), 8.25);
    // A sizable frame, larger and smaller than the form.
    f->window->resize(1000, 700);
    QCOMPARE(f->window->size(), QSize(1000, 700));
    f->window->resize(600, 400);
    QCOMPARE(f->window->size(), QSize(600, 400));

    QVERIFY(!f->button("Command8")->isEnabled());
    QVERIFY(!f->button("Command2")->isEnabled());
    QVERIFY(!f->button("Command7")->isEnabled());
    for (const char *name :
        {"Command5", "Command6", "Command1", "cmdvaciar", "cmdoptions", "cmdacerca", "Command4"})
        QVERIFY2(f->button(name)->isEnabled(), name);
    QCOMPARE(f->image()->pixmap().isNull(), true);
    QVERIFY(f->image()->hasScaledContents());

    QTimer *exit = f->timer("Timersalsonido");
    QVERIFY(exit);
    QCOMPARE(exit->interval(), 3000);
    QVERIFY(!exit->isActive());
    QCOMPARE(f->timer("timeractu")->interval(), 1000);
}

void TestMainWindow::tabOrder()
{
    f->open();
    QStringList expected {QStringLiteral("List1")};
    for (int i = 0; i < FieldCount; ++i)
        expected << QStringLiteral("txt_%1").arg(i);
    expected << u"Command8"_qs << u"Command5"_qs << u"Command6"_qs << u"Command1"_qs << u"cmdvaciar"_qs
             << u"Command2"_qs << u"Command7"_qs << u"cmdoptions"_qs << u"cmdacerca"_qs << u"Command4"_qs;

    QStringList chain;
    QWidget *w = f->list();
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != f->list());
    QCOMPARE(chain, expected);
    QCOMPARE(f->image()->focusPolicy(), Qt::NoFocus);
}

void TestMainWindow::menus()
{
    f->open();
    const QList<QAction *> top = f->window->menuBar()->actions();
    QCOMPARE(top.size(), 3);
    const QStringList titles {u"Archivo"_qs, u"Herramientas"_qs, u"Ayuda"_qs};
    const QStringList names {u"mnuarchi"_qs, u"mnuherra"_qs, u"mnuayuda"_qs};
    const QList<QStringList> items {
        {u"mnuimportar:Importar contactos..."_qs, u"mnuexportar:Exportar contactos..."_qs, u"mnuguion3:-"_qs,
            u"mnusalir:Salir"_qs},
        {u"mnubuscar:Buscar contacto..."_qs, u"mnuguion4:-"_qs, u"mnubusactu:Buscar actualizaciones..."_qs,
            u"mnuguion:-"_qs, u"mnuopciones:Opciones..."_qs},
        {u"mnumorqweb:Morq Technologies En La WEB"_qs, u"mnuguion2:-"_qs, u"mnuacerca:Acerca De..."_qs},
    };
    // The words shown, without the marks of the access keys.
    const auto words = [](const QString &caption) { return QString(caption).remove(u'&'); };
    for (int i = 0; i < 3; ++i) {
        QMenu *menu = top[i]->menu();
        QVERIFY(menu);
        QCOMPARE(words(menu->title()), titles[i]);
        QCOMPARE(menu->objectName(), names[i]);
        QStringList shown;
        for (QAction *action : menu->actions())
            shown << action->objectName() + u':' + (action->isSeparator() ? u"-"_qs : words(action->text()));
        QCOMPARE(shown, items[i]);
    }
    // Alt with the underlined letter opens a menu; in an open menu the letter picks the item.
    QStringList keys;
    for (QAction *menu : top) {
        keys << QKeySequence::mnemonic(menu->text()).toString();
        for (QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator())
                keys << QKeySequence::mnemonic(action->text()).toString();
        }
    }
    QCOMPARE(keys,
        QStringList({u"Alt+A"_qs, u"Alt+I"_qs, u"Alt+E"_qs, u"Alt+S"_qs, u"Alt+H"_qs, u"Alt+C"_qs,
            u"Alt+B"_qs, u"Alt+O"_qs, u"Alt+U"_qs, u"Alt+M"_qs, u"Alt+A"_qs}));
}

// --- start -------------------------------------------------------------------------------------

void TestMainWindow::load_createsMissingFiles()
{
    f->open();
    QCOMPARE(readBytes(f->desk.programFile(u"Agenda.opt"_qs)),
        QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n0\r\n1\r\n"));
    QVERIFY(QFileInfo(f->dataPath()).isFile());
    QCOMPARE(f->contactBytes(), QByteArray());
    QVERIFY(f->desk.attributes.isHidden(f->dataPath()));
    QVERIFY(f->entries().isEmpty());
    QCOMPARE(f->window->regmostrado(), 0);
    QVERIFY(f->boxesEmpty());
    QVERIFY(f->desk.messages.shown.isEmpty());
    // The first start finds no options file: the update check is armed by the fallback.
    QVERIFY(f->timer("timeractu")->isActive());
}

void TestMainWindow::load_recoversTwin()
{
    // A rewrite cut short between its delete and its rename: the contacts are in the twin.
    writeBytes(f->twinPath(), cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs)}));
    f->open();
    QCOMPARE(f->entries(), QStringList {u"Gomez Ana "_qs});
    QCOMPARE(f->contactBytes(), cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs)}));
}

void TestMainWindow::load_updateTimer_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("armed");
    QTest::newRow("1") << u"1"_qs << true;
    QTest::newRow("0") << u"0"_qs << false;
    QTest::newRow("blank before") << u" 1"_qs << false;
    QTest::newRow("other") << u"si"_qs << false;
}

void TestMainWindow::load_updateTimer()
{
    QFETCH(QString, value);
    QFETCH(bool, armed);
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"1"_qs, value));
    f->open();
    QCOMPARE(f->timer("timeractu")->isActive(), armed);
    QCOMPARE(f->desk.network.connectionQueries, 0);
}

void TestMainWindow::load_sortsEntries()
{
    f->writeContacts(
        {rec(u"perez"_qs, u"Luis"_qs), rec(u"Gomez"_qs, u"Ana"_qs), rec(u"Álvarez"_qs, u"Eva"_qs),
            rec(u"gomez"_qs, u"ana"_qs), rec(u"Muñoz"_qs, u"Rosa"_qs), rec(u"Munoz"_qs, u"Rosa"_qs),
            rec(u"Munro"_qs, u"Ian"_qs), rec(u"Gomez"_qs, u"Ana"_qs), rec(u"Zapata"_qs, u"Juan"_qs)});
    f->open();
    // Letter case ignored, equal entries kept in file order, accents beside their letter, ñ after n.
    QCOMPARE(f->entries(),
        (QStringList {u"Álvarez Eva "_qs, u"Gomez Ana "_qs, u"gomez ana "_qs, u"Gomez Ana "_qs,
            u"Munoz Rosa "_qs, u"Munro Ian "_qs, u"Muñoz Rosa "_qs, u"perez Luis "_qs, u"Zapata Juan "_qs}));
    QCOMPARE(f->selectedRow(), -1);
}

void TestMainWindow::load_largeFile()
{
    QStringList lines;
    for (int i = 0; i < 100000; ++i)
        lines << rec(QStringLiteral("Apellido%1").arg(99999 - i, 5, 10, QLatin1Char('0')), u"Nombre"_qs);
    f->writeContacts(lines);
    f->open();
    const QStringList keys = f->entries();
    QCOMPARE(keys.size(), 100000);
    QCOMPARE(keys.first(), u"Apellido00000 Nombre "_qs);
    QCOMPARE(keys.last(), u"Apellido99999 Nombre "_qs);

    f->clickEntry(u"Apellido99999 Nombre "_qs);
    QCOMPARE(f->box(apellido)->text(), u"Apellido99999"_qs);
    QCOMPARE(f->window->regoriginal(), lines.first());
}

void TestMainWindow::secondInstanceEnds()
{
    f->desk.system.otherInstanceRunning = true;
    f->writeContacts({rec(u"Gomez"_qs, u"Ana"_qs)});
    f->open();
    QVERIFY(f->window->anotherInstanceRunning());
    QVERIFY(!f->window->isVisible());
    QTRY_COMPARE(f->programEnds, 1);
    QVERIFY(f->desk.messages.shown.isEmpty());
    // Nothing was read or created on behalf of the second instance.
    QVERIFY(!QFileInfo::exists(f->desk.programFile(u"Agenda.opt"_qs)));
    QVERIFY(f->entries().isEmpty());
    QVERIFY(f->desk.attributes.calls.isEmpty());
}

// --- selecting ---------------------------------------------------------------------------------

void TestMainWindow::openTwo(const QStringList &options)
{
    f->writeOptions(options);
    f->writeContacts({rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}}),
        rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"555-1234"_qs}})});
    f->open();
}

void TestMainWindow::select_withoutEdits()
{
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->box(apellido)->text(), u"Gomez"_qs);
    QCOMPARE(f->box(edad)->text(), u"34"_qs);
    QCOMPARE(f->box(telefono)->text(), u"555-1234"_qs);
    QCOMPARE(f->window->regmostrado(), 1);
    QCOMPARE(f->window->regoriginal(),
        rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"555-1234"_qs}}));
    QVERIFY(f->button("Command2")->isEnabled());
    QVERIFY(f->button("Command7")->isEnabled());
    QVERIFY(!f->button("Command8")->isEnabled());

    f->desk.attributes.calls.clear();
    f->clickEntry(u"Perez Luis "_qs);
    QCOMPARE(f->box(apellido)->text(), u"Perez"_qs);
    QCOMPARE(f->box(edad)->text(), QString());
    QCOMPARE(f->box(telefono)->text(), u"111"_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), before);
    QVERIFY(!QFileInfo::exists(f->twinPath()));
    // The lookup reads the file and leaves it hidden.
    QCOMPARE(f->desk.attributes.calls, (QStringList {u"normal:data.orv"_qs, u"hidden:data.orv"_qs}));
    // List selection makes no sound.
    QVERIFY(f->desk.sound.played.isEmpty());
}

void TestMainWindow::select_byKeyboard()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    QTest::keyClick(f->list(), Qt::Key_Down);
    QCOMPARE(f->box(apellido)->text(), u"Perez"_qs);
    QCOMPARE(f->selectedRow(), 1);
}

void TestMainWindow::select_editedPhone_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::newRow("yes") << Answer::Yes;
    QTest::newRow("no") << Answer::No;
}

void TestMainWindow::select_editedPhone()
{
    QFETCH(Answer, answer);
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(telefono, u"555-9999"_qs);

    f->desk.messages.queueAnswer(answer);
    f->clickEntry(u"Perez Luis "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &asked = f->desk.messages.shown.first();
    QCOMPARE(
        asked.text, u"Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?"_qs);
    QCOMPARE(asked.title, u"Orvalia"_qs);
    QCOMPARE(asked.icon, Icon::Question);
    QCOMPARE(asked.buttons, Buttons::YesNo);

    if (answer == Answer::Yes) {
        // Saved in its old place; the fresh list has no selection and nothing is shown.
        QCOMPARE(f->contactBytes(),
            cp1252Lines({rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}}),
                rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"555-9999"_qs}})}));
        QVERIFY(f->boxesEmpty());
        QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, u"Perez Luis "_qs}));
        QCOMPARE(f->selectedRow(), -1);
        QCOMPARE(f->window->regmostrado(), 0);
        QCOMPARE(f->window->regoriginal(), QString());
        QVERIFY(!f->button("Command2")->isEnabled());
        QVERIFY(!f->button("Command7")->isEnabled());
        QVERIFY(!QFileInfo::exists(f->twinPath()));
        QVERIFY(f->desk.attributes.isHidden(f->dataPath()));
    } else {
        QCOMPARE(f->contactBytes(), before);
        QCOMPARE(f->box(apellido)->text(), u"Perez"_qs);
        QCOMPARE(f->box(telefono)->text(), u"111"_qs);
        QCOMPARE(f->window->regmostrado(), 1);
    }
}

void TestMainWindow::select_savesSilentlyWithoutConfirmations()
{
    openTwo(optionLines(u"0"_qs));
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(telefono, u"12"_qs);
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(),
        cp1252Lines({rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}}),
            rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"12"_qs}})}));
    QVERIFY(f->boxesEmpty());
}

void TestMainWindow::select_surnameChangeKeepsPlace()
{
    openTwo();
    f->clickEntry(u"Perez Luis "_qs);
    f->retype(apellido, u"Pérez"_qs);
    f->desk.messages.queueAnswer(Answer::Yes);
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->contactBytes(),
        cp1252Lines({rec(u"Pérez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}}),
            rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"34"_qs}, {telefono, u"555-1234"_qs}})}));
    QCOMPARE(f->entries(), (QStringList {u"Gomez Ana "_qs, u"Pérez Luis "_qs}));
}

void TestMainWindow::select_keyDifferingInCase()
{
    openTwo();
    f->clickEntry(u"Perez Luis "_qs);
    f->retype(apellido, u"gomez"_qs);
    f->retype(nombre, u"ana"_qs);
    f->desk.messages.queueAnswer(Answer::Yes);
    f->clickEntry(u"Gomez Ana "_qs);
    // Saving runs no duplicate check; both contacts stay, in file order, each with its own line.
    QCOMPARE(f->entries(), (QStringList {u"gomez ana "_qs, u"Gomez Ana "_qs}));
    f->clickEntry(u"gomez ana "_qs);
    QCOMPARE(f->box(telefono)->text(), u"111"_qs);
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->box(telefono)->text(), u"555-1234"_qs);
    QCOMPARE(f->desk.messages.shown.size(), 1); // only the one save question
}

void TestMainWindow::select_afterEmptying()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    f->click("cmdvaciar");
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->box(apellido)->text(), u"Perez"_qs);
    QCOMPARE(f->window->cajasvacias(), 0);
    // The emptied contact is shown again on its next selection.
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->box(apellido)->text(), u"Gomez"_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
}

void TestMainWindow::select_missingPhoto()
{
    const QString gone = f->desk.programFile(u"fotos/ana.jpg"_qs);
    const QString shown = f->picture(u"luis.bmp"_qs, Qt::red);
    f->writeOptions(optionLines());
    f->writeContacts({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, gone}}),
        rec(u"Perez"_qs, u"Luis"_qs, {{ubicacionfoto, shown}})});
    f->open();
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->pictureShown());
    QCOMPARE(f->pictureColour(), QColor(Qt::red));
    QVERIFY(f->button("Command8")->isEnabled());

    bool borrarWhileAsked = true;
    bool pictureWhileAsked = true;
    f->desk.messages.onShow = [&] {
        borrarWhileAsked = f->button("Command8")->isEnabled();
        pictureWhileAsked = f->pictureShown();
    };
    f->desk.messages.queueAnswer(Answer::Ok);
    f->clickEntry(u"Gomez Ana "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &told = f->desk.messages.shown.first();
    QCOMPARE(told.text,
        u"La imagen no se puede abrir o ha sido borrada\nSe aconseja que borre la ubicación de la "
        "foto o seleccione otra ubicación"_qs);
    QCOMPARE(told.title, u"Error"_qs);
    QCOMPARE(told.icon, Icon::Error);
    QCOMPARE(told.buttons, Buttons::Ok);
    QVERIFY(borrarWhileAsked); // still Luis's state when the message was shown
    QVERIFY(!pictureWhileAsked); // but not Luis's photo behind the message
    QVERIFY(!f->pictureShown());
    QVERIFY(f->button("Command8")->isEnabled());
    QCOMPARE(f->box(ubicacionfoto)->text(), gone);
    QCOMPARE(f->box(apellido)->text(), u"Gomez"_qs);
    QCOMPARE(f->window->regmostrado(), 1);
}

void TestMainWindow::select_fileThatIsNoPicture()
{
    const QString text = f->desk.programFile(u"notas.jpg"_qs);
    writeBytes(text, "no soy una imagen");
    const QString blue = f->picture(u"luis.bmp"_qs, Qt::blue);
    f->writeContacts({rec(u"Gomez"_qs, u"Ana"_qs, {{ubicacionfoto, text}}),
        rec(u"Perez"_qs, u"Luis"_qs, {{ubicacionfoto, blue}}), rec(u"Ruiz"_qs, u"Eva"_qs)});
    f->open();
    f->clickEntry(u"Perez Luis "_qs);
    f->clickEntry(u"Gomez Ana "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->box(ubicacionfoto)->text(), text);
    QCOMPARE(f->pictureColour(), QColor(Qt::blue));
    QVERIFY(f->button("Command8")->isEnabled());

    // From a contact without photo the button stays disabled.
    f->clickEntry(u"Ruiz Eva "_qs);
    QVERIFY(!f->button("Command8")->isEnabled());
    f->clickEntry(u"Gomez Ana "_qs);
    QVERIFY(!f->button("Command8")->isEnabled());
    QVERIFY(!f->pictureShown());
}

void TestMainWindow::select_saveFails()
{
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(telefono, u"999"_qs);
    // A twin that cannot be created: a directory in its place stops even the superuser.
    QVERIFY(QDir().mkdir(f->twinPath()));

    f->desk.messages.queueAnswer(Answer::Yes);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->clickEntry(u"Perez Luis "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 2);
    const FakeMessageBoxes::Shown &told = f->desk.messages.shown.last();
    QCOMPARE(told.text,
        u"No se pudieron guardar los cambios del registro. El archivo de datos no fue modificado."_qs);
    QCOMPARE(told.title, u"Error"_qs);
    QCOMPARE(told.icon, Icon::Error);
    QCOMPARE(f->contactBytes(), before);
    // What was typed stays, with its contact still the shown one and its entry selected.
    QCOMPARE(f->box(apellido)->text(), u"Gomez"_qs);
    QCOMPARE(f->box(telefono)->text(), u"999"_qs);
    QCOMPARE(f->window->regmostrado(), 1);
    QCOMPARE(f->entries().value(f->selectedRow()), u"Gomez Ana "_qs);
    QVERIFY(f->button("Command2")->isEnabled());

    // Once the twin can be written the same edit is saved.
    QVERIFY(QDir().rmdir(f->twinPath()));
    f->desk.messages.queueAnswer(Answer::Yes);
    f->clickEntry(u"Perez Luis "_qs);
    QVERIFY(f->contactBytes().contains("999"));
}

void TestMainWindow::select_entryGoneFromFile()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    // Changed outside the program: the entry names no line any more.
    f->writeContacts({rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}})});
    f->clickEntry(u"Perez Luis "_qs);
    f->clickEntry(u"Gomez Ana "_qs);
    QVERIFY(f->desk.messages.shown.isEmpty());
    QVERIFY(f->boxesEmpty());
    QCOMPARE(f->window->regmostrado(), 0);
    QVERIFY(!f->button("Command2")->isEnabled()); // nothing shown, nothing to delete or print
    QVERIFY(!f->button("Command7")->isEnabled());
}

// --- typing ------------------------------------------------------------------------------------

void TestMainWindow::keyFilter_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    const auto row
        = [](const char *name, int index, const char *start, const char *typed, const char *expected) {
              QTest::newRow(name) << index << QString::fromUtf8(start) << QString::fromUtf8(typed)
                                  << QString::fromUtf8(expected);
          };
    // typed: characters, with "<" standing for backspace
    row("age letter", edad, "", "a", "");
    row("age digits", edad, "", "7x8", "78");
    row("age backspace", edad, "34", "<", "3");
    row("age blank", edad, "", "1 2", "12");
    row("age comma", edad, "", "1,2", "12");
    row("phone hyphen blank", telefono, "", "555-12 34", "555-12 34");
    row("phone dot comma", telefono, "", "1.2,3", "123");
    row("mobile hyphen", celular, "", "6-a", "6-");
    row("weight comma dot", peso, "", "70,5.1", "70,5.1");
    row("weight hyphen", peso, "", "-7", "7");
    row("height blank", altura, "", "1 80", "180");
    row("name anything", nombre, "", "Ana-María 2,5.", "Ana-María 2,5.");
    row("nick separator", nick, "", "Juãn", "Jun");
    row("nick outside code page", nick, "", "aΩb€", "ab€");
    row("date box", fechaalta, "", "x1/2", "x1/2");
}

void TestMainWindow::keyFilter()
{
    QFETCH(int, index);
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    f->open();
    QLineEdit *edit = f->box(index);
    edit->setText(start);
    edit->setCursorPosition(int(start.size()));
    for (const QChar c : typed) {
        if (c == u'<')
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QCOMPARE(edit->text(), expected);

    // The handler itself, as the form calls it.
    for (const QChar c : typed) {
        int code = c == u'<' ? 8 : c.unicode();
        const int before = code;
        f->window->txt_KeyPress(index, code);
        QVERIFY(code == 0 || code == before);
    }
}

void TestMainWindow::paste_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("byMenu"); // paste() as the context menu runs it
    QTest::addColumn<QString>("byCtrlV"); // Ctrl+V, which arrives as character 22
    QTest::addColumn<QString>("byShiftIns");

    QTest::newRow("age digits") << int(edad) << u"1"_qs << u"23"_qs << u"123"_qs << u"1"_qs << u"123"_qs;
    QTest::newRow("age letters") << int(edad) << u"1"_qs << u"2a"_qs << u"1"_qs << u"1"_qs << u"1"_qs;
    QTest::newRow("phone") << int(telefono) << u""_qs << u"555-12 34"_qs << u"555-12 34"_qs << u""_qs
                           << u"555-12 34"_qs;
    QTest::newRow("age backspace character")
        << int(edad) << u"1"_qs << u"2\b"_qs << u"1"_qs << u"1"_qs << u"1"_qs;
    QTest::newRow("weight line break") << int(peso) << u""_qs << u"7\n0"_qs << u""_qs << u""_qs << u""_qs;
    QTest::newRow("nick cleaned") << int(nick) << u"x"_qs << u"aãb\r\nc€Ωd"_qs << u"xabc€d"_qs << u"xabc€d"_qs
                                  << u"xabc€d"_qs;
    QTest::newRow("name plain") << int(nombre) << u""_qs << u"Ana María"_qs << u"Ana María"_qs
                                << u"Ana María"_qs << u"Ana María"_qs;
}

void TestMainWindow::paste()
{
    QFETCH(int, index);
    QFETCH(QString, start);
    QFETCH(QString, clipboard);
    QFETCH(QString, byMenu);
    QFETCH(QString, byCtrlV);
    QFETCH(QString, byShiftIns);

    f->open();
    QLineEdit *edit = f->box(index);
    QApplication::clipboard()->setText(clipboard);
    QCOMPARE(QApplication::clipboard()->text(), clipboard);

    const auto fresh = [&] {
        edit->setText(start);
        edit->setCursorPosition(int(start.size()));
    };
    fresh();
    edit->paste();
    QCOMPARE(edit->text(), byMenu);

    fresh();
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), byCtrlV);

    fresh();
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(edit->text(), byShiftIns);
}

void TestMainWindow::dateOnFocus()
{
    openTwo();
    f->desk.system.today = u"07/12/2026"_qs;
    f->clickEntry(u"Gomez Ana "_qs);
    f->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f->window.get()));

    f->box(fechanac)->setFocus(Qt::OtherFocusReason);
    f->box(fechaalta)->setText(u"01/01/2000"_qs);
    QTest::keyClick(f->box(fechanac), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), f->box(fechaalta));
    QCOMPARE(f->box(fechaalta)->text(), u"07/12/2026"_qs);

    // Every visit, whatever the box held; other boxes do nothing on focus.
    f->box(fechaalta)->setText(u"ayer"_qs);
    QTest::mouseClick(f->box(email), Qt::LeftButton);
    QCOMPARE(f->box(email)->text(), QString());
    f->desk.system.today = u"08/12/2026"_qs;
    QTest::mouseClick(f->box(fechaalta), Qt::LeftButton);
    QCOMPARE(f->box(fechaalta)->text(), u"08/12/2026"_qs);

    // The date makes the shown contact modified.
    f->desk.messages.queueAnswer(Answer::No);
    f->clickEntry(u"Perez Luis "_qs);
    QCOMPARE(f->desk.messages.shown.size(), 1);
}

// --- sounds and leaving ------------------------------------------------------------------------

void TestMainWindow::clickSound_data()
{
    QTest::addColumn<QString>("sounds");
    QTest::addColumn<bool>("plays");
    QTest::newRow("1") << u"1"_qs << true;
    QTest::newRow("0") << u"0"_qs << false;
    QTest::newRow("no") << u"no"_qs << true;
    QTest::newRow("empty") << u""_qs << true;
    QTest::newRow("blank 0") << u" 0"_qs << true;
}

void TestMainWindow::clickSound()
{
    QFETCH(QString, sounds);
    QFETCH(bool, plays);
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"1"_qs));
    f->open();
    // The options are read again at every click.
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, sounds));
    f->click("cmdvaciar");
    QCOMPARE(f->desk.sound.played, plays ? QStringList {u"Tac.WAV"_qs} : QStringList());
}

void TestMainWindow::exit_unchanged_data()
{
    QTest::addColumn<QString>("sounds");
    QTest::newRow("sounds on") << u"1"_qs;
    QTest::newRow("sounds off") << u"0"_qs;
}

void TestMainWindow::exit_unchanged()
{
    QFETCH(QString, sounds);
    openTwo(optionLines(u"1"_qs, u"1"_qs, sounds));
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->click("Command4");
    QVERIFY(f->desk.messages.shown.isEmpty());
    QVERIFY(!f->window->isVisible());
    QCOMPARE(f->desk.sound.played, sounds == u"0" ? QStringList() : QStringList {u"Fin.WAV"_qs});
    QVERIFY(f->timer("Timersalsonido")->isActive());
    QCOMPARE(f->programEnds, 0);
    QCOMPARE(f->contactBytes(), before);

    f->window->Timersalsonido_Timer();
    QCOMPARE(f->programEnds, 1);
}

void TestMainWindow::exit_modified_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<Answer>("answer");
    QTest::newRow("button yes") << false << Answer::Yes;
    QTest::newRow("button no") << false << Answer::No;
    QTest::newRow("menu yes") << true << Answer::Yes;
}

void TestMainWindow::exit_modified()
{
    QFETCH(bool, byMenu);
    QFETCH(Answer, answer);
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(edad, u"35"_qs);

    bool visibleWhileAsked = false;
    f->desk.messages.onShow = [&] { visibleWhileAsked = f->window->isVisible(); };
    f->desk.messages.queueAnswer(answer);
    if (byMenu)
        f->window->findChild<QAction *>(u"mnusalir"_qs)->trigger();
    else
        f->click("Command4");

    QCOMPARE(f->desk.messages.shown.size(), 1);
    QCOMPARE(f->desk.messages.shown.first().text,
        u"Los datos han sido modificados. ¿Desea guardar el registro con los nuevos datos?"_qs);
    QCOMPARE(f->desk.messages.shown.first().buttons, Buttons::YesNo);
    QVERIFY(visibleWhileAsked);
    QVERIFY(!f->window->isVisible());
    QVERIFY(f->timer("Timersalsonido")->isActive());
    if (answer == Answer::Yes)
        QCOMPARE(f->contactBytes(),
            cp1252Lines({rec(u"Perez"_qs, u"Luis"_qs, {{telefono, u"111"_qs}}),
                rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"35"_qs}, {telefono, u"555-1234"_qs}})}));
    else
        QCOMPARE(f->contactBytes(), before);
}

void TestMainWindow::exit_afterEmptying()
{
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->click("cmdvaciar");
    f->click("Command4");
    QVERIFY(f->desk.messages.shown.isEmpty());
    QCOMPARE(f->contactBytes(), before);
    QVERIFY(!f->window->isVisible());
    QCOMPARE(f->window->cajasvacias(), 0);
}

void TestMainWindow::exit_closeBox()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(edad, u"36"_qs);
    f->desk.messages.queueAnswer(Answer::Yes);
    f->window->close();
    QCOMPARE(f->desk.messages.shown.size(), 1);
    QVERIFY(f->contactBytes().contains("36"));
    QVERIFY(!f->window->isVisible());
    QCOMPARE(f->desk.sound.played, QStringList {u"Fin.WAV"_qs});
    QVERIFY(f->timer("Timersalsonido")->isActive());
    // The end timer ends the program, not the closing, so that the exit sound can play.
    QCOMPARE(f->programEnds, 0);

    // A second request (the menu, another close) does not run the exit again.
    f->window->Command4_Click();
    QCOMPARE(f->desk.sound.played.size(), 1);
}

void TestMainWindow::exit_saveFails()
{
    openTwo();
    const QByteArray before = f->contactBytes();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(edad, u"37"_qs);
    QVERIFY(QDir().mkdir(f->twinPath()));
    f->desk.messages.queueAnswer(Answer::Yes);
    f->desk.messages.queueAnswer(Answer::Ok);
    f->click("Command4");
    QCOMPARE(f->desk.messages.shown.size(), 2);
    QCOMPARE(f->desk.messages.shown.last().title, u"Error"_qs);
    QCOMPARE(f->contactBytes(), before);
    QVERIFY(!f->window->isVisible());
    QVERIFY(f->timer("Timersalsonido")->isActive());
    f->window->Timersalsonido_Timer();
    QCOMPARE(f->programEnds, 1);
}

// --- timers and other windows ------------------------------------------------------------------

template <typename Window> static QList<Window *> openWindows()
{
    QList<Window *> found;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<Window *>(w); window && window->isVisible())
            found << window;
    }
    return found;
}

void TestMainWindow::updateTimer()
{
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs));
    f->desk.network.connected = false;
    f->open();
    QTimer *timer = f->timer("timeractu");
    QVERIFY(timer->isActive());

    f->window->timeractu_Timer();
    f->window->timeractu_Timer();
    QCOMPARE(f->desk.network.connectionQueries, 2);
    QVERIFY(timer->isActive());
    QVERIFY(openWindows<FrmBusActu>().isEmpty());

    f->desk.network.connected = true;
    f->window->timeractu_Timer();
    QVERIFY(!timer->isActive());
    const QList<FrmBusActu *> update = openWindows<FrmBusActu>();
    QCOMPARE(update.size(), 1);
    QCOMPARE(update.first()->txtcomohacer->text(), u"1"_qs); // quiet mode
    QVERIFY(f->desk.sound.played.isEmpty());
}

void TestMainWindow::updateTimer_waitsForOtherWindows_data()
{
    QTest::addColumn<QString>("other");
    QTest::newRow("options") << u"options"_qs;
    QTest::newRow("about") << u"about"_qs;
}

// The timer fires while another window has disabled the main window: the check waits for it, and
// starts once that window has given the main window back.
void TestMainWindow::updateTimer_waitsForOtherWindows()
{
    QFETCH(QString, other);
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs));
    f->desk.network.content = QByteArray("\xBF-?2.0\xBF-?\r\n");
    f->open();
    QTimer *timer = f->timer("timeractu");
    QVERIFY(timer->isActive());
    f->click(other == u"options" ? "cmdoptions" : "cmdacerca");
    QWidget *window = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != f->window.get() && w->isVisible() && !qobject_cast<FrmBusActu *>(w))
            window = w;
    }
    QVERIFY(window);
    QVERIFY(!f->window->isEnabled());

    timer->setInterval(5);
    QSignalSpy fired(timer, &QTimer::timeout);
    QVERIFY(fired.wait());
    QVERIFY(fired.wait());
    QVERIFY(openWindows<FrmBusActu>().isEmpty());
    QVERIFY(timer->isActive());
    QVERIFY(!f->window->isEnabled());
    QCOMPARE(f->desk.network.connectionQueries, 0);

    timer->stop();
    window->close();
    QVERIFY(f->window->isEnabled());
    f->window->timeractu_Timer();
    QCOMPARE(openWindows<FrmBusActu>().size(), 1);
    QVERIFY(!timer->isActive());
}

void TestMainWindow::updateTimer_stopsOnExit()
{
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"1"_qs, u"1"_qs));
    f->desk.network.connected = false;
    f->open();
    QVERIFY(f->timer("timeractu")->isActive());
    f->click("Command4");
    QVERIFY(!f->timer("timeractu")->isActive());
    // Fired all the same (a timeout already queued): no update window for a program that is leaving.
    f->desk.network.connected = true;
    f->window->timeractu_Timer();
    QVERIFY(openWindows<FrmBusActu>().isEmpty());
}

// The lock is given up once the exit's save is done and the window is hidden, before the exit
// sound's three seconds: a new start in those seconds is no second instance.
void TestMainWindow::exit_releasesInstanceLock()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    f->retype(edad, u"35"_qs);
    f->desk.messages.queueAnswer(Answer::Yes);
    bool visible = true;
    bool saved = false;
    int ends = -1;
    f->desk.system.onRelease = [&] {
        visible = f->window->isVisible();
        saved = f->contactBytes().contains(
            cp1252Lines({rec(u"Gomez"_qs, u"Ana"_qs, {{edad, u"35"_qs}, {telefono, u"555-1234"_qs}})}));
        ends = f->programEnds;
    };
    QCOMPARE(f->desk.system.releases, 0);
    f->click("Command4");
    QCOMPARE(f->desk.system.releases, 1);
    QVERIFY(!visible);
    QVERIFY(saved);
    QCOMPARE(ends, 0);
    QVERIFY(f->timer("Timersalsonido")->isActive());
    f->window->Timersalsonido_Timer();
    QCOMPARE(f->desk.system.releases, 1);
}

void TestMainWindow::menuWebPage()
{
    f->open();
    f->window->findChild<QAction *>(u"mnumorqweb"_qs)->trigger();
    QCOMPARE(f->desk.shell.urls, QList<QUrl> {QUrl(QStringLiteral(ORVALIA_WEB_PAGE))});
    QVERIFY(f->desk.sound.played.isEmpty());
}

void TestMainWindow::menuUpdate()
{
    f->writeOptions(optionLines());
    f->open();
    QVERIFY(!f->timer("timeractu")->isActive());
    f->window->findChild<QAction *>(u"mnubusactu"_qs)->trigger();
    const QList<FrmBusActu *> update = openWindows<FrmBusActu>();
    QCOMPARE(update.size(), 1);
    QCOMPARE(update.first()->txtcomohacer->text(), QString()); // interactive
    QVERIFY(f->desk.sound.played.isEmpty());
}

void TestMainWindow::optionsWindow_restore()
{
    openTwo();
    f->clickEntry(u"Gomez Ana "_qs);
    f->window->findChild<QAction *>(u"mnuopciones"_qs)->trigger();
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    const QList<FrmOptions *> options = openWindows<FrmOptions>();
    QCOMPARE(options.size(), 1);
    QVERIFY(!f->window->isEnabled());
    // The close box of the disabled main window does nothing.
    QVERIFY(!f->window->close());
    QVERIFY(f->window->isVisible());
    QVERIFY(!f->timer("Timersalsonido")->isActive());

    // A restore replaced the file: the window shows nothing and lists the new contacts.
    f->writeContacts({rec(u"Ruiz"_qs, u"Eva"_qs)});
    emit options.first()->backupRestored();
    QCOMPARE(f->entries(), QStringList {u"Ruiz Eva "_qs});
    QVERIFY(f->boxesEmpty());
    QCOMPARE(f->window->regmostrado(), 0);
    QVERIFY(!f->button("Command2")->isEnabled());
    QVERIFY(!f->button("Command7")->isEnabled());
    options.first()->close();
    QVERIFY(f->window->isEnabled());
}

void TestMainWindow::aboutWindow()
{
    f->writeOptions(optionLines(u"1"_qs, u"1"_qs, u"0"_qs));
    f->open();
    f->click("cmdacerca");
    QVERIFY(f->desk.sound.played.isEmpty()); // sounds off
    QWidget *about = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == u"FrmAcerca" && w->isVisible())
            about = w;
    }
    QVERIFY(about);
    QCOMPARE(about->windowTitle(), u"Acerca De Orvalia"_qs);
}

void TestMainWindow::print()
{
    f->writeOptions(optionLines());
    f->writeContacts({rec(u"Gomez"_qs, u"Ana"_qs, {{nick, u"un apodo bastante largo"_qs}})});
    f->open();
    f->clickEntry(u"Gomez Ana "_qs);
    f->desk.dialogs.printerAccepted = false;
    f->desk.messages.queueAnswer(Answer::Ok);
    f->desk.messages.queueAnswer(Answer::Yes);
    f->click("Command7");
    QCOMPARE(f->desk.sound.played, QStringList {u"Tac.WAV"_qs});
    // The card job got the boxes: its long-field question names the nick.
    QCOMPARE(f->desk.messages.shown.size(), 2);
    QCOMPARE(f->desk.messages.shown[0].text, u"La impresion solo es para hojas A4"_qs);
    QVERIFY(f->desk.messages.shown[1].text.endsWith(u"Nick\r¿Desea continuar?"_qs));
    QCOMPARE(f->desk.dialogs.printDialogs, 1);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
