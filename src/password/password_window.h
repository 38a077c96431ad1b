#pragma once

#include "platform/form_builder.h"
#include "platform/secondary_window.h"

#include <QPointer>

struct Platform;
class QLineEdit;

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

// What the two windows share that the options window opens to write the password file: a tool
// window owned by the options window, disabling it and the main window while it is open. Closing
// gives the options window back; the main window stays disabled, since the options window, still
// open, enables it when it closes.
class PasswordWindow : public SecondaryWindow
{
    Q_OBJECT

public:
    // The directory of the password file.
    QString GetWindows() const;

protected:
    PasswordWindow(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow, const QString &title,
        QSize clientSize);

    // Disables the main window too.
    void Form_Load() override;
    void clickSound();

    // A single-line box that shows every typed character as "*" when masked. It takes only text
    // the password file can hold (characters of its code page, no line break): anything else
    // would be stored as something other than what was typed, and would never match again.
    QLineEdit *textBox(
        const FormBuilder &form, const char *name, FormBuilder::Place place, QLabel *label, bool masked);
    // Such a box under its label, both as wide as the window allows: the label at top, the box
    // 240 twips lower.
    QLineEdit *labelledBox(const FormBuilder &form, QLabel *&label, const char *labelName,
        const QString &caption, const char *boxName, int top, bool masked);

    Platform &m_platform;
    QPointer<QWidget> m_mainWindow;
};
