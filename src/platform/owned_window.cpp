#include "platform/owned_window.h"

#include "platform/twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace OwnedWindow {

namespace {

class ActivationForwarder : public QObject
{
public:
    ActivationForwarder(QWidget *window, QWidget *owner)
        : QObject(window)
        , m_window(window)
        , m_owner(owner)
    {
        owner->installEventFilter(this);
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool shown = watched == m_window && event->type() == QEvent::Show;
        const bool ownerClicked = watched == m_owner && event->type() == QEvent::WindowActivate
            && !m_owner->isEnabled() && m_window->isVisible();
        if (shown || ownerClicked) {
            // After the event has been dealt with, not in the middle of it.
            QTimer::singleShot(0, m_window, [window = m_window] {
                if (window->isVisible())
                    window->activateWindow();
            });
        }
        return false;
    }

private:
    QWidget *m_window; // the filter's parent: it goes with the window
    QPointer<QWidget> m_owner;
};

class KeyHandler : public QObject
{
public:
    KeyHandler(QWidget *window, QAbstractButton *accept, QAbstractButton *cancel)
        : QObject(window)
        , m_window(window)
        , m_accept(accept)
        , m_cancel(cancel)
    {
        window->installEventFilter(this);
    }

    // Only keys no control took reach the window itself.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window || event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat() || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto *focused = qobject_cast<QPushButton *>(m_window->focusWidget()))
                return press(focused);
            return press(m_accept);
        case Qt::Key_Escape:
            return press(m_cancel);
        default:
            return false;
        }
    }

private:
    static bool press(QAbstractButton *button)
    {
        if (!button || !button->isVisible() || !button->isEnabled())
            return false;
        button->click();
        return true;
    }

    QWidget *m_window;
    QPointer<QAbstractButton> m_accept;
    QPointer<QAbstractButton> m_cancel;
};

} // namespace

void setUp(QWidget *window, QWidget *owner, const QString &title, QSize clientSize)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setFont(Twips::formFont());
    window->setFixedSize(clientSize);
    centreOn(window, owner);
    forwardActivation(window, owner);
}

void centreOn(QWidget *window, QWidget *owner)
{
    QWidget *ownerWindow = owner ? owner->window() : nullptr;
    const QScreen *screen = ownerWindow ? ownerWindow->screen() : window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QRect over = ownerWindow && ownerWindow->isVisible() ? ownerWindow->geometry() : available;
    QRect placed(QPoint(), window->size());
    placed.moveCenter(over.center());
    // Inside the screen, the top-left corner first when the window is larger than the screen.
    placed.moveRight(std::min(placed.right(), available.right()));
    placed.moveBottom(std::min(placed.bottom(), available.bottom()));
    placed.moveLeft(std::max(placed.left(), available.left()));
    placed.moveTop(std::max(placed.top(), available.top()));
    window->setGeometry(placed);
}

void disableOwner(QWidget *window, QWidget *owner)
{
    if (!owner)
        return;
    owner->setEnabled(false);
    // A window another one disabled on purpose stays so; one its parent took along is given back.
    if (!window->testAttribute(Qt::WA_ForceDisabled))
        window->setEnabled(true);
}

void forwardActivation(QWidget *window, QWidget *owner)
{
    if (owner)
        new ActivationForwarder(window, owner->window());
}

void setKeys(QWidget *window, QAbstractButton *accept, QAbstractButton *cancel)
{
    new KeyHandler(window, accept, cancel);
}

} // namespace OwnedWindow
