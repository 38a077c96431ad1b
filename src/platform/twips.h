#pragma once

#include <QFont>
#include <QRect>

class QWidget;

// Window layouts are given in twips, 15 to a pixel.
namespace Twips {

inline constexpr int PerPixel = 15;

constexpr int toPixels(int twips)
{
    return twips / PerPixel;
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

inline QSize size(int width, int height)
{
    return QSize(toPixels(width), toPixels(height));
}

// The forms' font: "MS Sans Serif" 8.25 points; labels bold. Where that family is missing the
// desktop substitutes a sans-serif one.
inline QFont formFont(bool bold = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

// The forms were laid out for "MS Sans Serif"; where the desktop substitutes a wider font, a label
// or check box whose caption would be cut is set in a smaller size instead, down to a readable
// limit. Word-wrapped labels are fitted to their height.
void shrinkToFit(QWidget *control);

// A window opened from another stays above that one's top-level window (when both are shown).
void keepAbove(QWidget *window, QWidget *owner);

} // namespace Twips
