#include "contacts/contact_file.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_contra.h"
#include "password_fixtures.h"
#include "platform/twips.h"
#include "window_driver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

namespace {

const QStringList Defaults = {"1", "1", "0", "0", "0", "1", "0", "1"};
const QString NoBackup = QStringLiteral("No se ha hecho ningun backup");
const QString Contact1 = QStringLiteral("GomezãAnaããããããããããããããããã");
const QString Contact2 = QStringLiteral("PérezãLuisãã40ããããããããããããããã");

QStringList with(QStringList lines, int n, const QString &value)
{
    lines[n - 1] = value;
    return lines;
}

ino_t inode(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QCheckBox *box(QWidget *window, const char *name)
{
    return control<QCheckBox>(window, name);
}

// A check box is clicked on its indicator: a long box's middle can lie past its caption.
void tick(QWidget *window, const char *name)
{
    QCheckBox *check = box(window, name);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
}

} // namespace

class TestFrmOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void tabOrder();
    void load_data();
    void load();
    void loadWritesNothingAndOpensNothing();
    void staleWorkingCopyIsDiscarded();
    void unreadableOptionsFileKeepsThePasswordFile();
    void closingWithoutChange_data();
    void closingWithoutChange();
    void acceptWithoutChangeLeavesTheFileUntouched();
    void twoChangesThenAccept();
    void checkBoxesAreSilentAndCheck5CannotChange();
    void soundsOffTakesEffectAfterAcceptOnly_data();
    void soundsOffTakesEffectAfterAcceptOnly();
    void passwordFileOnClosing_data();
    void passwordFileOnClosing();
    void protectionOnAtOpening();
    void backupThenCancel();
    void backupFailure_data();
    void backupFailure();
    void backupDateNotRecorded();
    void storedBackupDateIsText();
    void restoreAfterAccept();
    void restoreAnsweredCancel();
    void restoreFailure_data();
    void restoreFailure();

private:
    FrmOptions *open();
    QString opt() const { return m_desktop->programFile("Agenda.opt"); }
    QString opt2() const { return m_desktop->programFile("Agenda.opt2"); }
    QString passwordFile() const { return m_desktop->passwordFile("orvpw.ntd"); }
    void writeOptions(const QStringList &lines) { writeBytes(opt(), cp1252Lines(lines)); }
    ContactFile contacts() { return ContactFile(m_desktop->programDir(), m_desktop->attributes); }

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<QWidget> m_main;
};

void TestFrmOptions::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_main = std::make_unique<QWidget>();
    writeOptions(Defaults);
}

void TestFrmOptions::cleanup()
{
    // A window goes with the window that owns it: each is deleted at most once.
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget != m_main.get())
            windows << widget;
    }
    for (const QPointer<QWidget> &widget : windows)
        delete widget.data();
    m_main.reset();
    m_desktop.reset();
}

FrmOptions *TestFrmOptions::open()
{
    auto *window = new FrmOptions(m_desktop->platform, m_main.get());
    window->show();
    return window;
}

void TestFrmOptions::layout()
{
    struct Expected
    {
        const char *name;
        const char *frame;
        QRect twips;
        QString caption;
    };
    const Expected expected[] = {
        {"Check1", nullptr, {120, 120, 6615, 375},
            "Mostrar pregunta de confirmación al borrar o modificar un registro"},
        {"chmayus", nullptr, {120, 515, 6615, 255},
            "Cambiar a mayúscula la primera letra a todos los datos automaticamente al guardar"},
        {"Check3", nullptr, {120, 840, 6615, 255}, "Imprimir foto (Imprimir la foto consumirá mas tinta)"},
        {"Check4", nullptr, {120, 1200, 6615, 255},
            "Buscar nuevas actualizaciones cada vez que se inicie Orvalia"},
        {"Check5", nullptr, {120, 1560, 6615, 255},
            "Iniciar Orvalia cuando se inicie Windows - Disponible en la próxima versión"},
        {"Check6", nullptr, {120, 1920, 6615, 255}, "Activar sonidos"},
        {"Frame1", nullptr, {120, 2400, 3255, 1695}, "Contraseña"},
        {"Check2", "Frame1", {120, 360, 3015, 255}, "Proteger agenda mediante contraseña"},
        {"cmdcamcon", "Frame1", {120, 840, 3015, 375}, "Cambiar Contraseña"},
        {"Label2", "Frame1", {120, 1320, 3015, 255}, ""},
        {"Frame2", nullptr, {3480, 2400, 3255, 1695}, "Copia de seguridad - Backup"},
        {"cmdcrearbak", "Frame2", {120, 360, 3015, 375}, "Crear Backup De La Lista"},
        {"cmdiniciarback", "Frame2", {120, 840, 3015, 375}, "Cargar Backup"},
        {"Label1", "Frame2", {120, 1320, 3015, 255}, NoBackup},
        {"cmdacept", nullptr, {120, 4200, 3255, 375}, "Aceptar"},
        {"cmdcancel", nullptr, {3480, 4200, 3255, 375}, "Cancelar"},
    };
    FrmOptions *window = open();
    QCOMPARE(window->windowTitle(), QStringLiteral("Opciones"));
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(window->isWindow());
    for (const Expected &e : expected) {
        QWidget *widget = control(window, e.name);
        const QRect pixels = Twips::rect(e.twips.x(), e.twips.y(), e.twips.width(), e.twips.height());
        QVERIFY2(widget->geometry() == pixels, e.name);
        QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(e.frame ? e.frame : ""));
        QString caption;
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            caption = button->text();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            caption = label->text();
        else
            caption = qobject_cast<QGroupBox *>(widget)->title();
        QCOMPARE(caption, e.caption);
    }
    QVERIFY(!box(window, "Check5")->isEnabled());
    QVERIFY(!control(window, "cmdcamcon")->isEnabled());
    QVERIFY(control<QLabel>(window, "Label1")->font().bold());
    // No caption is cut, whatever font stands in for the form's.
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QLabel *>(widget))
            QVERIFY2(widget->sizeHint().width() <= widget->width(), qPrintable(widget->objectName()));
    }
}

void TestFrmOptions::tabOrder()
{
    FrmOptions *window = open();
    QStringList chain;
    QWidget *widget = box(window, "Check1");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != box(window, "Check1"));
    QCOMPARE(chain,
        QStringList({"Check1", "chmayus", "Check3", "Check2", "cmdcamcon", "cmdcrearbak", "cmdiniciarback",
            "cmdacept", "cmdcancel", "Check4", "Check5", "Check6"}));
}

void TestFrmOptions::load_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<bool>>("ticked"); // Check1, chmayus, Check2, Check3, Check4, Check5, Check6
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("restoreEnabled");
    QTest::addColumn<bool>("changeEnabled");

    QTest::newRow("defaults") << Defaults << QList<bool> {true, true, false, false, true, false, true}
                              << NoBackup << false << false;
    QTest::newRow("all inverted") << QStringList {"0", "0", "03/05/2026", "1", "1", "0", "1", "0"}
                                  << QList<bool> {false, false, true, true, false, true, false}
                                  << QStringLiteral("Último backup hecho el día: 03/05/2026") << true << true;
    // Anything but "0" and "1" leaves the box in its initial state.
    QTest::newRow("other text") << QStringList {"x", " 0", "", "si", "", "1 ", "", "no"}
                                << QList<bool> {true, true, false, true, false, false, false}
                                << QStringLiteral("Último backup hecho el día: ") << true << false;
    QTest::newRow("seven lines") << QStringList {"0", "0", "0", "0", "0", "0", "0"}
                                 << QList<bool> {false, false, false, false, false, false, false} << NoBackup
                                 << false << false;
    QTest::newRow("nine lines") << with(Defaults, 4, "1") + QStringList {"0"}
                                << QList<bool> {true, true, true, false, true, false, true} << NoBackup
                                << false << true;
}

void TestFrmOptions::load()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<bool>, ticked);
    QFETCH(QString, label);
    QFETCH(bool, restoreEnabled);
    QFETCH(bool, changeEnabled);

    writeOptions(lines);
    FrmOptions *window = open();
    const char *names[] = {"Check1", "chmayus", "Check2", "Check3", "Check4", "Check5", "Check6"};
    for (int i = 0; i < 7; ++i)
        QVERIFY2(box(window, names[i])->isChecked() == ticked[i], names[i]);
    QCOMPARE(control<QLabel>(window, "Label1")->text(), label);
    QCOMPARE(control(window, "cmdiniciarback")->isEnabled(), restoreEnabled);
    QCOMPARE(control(window, "cmdcamcon")->isEnabled(), changeEnabled);
    QVERIFY(!m_main->isEnabled());
    QVERIFY(window->isEnabled());
}

void TestFrmOptions::loadWritesNothingAndOpensNothing()
{
    // Protection on: ticking Check2 at load is not the user's tick.
    writeOptions({"0", "0", "0", "1", "1", "0", "1", "0"});
    open();
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(!openWindow<FrmContra>());
    QVERIFY(m_desktop->messages.shown.isEmpty());
    QVERIFY(m_desktop->sound.played.isEmpty());
}

void TestFrmOptions::staleWorkingCopyIsDiscarded()
{
    // Left by a run that ended while the window was open: "Aceptar" must not put it in force.
    writeBytes(opt2(), cp1252Lines(with(Defaults, 4, "1")));
    const QByteArray before = readBytes(opt());
    FrmOptions *window = open();
    QVERIFY(!QFileInfo::exists(opt2()));
    press(window, "cmdacept");
    QCOMPARE(readBytes(opt()), before);
}

void TestFrmOptions::unreadableOptionsFileKeepsThePasswordFile()
{
    QFile::remove(opt());
    QVERIFY(QDir().mkdir(opt()));
    writeBytes(passwordFile(), PasswordFixtures::newForm("clave", "pregunta", "respuesta"));
    FrmOptions *window = open();
    QCOMPARE(box(window, "Check1")->isChecked(), true);
    QCOMPARE(box(window, "Check3")->isChecked(), false);
    QCOMPARE(box(window, "Check4")->isChecked(), true);
    QCOMPARE(box(window, "Check6")->isChecked(), true);
    QCOMPARE(control<QLabel>(window, "Label1")->text(), NoBackup);
    press(window, "cmdcancel");
    QVERIFY(QFileInfo::exists(passwordFile()));
    QVERIFY(m_main->isEnabled());
}

void TestFrmOptions::closingWithoutChange_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancelar") << false;
    QTest::newRow("close box") << true;
}

void TestFrmOptions::closingWithoutChange()
{
    QFETCH(bool, closeBox);
    writeBytes(opt(), "1\r\n0\r\n12/01/2026\r\n0\r\n1\r\n0\r\n0\r\n1\r\nextra\r\n");
    const QByteArray before = readBytes(opt());
    QPointer<FrmOptions> window = open();
    QVERIFY(!m_main->isEnabled());
    if (closeBox)
        window->close();
    else
        press(window, "cmdcancel");
    QCOMPARE(readBytes(opt()), before);
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(m_main->isEnabled());
    QCOMPARE(m_desktop->sound.played, closeBox ? QStringList() : QStringList {"Tac.WAV"});
    QTRY_VERIFY(window.isNull());
}

void TestFrmOptions::acceptWithoutChangeLeavesTheFileUntouched()
{
    const ino_t before = inode(opt());
    QVERIFY(before != 0);
    FrmOptions *window = open();
    press(window, "cmdacept");
    QCOMPARE(inode(opt()), before);
    QCOMPARE(readBytes(opt()), cp1252Lines(Defaults));
    QVERIFY(m_main->isEnabled());
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
}

void TestFrmOptions::twoChangesThenAccept()
{
    FrmOptions *window = open();
    tick(window, "Check1");
    tick(window, "Check3");
    const QByteArray expected = cp1252Lines(with(with(Defaults, 1, "0"), 5, "1"));
    QCOMPARE(readBytes(opt2()), expected);
    QCOMPARE(readBytes(opt()), cp1252Lines(Defaults));
    press(window, "cmdacept");
    QCOMPARE(readBytes(opt()), expected);
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(!QFileInfo::exists(m_desktop->programFile("Agenda.opt3")));
}

void TestFrmOptions::checkBoxesAreSilentAndCheck5CannotChange()
{
    FrmOptions *window = open();
    for (const char *name : {"Check1", "chmayus", "Check3", "Check4", "Check6"})
        tick(window, name);
    QVERIFY(m_desktop->sound.played.isEmpty());
    const QByteArray changed = readBytes(opt2());
    QCOMPARE(changed, cp1252Lines({"0", "0", "0", "0", "1", "0", "0", "0"}));
    tick(window, "Check5");
    QVERIFY(!box(window, "Check5")->isChecked());
    QCOMPARE(readBytes(opt2()), changed);
}

void TestFrmOptions::soundsOffTakesEffectAfterAcceptOnly_data()
{
    QTest::addColumn<QByteArray>("closeWith");
    QTest::addColumn<QStringList>("nextClick");
    QTest::newRow("Aceptar") << QByteArray("cmdacept") << QStringList();
    QTest::newRow("Cancelar") << QByteArray("cmdcancel") << QStringList {"Tac.WAV"};
}

void TestFrmOptions::soundsOffTakesEffectAfterAcceptOnly()
{
    QFETCH(QByteArray, closeWith);
    QFETCH(QStringList, nextClick);
    FrmOptions *window = open();
    tick(window, "Check6");
    press(window, closeWith.constData());
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"}); // the closing click itself
    m_desktop->sound.played.clear();
    press(open(), "cmdcancel");
    QCOMPARE(m_desktop->sound.played, nextClick);
}

void TestFrmOptions::passwordFileOnClosing_data()
{
    QTest::addColumn<QString>("protection");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QByteArray>("closeWith");
    QTest::addColumn<bool>("kept");

    QTest::newRow("off, Cancelar") << "0" << false << QByteArray("cmdcancel") << false;
    QTest::newRow("off, close box") << "0" << false << QByteArray() << false;
    QTest::newRow("off, Aceptar without change") << "0" << false << QByteArray("cmdacept") << false;
    QTest::newRow("off, Aceptar after a change") << "0" << true << QByteArray("cmdacept") << true;
    QTest::newRow("on, Cancelar") << "1" << false << QByteArray("cmdcancel") << true;
    QTest::newRow("on, close box") << "1" << true << QByteArray() << true;
    QTest::newRow("on, Aceptar") << "1" << false << QByteArray("cmdacept") << true;
}

void TestFrmOptions::passwordFileOnClosing()
{
    QFETCH(QString, protection);
    QFETCH(bool, change);
    QFETCH(QByteArray, closeWith);
    QFETCH(bool, kept);

    writeOptions(with(Defaults, 4, protection));
    writeBytes(passwordFile(), PasswordFixtures::newForm("clave", "pregunta", "respuesta"));
    FrmOptions *window = open();
    if (change)
        tick(window, "chmayus");
    if (closeWith.isEmpty())
        window->close();
    else
        press(window, closeWith.constData());
    QCOMPARE(QFileInfo::exists(passwordFile()), kept);
    QVERIFY(m_main->isEnabled());
}

void TestFrmOptions::protectionOnAtOpening()
{
    writeOptions(with(Defaults, 4, "1"));
    writeBytes(passwordFile(), PasswordFixtures::newForm("clave", "pregunta", "respuesta"));
    FrmOptions *window = open();
    QVERIFY(control(window, "cmdcamcon")->isEnabled());
    tick(window, "Check2");
    QVERIFY(!control(window, "cmdcamcon")->isEnabled());
    QCOMPARE(readBytes(opt2()), cp1252Lines(Defaults));
    QVERIFY(!openWindow<FrmContra>());
    press(window, "cmdcancel");
    QVERIFY(QFileInfo::exists(passwordFile()));
    QCOMPARE(readBytes(opt()), cp1252Lines(with(Defaults, 4, "1")));
}

void TestFrmOptions::backupThenCancel()
{
    QVERIFY(contacts().ensureExists());
    QVERIFY(contacts().append(Contact1));
    m_desktop->attributes.calls.clear();
    FrmOptions *window = open();
    QVERIFY(!control(window, "cmdiniciarback")->isEnabled());
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdcrearbak");

    QCOMPARE(readBytes(m_desktop->programFile("data.bak")), readBytes(contacts().path()));
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, QStringLiteral("¡Backup Completado!"));
    QCOMPARE(shown.title, QStringLiteral("Orvalia"));
    QCOMPARE(shown.icon, Icon::Information);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QCOMPARE(
        control<QLabel>(window, "Label1")->text(), QStringLiteral("Último backup hecho el día: 07/12/2026"));
    QVERIFY(control(window, "Label1")->sizeHint().width() <= control(window, "Label1")->width());
    QVERIFY(control(window, "cmdiniciarback")->isEnabled());
    QCOMPARE(readBytes(opt2()), cp1252Lines(with(Defaults, 3, "07/12/2026")));
    QCOMPARE(m_desktop->attributes.calls, QStringList({"normal:data.orv", "hidden:data.orv"}));
    QVERIFY(!m_desktop->attributes.isHidden(m_desktop->programFile("data.bak")));
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});

    press(window, "cmdcancel");
    QVERIFY(QFileInfo::exists(m_desktop->programFile("data.bak")));
    window = open();
    QCOMPARE(control<QLabel>(window, "Label1")->text(), NoBackup);
    QVERIFY(!control(window, "cmdiniciarback")->isEnabled());
}

void TestFrmOptions::backupFailure_data()
{
    QTest::addColumn<bool>("contactFile");
    QTest::newRow("no data.orv") << false;
    QTest::newRow("backup cannot be written") << true;
}

void TestFrmOptions::backupFailure()
{
    QFETCH(bool, contactFile);
    if (contactFile) {
        QVERIFY(contacts().ensureExists());
        QVERIFY(contacts().append(Contact1));
        // The copy goes through data.bak2; a directory in its place makes the write fail.
        QVERIFY(QDir().mkdir(m_desktop->programFile("data.bak2")));
    }
    FrmOptions *window = open();
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdcrearbak");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, QStringLiteral("No se pudo hacer el backup de la lista."));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Error);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QVERIFY(!QFileInfo::exists(m_desktop->programFile("data.bak")));
    QCOMPARE(control<QLabel>(window, "Label1")->text(), NoBackup);
    QVERIFY(!control(window, "cmdiniciarback")->isEnabled());
    QVERIFY(!QFileInfo::exists(opt2()));
}

// The backup is made but its date cannot go into the working copy: the user is told so, not
// "¡Backup Completado!", and the backup can be loaded back.
void TestFrmOptions::backupDateNotRecorded()
{
    QVERIFY(contacts().ensureExists());
    QVERIFY(contacts().append(Contact1));
    FrmOptions *window = open();
    // The working copy is written through Agenda.opt3; a directory in its place stops it.
    QVERIFY(QDir().mkpath(m_desktop->programFile("Agenda.opt3/dentro")));
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdcrearbak");

    QCOMPARE(readBytes(m_desktop->programFile("data.bak")), readBytes(contacts().path()));
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(
        shown.text, QStringLiteral("Se hizo el backup de la lista, pero no se pudo registrar su fecha."));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Error);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(control(window, "cmdiniciarback")->isEnabled());

    // "Aceptar" has nothing to put in force and closes; the options are as they were.
    press(window, "cmdacept");
    QVERIFY(m_main->isEnabled());
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    QCOMPARE(readBytes(opt()), cp1252Lines(Defaults));
}

void TestFrmOptions::storedBackupDateIsText()
{
    writeOptions(with(Defaults, 3, "<b>1</b>&amp;"));
    FrmOptions *window = open();
    auto *label = control<QLabel>(window, "Label1");
    QCOMPARE(label->text(), QStringLiteral("Último backup hecho el día: <b>1</b>&amp;"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestFrmOptions::restoreAfterAccept()
{
    QVERIFY(contacts().ensureExists());
    QVERIFY(contacts().append(Contact1));
    const QByteArray backedUp = readBytes(contacts().path());
    FrmOptions *window = open();
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdcrearbak");
    press(window, "cmdacept");
    QCOMPARE(readBytes(opt()), cp1252Lines(with(Defaults, 3, "07/12/2026")));

    QVERIFY(contacts().append(Contact2));
    window = open();
    QVERIFY(control(window, "cmdiniciarback")->isEnabled());
    QSignalSpy restored(window, &FrmOptions::backupRestored);
    m_desktop->messages.shown.clear();
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdiniciarback");

    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, QStringLiteral("¿Esta seguro que desea cargar el backup?"));
    QCOMPARE(shown.title, QStringLiteral("Orvalia"));
    QCOMPARE(shown.icon, Icon::Question);
    QCOMPARE(shown.buttons, Buttons::OkCancel);
    QCOMPARE(restored.size(), 1);
    QCOMPARE(readBytes(contacts().path()), backedUp);
    QCOMPARE(contacts().readKeys().value_or(QStringList()), QStringList {"Gomez Ana "});
    QCOMPARE(readBytes(m_desktop->programFile("data.bak")), backedUp);
    QVERIFY(m_desktop->attributes.isHidden(contacts().path()));
    QVERIFY(!m_desktop->attributes.isHidden(m_desktop->programFile("data.bak")));
    QVERIFY(!QFileInfo::exists(contacts().twinPath()));
    // The restore leaves the window open and the options as they were.
    QVERIFY(window->isVisible());
    QVERIFY(!QFileInfo::exists(opt2()));
}

void TestFrmOptions::restoreAnsweredCancel()
{
    writeOptions(with(Defaults, 3, "01/01/2026"));
    QVERIFY(contacts().ensureExists());
    QVERIFY(contacts().append(Contact1));
    writeBytes(m_desktop->programFile("data.bak"), cp1252Lines({Contact2}));
    const QByteArray before = readBytes(contacts().path());
    FrmOptions *window = open();
    QSignalSpy restored(window, &FrmOptions::backupRestored);
    m_desktop->messages.queueAnswer(Answer::Cancel);
    press(window, "cmdiniciarback");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    QCOMPARE(restored.size(), 0);
    QCOMPARE(readBytes(contacts().path()), before);
    QCOMPARE(readBytes(m_desktop->programFile("data.bak")), cp1252Lines({Contact2}));
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
}

void TestFrmOptions::restoreFailure_data()
{
    QTest::addColumn<bool>("backupIsDirectory");
    QTest::newRow("data.bak missing") << false;
    QTest::newRow("data.bak unreadable") << true;
}

void TestFrmOptions::restoreFailure()
{
    QFETCH(bool, backupIsDirectory);
    writeOptions(with(Defaults, 3, "01/01/2026"));
    QVERIFY(contacts().ensureExists());
    QVERIFY(contacts().append(Contact1));
    if (backupIsDirectory)
        QVERIFY(QDir().mkdir(m_desktop->programFile("data.bak")));
    const QByteArray before = readBytes(contacts().path());
    FrmOptions *window = open();
    QSignalSpy restored(window, &FrmOptions::backupRestored);
    m_desktop->messages.queueAnswer(Answer::Ok);
    m_desktop->messages.queueAnswer(Answer::Ok);
    press(window, "cmdiniciarback");
    QCOMPARE(m_desktop->messages.shown.size(), 2);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.last();
    QCOMPARE(shown.text,
        QStringLiteral("No se pudo cargar el backup. La lista de contactos no ha sido modificada."));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Error);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QCOMPARE(restored.size(), 0);
    QCOMPARE(readBytes(contacts().path()), before);
    QVERIFY(m_desktop->attributes.isHidden(contacts().path()));
}

QTEST_MAIN(TestFrmOptions)
#include "tst_frm_options.moc"
