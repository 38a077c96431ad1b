#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_contra.h"
#include "password/password_store.h"
#include "password_fixtures.h"
#include "platform/twips.h"
#include "window_driver.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

namespace {

const QStringList Defaults = {"1", "1", "0", "0", "0", "1", "0", "1"};
const char *const Boxes[] = {"txtcontra", "txtrecontra", "txtpreg", "txtresp"};

QStringList texts(QWidget *window)
{
    QStringList values;
    for (const char *name : Boxes)
        values << control<QLineEdit>(window, name)->text();
    return values;
}

void type(QWidget *window, const QStringList &values)
{
    for (int i = 0; i < 4; ++i)
        typeInto(control<QLineEdit>(window, Boxes[i]), values[i]);
}

} // namespace

class TestFrmContra : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void masksAndRefusesWhatTheFileCannotHold();
    void enabledStates();
    void refusals_data();
    void refusals();
    void refusalIsSilentWithSoundsOff();
    void acceptStoresTheValuesAsTyped();
    void leavingWithoutAccept_data();
    void leavingWithoutAccept();
    void setThenCancelOptions();
    void passwordFileCannotBeWritten();
    void optionsClosedWhileOpen();
    void acceptReplacesAnOldClearFile();

private:
    FrmContra *openAlone();
    FrmOptions *openOptions();
    QString opt() const { return m_desktop->programFile("Agenda.opt"); }
    QString opt2() const { return m_desktop->programFile("Agenda.opt2"); }
    QString passwordFile() const { return m_desktop->passwordFile("orvpw.ntd"); }

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<QWidget> m_options; // stands for the options window where only its state matters
};

void TestFrmContra::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_main = std::make_unique<QWidget>();
    m_options = std::make_unique<QWidget>();
    writeBytes(opt(), cp1252Lines(Defaults));
}

void TestFrmContra::cleanup()
{
    // A window goes with the window that owns it: each is deleted at most once.
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget != m_main.get() && widget != m_options.get())
            windows << widget;
    }
    for (const QPointer<QWidget> &widget : windows)
        delete widget.data();
    m_options.reset();
    m_main.reset();
    m_desktop.reset();
}

FrmContra *TestFrmContra::openAlone()
{
    auto *window = new FrmContra(m_desktop->platform, m_options.get(), m_main.get());
    window->show();
    return window;
}

// The options window, with the set-password window opened by ticking its protection box.
FrmOptions *TestFrmContra::openOptions()
{
    auto *options = new FrmOptions(m_desktop->platform, m_main.get());
    options->show();
    QCheckBox *check2 = control<QCheckBox>(options, "Check2");
    QTest::mouseClick(check2, Qt::LeftButton, {}, QPoint(6, check2->height() / 2));
    return options;
}

void TestFrmContra::layout()
{
    FrmContra *window = openAlone();
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvalia - Proteger mediante contraseña"));
    QVERIFY(window->windowFlags() & Qt::Tool);
    QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(window->minimumSize(), Twips::size(4680, 4545));
    QCOMPARE(window->maximumSize(), Twips::size(4680, 4545));
    const QRect screen = window->screen()->availableGeometry();
    QVERIFY(qAbs(window->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window->geometry().center().y() - screen.center().y()) <= 1);

    const std::tuple<const char *, QRect, QString> expected[] = {
        {"Label1", {120, 120, 4455, 255}, "Contraseña :"},
        {"txtcontra", {120, 360, 4455, 285}, ""},
        {"Label2", {120, 720, 4455, 255}, "Re-tipee contraseña :"},
        {"txtrecontra", {120, 960, 4455, 285}, ""},
        {"Label3", {120, 1680, 4455, 255}, "Pregunta secreta :"},
        {"txtpreg", {120, 1920, 4455, 285}, ""},
        {"Label4", {120, 2400, 4455, 255}, "Respuesta secreta :"},
        {"txtresp", {120, 2640, 4455, 285}, ""},
        {"cmdaccept", {120, 3120, 2175, 375}, "Aceptar"},
        {"cmdcancel", {2400, 3120, 2175, 375}, "Cancelar"},
        {"Label5", {120, 3720, 4455, 855},
            "En caso de que olvide su contraseña, usted tendrá la opción de que Orvalia le haga la pregunta "
            "secreta que usted tipeo y si la contesta bien (\"Respuesta secreta\"), el sistema le mostrará "
            "su "
            "contraseña."},
    };
    for (const auto &[name, twips, caption] : expected) {
        QWidget *widget = control(window, name);
        QVERIFY2(
            widget->geometry() == Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()), name);
        if (auto *label = qobject_cast<QLabel *>(widget))
            QCOMPARE(label->text(), caption);
        else if (auto *button = qobject_cast<QPushButton *>(widget))
            QCOMPARE(button->text(), caption);
        else
            QCOMPARE(qobject_cast<QLineEdit *>(widget)->text(), caption);
    }
    QCOMPARE(control(window, "Line1")->geometry(), QRect(8, 95, 296, 2));
    // No caption is cut, whatever font stands in for the form's.
    auto *label5 = control<QLabel>(window, "Label5");
    QVERIFY(label5->wordWrap());
    QVERIFY(label5->heightForWidth(label5->width()) <= label5->height());
    for (const char *name : {"Label1", "Label2", "Label3", "Label4"})
        QVERIFY2(control(window, name)->sizeHint().width() <= control(window, name)->width(), name);

    QStringList chain;
    QWidget *widget = control(window, "txtcontra");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != control(window, "txtcontra"));
    QCOMPARE(
        chain, QStringList({"txtcontra", "txtrecontra", "txtpreg", "txtresp", "cmdaccept", "cmdcancel"}));
}

void TestFrmContra::masksAndRefusesWhatTheFileCannotHold()
{
    FrmContra *window = openAlone();
    type(window, {"año€", "año€", "¿Mascota?", "Sí"});
    QCOMPARE(control<QLineEdit>(window, "txtcontra")->displayText(), QStringLiteral("****"));
    QCOMPARE(control<QLineEdit>(window, "txtrecontra")->displayText(), QStringLiteral("****"));
    QCOMPARE(control<QLineEdit>(window, "txtpreg")->displayText(), QStringLiteral("¿Mascota?"));
    QCOMPARE(control<QLineEdit>(window, "txtresp")->echoMode(), QLineEdit::Normal);

    // "ł" has no byte in the file's code page: stored as "?", it would never match again.
    typeInto(control<QLineEdit>(window, "txtcontra"), QStringLiteral("łx"));
    QCOMPARE(control<QLineEdit>(window, "txtcontra")->text(), QStringLiteral("año€x"));
}

void TestFrmContra::enabledStates()
{
    FrmContra *window = openAlone();
    QSignalSpy refused(window, &FrmContra::closedWithoutPassword);
    QVERIFY(!m_options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    press(window, "cmdcancel");
    QVERIFY(m_options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    QVERIFY(refused.size() >= 1);
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
    QVERIFY(!QFileInfo::exists(passwordFile()));
    QVERIFY(!QFileInfo::exists(opt2()));
}

void TestFrmContra::refusals_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("message");
    const QString incomplete = QStringLiteral("Se deben completar todos los datos");
    const QString different = QStringLiteral("Las contraseñas no coinciden");
    QTest::newRow("all empty") << QStringList {"", "", "", ""} << incomplete;
    QTest::newRow("password empty") << QStringList {"", "clave", "q", "a"} << incomplete;
    QTest::newRow("repeat empty") << QStringList {"clave", "", "q", "a"} << incomplete;
    QTest::newRow("question empty") << QStringList {"clave", "clave", "", "a"} << incomplete;
    QTest::newRow("answer empty") << QStringList {"clave", "clave", "q", ""} << incomplete;
    QTest::newRow("trailing space") << QStringList {"clave", "clave ", "q", "a"} << different;
    QTest::newRow("letter case") << QStringList {"Clave", "clave", "q", "a"} << different;
    // Both checks fail: the empty field is told first.
    QTest::newRow("empty and different") << QStringList {"clave", "otra", "", "a"} << incomplete;
}

void TestFrmContra::refusals()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, message);
    FrmContra *window = openAlone();
    QSignalSpy refused(window, &FrmContra::closedWithoutPassword);
    type(window, typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Information);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
    QVERIFY(window->isVisible());
    QCOMPARE(texts(window), typed);
    QCOMPARE(refused.size(), 0);
    QVERIFY(!QFileInfo::exists(passwordFile()));
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(!m_options->isEnabled());
}

void TestFrmContra::refusalIsSilentWithSoundsOff()
{
    writeBytes(opt(), cp1252Lines({"1", "1", "0", "0", "0", "1", "0", "0"}));
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(openAlone(), "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    QVERIFY(m_desktop->sound.played.isEmpty());
}

void TestFrmContra::acceptStoresTheValuesAsTyped()
{
    FrmOptions *options = openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    QVERIFY(!options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    QVERIFY(control(options, "cmdcamcon")->isEnabledTo(options));

    // Spaces count, also a question of spaces only.
    const QStringList typed = {" Clave ñ", " Clave ñ", " ", "  azul"};
    type(window, typed);
    press(window, "cmdaccept");
    QVERIFY(m_desktop->messages.shown.isEmpty());
    QVERIFY(!window->isVisible());
    // Stored as typed, and neither the password nor the answer in clear.
    PasswordStore stored(m_desktop->passwordDir());
    QVERIFY(stored.load());
    QCOMPARE(stored.status(), PasswordSecrets::Status::Ok);
    QCOMPARE(stored.question(), QStringLiteral(" "));
    QVERIFY(stored.isPassword(QStringLiteral(" Clave ñ")));
    QVERIFY(!stored.isPassword(QStringLiteral("Clave ñ")));
    QCOMPARE(stored.recoverPassword(QStringLiteral("  azul")), QStringLiteral(" Clave ñ"));
    QCOMPARE(stored.recoverPassword(QStringLiteral(" azul")), std::nullopt);
    QCOMPARE(PasswordFixtures::filesGivingAway({m_desktop->passwordDir(), m_desktop->programDir()},
                 {QStringLiteral(" Clave ñ"), QStringLiteral("  azul")}),
        QStringList());
    QCOMPARE(fileMode(passwordFile()), 0600);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!QFileInfo::exists(m_desktop->passwordFile("orvpw.ntd2")));
    QCOMPARE(readBytes(opt2()), cp1252Lines({"1", "1", "0", "1", "0", "1", "0", "1"}));
    QVERIFY(options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    QVERIFY(control<QCheckBox>(options, "Check2")->isChecked());
    QVERIFY(control(options, "cmdcamcon")->isEnabled());

    press(options, "cmdacept");
    QCOMPARE(readBytes(opt()), cp1252Lines({"1", "1", "0", "1", "0", "1", "0", "1"}));
    QVERIFY(QFileInfo::exists(passwordFile()));
    QVERIFY(m_main->isEnabled());
}

void TestFrmContra::leavingWithoutAccept_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("close box") << true;
    QTest::newRow("Cancelar") << false;
}

void TestFrmContra::leavingWithoutAccept()
{
    QFETCH(bool, closeBox);
    FrmOptions *options = openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    type(window, {"clave", "clave", "pregunta", "respuesta"});
    if (closeBox)
        window->close();
    else
        press(window, "cmdcancel");
    QVERIFY(!window->isVisible());
    QVERIFY(!QFileInfo::exists(passwordFile()));
    QVERIFY(!control<QCheckBox>(options, "Check2")->isChecked());
    QVERIFY(!control(options, "cmdcamcon")->isEnabled());
    QCOMPARE(readBytes(opt2()), cp1252Lines(Defaults));
    QVERIFY(options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    QCOMPARE(m_desktop->sound.played, closeBox ? QStringList() : QStringList {"Tac.WAV"});
}

void TestFrmContra::setThenCancelOptions()
{
    const QByteArray before = readBytes(opt());
    FrmOptions *options = openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    type(window, {"clave", "clave", "pregunta", "respuesta"});
    press(window, "cmdaccept");
    QVERIFY(QFileInfo::exists(passwordFile()));
    press(options, "cmdcancel");
    QCOMPARE(readBytes(opt()), before);
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(!QFileInfo::exists(passwordFile()));
    QVERIFY(m_main->isEnabled());
}

void TestFrmContra::passwordFileCannotBeWritten()
{
    m_desktop->system.passwordDir = m_desktop->passwordFile("missing");
    FrmOptions *options = openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    const QStringList typed = {"clave", "clave", "pregunta", "respuesta"};
    type(window, typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text,
        QStringLiteral("No se pudo guardar la contraseña en el archivo de contraseña. "
                       "La protección no ha sido activada."));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Error);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QVERIFY(window->isVisible());
    QCOMPARE(texts(window), typed);
    QVERIFY(!QFileInfo::exists(opt2()));
    QVERIFY(control<QCheckBox>(options, "Check2")->isChecked());
    QVERIFY(!options->isEnabled());
}

void TestFrmContra::optionsClosedWhileOpen()
{
    const QByteArray before = readBytes(opt());
    FrmOptions *options = openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    type(window, {"clave", "clave", "pregunta", "respuesta"});
    options->close();
    QVERIFY(!window->isVisible());
    QVERIFY(!QFileInfo::exists(passwordFile()));
    QVERIFY(!QFileInfo::exists(opt2()));
    QCOMPARE(readBytes(opt()), before);
    QVERIFY(m_main->isEnabled());
}

// Protection switched on again over a file of the earlier form, which held its values in clear:
// nothing of it stays.
void TestFrmContra::acceptReplacesAnOldClearFile()
{
    writeBytes(passwordFile(), cp1252Lines({"Antigua ñ", "¿Vieja?", "Respuesta vieja"}));
    openOptions();
    FrmContra *window = openWindow<FrmContra>();
    QVERIFY(window);
    type(window, {"Nueva ñ", "Nueva ñ", "¿Nueva?", "Respuesta nueva"});
    press(window, "cmdaccept");
    QVERIFY(m_desktop->messages.shown.isEmpty());
    PasswordStore stored(m_desktop->passwordDir());
    QVERIFY(stored.load());
    QCOMPARE(stored.question(), QStringLiteral("¿Nueva?"));
    QVERIFY(stored.isPassword(QStringLiteral("Nueva ñ")));
    QVERIFY(!stored.isPassword(QStringLiteral("Antigua ñ")));
    QCOMPARE(PasswordFixtures::filesGivingAway({m_desktop->passwordDir(), m_desktop->programDir()},
                 {QStringLiteral("Antigua ñ"), QStringLiteral("Respuesta vieja"), QStringLiteral("Nueva ñ"),
                     QStringLiteral("Respuesta nueva")}),
        QStringList());
}

QTEST_MAIN(TestFrmContra)
#include "tst_frm_contra.moc"
