#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One HTTP/1.1 response, read from the bytes a server sends as they come. It counts every byte
// itself, whatever the headers announce: the status line and header lines may take at most
// headerLimit bytes together, and everything after them (the body as sent, chunk framing and
// trailers included) at most bodyLimit. A response that needs more fails at once, so an endless
// header line or an endless chunked body costs no more than the limits.
class HttpResponse
{
public:
    enum class State { Reading, Complete, Failed };

    HttpResponse(qint64 headerLimit, qint64 bodyLimit);

    // The next bytes from the connection.
    State feed(QByteArrayView bytes);
    // The server closed the connection: a body without an announced end is complete.
    State closed();

    State state() const { return m_state; }
    int status() const { return m_status; }
    // The value of the first header with that name, letter case ignored; empty when none.
    QByteArray header(QByteArrayView name) const;
    const QByteArray &body() const { return m_body; }

private:
    enum class Part { StatusLine, Headers, ChunkSize, ChunkData, ChunkEnd, Trailers, Sized, ToClose };

    State fail();
    // A whole line from what is pending (without CR LF), when one is there.
    bool takeLine(QByteArray &line);
    bool headersDone();

    qint64 m_headerLimit;
    qint64 m_bodyLimit;
    qint64 m_headerBytes = 0;
    qint64 m_bodyBytes = 0;
    qint64 m_left = 0; // of a chunk, or of a body of announced length
    QByteArray m_pending;
    QByteArray m_body;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    int m_status = 0;
    Part m_part = Part::StatusLine;
    State m_state = State::Reading;
};
