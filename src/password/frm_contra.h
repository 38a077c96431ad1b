#pragma once

#include <QPointer>
#include <QWidget>

struct Platform;
class QLabel;
class QLineEdit;
class QPushButton;

// What the two windows that write the password file share.
namespace PasswordWindow {

// A fixed-size tool window with a narrow title bar and a close box only, centred on its owner.
void setUp(QWidget *window, QWidget *owner, const QString &caption, QSize clientSize);

// Bold, as the forms' labels are; a wrapped label flows over several lines from the top.
QLabel *label(QWidget *window, const char *name, const QString &caption, QRect geometry, bool wrap = false);
QPushButton *button(QWidget *window, const char *name, const QString &caption, QRect geometry);

// A single-line box that shows every typed character as "*" when masked. It takes only text the
// password file can hold (characters of its code page, no line break): anything else would be
// stored as something other than what was typed, and would never match again. It is named after
// its label.
QLineEdit *textBox(QWidget *window, QLabel *label, const char *name, QRect geometry, bool masked);

// The wait cursor while it lives: a key derivation holds the window for a fraction of a second.
// It goes before any message is shown.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace PasswordWindow

// "Orvalia - Proteger mediante contraseña": switching protection on. The password, typed twice,
// the secret question and its answer go to the password file, and line 4 of the options working
// copy becomes "1". The options window and the main window stay disabled while it is open.
class FrmContra : public QWidget
{
    Q_OBJECT
public:
    FrmContra(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow);

    // The directory of the password file.
    QString GetWindows() const;

signals:
    // The window is closing without a stored password: protection stays off.
    void closedWithoutPassword();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void cmdaccept_Click();
    void cmdcancel_Click();
    void Form_Unload();
    void clickSound();
    void refuse(const QString &text);

    Platform &m_platform;
    QPointer<QWidget> m_optionsWindow;
    QPointer<QWidget> m_mainWindow;
    bool aceptado = false;

    QLabel *Label1 = nullptr;
    QLineEdit *txtcontra = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtrecontra = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtpreg = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtresp = nullptr;
    QPushButton *cmdaccept = nullptr;
    QPushButton *cmdcancel = nullptr;
    QLabel *Label5 = nullptr;
};
