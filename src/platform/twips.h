#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>

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

// The families tried for the forms' font, in order: "MS Sans Serif", then families with the
// widths of the Windows sans-serif fonts, in which every caption fits as laid out.
QStringList formFamilies();

// The forms' font: "MS Sans Serif" 8.25 points; labels bold. Where none of the form's families is
// installed the desktop substitutes a sans-serif one.
inline QFont formFont(bool bold = false)
{
    QFont font;
    font.setFamilies(formFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

// The forms were laid out for "MS Sans Serif"; where none of its stand-ins is installed and the
// desktop substitutes a wider font, a label or check box whose caption would be cut is set in a
// smaller size instead, down to a readable limit. Word-wrapped labels are fitted to their height.
void shrinkToFit(QWidget *control);

} // namespace Twips
