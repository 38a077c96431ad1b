#include "print/card_surface.h"

bool CardSurface::print(const QString &text)
{
    if (!drawText(QPointF(m_x, m_y), text, m_font, false))
        return false;
    m_x += measure(text, m_font);
    return true;
}

bool CardSurface::printLine(const QString &text)
{
    if (!drawText(QPointF(m_x, m_y), text, m_font, true))
        return false;
    m_x = 0.0;
    m_y += lineHeight(m_font);
    return true;
}
