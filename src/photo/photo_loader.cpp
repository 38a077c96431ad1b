#include "photo/photo_loader.h"

#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QImageReader>

#include <cerrno>

namespace PhotoLoader {

namespace {

// The picture file, opened as a regular file only: a FIFO or a device named as a photo must not
// make the window wait. False, with errno, when it cannot be.
bool openPicture(QFile &file, const QString &path)
{
    return !path.isEmpty() && RegularFile::open(file, QDir::fromNativeSeparators(path));
}

} // namespace

Result load(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile file;
    if (!openPicture(file, path)) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {Status::Missing, {}};
        return {Status::NotAPicture, {}};
    }
    // The content decides, not the name: a ".jpg" holding a bitmap loads all the same.
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {Status::NotAPicture, {}};
    return {Status::Loaded, std::move(image)};
}

bool isPicture(const QString &path)
{
    QFile file;
    if (!openPicture(file, path))
        return false;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    return reader.canRead();
}

} // namespace PhotoLoader
