#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The password file "orvpw.ntd" in the password directory, as bytes on the disk: what it holds is
// PasswordSecrets' business. It is read only when it is a regular file, never without a bound, and
// written through its twin "orvpw.ntd2" in one step, never through a link, readable and writable by
// its owner alone.
class PasswordFile
{
public:
    explicit PasswordFile(const QString &passwordDirectory);

    QString path() const; // <dir>/orvpw.ntd
    QString twinPath() const; // <dir>/orvpw.ntd2

    // What a reader needs of the file: all of it when it is no larger than the new form can be,
    // otherwise its first three lines (all an old file holds that is read; a last line without a
    // line end counts). Nothing when it cannot be read: missing, no regular file, or a larger file
    // with more than TextFile::MostBytes before the end of its third line.
    std::optional<QByteArray> read() const;

    // Replaces the file with these bytes in one step. False, with any old file unchanged, when it
    // cannot be written.
    [[nodiscard]] bool write(const QByteArray &bytes) const;

    // Deletes the file; a missing file is no error.
    void remove() const;

    // Whether anything (a file, a link, anything else) stands at the file's name.
    bool present() const;

    // The file's bytes as they are (nothing when it cannot be read: missing, no regular file, more
    // than TextFile::MostBytes), and putting such a copy back in one step (nothing: no file), so
    // that a caller can undo a write.
    std::optional<QByteArray> saved() const;
    [[nodiscard]] bool putBack(const std::optional<QByteArray> &saved) const;

private:
    QString m_directory;
};
