#pragma once

// What the file-fault suites look at: every file of the program and password directories, and
// the process's open file descriptors.

#include "fake_platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <sys/stat.h>
#include <unistd.h>

// What a snapshot records for a directory.
inline const QByteArray DirectoryMark = QByteArrayLiteral("<directory>");

// Paths relative to a case's root, which holds the program and password directories.
inline const QString DataOrv = QStringLiteral("program/data.orv");
inline const QString DataTwin = QStringLiteral("program/data.orv2");
inline const QString DataBak = QStringLiteral("program/data.bak");
inline const QString DataBakTwin = QStringLiteral("program/data.bak2");
inline const QString AgendaOpt = QStringLiteral("program/Agenda.opt");
inline const QString AgendaOpt2 = QStringLiteral("program/Agenda.opt2");
inline const QString AgendaOpt3 = QStringLiteral("program/Agenda.opt3");
inline const QString Orvpw = QStringLiteral("password/orvpw.ntd");
inline const QString OrvpwTwin = QStringLiteral("password/orvpw.ntd2");

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

// Every file and directory by relative path, with its bytes.
using Snapshot = QMap<QString, QByteArray>;

// What a snapshot records for one entry, looked at without opening anything but a regular file: a
// link by where it points, a FIFO or a device by its kind, a large file by its size and digest.
inline QByteArray entryOf(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(name.constData(), &status) != 0)
        return QByteArrayLiteral("<gone>");
    if (S_ISDIR(status.st_mode))
        return DirectoryMark;
    if (S_ISLNK(status.st_mode)) {
        char target[4096] = {};
        const ssize_t size = ::readlink(name.constData(), target, sizeof target - 1);
        return "<link to " + QByteArray(target, qMax<ssize_t>(size, 0)) + '>';
    }
    if (S_ISFIFO(status.st_mode))
        return QByteArrayLiteral("<fifo>");
    if (!S_ISREG(status.st_mode))
        return QByteArrayLiteral("<device or socket>");
    if (status.st_size > 16 * 1024 * 1024) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
            return QByteArrayLiteral("<unreadable>");
        return "<" + QByteArray::number(qint64(status.st_size)) + " bytes, " + hash.result().toHex() + '>';
    }
    return readBytes(path);
}

// Adds every file and directory under root, its path prefixed.
inline void addTree(Snapshot &files, const QString &root, const QString &prefix = {})
{
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(prefix + QDir(root).relativeFilePath(path), entryOf(path));
    }
}
