#include "password/password_file.h"

#include "password/password_secrets.h"
#include "platform/text_file.h"

#include <QFile>

#include <sys/stat.h>

namespace {
// The file and its twin are readable by their owner alone, whatever the umask and whatever mode an
// old file had: an old file holds the password in clear.
constexpr mode_t OwnerOnly = 0600;

// Lines an old file holds that are read: the password, the question, the answer.
constexpr qsizetype OldFormLines = 3;
constexpr qint64 Block = 1024 * 1024;

// The directory is joined with a plain slash: "unknown" stays a directory relative to the
// current one, as the system call that failed would leave it.
QString join(const QString &directory, const char *name)
{
    return directory + u'/' + QLatin1String(name);
}

// Counts the line ends of bytes from `from` on, up to the one that ends line number `wanted`;
// true, with `from` just after it, once it is found.
bool findLineEnd(const QByteArray &bytes, qsizetype &from, qsizetype &found, qsizetype wanted)
{
    while (found < wanted) {
        const qsizetype end = bytes.indexOf('\n', from);
        if (end < 0) {
            from = bytes.size();
            return false;
        }
        from = end + 1;
        ++found;
    }
    return true;
}
} // namespace

PasswordFile::PasswordFile(const QString &passwordDirectory)
    : m_directory(passwordDirectory)
{ }

QString PasswordFile::path() const
{
    return join(m_directory, "orvpw.ntd");
}

QString PasswordFile::twinPath() const
{
    return join(m_directory, "orvpw.ntd2");
}

std::optional<QByteArray> PasswordFile::read() const
{
    QFile file;
    if (!RegularFile::open(file, path()))
        return std::nullopt;
    QByteArray bytes = file.read(PasswordSecrets::maxFileBytes() + 1);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (bytes.size() <= PasswordSecrets::maxFileBytes())
        return bytes;

    // Larger than any new file: the old reader's three lines, read a block at a time.
    qsizetype scanned = 0;
    qsizetype lines = 0;
    while (!findLineEnd(bytes, scanned, lines, OldFormLines)) {
        const QByteArray more = file.read(qMin<qint64>(Block, TextFile::MostBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError)
            return std::nullopt;
        if (more.isEmpty())
            return bytes; // the end of the file: its last line has no line end
        bytes += more;
        if (bytes.size() > TextFile::MostBytes)
            return std::nullopt;
    }
    bytes.truncate(scanned);
    return bytes;
}

bool PasswordFile::write(const QByteArray &bytes) const
{
    return TextFile::replaceThroughTwin(path(), twinPath(), bytes, OwnerOnly);
}

void PasswordFile::remove() const
{
    QFile::remove(path());
}

bool PasswordFile::present() const
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path()).constData(), &status) == 0;
}

std::optional<QByteArray> PasswordFile::saved() const
{
    QFile file;
    if (!RegularFile::open(file, path()))
        return std::nullopt;
    QByteArray bytes = file.read(TextFile::MostBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > TextFile::MostBytes)
        return std::nullopt;
    return bytes;
}

bool PasswordFile::putBack(const std::optional<QByteArray> &saved) const
{
    if (!saved)
        return QFile::remove(path()) || !present();
    return TextFile::replaceThroughTwin(path(), twinPath(), *saved, OwnerOnly);
}
