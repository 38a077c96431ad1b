#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
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
//
// The file is read as if hostile: only a regular file is opened, a file larger than the memory
// budget is refused, and a line longer than LongestShown is never held whole: it is listed by
// its key cut to LongestKey characters, and rewrites read, compare and copy it piece by piece.
class ContactFile
{
public:
    static constexpr qsizetype LongestShown = 64 * 1024;
    static constexpr qsizetype LongestKey = 1024;

    // A contact file larger than this is refused, and so is one whose list would need more: a
    // quarter of the machine's memory (or of the process's memory limit, when it is lower).
    static qint64 memoryBudget();
    static void setMemoryBudget(qint64 bytes); // 0: the machine's again

    ContactFile(const QString &programDirectory, FileAttributes &attributes);

    QString path() const; // <dir>/data.orv
    QString twinPath() const; // <dir>/data.orv2

    enum class Start {
        Found, // data.orv was there
        Created, // an empty data.orv was made
        TwinAdopted, // a whole twin left by a change cut short became data.orv
        TwinKept, // a cut twin was kept aside under another name, and an empty data.orv made
    };

    // Makes sure "data.orv" exists. When it is missing, a twin that ends with a whole line takes its
    // place; a cut one is renamed (its new name in keptAs) and an empty file is created. False when
    // none of this can be done, or when something that is no file stands in data.orv's place.
    [[nodiscard]] bool ensureExists(Start *start = nullptr, QString *keptAs = nullptr);

    enum class Failure { None, Unreadable, TooLarge };

    // The keys of all lines, in file order. Nothing when the file cannot be read or is too large.
    std::optional<QStringList> readKeys(Failure *failure = nullptr) const;

    // The first line whose key equals key exactly (letter case included). A line too long to show
    // is found by the key it is listed under; its text is read only when it has at most longest
    // bytes.
    struct Match
    {
        QString line; // empty unless whole
        qint64 length = 0; // in bytes, without the line end
        bool whole = false;
    };
    std::optional<Match> find(const QString &key, qint64 longest = LongestShown) const;

    // The whole first line with that key, of any length the memory holds. Nothing when no line has
    // that key or the file cannot be read.
    std::optional<QString> findByKey(const QString &key) const;

    // Appends one record line. False, with the file unchanged, when it cannot be written.
    [[nodiscard]] bool append(const QString &line);
    // Appends record lines already in the file's bytes, each ended by CR LF (an import's), in one
    // rewrite: the file holds all of them or none. They may come in pieces, which are written one
    // after another. Nothing to append writes nothing.
    [[nodiscard]] bool appendRecords(const QList<QByteArrayView> &recordLines);

    // Every line but the empty ones, whole, in file order: the lines of the list's keys. Nothing
    // when the file cannot be read or its text would not fit the memory budget.
    std::optional<QStringList> readLines(Failure *failure = nullptr) const;

    // The same lines as the file holds them (Windows-1252), with the key the list gives each: its
    // key, cut when the line is too long to show.
    struct Records
    {
        QByteArray bytes; // the whole file
        QList<qsizetype> starts; // where each line starts in bytes
        QList<qsizetype> ends; // and where it ends, before its line end
        QStringList keys;

        qsizetype count() const { return ends.size(); }
        QByteArrayView line(qsizetype index) const;
    };
    std::optional<Records> readRecords(Failure *failure = nullptr) const;

    // Rewrites the file with the first line whose key equals the key of oldLine replaced by
    // newLine; every other line is copied unchanged. False, with the file unchanged, on failure.
    // Text after the replaced line's 18th separator, which no box shows, is kept after newLine.
    [[nodiscard]] bool replaceByKey(const QString &oldLine, const QString &newLine);

    // Rewrites the file without the lines equal to line. False, with the file unchanged, on
    // failure.
    [[nodiscard]] bool removeEqual(const QString &line);

    // Backup and restore: "data.bak" beside the file.
    QString backupPath() const;
    // A replaced file's permission bits and user.* extended attributes stay; a first backup, or a
    // restore with no data.orv, takes those of the file it copies.
    [[nodiscard]] bool backup(); // copies data.orv to data.bak
    [[nodiscard]] bool restore(); // puts a complete copy of data.bak in place of data.orv in one step

private:
    QString m_directory;
    FileAttributes &m_attributes;
};
