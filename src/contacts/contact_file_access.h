#pragma once

#include <QByteArray>
#include <QString>

class FileAttributes;
class QFile;

// What every operation on the contact file (and its backup) does around its work.
namespace ContactFileAccess {

inline const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// While an operation runs the file is normal; afterwards it is hidden again, whatever happened.
class Unhidden
{
public:
    Unhidden(FileAttributes &attributes, QString path);
    ~Unhidden();
    Unhidden(const Unhidden &) = delete;
    Unhidden &operator=(const Unhidden &) = delete;

private:
    FileAttributes &m_attributes;
    QString m_path;
};

enum class Opened { Yes, No, TooLarge };

// Opens a contact file (or its backup) for reading: a regular file no larger than the budget.
Opened open(QFile &file, const QString &path);

} // namespace ContactFileAccess
