#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/password_store.h"
#include "password_fixtures.h"
#include "platform/twips.h"
#include "window_driver.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;

namespace {

const QStringList Protected = {"1", "1", "0", "1", "0", "1", "0", "1"};
const char *const Boxes[] = {"txtconant", "txtnuecon", "txtnuerecon"};

void type(QWidget *window, const QStringList &values)
{
    for (int i = 0; i < 3; ++i)
        typeInto(control<QLineEdit>(window, Boxes[i]), values[i]);
}

QStringList texts(QWidget *window)
{
    QStringList values;
    for (const char *name : Boxes)
        values << control<QLineEdit>(window, name)->text();
    return values;
}

} // namespace

class TestFrmCamCont : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void openedFromTheOptionsWindow();
    void refusals_data();
    void refusals();
    void changeKeepsQuestionAndAnswer_data();
    void changeKeepsQuestionAndAnswer();
    void replacementFails();
    void unusableFileTakesNoOldPassword_data();
    void unusableFileTakesNoOldPassword();
    void cancelWritesNothing();
    void changeSurvivesOptionsCancelWhenProtectionWasOn();

private:
    FrmCamCont *openAlone();
    QString passwordFile() const { return m_desktop->passwordFile("orvpw.ntd"); }
    QString twin() const { return m_desktop->passwordFile("orvpw.ntd2"); }
    // The file says: password, question and answer; nothing of the secrets is in any file.
    void expectStored(const QString &password, const QString &question, const QString &answer);

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<QWidget> m_options;
};

void TestFrmCamCont::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_main = std::make_unique<QWidget>();
    m_options = std::make_unique<QWidget>();
    writeBytes(m_desktop->programFile("Agenda.opt"), cp1252Lines(Protected));
    writeBytes(passwordFile(), PasswordFixtures::newForm("Vieja", "¿Color?", "azul cielo"));
}

void TestFrmCamCont::expectStored(const QString &password, const QString &question, const QString &answer)
{
    PasswordStore stored(m_desktop->passwordDir());
    QVERIFY(stored.load());
    QCOMPARE(stored.status(), PasswordSecrets::Status::Ok);
    QCOMPARE(stored.question(), question);
    QVERIFY(stored.isPassword(password));
    QCOMPARE(stored.recoverPassword(answer), password);
    QCOMPARE(PasswordFixtures::filesGivingAway(
                 {m_desktop->passwordDir(), m_desktop->programDir()}, {password, answer, "Vieja"}),
        QStringList());
}

void TestFrmCamCont::cleanup()
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

FrmCamCont *TestFrmCamCont::openAlone()
{
    auto *window = new FrmCamCont(m_desktop->platform, m_options.get(), m_main.get());
    window->show();
    return window;
}

void TestFrmCamCont::layout()
{
    FrmCamCont *window = openAlone();
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvalia - Cambiar contraseña"));
    QVERIFY(window->windowFlags() & Qt::Tool);
    QCOMPARE(window->minimumSize(), Twips::size(4680, 2745));
    QCOMPARE(window->maximumSize(), Twips::size(4680, 2745));
    const QRect screen = window->screen()->availableGeometry();
    QVERIFY(qAbs(window->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window->geometry().center().y() - screen.center().y()) <= 1);

    const std::tuple<const char *, QRect, QString> expected[] = {
        {"Label1", {120, 120, 4455, 255}, "Contraseña antigua :"},
        {"txtconant", {120, 360, 4455, 285}, ""},
        {"Label2", {120, 840, 4455, 255}, "Nueva contraseña :"},
        {"txtnuecon", {120, 1080, 4455, 285}, ""},
        {"Label3", {120, 1560, 4455, 255}, "Retipear nueva contraseña :"},
        {"txtnuerecon", {120, 1800, 4455, 285}, ""},
        {"cmdaccept", {120, 2280, 2175, 375}, "Aceptar"},
        {"cmdcancel", {2400, 2280, 2175, 375}, "Cancelar"},
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

    type(window, {"abc", "de", "f"});
    QCOMPARE(control<QLineEdit>(window, "txtconant")->displayText(), QStringLiteral("***"));
    QCOMPARE(control<QLineEdit>(window, "txtnuecon")->displayText(), QStringLiteral("**"));
    QCOMPARE(control<QLineEdit>(window, "txtnuerecon")->displayText(), QStringLiteral("*"));

    QStringList chain;
    QWidget *widget = control(window, "txtconant");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != control(window, "txtconant"));
    QCOMPARE(chain, QStringList({"txtconant", "txtnuecon", "txtnuerecon", "cmdaccept", "cmdcancel"}));
}

void TestFrmCamCont::openedFromTheOptionsWindow()
{
    auto *options = new FrmOptions(m_desktop->platform, m_main.get());
    options->show();
    press(options, "cmdcamcon");
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
    FrmCamCont *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *camCont = qobject_cast<FrmCamCont *>(widget); camCont && camCont->isVisible())
            window = camCont;
    }
    QVERIFY(window);
    QVERIFY(!options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    window->close();
    QVERIFY(options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    options->close();
    QVERIFY(m_main->isEnabled());
}

void TestFrmCamCont::refusals_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<Icon>("icon");

    const QString incomplete = QStringLiteral("Se deben completar todos los datos");
    const QString wrongOld = QStringLiteral("La contraseña antigua no es correcta");
    // Without a password file: proves that an empty field is told before the file is read.
    QTest::newRow("all empty") << false << QStringList {"", "", ""} << incomplete << Icon::Information;
    QTest::newRow("old empty") << true << QStringList {"", "n", "n"} << incomplete << Icon::Information;
    QTest::newRow("repeat empty") << true << QStringList {"Vieja", "n", ""} << incomplete
                                  << Icon::Information;
    QTest::newRow("wrong old, new differ")
        << true << QStringList {"Otra", "uno", "dos"} << wrongOld << Icon::Error;
    QTest::newRow("old in other case") << true << QStringList {"vieja", "n", "n"} << wrongOld << Icon::Error;
    QTest::newRow("old with a space") << true << QStringList {"Vieja ", "n", "n"} << wrongOld << Icon::Error;
    QTest::newRow("the answer for the old")
        << true << QStringList {"azul cielo", "n", "n"} << wrongOld << Icon::Error;
    QTest::newRow("new differ") << true << QStringList {"Vieja", "nueva", "Nueva"}
                                << QStringLiteral("Las nuevas contraseñas no son iguales")
                                << Icon::Information;
    QTest::newRow("no password file")
        << false << QStringList {"Vieja", "n", "n"}
        << QStringLiteral("No se pudo leer el archivo de contraseña. La contraseña no ha sido modificada.")
        << Icon::Error;
}

void TestFrmCamCont::refusals()
{
    QFETCH(bool, fileExists);
    QFETCH(QStringList, typed);
    QFETCH(QString, message);
    QFETCH(Icon, icon);
    if (!fileExists)
        QFile::remove(passwordFile());
    const QByteArray before = readBytes(passwordFile());

    FrmCamCont *window = openAlone();
    type(window, typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, icon);
    QCOMPARE(shown.buttons, Buttons::Ok);
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
    QVERIFY(window->isVisible());
    QCOMPARE(texts(window), typed);
    QCOMPARE(readBytes(passwordFile()), before);
    QCOMPARE(QFileInfo::exists(passwordFile()), fileExists);
    QVERIFY(!QFileInfo::exists(twin()));
    QVERIFY(!m_options->isEnabled());
}

void TestFrmCamCont::changeKeepsQuestionAndAnswer_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("new form") << PasswordFixtures::newForm("Vieja", "¿Color?", "azul cielo");
    // The form of earlier versions, in clear, with a line after the third: the change writes the
    // new form.
    QTest::newRow("old form") << cp1252Lines({"Vieja", "¿Color?", "azul cielo", "cuarta"});
}

void TestFrmCamCont::changeKeepsQuestionAndAnswer()
{
    QFETCH(QByteArray, file);
    writeBytes(passwordFile(), file);
    FrmCamCont *window = openAlone();
    type(window, {"Vieja", "Nueva ñ", "Nueva ñ"});
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text, QStringLiteral("¡La contraseña ha sido modificada correctamente!"));
    QCOMPARE(shown.title, QStringLiteral("Orvalia"));
    QCOMPARE(shown.icon, Icon::Information);
    QCOMPARE(shown.buttons, Buttons::Ok);
    expectStored("Nueva ñ", "¿Color?", "azul cielo");
    QVERIFY(!readBytes(passwordFile()).contains("cuarta"));
    QCOMPARE(fileMode(passwordFile()), 0600);
    QVERIFY(!QFileInfo::exists(twin()));
    QVERIFY(!window->isVisible());
    QVERIFY(m_options->isEnabled());
    QVERIFY(!m_main->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    // The options are not this window's business.
    QCOMPARE(readBytes(m_desktop->programFile("Agenda.opt")), cp1252Lines(Protected));
    QVERIFY(!QFileInfo::exists(m_desktop->programFile("Agenda.opt2")));
}

void TestFrmCamCont::replacementFails()
{
    // The twin cannot be created: the old file must stay as it was.
    QVERIFY(QDir().mkdir(twin()));
    const QByteArray before = readBytes(passwordFile());
    FrmCamCont *window = openAlone();
    const QStringList typed = {"Vieja", "Nueva", "Nueva"};
    type(window, typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.first();
    QCOMPARE(shown.text,
        QStringLiteral("No se pudo guardar la nueva contraseña. La contraseña anterior sigue vigente."));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, Icon::Error);
    QCOMPARE(readBytes(passwordFile()), before);
    QVERIFY(window->isVisible());
    QCOMPARE(texts(window), typed);
}

void TestFrmCamCont::unusableFileTakesNoOldPassword_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = PasswordFixtures::newForm("Vieja", "¿Color?", "azul cielo");
    QTest::newRow("cut") << good.first(good.size() / 2);
    QTest::newRow("of another version") << QByteArray(good).replace("ORVPW 2", "ORVPW 3");
    QTest::newRow("damaged") << QByteArray(good).replace("verifier $argon2id$", "verifier $argon2i$");
}

// A file of the new form that cannot be used knows no old password: the change is refused, and
// the file stays as it was.
void TestFrmCamCont::unusableFileTakesNoOldPassword()
{
    QFETCH(QByteArray, file);
    writeBytes(passwordFile(), file);
    FrmCamCont *window = openAlone();
    type(window, {"Vieja", "Nueva", "Nueva"});
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    QCOMPARE(m_desktop->messages.shown.first().text, QStringLiteral("La contraseña antigua no es correcta"));
    QCOMPARE(m_desktop->messages.shown.first().icon, Icon::Error);
    QVERIFY(window->isVisible());
    QVERIFY(readBytes(passwordFile()) == file);
    QVERIFY(!QFileInfo::exists(twin()));
}

void TestFrmCamCont::cancelWritesNothing()
{
    const QByteArray before = readBytes(passwordFile());
    FrmCamCont *window = openAlone();
    type(window, {"Vieja", "Nueva", "Nueva"});
    press(window, "cmdcancel");
    QVERIFY(!window->isVisible());
    QCOMPARE(readBytes(passwordFile()), before);
    QVERIFY(m_desktop->messages.shown.isEmpty());
    QCOMPARE(m_desktop->sound.played, QStringList {"Tac.WAV"});
    QVERIFY(m_options->isEnabled());
    QVERIFY(!m_main->isEnabled());
}

void TestFrmCamCont::changeSurvivesOptionsCancelWhenProtectionWasOn()
{
    auto *options = new FrmOptions(m_desktop->platform, m_main.get());
    options->show();
    press(options, "cmdcamcon");
    FrmCamCont *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *camCont = qobject_cast<FrmCamCont *>(widget); camCont && camCont->isVisible())
            window = camCont;
    }
    QVERIFY(window);
    type(window, {"Vieja", "Nueva", "Nueva"});
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(window, "cmdaccept");
    press(options, "cmdcancel");
    expectStored("Nueva", "¿Color?", "azul cielo");
    QCOMPARE(readBytes(m_desktop->programFile("Agenda.opt")), cp1252Lines(Protected));
    QVERIFY(m_main->isEnabled());
}

QTEST_MAIN(TestFrmCamCont)
#include "tst_frm_cam_cont.moc"
