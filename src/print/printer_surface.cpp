#include "print/printer_surface.h"

#include "print/contact_card.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPrinter>

namespace {

// Script families that may be installed; Z003 (URW's chancery) comes with the URW base fonts.
const QStringList ScriptSubstitutes
    = {QStringLiteral("Z003"), QStringLiteral("URW Chancery L"), QStringLiteral("TeX Gyre Chorus")};

constexpr double CmPerInch = 2.54;

} // namespace

PrinterSurface::PrinterSurface(QPrinter &printer)
    : CardSurface(defaultFont())
    , m_printer(printer)
{
    substituteScriptFont();
}

PrinterSurface::~PrinterSurface()
{
    if (m_painter.isActive())
        m_painter.end();
}

CardFont PrinterSurface::defaultFont()
{
    return {QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), 10.0, false};
}

void PrinterSurface::substituteScriptFont()
{
    if (QFontDatabase::hasFamily(ContactCard::ScriptFont)
        || !QFont::substitutes(ContactCard::ScriptFont).isEmpty())
        return;
    QStringList installed;
    for (const QString &family : ScriptSubstitutes) {
        if (QFontDatabase::hasFamily(family))
            installed << family;
    }
    QFont::insertSubstitutions(ContactCard::ScriptFont, installed);
}

QFont PrinterSurface::qtFont(const CardFont &font)
{
    QFont result(font.name);
    if (font.name == ContactCard::ScriptFont)
        result.setStyleHint(QFont::Cursive);
    result.setPointSizeF(font.size);
    result.setBold(font.bold);
    return result;
}

double PrinterSurface::dotsPerCm() const
{
    return m_printer.resolution() / CmPerInch;
}

double PrinterSurface::measure(const QString &text, const CardFont &font) const
{
    return QFontMetricsF(qtFont(font), &m_printer).horizontalAdvance(text) / dotsPerCm();
}

double PrinterSurface::lineHeight(const CardFont &font) const
{
    return QFontMetricsF(qtFont(font), &m_printer).lineSpacing() / dotsPerCm();
}

bool PrinterSurface::begin()
{
    return m_painter.isActive() || m_painter.begin(&m_printer);
}

bool PrinterSurface::drawText(const QPointF &topLeft, const QString &text, const CardFont &font, bool)
{
    if (!begin())
        return false;
    const QFont qfont = qtFont(font);
    m_painter.setFont(qfont);
    const double ascent = QFontMetricsF(qfont, &m_printer).ascent();
    m_painter.drawText(QPointF(topLeft.x() * dotsPerCm(), topLeft.y() * dotsPerCm() + ascent), text);
    return true;
}

bool PrinterSurface::drawImage(const QImage &picture, const QRectF &rect)
{
    if (picture.isNull() || !begin())
        return false;
    const double scale = dotsPerCm();
    m_painter.drawImage(QRectF(rect.topLeft() * scale, rect.size() * scale), picture);
    return true;
}

bool PrinterSurface::finish()
{
    return !m_painter.isActive() || m_painter.end();
}
