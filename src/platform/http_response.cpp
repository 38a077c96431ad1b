#include "platform/http_response.h"

namespace {

// A chunk size line holds a few hex digits and perhaps an extension; anything longer is no server
// of ours talking.
constexpr qsizetype LongestChunkLine = 1024;

} // namespace

HttpResponse::HttpResponse(qint64 headerLimit, qint64 bodyLimit)
    : m_headerLimit(headerLimit)
    , m_bodyLimit(bodyLimit)
{ }

HttpResponse::State HttpResponse::fail()
{
    m_state = State::Failed;
    m_pending.clear();
    return m_state;
}

QByteArray HttpResponse::header(QByteArrayView name) const
{
    for (const auto &[key, value] : m_headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool HttpResponse::takeLine(QByteArray &line)
{
    const qsizetype end = m_pending.indexOf('\n');
    if (end < 0)
        return false;
    line = m_pending.first(end);
    if (line.endsWith('\r'))
        line.chop(1);
    m_pending.remove(0, end + 1);
    return true;
}

HttpResponse::State HttpResponse::feed(QByteArrayView bytes)
{
    if (m_state != State::Reading)
        return m_state;
    // Every byte counts against the part of the response it arrives in.
    const bool inHeaders = m_part == Part::StatusLine || m_part == Part::Headers;
    (inHeaders ? m_headerBytes : m_bodyBytes) += bytes.size();
    m_pending.append(bytes.data(), bytes.size());

    QByteArray line;
    for (;;) {
        if (m_bodyBytes > m_bodyLimit)
            return fail();
        switch (m_part) {
        case Part::StatusLine:
        case Part::Headers: {
            // The lines taken so far, and a line still without its end, count alike.
            if (!takeLine(line))
                return m_headerBytes > m_headerLimit ? fail() : m_state;
            if (m_headerBytes - m_pending.size() > m_headerLimit)
                return fail();
            if (m_part == Part::StatusLine) {
                // "HTTP/1.1 200 OK"
                const QList<QByteArray> words = line.split(' ');
                bool number = false;
                m_status = words.size() >= 2 && words.first().startsWith("HTTP/1.")
                    ? words.at(1).toInt(&number)
                    : 0;
                if (!number || m_status < 100 || m_status > 599)
                    return fail();
                m_headers.clear();
                m_part = Part::Headers;
            } else if (line.isEmpty()) {
                const bool more = headersDone();
                // What follows the headers belongs to the body, and counts there.
                if (m_part != Part::StatusLine) {
                    m_headerBytes -= m_pending.size();
                    m_bodyBytes += m_pending.size();
                }
                if (!more)
                    return m_state;
            } else {
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0)
                    return fail();
                m_headers.append({line.first(colon).trimmed(), line.sliced(colon + 1).trimmed()});
            }
            break;
        }
        case Part::ChunkSize: {
            if (!takeLine(line))
                return m_pending.size() > LongestChunkLine ? fail() : m_state;
            const qsizetype extension = line.indexOf(';');
            bool number = false;
            const qint64 size
                = (extension < 0 ? line : line.first(extension)).trimmed().toLongLong(&number, 16);
            if (!number || size < 0 || size > m_bodyLimit)
                return fail();
            m_left = size;
            m_part = size == 0 ? Part::Trailers : Part::ChunkData;
            break;
        }
        case Part::ChunkData:
        case Part::Sized: {
            const qsizetype take = qsizetype(qMin<qint64>(m_left, m_pending.size()));
            m_body.append(m_pending.constData(), take);
            m_pending.remove(0, take);
            m_left -= take;
            if (m_left > 0)
                return m_state;
            if (m_part == Part::Sized) {
                m_pending.clear();
                return m_state = State::Complete;
            }
            m_part = Part::ChunkEnd;
            break;
        }
        case Part::ChunkEnd:
            // The CR LF after a chunk's data.
            if (m_pending.isEmpty() || m_pending == "\r")
                return m_state;
            if (!takeLine(line) || !line.isEmpty())
                return fail();
            m_part = Part::ChunkSize;
            break;
        case Part::Trailers:
            if (!takeLine(line))
                return m_pending.size() > LongestChunkLine ? fail() : m_state;
            if (line.isEmpty()) {
                m_pending.clear();
                return m_state = State::Complete;
            }
            break;
        case Part::ToClose:
            m_body += m_pending;
            m_pending.clear();
            return m_state;
        }
    }
}

bool HttpResponse::headersDone()
{
    // An interim answer ("100 Continue") comes before the real one.
    if (m_status < 200) {
        m_part = Part::StatusLine;
        return true;
    }
    if (m_status == 204 || m_status == 304) {
        m_state = State::Complete;
        return false;
    }
    if (header("Transfer-Encoding").toLower().contains("chunked")) {
        m_part = Part::ChunkSize;
        return true;
    }
    const QByteArray length = header("Content-Length");
    if (!length.isEmpty()) {
        bool number = false;
        m_left = length.toLongLong(&number);
        // A length beyond the limit is refused before a byte of the body is waited for.
        if (!number || m_left < 0 || m_left > m_bodyLimit) {
            fail();
            return false;
        }
        if (m_left == 0) {
            m_state = State::Complete;
            return false;
        }
        m_part = Part::Sized;
        return true;
    }
    m_part = Part::ToClose;
    return true;
}

HttpResponse::State HttpResponse::closed()
{
    if (m_state == State::Reading)
        m_state = m_part == Part::ToClose ? State::Complete : State::Failed;
    return m_state;
}
