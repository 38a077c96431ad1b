#pragma once

// What the file-fault suites look at: every file of the program and password directories, and
// the process's open file descriptors.

#include "fake_platform.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>

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

// Adds every file and directory under root, its path prefixed.
inline void addTree(Snapshot &files, const QString &root, const QString &prefix = {})
{
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(prefix + QDir(root).relativeFilePath(path),
            it.fileInfo().isDir() ? DirectoryMark : readBytes(path));
    }
}
