#include "platform/twips.h"

#include <QLabel>

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

QStringList formFamilies()
{
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
        QStringLiteral("Nimbus Sans")};
}

} // namespace Twips
