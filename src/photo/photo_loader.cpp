#include "photo/photo_loader.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace PhotoLoader {

Result load(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString localPath = QDir::fromNativeSeparators(path);
    const QFileInfo info(localPath);
    if (!info.exists())
        return {Status::Missing, {}};
    if (!info.isFile())
        return {Status::NotAPicture, {}};
    // The content decides, not the name: a ".jpg" holding a bitmap loads all the same.
    QImageReader reader(localPath);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {Status::NotAPicture, {}};
    return {Status::Loaded, std::move(image)};
}

bool isPicture(const QString &path)
{
    const QString localPath = QDir::fromNativeSeparators(path);
    if (path.isEmpty() || !QFileInfo(localPath).isFile())
        return false;
    QImageReader reader(localPath);
    reader.setDecideFormatFromContent(true);
    return reader.canRead();
}

} // namespace PhotoLoader
