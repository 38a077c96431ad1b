#pragma once

#include <QImage>
#include <QString>

// A contact's photo is only the path of a picture file the user keeps somewhere; the program
// never copies it. Loading tells apart a file (or one of its folders) that is gone, which the
// user is told about, from a file that is there but holds no picture we can read.
namespace PhotoLoader {

enum class Status {
    Empty, // no path: the empty picture
    Loaded, // image holds the picture
    Missing, // the file or a folder of its path does not exist
    NotAPicture, // the path names something that cannot be read as a picture
};

struct Result
{
    Status status = Status::Empty;
    QImage image;
};

Result load(const QString &path);

// Whether path names an existing file whose content is a picture we can read; only the header
// is looked at.
bool isPicture(const QString &path);

} // namespace PhotoLoader
