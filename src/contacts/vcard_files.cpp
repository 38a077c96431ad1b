#include "contacts/vcard_files.h"

#include "contacts/contact_record.h"
#include "platform/text_file.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace VCardFiles {

namespace {

// A picture of more pixels than this is not decoded: a few bytes can claim a giant picture.
constexpr qint64 MaxPixels = qint64(50) << 20;
// A JPEG up to this size is embedded as it is when it is small enough in pixels.
constexpr qint64 MaxEmbeddedAsIs = qint64(1) << 20;
constexpr int JpegQuality = 90;

// The picture on white: JPEG has no transparency.
QImage opaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image;
    QImage canvas(image.size(), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, image);
    return canvas;
}

QByteArray jpegOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!opaque(image).save(&buffer, "JPEG", JpegQuality))
        return {};
    return bytes;
}

bool sizeAcceptable(QSize size)
{
    return size.isValid() && !size.isEmpty() && qint64(size.width()) * size.height() <= MaxPixels;
}

// The picture's bytes as JPEG: a JPEG as it is, anything else decoded and encoded.
QByteArray asJpeg(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // A JPEG says so in its first bytes: straight to its reader rather than asking every one.
    const bool jpeg = bytes.startsWith("\xFF\xD8\xFF");
    QImageReader reader(&buffer, jpeg ? QByteArray("jpeg") : QByteArray());
    reader.setDecideFormatFromContent(!jpeg);
    if (!reader.canRead() || !sizeAcceptable(reader.size()))
        return {};
    if (jpeg)
        return bytes;
    const QImage image = reader.read();
    return image.isNull() ? QByteArray() : jpegOf(image);
}

// "Gómez Ana" -> "Gomez_Ana": letters and digits of ASCII, anything else an underscore.
QString baseName(const QString &hint)
{
    const QString decomposed = hint.normalized(QString::NormalizationForm_KD);
    QString base;
    for (QChar c : decomposed) {
        if (c.isMark())
            continue;
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        if (plain)
            base += c;
        else if (!base.isEmpty() && !base.endsWith(u'_'))
            base += u'_';
        if (base.size() >= 60)
            break;
    }
    while (base.endsWith(u'_'))
        base.chop(1);
    return base.isEmpty() ? QStringLiteral("foto") : base;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// The directory, made owner-only when missing (in a folder that exists), opened without following
// a link.
int openDirectory(const QString &directory)
{
    if (!makePrivateDirectory(directory, Parents::MustExist))
        return -1;
    return ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

QString savePhoto(const QString &directory, const QString &hint, const QByteArray &bytes)
{
    // The path goes into the contact file, which cannot hold every character.
    for (QChar c : directory) {
        if (!ContactRecord::isStorable(c))
            return {};
    }
    const QByteArray jpeg = asJpeg(bytes);
    if (jpeg.isEmpty())
        return {};
    const int dir = openDirectory(directory);
    if (dir < 0)
        return {};
    const QString base = baseName(hint);
    QString saved;
    for (int attempt = 1; attempt <= 1100 && saved.isEmpty(); ++attempt) {
        QString name = base;
        if (attempt > 1000)
            name += u'_' + QString::number(QRandomGenerator::global()->generate(), 16);
        else if (attempt > 1)
            name += u'_' + QString::number(attempt);
        name += QStringLiteral(".jpg");
        const QByteArray encoded = QFile::encodeName(name);
        const int fd
            = ::openat(dir, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, jpeg);
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlinkat(dir, encoded.constData(), 0);
            break;
        }
        saved = directory + u'/' + name;
    }
    ::close(dir);
    return saved;
}

bool syncPhotos(const QString &directory)
{
    const int dir
        = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return false;
    // One call for every picture of the import rather than one per file.
    const bool synced = ::syncfs(dir) == 0;
    ::close(dir);
    return synced;
}

QByteArray embeddablePhoto(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile file;
    if (!RegularFile::open(file, path) || file.size() > MaxPictureBytes)
        return {};
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!reader.canRead() || !sizeAcceptable(size))
        return {};
    const bool small = size.width() <= EmbeddedSide && size.height() <= EmbeddedSide;
    if (small && reader.format() == "jpeg" && file.size() <= MaxEmbeddedAsIs && file.seek(0))
        return file.read(MaxEmbeddedAsIs);
    if (!small)
        reader.setScaledSize(size.scaled(EmbeddedSide, EmbeddedSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > EmbeddedSide || image.height() > EmbeddedSide)
        image = image.scaled(EmbeddedSide, EmbeddedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return jpegOf(image);
}

} // namespace VCardFiles
