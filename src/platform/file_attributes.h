#pragma once

#include <QString>

// The Hidden attribute of a file. Failures are ignored: a file system that cannot keep the
// attribute simply shows the file.
class FileAttributes
{
public:
    virtual ~FileAttributes() = default;

    virtual void setNormal(const QString &path) = 0;
    virtual void setHidden(const QString &path) = 0;
};
