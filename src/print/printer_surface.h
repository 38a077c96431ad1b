#pragma once

#include "print/card_surface.h"

#include <QPainter>

class QFont;
class QPrinter;

// The card surface of a real printer (or a PDF file): QPainter on a QPrinter, in centimetres
// from the top-left of the printable area. The job starts with the first thing drawn, so a
// document that ends before anything was drawn sends nothing.
class PrinterSurface final : public CardSurface
{
public:
    explicit PrinterSurface(QPrinter &printer);
    ~PrinterSurface() override;

    // The font a fresh printer holds: the desktop's general family at 10 points, regular.
    static CardFont defaultFont();

    // The card's script family is no standard font; where it is missing, a script family of the
    // system stands in for it.
    static void substituteScriptFont();

    static QFont qtFont(const CardFont &font);

protected:
    double measure(const QString &text, const CardFont &font) const override;
    double lineHeight(const CardFont &font) const override;
    bool drawText(const QPointF &topLeft, const QString &text, const CardFont &font, bool endsLine) override;
    bool drawImage(const QImage &picture, const QRectF &rect) override;
    bool finish() override;

private:
    bool begin();
    double dotsPerCm() const;

    QPrinter &m_printer;
    QPainter m_painter;
};
