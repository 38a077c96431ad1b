#include "password/password_file.h"

#include "platform/text_file.h"

#include <QFile>

namespace {
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
    return TextFile::replaceThroughTwin(path(), twinPath(), bytes, /*ownerOnly=*/true);
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
    return TextFile::replaceThroughTwin(path(), twinPath(), TextFile::encodeLines(*lines),
                                        /*ownerOnly=*/true);
}

void PasswordFile::remove() const
{
    QFile::remove(path());
}

std::optional<QByteArray> PasswordFile::saved() const
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool PasswordFile::putBack(const std::optional<QByteArray> &saved) const
{
    if (!saved)
        return QFile::remove(path()) || !QFile::exists(path());
    return TextFile::replaceThroughTwin(path(), twinPath(), *saved, /*ownerOnly=*/true);
}
