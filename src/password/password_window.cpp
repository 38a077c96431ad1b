#include "password/password_window.h"

#include "options/sound_cue.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/windows1252.h"

#include <QApplication>
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
    : SecondaryWindow(optionsWindow, OwnedWindow::ToolFlags, title, clientSize)
    , m_platform(platform)
    , m_mainWindow(mainWindow)
{ }

QString PasswordWindow::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void PasswordWindow::Form_Load()
{
    SecondaryWindow::Form_Load();
    OwnedWindow::disableOwner(this, m_mainWindow);
}

void PasswordWindow::clickSound()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
}

QLineEdit *PasswordWindow::labelledBox(const FormBuilder &form, QLabel *&label, const char *labelName,
    const QString &caption, const char *boxName, int top, bool masked)
{
    label = form.label(labelName, caption, {120, top, 4455, 255});
    return textBox(form, boxName, {120, top + 240, 4455, 285}, label, masked);
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
