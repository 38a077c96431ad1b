#pragma once

#include "print/card_surface.h"

#include <QList>
#include <QPointF>
#include <QSize>
#include <QStringList>

// What a recording surface was asked to do. It outlives the surface, which the job drops at its end.
struct Recording
{
    struct Drawn
    {
        enum Kind { Text, TextWithLineEnd, Picture, End };
        Kind kind;
        QString text;
        QPointF at;
        CardFont font;
        QRectF rect;
        QSize pictureSize;
    };

    QList<Drawn> drawn;
    // The drawing call (counted from 0, texts and pictures) that the device refuses; -1 for none.
    int refuseAt = -1;
    int calls = 0;

    QStringList texts() const;
    int ends() const;
    int pictures() const;
};

// A card surface that records every call instead of printing, with metrics simple enough to
// compute by hand: each character is size/40 cm wide, a line is size/20 cm high. A fresh surface
// holds "Default" at 10 points, so a character of the pre-title font is 0.25 cm wide.
class RecordingSurface final : public CardSurface
{
public:
    static constexpr double charWidth(double points) { return points / 40.0; }
    static constexpr double lineHeightOf(double points) { return points / 20.0; }
    static inline const CardFont InitialFont = {QStringLiteral("Default"), 10.0, false};

    explicit RecordingSurface(Recording &recording)
        : CardSurface(InitialFont)
        , m_recording(recording)
    { }

protected:
    double measure(const QString &text, const CardFont &font) const override
    {
        return text.size() * charWidth(font.size);
    }
    double lineHeight(const CardFont &font) const override { return lineHeightOf(font.size); }
    bool drawText(const QPointF &topLeft, const QString &text, const CardFont &font, bool endsLine) override;
    bool drawImage(const QImage &picture, const QRectF &rect) override;
    bool finish() override;

private:
    bool refuses() { return m_recording.calls++ == m_recording.refuseAt; }

    Recording &m_recording;
};
