#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// A new version of a file, written beside it under the name of its twin, flushed to the disk and
// then renamed over it in one step, so that the file holds its old content or its new one at every
// instant.
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
    ~TwinWriter(); // an unfinished twin is removed
    TwinWriter(const TwinWriter &) = delete;
    TwinWriter &operator=(const TwinWriter &) = delete;

    // Makes the twin with these permission bits. With attributesOf, the user.* extended attributes
    // of that file come along, all but the hidden flag, which the program sets itself.
    bool create(mode_t mode, const QString &attributesOf = {});

    bool write(QByteArrayView bytes);
    // Copies length bytes of the open file fd from offset; false on a read error or a short file.
    bool copyFrom(int fd, qint64 offset, qint64 length);
    // Copies what remains of fd, from its current position to its end.
    bool copyRest(int fd);

    // Flushes the twin to the disk and renames it over the target. On failure the twin is removed
    // and the target is untouched.
    bool commit();
    void discard();

private:
    bool flush();

    QString m_target;
    QString m_twin;
    QByteArray m_buffer;
    int m_fd = -1;
    bool m_failed = false;
};

namespace FileMode {

// What a file the program makes from nothing gets: readable and writable by its owner alone.
inline constexpr mode_t New = 0600;

// The permission bits of a file (following links), or fallback when it cannot be looked at.
mode_t of(const QString &path, mode_t fallback = New);

} // namespace FileMode
