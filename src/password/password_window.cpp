#include "password/password_window.h"

#include "options/sound_cue.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/windows1252.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QValidator>

namespace {

class StorableTextValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        for (const QChar c : std::as_const(input)) {
            if (c == u'\r' || c == u'\n' || !Windows1252::canEncode(c))
                return Invalid;
        }
        return Acceptable;
    }
};

} // namespace

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

PasswordWindow::PasswordWindow(
    Platform &platform, QWidget *optionsWindow, QWidget *mainWindow, const QString &title, QSize clientSize)
    : QWidget(optionsWindow, OwnedWindow::ToolFlags)
    , m_platform(platform)
    , m_optionsWindow(optionsWindow)
    , m_mainWindow(mainWindow)
{
    OwnedWindow::setUp(this, optionsWindow, title, clientSize);
}

QString PasswordWindow::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void PasswordWindow::Form_Load()
{
    OwnedWindow::disableOwner(this, m_optionsWindow);
    OwnedWindow::disableOwner(this, m_mainWindow);
}

void PasswordWindow::Form_Unload()
{
    if (m_optionsWindow)
        m_optionsWindow->setEnabled(true);
}

void PasswordWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void PasswordWindow::clickSound()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
}

QLineEdit *PasswordWindow::textBox(
    const FormBuilder &form, const char *name, FormBuilder::Place place, QLabel *label, bool masked)
{
    QLineEdit *box = form.textBox(name, place, label);
    box->setValidator(new StorableTextValidator(box));
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    }
    return box;
}
