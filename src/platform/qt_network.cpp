// The network side of the desktop seam: whether a connection is up, and the bounded download of
// the update information.

#include "platform/qt_platform.h"

#include "platform/http_response.h"
#include "platform/text_file.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

bool QtNetwork::isConnected()
{
    if (QNetworkInformation::loadDefaultBackend()) {
        if (QNetworkInformation *info = QNetworkInformation::instance()) {
            const auto reachability = info->reachability();
            if (reachability != QNetworkInformation::Reachability::Unknown)
                return reachability == QNetworkInformation::Reachability::Online
                    || reachability == QNetworkInformation::Reachability::Site;
        }
    }
    // Without a backend: an interface that is up and running, not the loopback, and has an
    // address that reaches beyond the link (a link-local one alone means nothing was configured).
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (!address.isNull() && !address.isLoopback() && !address.isLinkLocal())
                return true;
        }
    }
    return false;
}

namespace {

// What Qt may hold unread from the connection, and what one read takes.
constexpr qint64 ReadBlock = 16 * 1024;
constexpr int MostRedirects = 5;

// One GET on a connection of its own, read into response until it is complete, fails or the
// deadline passes. True when the response is complete.
bool fetch(const QUrl &url, const QDeadlineTimer &deadline, HttpResponse &response)
{
    const bool secure = url.scheme() == u"https";
    if ((!secure && url.scheme() != u"http") || url.host().isEmpty() || deadline.hasExpired())
        return false;
    std::unique_ptr<QTcpSocket> socket
        = secure ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    socket->setReadBufferSize(ReadBlock);

    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    const QByteArray request = "GET " + target
        + " HTTP/1.1\r\nHost: " + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1()
        + "\r\nUser-Agent: Orvalia\r\nAccept: */*\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n";

    QEventLoop loop;
    bool over = false;
    const auto finish = [&] {
        over = true;
        loop.quit();
    };
    const auto take = [&] {
        while (response.state() == HttpResponse::State::Reading && socket->bytesAvailable() > 0)
            response.feed(socket->read(ReadBlock));
        if (response.state() != HttpResponse::State::Reading)
            finish();
    };
    const auto closed = [&] {
        take();
        response.closed();
        finish();
    };
    if (secure)
        QObject::connect(
            static_cast<QSslSocket *>(socket.get()), &QSslSocket::encrypted, &loop, &QEventLoop::quit);
    else
        QObject::connect(socket.get(), &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(socket.get(), &QTcpSocket::readyRead, &loop, take);
    QObject::connect(socket.get(), &QTcpSocket::disconnected, &loop, closed);
    QObject::connect(
        socket.get(), &QTcpSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                closed();
            else
                finish();
        });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, finish);
    timer.start(std::chrono::milliseconds(qMax<qint64>(deadline.remainingTime(), 0)));

    if (secure)
        static_cast<QSslSocket *>(socket.get())->connectToHostEncrypted(url.host(), quint16(url.port(443)));
    else
        socket->connectToHost(url.host(), quint16(url.port(80)));
    // Waited for here, but never beyond the deadline: first the connection, then the answer.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!over && socket->state() == QAbstractSocket::ConnectedState) {
        socket->write(request);
        take();
        if (!over)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    socket->abort();
    return response.state() == HttpResponse::State::Complete;
}

} // namespace

bool QtNetwork::download(const QUrl &url, const QString &localFile)
{
    const QDeadlineTimer deadline(timeLimitMs);
    QUrl current = url;
    for (int redirects = 0;; ++redirects) {
        HttpResponse response(headerLimit, sizeLimit);
        if (!fetch(current, deadline, response))
            return false;
        const int status = response.status();
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            const QUrl next = current.resolved(QUrl::fromEncoded(response.header("Location")));
            if (redirects >= MostRedirects || !next.isValid()
                || (next.scheme() != u"https" && (current.scheme() == u"https" || next.scheme() != u"http")))
                return false;
            current = next;
            continue;
        }
        if (status != 200)
            return false;
        // Made afresh: an old copy, or a link someone put at its name, is not written through.
        return TextFile::writeNew(localFile, response.body());
    }
}
