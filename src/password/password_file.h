#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The password file "orvpw.ntd" in the password directory: three lines, each ended by CR LF,
// Windows-1252: the password, the secret question, the secret answer, exactly as typed.
// The values are stored in clear, so the file is readable and writable by its owner alone.
class PasswordFile
{
public:
    struct Values
    {
        QString password;
        QString question;
        QString answer;
    };

    explicit PasswordFile(const QString &passwordDirectory);

    QString path() const;     // <dir>/orvpw.ntd
    QString twinPath() const; // <dir>/orvpw.ntd2

    // Creates or replaces the file with the three values. False, with any old file unchanged,
    // when it cannot be written.
    bool writeNew(const Values &values) const;

    // Line 1. Nothing when the file cannot be read or has no first line.
    std::optional<QString> readPassword() const;

    // Lines 1 to 3; a missing line is empty and later lines are ignored. Nothing when the file
    // cannot be read.
    std::optional<Values> readAll() const;

    // Line 1 becomes newPassword, lines 2 and 3 are kept, later lines dropped. The new file
    // takes the old one's place in one step. False, with the file unchanged, on failure.
    bool replacePassword(const QString &newPassword) const;

    // Deletes the file; a missing file is no error.
    void remove() const;

    // Whether anything (a file, a link, anything else) stands at the file's name.
    bool present() const;

    // The file's bytes as they are (nothing when it cannot be read: missing, no regular file, more
    // than TextFile::MostBytes), and putting such a copy back in one step (nothing: no file), so
    // that a caller can undo a writeNew.
    std::optional<QByteArray> saved() const;
    bool putBack(const std::optional<QByteArray> &saved) const;

    // Two values are equal only character for character: letter case and blanks count.
    static bool matches(const QString &stored, const QString &typed) { return stored == typed; }

private:
    QString m_directory;
};
