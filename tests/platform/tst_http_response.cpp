// The update download reads its HTTP answer itself and counts every byte: whatever the server
// announces or sends, no more than the header and body limits is ever taken in.

#include "platform/http_response.h"

#include <QTest>

namespace {

constexpr qint64 HeaderLimit = 1024;
constexpr qint64 BodyLimit = 4096;

using State = HttpResponse::State;

// Feeds bytes in pieces of the given size; the state once the pieces run out or the reading ends.
State feedInPieces(HttpResponse &response, const QByteArray &bytes, qsizetype piece)
{
    for (qsizetype at = 0; at < bytes.size() && response.state() == State::Reading; at += piece)
        response.feed(QByteArrayView(bytes).sliced(at, qMin(piece, bytes.size() - at)));
    return response.state();
}

// How many bytes an endless source gave before the reading ended; -1 when it never ended.
qint64 takenOfEndless(HttpResponse &response, const QByteArray &start, const QByteArray &repeated)
{
    qint64 taken = start.size();
    response.feed(start);
    for (int i = 0; i < 1'000'000 && response.state() == State::Reading; ++i) {
        response.feed(repeated);
        taken += repeated.size();
    }
    return response.state() == State::Reading ? -1 : taken;
}

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void endlessSourcesAreCutOff_data();
    void endlessSourcesAreCutOff();
};

void TestHttpResponse::answers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closed"); // the server closes after the bytes
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    const QByteArray text = "\xBF-?2.1\xBF-?\r\n";
    QTest::newRow("length") << "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n" + text << false
                            << int(State::Complete) << 200 << text;
    QTest::newRow("length, more sent than announced")
        << "HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\n" + text << false << int(State::Complete) << 200
        << text.first(3);
    QTest::newRow("length, the connection closed early") << "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n"
            + text << true << int(State::Failed) << 200 << text;
    QTest::newRow("chunked") << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n" + text.first(4)
            + "\r\n7;ext=1\r\n" + text.sliced(4) + "\r\n0\r\nX-Trailer: 1\r\n\r\n"
                             << false << int(State::Complete) << 200 << text;
    QTest::newRow("chunked, LF alone")
        << "HTTP/1.1 200 OK\nTransfer-Encoding: Chunked\n\nb\n" + text + "\n0\n\n"
        << false << int(State::Complete) << 200 << text;
    QTest::newRow("chunked, cut short") << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nb\r\n" + text
                                        << true << int(State::Failed) << 200 << text;
    QTest::newRow("chunk without its line end")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n") << false
        << int(State::Failed) << 200 << QByteArray("ab");
    QTest::newRow("chunk size not a number")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << false
        << int(State::Failed) << 200 << QByteArray();
    QTest::newRow("until the connection closes")
        << "HTTP/1.0 200 OK\r\n\r\n" + text << true << int(State::Complete) << 200 << text;
    QTest::newRow("an interim answer first")
        << "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n" + text << false
        << int(State::Complete) << 200 << text;
    QTest::newRow("redirect") << QByteArray(
        "HTTP/1.1 302 Found\r\nLocation: /otro/actu.txt\r\nContent-Length: 0\r\n\r\n")
                              << false << int(State::Complete) << 302 << QByteArray();
    QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false
                                << int(State::Complete) << 204 << QByteArray();
    QTest::newRow("announced beyond the limit")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4097\r\n\r\nab") << false << int(State::Failed)
        << 200 << QByteArray();
    QTest::newRow("length not a number") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n")
                                         << false << int(State::Failed) << 200 << QByteArray();
    QTest::newRow("no HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n") << false << int(State::Failed) << 0
                             << QByteArray();
    QTest::newRow("header line without a colon") << QByteArray("HTTP/1.1 200 OK\r\nbroken\r\n\r\n") << false
                                                 << int(State::Failed) << 200 << QByteArray();
    QTest::newRow("headers at the limit")
        << "HTTP/1.1 200 OK\r\nX: " + QByteArray(HeaderLimit - 24, 'h') + "\r\n\r\nabc" << true
        << int(State::Complete) << 200 << QByteArray("abc");
    QTest::newRow("headers past the limit")
        << "HTTP/1.1 200 OK\r\nX: " + QByteArray(HeaderLimit - 23, 'h') + "\r\n\r\nabc" << true
        << int(State::Failed) << 200 << QByteArray();
    QTest::newRow("body at the limit") << "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(BodyLimit, 'b') << true
                                       << int(State::Complete) << 200 << QByteArray(BodyLimit, 'b');
    QTest::newRow("body past the limit") << "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(BodyLimit + 1, 'b') << true
                                         << int(State::Failed) << 200 << QByteArray(BodyLimit, 'b');
}

void TestHttpResponse::answers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closed);
    QFETCH(int, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    // However the bytes happen to arrive.
    for (const qsizetype piece : {bytes.size(), qsizetype(1), qsizetype(7)}) {
        HttpResponse response(HeaderLimit, BodyLimit);
        feedInPieces(response, bytes, piece);
        if (closed)
            response.closed();
        QCOMPARE(int(response.state()), state);
        QCOMPARE(response.status(), status);
        if (state == int(State::Complete))
            QCOMPARE(response.body(), body);
        if (status == 302)
            QCOMPARE(response.header("location"), QByteArray("/otro/actu.txt"));
    }
}

void TestHttpResponse::endlessSourcesAreCutOff_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("repeated");
    QTest::addColumn<qint64>("most"); // what the reading may take in at most before it gives up

    QTest::newRow("endless status line")
        << QByteArray("HTTP/1.1 200 ") << QByteArray(100, 'O') << HeaderLimit + 100;
    QTest::newRow("endless header line")
        << QByteArray("HTTP/1.1 200 OK\r\nX-Relleno: ") << QByteArray(100, 'a') << HeaderLimit + 100;
    QTest::newRow("endless header lines")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("X: y\r\n") << HeaderLimit + 6;
    QTest::newRow("endless chunked body")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        << "10\r\n" + QByteArray(16, 'c') + "\r\n"
        << 46 + BodyLimit + 22;
    QTest::newRow("endless chunk of announced size")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n800\r\n") << QByteArray(100, 'c')
        << 51 + BodyLimit + 100;
    QTest::newRow("endless empty chunk extensions")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0;") << QByteArray(100, 'e')
        << qint64(48 + 1024 + 100);
    QTest::newRow("endless body, announced small")
        << QByteArray("HTTP/1.1 200 OK\r\n\r\n") << QByteArray(100, 'b') << 19 + BodyLimit + 100;
}

void TestHttpResponse::endlessSourcesAreCutOff()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, repeated);
    QFETCH(qint64, most);
    HttpResponse response(HeaderLimit, BodyLimit);
    const qint64 taken = takenOfEndless(response, start, repeated);
    QCOMPARE(int(response.state()), int(State::Failed));
    QVERIFY2(taken <= most, qPrintable(QString::number(taken)));
    QVERIFY(response.body().size() <= BodyLimit);
}

QTEST_GUILESS_MAIN(TestHttpResponse)
#include "tst_http_response.moc"
