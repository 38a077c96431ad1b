// The password's whole life through the windows, as a user lives it: set in the options, asked at
// the start, told for the right answer, changed, asked again. After each step every file the
// program wrote in its program and password directories is searched for the password and the
// answer, in Windows-1252 and in UTF-8 (and base64 and hex of them): none holds either.

#include "app/frm_organizador.h"
#include "app/main_window.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "password_fixtures.h"
#include "window_driver.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QTest>

using Icon = MessageBoxes::Icon;

namespace {

const QString Password = QStringLiteral("Contraseña ñandú €5");
const QString Question = QStringLiteral("¿Cómo se llamaba mi primer pingüino?");
const QString Answer = QStringLiteral("Pingüino Ñoño");
const QString NewPassword = QStringLiteral("Otra clave ¿sí? Ü");

} // namespace

class TestPasswordRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void setLoginRecoverChange();

private:
    void closeAll();
    // Shows the message expected last, with its title and icon.
    void expectMessage(const QString &text, const QString &title, Icon icon);
    void expectNothingGivenAway(const char *step);
    bool login(const QString &typed);
    void recover(const QString &answer);

    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<QWidget> m_main; // stands for the main window behind the options window
};

void TestPasswordRoundTrip::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_main = std::make_unique<QWidget>();
    // Sounds on, protection off.
    writeBytes(m_desktop->programFile("Agenda.opt"), cp1252Lines({"1", "1", "0", "0", "0", "0", "0", "1"}));
}

void TestPasswordRoundTrip::closeAll()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != m_main.get())
            windows << window;
    }
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
}

void TestPasswordRoundTrip::cleanup()
{
    closeAll();
    m_main.reset();
    m_desktop.reset();
}

void TestPasswordRoundTrip::expectMessage(const QString &text, const QString &title, Icon icon)
{
    QVERIFY(!m_desktop->messages.shown.isEmpty());
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.constLast();
    QCOMPARE(shown.text, text);
    QCOMPARE(shown.title, title);
    QCOMPARE(shown.icon, icon);
    QCOMPARE(shown.buttons, MessageBoxes::Buttons::Ok);
}

void TestPasswordRoundTrip::expectNothingGivenAway(const char *step)
{
    const QStringList found = PasswordFixtures::filesGivingAway(
        {m_desktop->programDir(), m_desktop->passwordDir()}, {Password, Answer, NewPassword});
    QVERIFY2(found.isEmpty(), qPrintable(QLatin1String(step) + u": "_qs + found.join(u", ")));
}

// Whether the login let typed in.
bool TestPasswordRoundTrip::login(const QString &typed)
{
    closeAll();
    FrmContraPri *window = showLogin(m_desktop->platform);
    typeInto(control<QLineEdit>(window, "txtcontra"), typed);
    press(window, "cmdaccept");
    return openWindow<FrmPrincipal>() != nullptr;
}

void TestPasswordRoundTrip::recover(const QString &answer)
{
    closeAll();
    auto *window = new FrmContraPri(m_desktop->platform);
    window->show();
    press(window, "cmdolcont");
    FrmOlvidoc *forgotten = openWindow<FrmOlvidoc>();
    QVERIFY(forgotten);
    QCOMPARE(control<QLabel>(forgotten, "lblpreg")->text(), Question);
    typeInto(control<QLineEdit>(forgotten, "txtresp"), answer);
    press(forgotten, "cmdresp");
}

void TestPasswordRoundTrip::setLoginRecoverChange()
{
    // Set: the options window, its protection box, the set-password window, then "Aceptar" twice.
    auto *options = new FrmOptions(m_desktop->platform, m_main.get());
    options->show();
    auto *check2 = control<QCheckBox>(options, "Check2");
    QTest::mouseClick(check2, Qt::LeftButton, {}, QPoint(6, check2->height() / 2));
    FrmContra *contra = openWindow<FrmContra>();
    QVERIFY(contra);
    for (const auto &[box, text] : {std::pair("txtcontra", Password), std::pair("txtrecontra", Password),
             std::pair("txtpreg", Question), std::pair("txtresp", Answer)})
        typeInto(control<QLineEdit>(contra, box), text);
    press(contra, "cmdaccept");
    press(options, "cmdacept");
    QVERIFY(m_desktop->messages.shown.isEmpty());
    QCOMPARE(readBytes(m_desktop->programFile("Agenda.opt")),
        cp1252Lines({"1", "1", "0", "1", "0", "0", "0", "1"}));
    QCOMPARE(fileMode(m_desktop->passwordFile("orvpw.ntd")), 0600);
    expectNothingGivenAway("after setting");

    // Login: a near miss is refused, the password opens the address book.
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QVERIFY(!login(Password + u' '));
    expectMessage(QStringLiteral("Contraseña incorrecta"), QStringLiteral("Error"), Icon::Error);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QVERIFY(!login(Answer));
    QVERIFY(login(Password));
    QCOMPARE(m_desktop->messages.shown.size(), 2);
    expectNothingGivenAway("after the login");

    // Recovery: the answer tells the password.
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    recover(u"Pingüino ñoño"_qs);
    expectMessage(QStringLiteral("La respuesta no es correcta"), QStringLiteral("Error"), Icon::Error);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    recover(Answer);
    expectMessage(u"Su contraseña es : "_qs + Password, QStringLiteral("Orvalia"), Icon::Information);
    expectNothingGivenAway("after the recovery");

    // Change: from the options window, which is then left with "Cancelar".
    closeAll();
    options = new FrmOptions(m_desktop->platform, m_main.get());
    options->show();
    press(options, "cmdcamcon");
    FrmCamCont *camCont = openWindow<FrmCamCont>();
    QVERIFY(camCont);
    typeInto(control<QLineEdit>(camCont, "txtconant"), Password);
    typeInto(control<QLineEdit>(camCont, "txtnuecon"), NewPassword);
    typeInto(control<QLineEdit>(camCont, "txtnuerecon"), NewPassword);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    press(camCont, "cmdaccept");
    expectMessage(QStringLiteral("¡La contraseña ha sido modificada correctamente!"),
        QStringLiteral("Orvalia"), Icon::Information);
    press(options, "cmdcancel");
    QCOMPARE(fileMode(m_desktop->passwordFile("orvpw.ntd")), 0600);
    expectNothingGivenAway("after the change");

    // The new password opens, the old one no more; the same answer tells the new one.
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QVERIFY(!login(Password));
    QVERIFY(login(NewPassword));
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    recover(Answer);
    expectMessage(u"Su contraseña es : "_qs + NewPassword, QStringLiteral("Orvalia"), Icon::Information);
    expectNothingGivenAway("at the end");
    QVERIFY(!QFileInfo::exists(m_desktop->passwordFile("orvpw.ntd2")));
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(TestPasswordRoundTrip)
#include "tst_password_round_trip.moc"
