#pragma once

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cstring>

// A device, open for reading, that hands out what it holds a few bytes at a time, so that lines
// and cards cross the readers' block boundaries anywhere. As a pipe it is sequential: it cannot
// seek and tells no size.
class TrickleDevice : public QIODevice
{
public:
    enum class Kind { Pipe, File };

    TrickleDevice(QByteArray bytes, qint64 most, Kind kind = Kind::File)
        : m_bytes(std::move(bytes))
        , m_most(most)
        , m_kind(kind)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return m_kind == Kind::Pipe; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 n = std::min<qint64>({size, m_most, m_bytes.size() - m_position});
        std::memcpy(data, m_bytes.constData() + m_position, size_t(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_most;
    Kind m_kind;
    qint64 m_position = 0;
};
