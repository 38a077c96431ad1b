#include "app/frm_organizador.h"
#include "app/main_window.h"
#include "fake_platform.h"
#include "hostile_files.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "password/password_store.h"
#include "password_fixtures.h"
#include "platform/qt_platform.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Status = PasswordSecrets::Status;
using namespace PasswordFixtures;

namespace {
template <class T> QList<T *> visibleWindows()
{
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            found << window;
    return found;
}

void processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The names of the controls in tab order, starting after first and going round once.
QStringList tabOrder(QWidget *first)
{
    QStringList names;
    for (QWidget *w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            names << w->objectName();
    names << first->objectName();
    return names;
}

// Types like a keyboard, accented letters included.
void type(QLineEdit *box, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

bool centredOnScreen(const QWidget *window)
{
    // Within the few pixels of the frame, which the window system adds around it.
    const QPoint offset = window->frameGeometry().center() - window->screen()->availableGeometry().center();
    return offset.manhattanLength() <= 4;
}
} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginLayout();
    void forgottenLayout();
    void wrongPasswordIsRefused_data();
    void wrongPasswordIsRefused();
    void severalWrongPasswordsChangeNothing();
    void rightPasswordOpensMainWindowAndClosesLogin();
    void clickSoundOnEveryButton_data();
    void clickSoundOnEveryButton();
    void unreadablePasswordFileKeepsEveryoneOut_data();
    void unreadablePasswordFileKeepsEveryoneOut();
    void forgottenWindowDisablesLogin();
    void rightAnswerRevealsPassword();
    void wrongAnswerIsRefused_data();
    void wrongAnswerIsRefused();
    void volverAndCloseBoxEnableLogin_data();
    void volverAndCloseBoxEnableLogin();
    void oneLineFileHasEmptyQuestionAndAnswer();
    void markupIsShownAsStored();
    void oldFileConvertedAtFirstLogin();
    void oldFileConvertedAtFirstRecovery();
    void unusableFileKeepsEveryoneOut_data();
    void unusableFileKeepsEveryoneOut();
    void noWaitCursorLeftOrUnderAMessage();

private:
    FrmContraPri *showLogin();
    FrmOlvidoc *openForgotten(FrmContraPri *login);
    void writePasswordFile(const QString &password, const QString &question, const QString &answer);
    void writeOldPasswordFile(const QStringList &lines);
    QString passwordPath() const { return m_desktop->passwordFile(u"orvpw.ntd"_qs); }
    void expectLastMessage(const QString &text, const QString &title, Icon icon);

    std::unique_ptr<TestPlatform> m_desktop;
};

void TestLogin::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    writePasswordFile(u"Secreto"_qs, u"¿Nombre de mi perro?"_qs, u"Tobías"_qs);
    // Sounds on, protection on; the main window is left without its update check.
    writeBytes(m_desktop->programFile(u"Agenda.opt"_qs),
        cp1252Lines({u"1"_qs, u"1"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs}));
}

void TestLogin::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        windows << window;
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
    m_desktop.reset();
}

FrmContraPri *TestLogin::showLogin()
{
    return ::showLogin(m_desktop->platform);
}

FrmOlvidoc *TestLogin::openForgotten(FrmContraPri *login)
{
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdolcont"_qs), Qt::LeftButton);
    const QList<FrmOlvidoc *> windows = visibleWindows<FrmOlvidoc>();
    return windows.size() == 1 ? windows.first() : nullptr;
}

void TestLogin::writePasswordFile(const QString &password, const QString &question, const QString &answer)
{
    writeBytes(passwordPath(), newForm(password, question, answer));
}

// The form of earlier versions: password, question and answer in clear.
void TestLogin::writeOldPasswordFile(const QStringList &lines)
{
    writeBytes(passwordPath(), cp1252Lines(lines));
}

void TestLogin::expectLastMessage(const QString &text, const QString &title, Icon icon)
{
    QVERIFY(!m_desktop->messages.shown.isEmpty());
    const FakeMessageBoxes::Shown &shown = m_desktop->messages.shown.constLast();
    QCOMPARE(shown.text, text);
    QCOMPARE(shown.title, title);
    QCOMPARE(shown.icon, icon);
    QCOMPARE(shown.buttons, Buttons::Ok);
}

void TestLogin::loginLayout()
{
    FrmContraPri *login = showLogin();
    QCOMPARE(login->windowTitle(), u"Protección"_qs);
    QVERIFY(login->windowFlags().testFlag(Qt::Tool));
    QVERIFY(login->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!login->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(login->size(), QSize(312, 120));
    QCOMPARE(login->minimumSize(), login->maximumSize());
    // The login is the program's only window: closing it ends the program.
    QVERIFY(login->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(centredOnScreen(login));

    auto *label = login->findChild<QLabel *>(u"Label1"_qs);
    QCOMPARE(label->text(), u"Inserte contraseña para continuar :"_qs);
    QVERIFY(label->font().bold());
    QCOMPARE(label->geometry(), QRect(8, 8, 297, 17));

    auto *box = login->findChild<QLineEdit *>(u"txtcontra"_qs);
    QCOMPARE(box->geometry(), QRect(8, 24, 297, 19));
    QCOMPARE(box->text(), QString());
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    type(box, u"abc"_qs);
    QCOMPARE(box->displayText(), u"***"_qs);
    QCOMPARE(box->text(), u"abc"_qs);

    auto *accept = login->findChild<QPushButton *>(u"cmdaccept"_qs);
    QCOMPARE(accept->text(), u"Aceptar"_qs);
    QCOMPARE(accept->geometry(), QRect(8, 56, 297, 25));
    QVERIFY(!accept->font().bold());
    auto *forgotten = login->findChild<QPushButton *>(u"cmdolcont"_qs);
    QCOMPARE(forgotten->text(), u"¿Olvidó su contraseña?"_qs);
    QCOMPARE(forgotten->geometry(), QRect(8, 88, 297, 25));

    QCOMPARE(tabOrder(box), QStringList({u"cmdaccept"_qs, u"cmdolcont"_qs, u"txtcontra"_qs}));
    QVERIFY(m_desktop->messages.shown.isEmpty());
}

void TestLogin::forgottenLayout()
{
    FrmOlvidoc *forgotten = openForgotten(showLogin());
    QVERIFY(forgotten);
    QCOMPARE(forgotten->windowTitle(), u"¿Olvidó su contraseña?"_qs);
    QVERIFY(forgotten->windowFlags().testFlag(Qt::Tool));
    QCOMPARE(forgotten->size(), QSize(312, 219));
    QCOMPARE(forgotten->minimumSize(), forgotten->maximumSize());
    QVERIFY(forgotten->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(centredOnScreen(forgotten));

    const struct
    {
        const char *name;
        QString text;
        QRect geometry;
    } labels[] = {
        {"Label1", u"Responda la pregunta que usted ingreso correctamente y se le dará su contraseña :"_qs,
            QRect(8, 8, 297, 25)},
        {"Label2", u"Pregunta :"_qs, QRect(8, 48, 297, 17)},
        {"lblpreg", u"¿Nombre de mi perro?"_qs, QRect(8, 72, 297, 25)},
        {"Label3", u"Respuesta :"_qs, QRect(8, 112, 297, 17)},
    };
    for (const auto &expected : labels) {
        auto *label = forgotten->findChild<QLabel *>(QLatin1String(expected.name));
        QVERIFY2(label, expected.name);
        QCOMPARE(label->text(), expected.text);
        QCOMPARE(label->geometry(), expected.geometry);
    }
    QVERIFY(forgotten->findChild<QLabel *>(u"Label1"_qs)->wordWrap());

    auto *answer = forgotten->findChild<QLineEdit *>(u"txtresp"_qs);
    QCOMPARE(answer->geometry(), QRect(8, 128, 297, 19));
    QCOMPARE(answer->echoMode(), QLineEdit::Normal);
    QCOMPARE(answer->text(), QString());
    auto *respond = forgotten->findChild<QPushButton *>(u"cmdresp"_qs);
    QCOMPARE(respond->text(), u"Responder"_qs);
    QCOMPARE(respond->geometry(), QRect(8, 160, 297, 25));
    auto *back = forgotten->findChild<QPushButton *>(u"cmdsalir"_qs);
    QCOMPARE(back->text(), u"Volver"_qs);
    QCOMPARE(back->geometry(), QRect(8, 192, 297, 25));

    QCOMPARE(tabOrder(answer), QStringList({u"cmdresp"_qs, u"cmdsalir"_qs, u"txtresp"_qs}));
}

void TestLogin::wrongPasswordIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("case changed") << u"secreto"_qs;
    QTest::newRow("one letter upper") << u"SecretO"_qs;
    QTest::newRow("trailing space") << u"Secreto "_qs;
    QTest::newRow("leading space") << u" Secreto"_qs;
    QTest::newRow("empty") << QString();
    QTest::newRow("the answer") << u"Tobías"_qs;
}

void TestLogin::wrongPasswordIsRefused()
{
    QFETCH(QString, typed);
    const QByteArray before = readBytes(m_desktop->passwordFile(u"orvpw.ntd"_qs));
    FrmContraPri *login = showLogin();
    auto *box = login->findChild<QLineEdit *>(u"txtcontra"_qs);
    type(box, typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);

    QCOMPARE(m_desktop->messages.shown.size(), 1);
    expectLastMessage(u"Contraseña incorrecta"_qs, u"Error"_qs, Icon::Error);
    processDeletes();
    QCOMPARE(visibleWindows<FrmContraPri>().size(), 1);
    QVERIFY(visibleWindows<FrmContraPri>().first() == login);
    QVERIFY(login->isEnabled());
    QCOMPARE(box->text(), typed);
    QVERIFY(visibleWindows<FrmPrincipal>().isEmpty());
    QCOMPARE(readBytes(m_desktop->passwordFile(u"orvpw.ntd"_qs)), before);
}

void TestLogin::severalWrongPasswordsChangeNothing()
{
    QPointer<FrmContraPri> login = showLogin();
    auto *box = login->findChild<QLineEdit *>(u"txtcontra"_qs);
    const QStringList attempts {u"uno"_qs, u"secreto"_qs, u"SECRETO"_qs, u"Secret"_qs};
    for (int i = 0; i < attempts.size(); ++i) {
        box->setText(attempts[i]);
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
        QCOMPARE(m_desktop->messages.shown.size(), i + 1);
        expectLastMessage(u"Contraseña incorrecta"_qs, u"Error"_qs, Icon::Error);
        processDeletes();
        QVERIFY(login);
        QVERIFY(login->isVisible());
        QCOMPARE(box->text(), attempts[i]);
        QCOMPARE(QApplication::topLevelWidgets().size(), 1);
    }
    // No lock-out either: the right password still opens the address book.
    box->setText(u"Secreto"_qs);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->messages.shown.size(), attempts.size());
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
}

void TestLogin::rightPasswordOpensMainWindowAndClosesLogin()
{
    QPointer<FrmContraPri> login = showLogin();
    type(login->findChild<QLineEdit *>(u"txtcontra"_qs), u"Secreto"_qs);
    QVERIFY(visibleWindows<FrmPrincipal>().isEmpty());
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);

    QVERIFY(m_desktop->messages.shown.isEmpty());
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
    QVERIFY(!login->isVisible());
    processDeletes();
    QVERIFY(!login);
    QCOMPARE(m_desktop->sound.played, QStringList {u"Tac.WAV"_qs});
}

void TestLogin::clickSoundOnEveryButton_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<bool>("sound");
    const auto lines = [](const QString &eighth) {
        return cp1252Lines({u"1"_qs, u"1"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, eighth});
    };
    QTest::newRow("sounds on") << lines(u"1"_qs) << true;
    QTest::newRow("sounds off") << lines(u"0"_qs) << false;
    QTest::newRow("blank before the 0") << lines(u" 0"_qs) << true;
    const QStringList seven {u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs};
    QTest::newRow("seven lines") << cp1252Lines(seven) << true;
}

void TestLogin::clickSoundOnEveryButton()
{
    QFETCH(QByteArray, options);
    QFETCH(bool, sound);
    writeBytes(m_desktop->programFile(u"Agenda.opt"_qs), options);
    const QStringList click = sound ? QStringList {u"Tac.WAV"_qs} : QStringList {};

    FrmContraPri *login = showLogin();
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->sound.played, click);

    m_desktop->sound.played.clear();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(m_desktop->sound.played, click);

    m_desktop->sound.played.clear();
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->sound.played, click);

    m_desktop->sound.played.clear();
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->sound.played, click);
}

void TestLogin::unreadablePasswordFileKeepsEveryoneOut_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("missing") << false;
    QTest::newRow("a folder in its place") << true;
}

void TestLogin::unreadablePasswordFileKeepsEveryoneOut()
{
    QFETCH(bool, directory);
    const QString path = m_desktop->passwordFile(u"orvpw.ntd"_qs);
    QVERIFY(QFile::remove(path));
    if (directory)
        QVERIFY(QDir().mkdir(path));

    QPointer<FrmContraPri> login = showLogin();
    auto *box = login->findChild<QLineEdit *>(u"txtcontra"_qs);
    for (const QString &typed : {QString(), u"Secreto"_qs, u"unknown"_qs}) {
        box->setText(typed);
        const qsizetype before = m_desktop->messages.shown.size();
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
        QCOMPARE(m_desktop->messages.shown.size(), before + 1);
        expectLastMessage(u"No se puede leer el archivo de contraseña. La agenda está protegida y no se "
                          "puede abrir sin la contraseña."_qs,
            u"Error"_qs, Icon::Error);
        processDeletes();
        QVERIFY(login);
        QVERIFY(login->isVisible());
        QVERIFY(login->isEnabled());
        QVERIFY(visibleWindows<FrmPrincipal>().isEmpty());
    }

    // Recovery has nothing to reveal either, not even for an empty answer.
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(forgotten->findChild<QLabel *>(u"lblpreg"_qs)->text(), QString());
    for (const QString &typed : {QString(), u"Tobías"_qs}) {
        forgotten->findChild<QLineEdit *>(u"txtresp"_qs)->setText(typed);
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
        expectLastMessage(u"No se puede leer el archivo de contraseña. No es posible recuperar la "
                          "contraseña."_qs,
            u"Error"_qs, Icon::Error);
    }
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    processDeletes();
    QVERIFY(login && login->isVisible() && login->isEnabled());
    for (const FakeMessageBoxes::Shown &shown : std::as_const(m_desktop->messages.shown))
        QVERIFY(!shown.text.startsWith(u"Su contraseña es"_qs));
    QVERIFY(visibleWindows<FrmPrincipal>().isEmpty());
}

void TestLogin::forgottenWindowDisablesLogin()
{
    FrmContraPri *login = showLogin();
    type(login->findChild<QLineEdit *>(u"txtcontra"_qs), u"algo"_qs);
    QVERIFY(login->isEnabled());
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QVERIFY(!login->isEnabled());
    QVERIFY(forgotten->isEnabled());
    QVERIFY(login->isVisible());
    QVERIFY(m_desktop->messages.shown.isEmpty());
    QCOMPARE(login->findChild<QLineEdit *>(u"txtcontra"_qs)->text(), u"algo"_qs);
}

void TestLogin::rightAnswerRevealsPassword()
{
    FrmContraPri *login = showLogin();
    QPointer<FrmOlvidoc> forgotten = openForgotten(login);
    type(forgotten->findChild<QLineEdit *>(u"txtresp"_qs), u"Tobías"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);

    QCOMPARE(m_desktop->messages.shown.size(), 1);
    expectLastMessage(u"Su contraseña es : Secreto"_qs, u"Orvalia"_qs, Icon::Information);
    processDeletes();
    QVERIFY(forgotten && forgotten->isVisible());
    QVERIFY(!login->isEnabled());

    // Asking again tells it again: the window stays until "Volver".
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->messages.shown.size(), 2);
    expectLastMessage(u"Su contraseña es : Secreto"_qs, u"Orvalia"_qs, Icon::Information);
}

void TestLogin::wrongAnswerIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("trailing space") << u"Tobías "_qs;
    QTest::newRow("case changed") << u"tobías"_qs;
    QTest::newRow("without accent") << u"Tobias"_qs;
    QTest::newRow("empty") << QString();
    QTest::newRow("the password") << u"Secreto"_qs;
}

void TestLogin::wrongAnswerIsRefused()
{
    QFETCH(QString, typed);
    FrmContraPri *login = showLogin();
    QPointer<FrmOlvidoc> forgotten = openForgotten(login);
    type(forgotten->findChild<QLineEdit *>(u"txtresp"_qs), typed);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);

    QCOMPARE(m_desktop->messages.shown.size(), 1);
    expectLastMessage(u"La respuesta no es correcta"_qs, u"Error"_qs, Icon::Error);
    processDeletes();
    QVERIFY(forgotten && forgotten->isVisible());
    QCOMPARE(forgotten->findChild<QLineEdit *>(u"txtresp"_qs)->text(), typed);
    QVERIFY(!login->isEnabled());
}

void TestLogin::volverAndCloseBoxEnableLogin_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Volver") << false;
    QTest::newRow("close box") << true;
}

void TestLogin::volverAndCloseBoxEnableLogin()
{
    QFETCH(bool, closeBox);
    QPointer<FrmContraPri> login = showLogin();
    type(login->findChild<QLineEdit *>(u"txtcontra"_qs), u"antes"_qs);
    QPointer<FrmOlvidoc> forgotten = openForgotten(login);
    type(forgotten->findChild<QLineEdit *>(u"txtresp"_qs), u"Tobías"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
    m_desktop->sound.played.clear();

    if (closeBox)
        QVERIFY(forgotten->close());
    else
        QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    processDeletes();

    QVERIFY(!forgotten);
    QVERIFY(login && login->isVisible());
    QVERIFY(login->isEnabled());
    QCOMPARE(login->findChild<QLineEdit *>(u"txtcontra"_qs)->text(), u"antes"_qs);
    // Only the button clicks; the close box is silent.
    QCOMPARE(m_desktop->sound.played, closeBox ? QStringList {} : QStringList {u"Tac.WAV"_qs});

    // And the login works as before.
    login->findChild<QLineEdit *>(u"txtcontra"_qs)->setText(u"Secreto"_qs);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
}

void TestLogin::oneLineFileHasEmptyQuestionAndAnswer()
{
    writeOldPasswordFile({u"Solo"_qs});
    FrmContraPri *login = showLogin();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(forgotten->findChild<QLabel *>(u"lblpreg"_qs)->text(), QString());

    auto *answer = forgotten->findChild<QLineEdit *>(u"txtresp"_qs);
    auto *respond = forgotten->findChild<QPushButton *>(u"cmdresp"_qs);
    answer->setText(u" "_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(respond, Qt::LeftButton);
    expectLastMessage(u"La respuesta no es correcta"_qs, u"Error"_qs, Icon::Error);
    answer->clear();
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(respond, Qt::LeftButton);
    expectLastMessage(u"Su contraseña es : Solo"_qs, u"Orvalia"_qs, Icon::Information);
    QCOMPARE(m_desktop->messages.shown.size(), 2);
    // Rewritten in the new form, empty question and answer and all.
    PasswordStore store(m_desktop->passwordDir());
    QVERIFY(store.load());
    QCOMPARE(store.status(), Status::Ok);
    QCOMPARE(store.question(), QString());
    QVERIFY(!readBytes(passwordPath()).contains("Solo"));
}

// A password, question and answer that look like markup are shown as they are stored: the real
// message box shows the password as plain text, not "gato" in bold.
void TestLogin::markupIsShownAsStored()
{
    const QString password = u"<b>gato</b> &amp; <i>perro</i>"_qs;
    const QString question = u"<i>¿Color?</i> &lt;"_qs;
    writePasswordFile(password, question, u"<u>azul</u>"_qs);
    QtMessageBoxes qtBoxes;
    TestPlatform &d = *m_desktop;
    Platform platform {qtBoxes, d.dialogs, d.sound, d.shell, d.network, d.attributes, d.system};
    auto *login = new FrmContraPri(platform);
    login->show();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    auto *lblpreg = forgotten->findChild<QLabel *>(u"lblpreg"_qs);
    QCOMPARE(lblpreg->text(), question);
    QCOMPARE(lblpreg->textFormat(), Qt::PlainText);

    type(forgotten->findChild<QLineEdit *>(u"txtresp"_qs), u"<u>azul</u>"_qs);
    QString shownText;
    Qt::TextFormat format = Qt::AutoText;
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        if (auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_qs)) {
            shownText = label->text();
            format = label->textFormat();
        }
        box->accept();
    });
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
    QCOMPARE(title, u"Orvalia"_qs);
    QCOMPARE(shownText, u"Su contraseña es : "_qs + password);
    QCOMPARE(format, Qt::PlainText);
}

// A file of the earlier form, which held the password and the answer in clear: read as before, and
// rewritten in the new form by the first login that matches.
void TestLogin::oldFileConvertedAtFirstLogin()
{
    writeOldPasswordFile({u"Secreto ñ"_qs, u"¿Nombre de mi perro?"_qs, u"Tobías"_qs, u"cuarta"_qs});
    ::chmod(QFile::encodeName(passwordPath()).constData(), 0644);
    const QByteArray old = readBytes(passwordPath());
    QPointer<FrmContraPri> login = showLogin();
    auto *box = login->findChild<QLineEdit *>(u"txtcontra"_qs);
    box->setText(u"Secreto"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    expectLastMessage(u"Contraseña incorrecta"_qs, u"Error"_qs, Icon::Error);
    QCOMPARE(readBytes(passwordPath()), old);

    box->setText(u"Secreto ñ"_qs);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(m_desktop->messages.shown.size(), 1);
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
    processDeletes();
    QVERIFY(!login);

    QCOMPARE(PasswordSecrets::parse(readBytes(passwordPath())).status, Status::Ok);
    QCOMPARE(modeOf(passwordPath()), 0600);
    QVERIFY(!QFileInfo::exists(m_desktop->passwordFile(u"orvpw.ntd2"_qs)));
    QCOMPARE(filesGivingAway({m_desktop->passwordDir(), m_desktop->programDir()},
                 {u"Secreto ñ"_qs, u"Tobías"_qs, u"cuarta"_qs}),
        QStringList());

    // The next start asks for the same password and recovers it with the same answer.
    const QByteArray converted = readBytes(passwordPath());
    cleanup();
    init();
    writeBytes(passwordPath(), converted);
    login = showLogin();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(forgotten->findChild<QLabel *>(u"lblpreg"_qs)->text(), u"¿Nombre de mi perro?"_qs);
    forgotten->findChild<QLineEdit *>(u"txtresp"_qs)->setText(u"Tobías"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
    expectLastMessage(u"Su contraseña es : Secreto ñ"_qs, u"Orvalia"_qs, Icon::Information);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    login->findChild<QLineEdit *>(u"txtcontra"_qs)->setText(u"Secreto ñ"_qs);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
    QCOMPARE(readBytes(passwordPath()), converted);
}

// Or by the first right answer in the forgotten-password window.
void TestLogin::oldFileConvertedAtFirstRecovery()
{
    writeOldPasswordFile({u"Secreto"_qs, u"¿Nombre de mi perro?"_qs, u"Tobías"_qs});
    const QByteArray old = readBytes(passwordPath());
    FrmContraPri *login = showLogin();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(forgotten->findChild<QLabel *>(u"lblpreg"_qs)->text(), u"¿Nombre de mi perro?"_qs);
    auto *answer = forgotten->findChild<QLineEdit *>(u"txtresp"_qs);
    auto *respond = forgotten->findChild<QPushButton *>(u"cmdresp"_qs);
    answer->setText(u"Tobias"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(respond, Qt::LeftButton);
    expectLastMessage(u"La respuesta no es correcta"_qs, u"Error"_qs, Icon::Error);
    QCOMPARE(readBytes(passwordPath()), old);

    answer->setText(u"Tobías"_qs);
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(respond, Qt::LeftButton);
    expectLastMessage(u"Su contraseña es : Secreto"_qs, u"Orvalia"_qs, Icon::Information);
    const QByteArray converted = readBytes(passwordPath());
    QCOMPARE(PasswordSecrets::parse(converted).status, Status::Ok);
    QCOMPARE(
        filesGivingAway({m_desktop->passwordDir(), m_desktop->programDir()}, {u"Secreto"_qs, u"Tobías"_qs}),
        QStringList());
    // Asked again, the window answers from the new file and writes nothing more.
    m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
    QTest::mouseClick(respond, Qt::LeftButton);
    expectLastMessage(u"Su contraseña es : Secreto"_qs, u"Orvalia"_qs, Icon::Information);
    QCOMPARE(readBytes(passwordPath()), converted);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    login->findChild<QLineEdit *>(u"txtcontra"_qs)->setText(u"Secreto"_qs);
    QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
}

void TestLogin::unusableFileKeepsEveryoneOut_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = newForm(u"Secreto"_qs, u"¿Nombre de mi perro?"_qs, u"Tobías"_qs);
    QList<QByteArray> lines = good.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line += '\n';
    QList<QByteArray> swapped = lines;
    swapped.swapItemsAt(2, 3);
    QByteArray damaged = good;
    damaged[damaged.indexOf("key-by-answer ") + 30] = '*';

    QTest::newRow("damaged") << damaged;
    QTest::newRow("cut after the question") << lines.mid(0, 2).join();
    QTest::newRow("cut in the last line") << good.chopped(7);
    QTest::newRow("reordered") << swapped.join();
    QTest::newRow("of another version") << QByteArray(good).replace("ORVPW 2", "ORVPW 9");
    QTest::newRow("empty") << QByteArray();
}

// A file of the new form that cannot be used: the login refuses as for a wrong password, the
// recovery as for a wrong answer, nothing crashes and the file stays for whoever can mend it.
void TestLogin::unusableFileKeepsEveryoneOut()
{
    QFETCH(QByteArray, file);
    writeBytes(passwordPath(), file);
    QPointer<FrmContraPri> login = showLogin();
    for (const QString &typed : {u"Secreto"_qs, u"Tobías"_qs, QString()}) {
        login->findChild<QLineEdit *>(u"txtcontra"_qs)->setText(typed);
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
        expectLastMessage(u"Contraseña incorrecta"_qs, u"Error"_qs, Icon::Error);
    }
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    QCOMPARE(forgotten->findChild<QLabel *>(u"lblpreg"_qs)->text(), QString());
    for (const QString &typed : {u"Tobías"_qs, u"Secreto"_qs, QString()}) {
        forgotten->findChild<QLineEdit *>(u"txtresp"_qs)->setText(typed);
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
        expectLastMessage(u"La respuesta no es correcta"_qs, u"Error"_qs, Icon::Error);
    }
    QCOMPARE(m_desktop->messages.shown.size(), 6);
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    processDeletes();
    QVERIFY(login && login->isVisible() && login->isEnabled());
    QVERIFY(visibleWindows<FrmPrincipal>().isEmpty());
    QVERIFY(readBytes(passwordPath()) == file);
}

// The wait cursor of a derivation is gone before any message and after every handler.
void TestLogin::noWaitCursorLeftOrUnderAMessage()
{
    writeOldPasswordFile({u"Secreto"_qs, u"¿Nombre de mi perro?"_qs, u"Tobías"_qs});
    QStringList cursorsUnderMessages;
    m_desktop->messages.onShow = [&] {
        if (QApplication::overrideCursor())
            cursorsUnderMessages << m_desktop->messages.shown.constLast().text;
    };
    FrmContraPri *login = showLogin();
    FrmOlvidoc *forgotten = openForgotten(login);
    QVERIFY(forgotten);
    for (const QString &typed : {u"otra"_qs, u"Tobías"_qs, u"Tobías"_qs}) {
        forgotten->findChild<QLineEdit *>(u"txtresp"_qs)->setText(typed);
        m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok);
        QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdresp"_qs), Qt::LeftButton);
        QVERIFY(!QApplication::overrideCursor());
    }
    QTest::mouseClick(forgotten->findChild<QPushButton *>(u"cmdsalir"_qs), Qt::LeftButton);
    for (const QString &typed : {u"otra"_qs, u"Secreto"_qs}) {
        login->findChild<QLineEdit *>(u"txtcontra"_qs)->setText(typed);
        if (typed == u"otra")
            m_desktop->messages.queueAnswer(MessageBoxes::Answer::Ok); // the wrong password
        QTest::mouseClick(login->findChild<QPushButton *>(u"cmdaccept"_qs), Qt::LeftButton);
        QVERIFY(!QApplication::overrideCursor());
    }
    QCOMPARE(m_desktop->messages.shown.size(), 4);
    QCOMPARE(cursorsUnderMessages, QStringList());
    QCOMPARE(visibleWindows<FrmPrincipal>().size(), 1);
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
