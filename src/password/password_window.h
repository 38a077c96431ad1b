#pragma once

#include "platform/form_builder.h"

#include <QPointer>
#include <QWidget>

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
class PasswordWindow : public QWidget
{
    Q_OBJECT

public:
    // The directory of the password file.
    QString GetWindows() const;

protected:
    PasswordWindow(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow, const QString &title,
        QSize clientSize);

    void closeEvent(QCloseEvent *event) override;
    void Form_Load();
    virtual void Form_Unload();
    void clickSound();

    // A single-line box that shows every typed character as "*" when masked. It takes only text
    // the password file can hold (characters of its code page, no line break): anything else
    // would be stored as something other than what was typed, and would never match again.
    QLineEdit *textBox(
        const FormBuilder &form, const char *name, FormBuilder::Place place, QLabel *label, bool masked);

    Platform &m_platform;
    QPointer<QWidget> m_optionsWindow;
    QPointer<QWidget> m_mainWindow;
};
