#pragma once

#include <QByteArray>
#include <QString>

// The files an import or an export touches besides the contact file: the vCard file the user
// chose and the pictures of the contacts. Every one is hostile until checked.
namespace VCardFiles {

// Pictures larger than this are not read.
inline constexpr qint64 MaxPictureBytes = qint64(64) << 20;
// The longer side of a picture embedded in a card.
inline constexpr int EmbeddedSide = 512;

// Saves the bytes of a picture as a JPEG file of its own in directory, which is made (owner
// only) when missing. The name comes from hint ("Gómez Ana" gives "Gomez_Ana.jpg", then
// "Gomez_Ana_2.jpg" and so on): a file that exists is never overwritten and no link is ever
// followed, the directory's own name included. A JPEG is kept byte for byte; any other picture
// is converted. The new file is readable by its owner alone. The full path, or empty when the
// bytes are no picture, the path could not be kept in the contact file or the file cannot be
// written.
QString savePhoto(const QString &directory, const QString &hint, const QByteArray &bytes);

// Writes what the pictures saved so far hold to the disk.
[[nodiscard]] bool syncPhotos(const QString &directory);

// The JPEG to embed in a card for the picture at path: the file itself when it is a JPEG of at
// most EmbeddedSide pixels either way, otherwise the picture scaled down to that and encoded.
// Empty when path names no regular file that can be read as a picture.
QByteArray embeddablePhoto(const QString &path);

} // namespace VCardFiles
