#include "platform/secondary_window.h"

#include "platform/owned_window.h"

#include <QCloseEvent>
#include <QKeyEvent>

SecondaryWindow::SecondaryWindow(
    QWidget *owner, Qt::WindowFlags flags, const QString &title, QSize clientSize)
    : QWidget(owner, flags)
    , m_owner(owner)
{
    OwnedWindow::setUp(this, owner, title, clientSize);
}

void SecondaryWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load();
}

void SecondaryWindow::Form_Load()
{
    OwnedWindow::disableOwner(this, m_owner);
}

void SecondaryWindow::Form_Unload()
{
    if (m_owner)
        m_owner->setEnabled(true);
}

void SecondaryWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    load();
}

void SecondaryWindow::keyPressEvent(QKeyEvent *event)
{
    if (m_closedByEscape && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SecondaryWindow::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
