#include "recording_surface.h"

#include <algorithm>

namespace {
int countOf(const QList<Recording::Drawn> &drawn, Recording::Drawn::Kind kind)
{
    return int(std::count_if(drawn.begin(), drawn.end(), [kind](const auto &d) { return d.kind == kind; }));
}
} // namespace

QStringList Recording::texts() const
{
    QStringList result;
    for (const Drawn &item : drawn) {
        if (item.kind == Drawn::Text || item.kind == Drawn::TextWithLineEnd)
            result << item.text;
    }
    return result;
}

int Recording::ends() const
{
    return countOf(drawn, Drawn::End);
}

int Recording::pictures() const
{
    return countOf(drawn, Drawn::Picture);
}

bool RecordingSurface::drawText(
    const QPointF &topLeft, const QString &text, const CardFont &font, bool endsLine)
{
    if (refuses())
        return false;
    m_recording.drawn.append(
        {endsLine ? Recording::Drawn::TextWithLineEnd : Recording::Drawn::Text, text, topLeft, font, {}, {}});
    return true;
}

bool RecordingSurface::drawImage(const QImage &picture, const QRectF &rect)
{
    if (refuses())
        return false;
    m_recording.drawn.append({Recording::Drawn::Picture, {}, {}, font(), rect, picture.size()});
    return true;
}

bool RecordingSurface::finish()
{
    m_recording.drawn.append({Recording::Drawn::End, {}, {}, font(), {}, {}});
    return true;
}
