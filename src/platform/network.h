#pragma once

#include <QString>
#include <QUrl>

// The little network the program needs: is there a connection, and fetch one small file.
class Network
{
public:
    virtual ~Network() = default;

    // The most a download brings: the update information is a few lines.
    static constexpr qint64 MostBytes = 64 * 1024;

    virtual bool isConnected() = 0;

    // Downloads url into localFile and waits for it. True when the whole file arrived.
    [[nodiscard]] virtual bool download(const QUrl &url, const QString &localFile) = 0;
};
