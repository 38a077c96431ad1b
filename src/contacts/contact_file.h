#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class FileAttributes;

// The contact file "data.orv" in the program directory: one record line per contact, in the
// order they were added, Windows-1252, every line ended by CR LF, Hidden while at rest.
//
// Every operation opens and closes what it uses. A change is written to the twin "data.orv2",
// flushed to disk and renamed over "data.orv" in one step, so that a crash at any moment leaves
// either the old file or the new one. Lines the program cannot parse are copied byte for byte.
class ContactFile
{
public:
    ContactFile(const QString &programDirectory, FileAttributes &attributes);

    QString path() const;     // <dir>/data.orv
    QString twinPath() const; // <dir>/data.orv2

    // Makes sure "data.orv" exists: a surviving twin from an interrupted rewrite becomes the
    // file, otherwise an empty file is created. False when neither can be done.
    bool ensureExists();

    // The keys of all lines, in file order. Nothing when the file cannot be read.
    std::optional<QStringList> readKeys() const;

    // The first line whose key equals key exactly (letter case included).
    // Nothing when no line has that key or the file cannot be read.
    std::optional<QString> findByKey(const QString &key) const;

    // Appends one record line. False, with the file unchanged, when it cannot be written.
    bool append(const QString &line);

    // Rewrites the file with the first line whose key equals the key of oldLine replaced by
    // newLine; every other line is copied unchanged. False, with the file unchanged, on failure.
    // Text after the replaced line's 18th separator, which no box shows, is kept after newLine.
    bool replaceByKey(const QString &oldLine, const QString &newLine);

    // Rewrites the file without the lines equal to line. False, with the file unchanged, on
    // failure.
    bool removeEqual(const QString &line);

    // Backup and restore: "data.bak" beside the file.
    QString backupPath() const;
    bool backup();  // copies data.orv to data.bak
    bool restore(); // puts a complete copy of data.bak in place of data.orv in one step

private:
    QString m_directory;
    FileAttributes &m_attributes;
};
