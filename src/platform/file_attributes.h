#pragma once

#include <QString>

// Where Hidden is kept: the extended attribute Samba and Wine keep the DOS attributes in.
inline constexpr char HiddenAttributeName[] = "user.DOSATTRIB";

// The Hidden attribute of a file. Failures are ignored: a file system that cannot keep the
// attribute simply shows the file.
class FileAttributes
{
public:
    virtual ~FileAttributes() = default;

    virtual void setNormal(const QString &path) = 0;
    virtual void setHidden(const QString &path) = 0;
};
