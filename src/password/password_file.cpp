#include "password/password_file.h"

#include "platform/text_file.h"
#include "platform/twin_writer.h"

#include <QFile>

#include <sys/stat.h>

namespace {
// The values are in clear: the file and its twin are readable by their owner alone, whatever the
// umask and whatever mode an old file had.
constexpr mode_t OwnerOnly = 0600;

// The directory is joined with a plain slash: "unknown" stays a directory relative to the
// current one, as the system call that failed would leave it.
QString join(const QString &directory, const char *name)
{
    return directory + u'/' + QLatin1String(name);
}
} // namespace

PasswordFile::PasswordFile(const QString &passwordDirectory)
    : m_directory(passwordDirectory)
{
}

QString PasswordFile::path() const
{
    return join(m_directory, "orvpw.ntd");
}

QString PasswordFile::twinPath() const
{
    return join(m_directory, "orvpw.ntd2");
}

bool PasswordFile::writeNew(const Values &values) const
{
    const QByteArray bytes = TextFile::encodeLines({values.password, values.question, values.answer});
    return TextFile::replaceThroughTwin(path(), twinPath(), bytes, OwnerOnly);
}

std::optional<QString> PasswordFile::readPassword() const
{
    const std::optional<QStringList> lines = TextFile::readLines(path(), 1);
    if (!lines || lines->isEmpty())
        return std::nullopt;
    return lines->constFirst();
}

std::optional<PasswordFile::Values> PasswordFile::readAll() const
{
    const std::optional<QStringList> lines = TextFile::readLines(path(), 3);
    if (!lines)
        return std::nullopt;
    Values values;
    values.password = lines->value(0);
    values.question = lines->value(1);
    values.answer = lines->value(2);
    return values;
}

bool PasswordFile::replacePassword(const QString &newPassword) const
{
    std::optional<QStringList> lines = TextFile::readLines(path(), 3);
    if (!lines || lines->isEmpty())
        return false;
    (*lines)[0] = newPassword;
    return TextFile::replaceThroughTwin(path(), twinPath(), TextFile::encodeLines(*lines), OwnerOnly);
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
