#pragma once

#include <QPointer>
#include <QWidget>

// A window the program opens from another one, its owner, which it disables while it is open and
// gives back when it closes (OwnedWindow says how the desktop is told whose window it is). Its
// load runs once: when it is first shown, or sooner when the window asks for it.
class SecondaryWindow : public QWidget
{
    Q_OBJECT

protected:
    SecondaryWindow(QWidget *owner, Qt::WindowFlags flags, const QString &title, QSize clientSize);

    // Runs Form_Load, the first time only.
    void load();
    // Disables the owner and keeps this window usable.
    virtual void Form_Load();
    // Gives the owner back.
    virtual void Form_Unload();

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    QWidget *owner() const { return m_owner; }

    // Escape closes the window, when no control of its own took the key.
    void setClosedByEscape() { m_closedByEscape = true; }
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QWidget> m_owner;
    bool m_loaded = false;
    bool m_closedByEscape = false;
};
