#include "app/about_window.h"

#include "platform/owned_window.h"
#include "platform/twips.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

// Outside any namespace: Q_INIT_RESOURCE declares the resource's function where it stands.
static void loadArtwork()
{
    // The picture lives in a static library's resource, which the linker would drop unasked.
    static const bool loaded = [] {
        Q_INIT_RESOURCE(about);
        return true;
    }();
    Q_UNUSED(loaded);
}

FrmAcerca::FrmAcerca(QWidget *mainWindow)
    : SecondaryWindow(
        mainWindow, OwnedWindow::DialogFlags, QStringLiteral("Acerca De Orvalia"), Twips::size(5415, 3675))
{
    loadArtwork();
    setObjectName(QStringLiteral("FrmAcerca"));

    // Shown in its natural size a little above the top, so its edges are slightly cut.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/about.png")));
    Image1->setGeometry(Twips::rect(0, -120, 5445, 3825));
    Image1->setAccessibleName(QStringLiteral("Acerca De Orvalia"));
    Image1->installEventFilter(this);
    // As a click on the picture does.
    setClosedByEscape();
}

bool FrmAcerca::eventFilter(QObject *watched, QEvent *event)
{
    // A click on the picture: the left or the right button pressed and released on it.
    if (watched == Image1) {
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressed = static_cast<QMouseEvent *>(event)->button();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const bool click = mouse->button() == m_pressed
                && (m_pressed == Qt::LeftButton || m_pressed == Qt::RightButton)
                && Image1->rect().contains(mouse->position().toPoint());
            m_pressed = Qt::NoButton;
            if (click)
                Image1_Click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmAcerca::Image1_Click()
{
    close();
}
