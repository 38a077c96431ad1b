#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// A new version of a file, written beside it under the name of its twin, flushed to the disk and
// then renamed over it in one step, the folder flushed after, so that the file holds its old
// content or its new one at every instant. Every file the program replaces goes through here.
//
// The twin is always made afresh: a leftover twin (a file, or a link someone planted) is removed
// first, and the new one is created with O_EXCL and O_NOFOLLOW, so that no write ever goes through
// a link into a file elsewhere. Anything else in the twin's place (a directory, a FIFO, a device)
// is left alone and the write fails. The twin gets exactly the permission bits asked for, whatever
// the umask, and can take the user.* extended attributes of another file.
class TwinWriter
{
public:
    // The steps that make a change durable. An observer hears of each just before it is taken and
    // just after: the crash test kills its driver there.
    enum class Step { Write, Sync, Rename, DirectorySync };
    using StepObserver = void (*)(Step step, bool done);
    static void setStepObserver(StepObserver observer);
    static void announce(Step step, bool done);

    TwinWriter(QString target, QString twin);
    ~TwinWriter(); // an unfinished twin the writer made is removed
    TwinWriter(const TwinWriter &) = delete;
    TwinWriter &operator=(const TwinWriter &) = delete;

    // What stands at the twin's name before it is made: beside the program's own files a file or
    // a link there is a twin some run left behind, and goes; beside a file the user chose it may be
    // the user's, and stays (create() then fails with errno EEXIST).
    enum class Leftover { Remove, Keep };

    // Makes the twin with these permission bits. With attributesOf, the user.* extended attributes
    // of that file come along, all but the hidden flag, which the program sets itself.
    [[nodiscard]] bool create(
        mode_t mode, const QString &attributesOf = {}, Leftover leftover = Leftover::Remove);

    // Takes up a twin that is already written (one a change cut short left behind, or a working
    // copy) so that commit() puts it in place. Only a regular file is taken, never through a link,
    // and the open never blocks. An adopted twin is never removed: when its commit fails, or it is
    // discarded, it stays with what it holds.
    [[nodiscard]] bool adopt();
    // The open twin, for a look at what an adopted one holds; -1 when none is open.
    int handle() const { return m_fd; }

    [[nodiscard]] bool write(QByteArrayView bytes);
    // Copies length bytes of the open file fd from offset; false on a read error or a short file.
    [[nodiscard]] bool copyFrom(int fd, qint64 offset, qint64 length);
    // Copies what remains of fd, from its current position to its end.
    [[nodiscard]] bool copyRest(int fd);

    // Flushes the twin to the disk, renames it over the target and flushes the folder. On failure
    // the target is untouched and a twin the writer made is removed.
    [[nodiscard]] bool commit();
    // Closes the twin; one the writer made is removed.
    void discard();

    // Flushes a folder's list of names to the disk, so that a name just made or changed in it
    // stays after a crash. Failures are not reported: the change itself is done.
    static void syncDirectory(const QString &directory);

private:
    bool flush();
    bool writeOut(QByteArrayView bytes);
    void removeTwin();

    // Renames from over target in one step and makes the new name durable. False, with both files
    // as they were, when the rename fails or target is neither a file nor a link (a directory, a
    // FIFO).
    static bool renameOver(const QString &from, const QString &target);

    QString m_target;
    QString m_twin;
    QByteArray m_buffer;
    int m_fd = -1;
    qint64 m_written = 0; // bytes of the twin written so far
    bool m_failed = false;
    bool m_adopted = false;
};

namespace FileMode {

// What a file the program makes from nothing gets: readable and writable by its owner alone.
inline constexpr mode_t New = 0600;

// The permission bits of a file (following links), or fallback when it cannot be looked at.
mode_t of(const QString &path, mode_t fallback = New);
// The same of an open file.
mode_t of(int fd, mode_t fallback = New);

} // namespace FileMode
