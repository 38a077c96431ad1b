#include "platform/twips.h"

#include <QLabel>
#include <QWindow>

namespace Twips {

namespace {
constexpr qreal SmallestPointSize = 6.0;
}

void shrinkToFit(QWidget *control)
{
    const auto overflows = [control] {
        if (auto *label = qobject_cast<QLabel *>(control); label && label->wordWrap())
            return label->heightForWidth(label->width()) > label->height();
        return control->sizeHint().width() > control->width();
    };
    QFont font = control->font();
    while (overflows() && font.pointSizeF() > SmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - 0.25);
        control->setFont(font);
    }
}

void keepAbove(QWidget *window, QWidget *owner)
{
    if (owner && window->windowHandle() && owner->window()->windowHandle())
        window->windowHandle()->setTransientParent(owner->window()->windowHandle());
}

} // namespace Twips
