// Each secondary window is the child window of the window it disables, of the type the window
// manager keeps above its owner; Enter presses its accepting button and Escape its cancelling one.
#include "app/about_window.h"
#include "app/frm_organizador.h"
#include "app/main_window.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "update/frm_bus_actu.h"
#include "window_driver.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPointer>
#include <QTest>

namespace {

const QStringList DefaultOptions {"1", "1", "0", "0", "0", "0", "0", "1"};

void key(QWidget *window, const char *focused, Qt::Key key)
{
    QWidget *target = focused ? control(window, focused) : window;
    target->setFocus();
    QTest::keyClick(target, key);
}

} // namespace

class TestWindowKeys : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void owners();
    void optionsWindow_data();
    void optionsWindow();
    void setPasswordWindow();
    void setPasswordWindowEscape();
    void changePasswordWindow();
    void loginAndForgottenPassword();
    void aboutWindow();
    void enterInTheMainWindowDoesNothing();

private:
    std::unique_ptr<TestPlatform> m_desk;
    std::unique_ptr<QWidget> m_main;
};

void TestWindowKeys::init()
{
    m_desk = std::make_unique<TestPlatform>();
    writeBytes(m_desk->programFile(u"Agenda.opt"_qs), cp1252Lines(DefaultOptions));
    m_main = std::make_unique<QWidget>();
    m_main->resize(600, 400);
    m_main->show();
}

void TestWindowKeys::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget != m_main.get())
            windows << widget;
    }
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
    m_main.reset();
    m_desk.reset();
}

void TestWindowKeys::owners()
{
    auto *options = new FrmOptions(m_desk->platform, m_main.get());
    auto *about = new FrmAcerca(m_main.get());
    auto *update = new FrmBusActu(m_desk->platform, m_main.get());
    auto *contra = new FrmContra(m_desk->platform, options, m_main.get());
    auto *camCont = new FrmCamCont(m_desk->platform, options, m_main.get());
    auto *login = new FrmContraPri(m_desk->platform);
    auto *forgotten = new FrmOlvidoc(m_desk->platform, login);

    const std::tuple<QWidget *, QWidget *, Qt::WindowType> expected[] = {
        {options, m_main.get(), Qt::Dialog},
        {about, m_main.get(), Qt::Dialog},
        {update, m_main.get(), Qt::Dialog},
        {contra, options, Qt::Tool},
        {camCont, options, Qt::Tool},
        {forgotten, login, Qt::Tool},
        {login, nullptr, Qt::Tool},
    };
    for (const auto &[window, owner, type] : expected) {
        QCOMPARE(window->parentWidget(), owner);
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowType(), type);
        QVERIFY(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    }
    // Each one usable while the windows it disabled are not.
    QVERIFY(!m_main->isEnabled());
    QVERIFY(!options->isEnabled());
    QVERIFY(!login->isEnabled());
    for (QWidget *window :
        {static_cast<QWidget *>(contra), static_cast<QWidget *>(camCont), static_cast<QWidget *>(forgotten)})
        QVERIFY(window->isEnabled());
}

void TestWindowKeys::optionsWindow_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("soundsLine");
    QTest::newRow("Enter: Aceptar") << int(Qt::Key_Return) << QByteArray("0");
    QTest::newRow("Escape: Cancelar") << int(Qt::Key_Escape) << QByteArray("1");
}

void TestWindowKeys::optionsWindow()
{
    QFETCH(int, key);
    QFETCH(QByteArray, soundsLine);

    auto *options = new FrmOptions(m_desk->platform, m_main.get());
    QPointer<FrmOptions> open(options);
    options->show();
    QVERIFY(!m_main->isEnabled());
    QVERIFY(options->isEnabled());
    control<QCheckBox>(options, "Check6")->click();
    ::key(options, "Check6", Qt::Key(key));
    QTRY_VERIFY(open.isNull());
    QVERIFY(m_main->isEnabled());
    QCOMPARE(readBytes(m_desk->programFile(u"Agenda.opt"_qs)).split('\n').value(7), soundsLine + '\r');
    QVERIFY(!QFileInfo::exists(m_desk->programFile(u"Agenda.opt2"_qs)));
}

void TestWindowKeys::setPasswordWindow()
{
    auto *options = new FrmOptions(m_desk->platform, m_main.get());
    options->show();
    control<QCheckBox>(options, "Check2")->click();
    auto *contra = openWindow<FrmContra>();
    QVERIFY(contra);
    QPointer<FrmContra> open(contra);
    QVERIFY(contra->isEnabled());

    // Enter with a box empty: the refusal, nothing stored.
    typeInto(control<QLineEdit>(contra, "txtcontra"), u"Clave"_qs);
    m_desk->messages.queueAnswer(MessageBoxes::Answer::Ok);
    key(contra, "txtcontra", Qt::Key_Return);
    QCOMPARE(m_desk->messages.shown.size(), 1);
    QCOMPARE(m_desk->messages.shown.constFirst().text, u"Se deben completar todos los datos"_qs);
    QVERIFY(open);

    typeInto(control<QLineEdit>(contra, "txtrecontra"), u"Clave"_qs);
    typeInto(control<QLineEdit>(contra, "txtpreg"), u"Color"_qs);
    typeInto(control<QLineEdit>(contra, "txtresp"), u"azul"_qs);
    key(contra, "txtresp", Qt::Key_Enter);
    QTRY_VERIFY(open.isNull());
    QVERIFY(QFileInfo(m_desk->passwordFile(u"orvpw.ntd"_qs)).size() > 0);
    QVERIFY(control<QCheckBox>(options, "Check2")->isChecked());
    QVERIFY(options->isEnabled());
}

void TestWindowKeys::setPasswordWindowEscape()
{
    auto *options = new FrmOptions(m_desk->platform, m_main.get());
    options->show();
    control<QCheckBox>(options, "Check2")->click();
    auto *contra = openWindow<FrmContra>();
    QVERIFY(contra);
    QPointer<FrmContra> open(contra);
    typeInto(control<QLineEdit>(contra, "txtcontra"), u"Clave"_qs);
    key(contra, "txtcontra", Qt::Key_Escape);
    QTRY_VERIFY(open.isNull());
    QVERIFY(!QFileInfo::exists(m_desk->passwordFile(u"orvpw.ntd"_qs)));
    QVERIFY(!control<QCheckBox>(options, "Check2")->isChecked());
    QVERIFY(options->isEnabled());
    QVERIFY(!m_main->isEnabled());
}

void TestWindowKeys::changePasswordWindow()
{
    writeBytes(m_desk->passwordFile(u"orvpw.ntd"_qs), cp1252Lines({u"Vieja"_qs, u"Color"_qs, u"azul"_qs}));
    QWidget options;
    auto *camCont = new FrmCamCont(m_desk->platform, &options, m_main.get());
    QPointer<FrmCamCont> open(camCont);
    camCont->show();
    typeInto(control<QLineEdit>(camCont, "txtconant"), u"Otra"_qs);
    typeInto(control<QLineEdit>(camCont, "txtnuecon"), u"Nueva"_qs);
    typeInto(control<QLineEdit>(camCont, "txtnuerecon"), u"Nueva"_qs);
    m_desk->messages.queueAnswer(MessageBoxes::Answer::Ok);
    key(camCont, "txtnuerecon", Qt::Key_Return);
    QCOMPARE(m_desk->messages.shown.size(), 1);
    QCOMPARE(m_desk->messages.shown.constFirst().text, u"La contraseña antigua no es correcta"_qs);
    // Enter on a focused button presses that button.
    key(camCont, "cmdcancel", Qt::Key_Return);
    QTRY_VERIFY(open.isNull());
    QCOMPARE(m_desk->messages.shown.size(), 1);
    QVERIFY(options.isEnabled());
}

void TestWindowKeys::loginAndForgottenPassword()
{
    writeBytes(m_desk->passwordFile(u"orvpw.ntd"_qs), cp1252Lines({u"Secreto"_qs, u"Color"_qs, u"azul"_qs}));
    FrmContraPri *login = showLogin(m_desk->platform);
    QPointer<FrmContraPri> loginOpen(login);

    // Escape has nothing to cancel in the login.
    key(login, "txtcontra", Qt::Key_Escape);
    QVERIFY(loginOpen);

    control<QPushButton>(login, "cmdolcont")->click();
    auto *forgotten = openWindow<FrmOlvidoc>();
    QVERIFY(forgotten);
    QPointer<FrmOlvidoc> forgottenOpen(forgotten);
    QVERIFY(!login->isEnabled());
    typeInto(control<QLineEdit>(forgotten, "txtresp"), u"azul"_qs);
    m_desk->messages.queueAnswer(MessageBoxes::Answer::Ok);
    key(forgotten, "txtresp", Qt::Key_Return);
    QCOMPARE(m_desk->messages.shown.constLast().text, u"Su contraseña es : Secreto"_qs);
    key(forgotten, "txtresp", Qt::Key_Escape);
    QTRY_VERIFY(forgottenOpen.isNull());
    QVERIFY(login->isEnabled());

    typeInto(control<QLineEdit>(login, "txtcontra"), u"Secreto"_qs);
    key(login, "txtcontra", Qt::Key_Return);
    QTRY_VERIFY(loginOpen.isNull());
    QVERIFY(openWindow<FrmPrincipal>());
}

void TestWindowKeys::aboutWindow()
{
    auto *about = new FrmAcerca(m_main.get());
    QPointer<FrmAcerca> open(about);
    about->show();
    QVERIFY(!m_main->isEnabled());
    QVERIFY(about->isEnabled());
    QTest::keyClick(about, Qt::Key_Return);
    QVERIFY(open);
    QTest::keyClick(about, Qt::Key_Escape);
    QTRY_VERIFY(open.isNull());
    QVERIFY(m_main->isEnabled());
}

void TestWindowKeys::enterInTheMainWindowDoesNothing()
{
    auto *window = new FrmPrincipal(m_desk->platform);
    window->show();
    QLineEdit *surname = control<QLineEdit>(window, "txt_0");
    typeInto(surname, u"Gomez"_qs);
    typeInto(control<QLineEdit>(window, "txt_1"), u"Ana"_qs);
    key(window, "txt_0", Qt::Key_Return);
    key(window, "txt_1", Qt::Key_Enter);
    QCOMPARE(readBytes(m_desk->programFile(u"data.orv"_qs)), QByteArray());
    QVERIFY(m_desk->messages.shown.isEmpty());
    QCOMPARE(surname->text(), u"Gomez"_qs);
}

QTEST_MAIN(TestWindowKeys)
#include "tst_window_keys.moc"
