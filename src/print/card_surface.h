#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

// The font of a card surface as the card sets it: family name, size in points, bold.
struct CardFont
{
    QString name;
    double size = 10.0;
    bool bold = false;

    friend bool operator==(const CardFont &, const CardFont &) = default;
};

// A page the card is printed on. Positions are centimetres from the top-left corner of the
// printable area. Printing happens at the current position in the current font: without a line
// end the position moves right by the text's width; with one, y moves down by the font's line
// height and x returns to 0. The drawing calls report false when the device refused them.
class CardSurface
{
public:
    virtual ~CardSurface() = default;

    double x() const { return m_x; }
    double y() const { return m_y; }
    void setX(double x) { m_x = x; }
    void setY(double y) { m_y = y; }

    const CardFont &font() const { return m_font; }
    void setFontName(const QString &name) { m_font.name = name; }
    void setFontSize(double points) { m_font.size = points; }
    void setFontBold(bool bold) { m_font.bold = bold; }

    // Width of text in the current font, in centimetres.
    double textWidth(const QString &text) const { return measure(text, m_font); }

    bool print(const QString &text);
    bool printLine(const QString &text);

    // The picture is stretched to the rectangle; the current position does not move.
    bool drawPicture(const QImage &picture, const QRectF &rect) { return drawImage(picture, rect); }

    // Sends what was drawn to the device. Nothing drawn, nothing sent.
    bool endDocument() { return finish(); }

protected:
    explicit CardSurface(CardFont initialFont)
        : m_font(std::move(initialFont))
    { }

    virtual double measure(const QString &text, const CardFont &font) const = 0;
    virtual double lineHeight(const CardFont &font) const = 0;
    // topLeft is the top of the text line, not its baseline.
    virtual bool drawText(const QPointF &topLeft, const QString &text, const CardFont &font, bool endsLine)
        = 0;
    virtual bool drawImage(const QImage &picture, const QRectF &rect) = 0;
    virtual bool finish() = 0;

private:
    double m_x = 0.0;
    double m_y = 0.0;
    CardFont m_font;
};
