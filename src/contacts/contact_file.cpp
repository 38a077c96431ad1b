#include "contacts/contact_file.h"

#include "contacts/contact_file_access.h"
#include "platform/file_attributes.h"
#include "platform/text_file.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using ContactFileAccess::LineEnd;

namespace {

qint64 budgetOverride = 0;

bool isRegularFile(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// Makes a new empty file, never through a link.
bool createEmpty(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode::New);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, FileMode::New) == 0;
    return ::close(fd) == 0 && ok;
}

// Gives from a name of its own beside it that nothing else has: "<from>.incompleto", then with
// 2, 3... after it. Empty when no name could be had.
QString keepAside(const QString &from)
{
    for (int n = 1; n < 1000; ++n) {
        const QString name = from + u".incompleto"_qs + (n > 1 ? QString::number(n) : QString());
        if (TextFile::moveWithoutReplacing(from, name))
            return name;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Whether an open file is empty or ends with a whole line.
bool endsWithLineEnd(int fd)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return false;
    char end[2] = {};
    return status.st_size == 0
        || (status.st_size >= 2 && ::pread(fd, end, 2, status.st_size - 2) == 2 && end[0] == '\r'
            && end[1] == '\n');
}

// Copies source to the twin and renames the twin over target: target is whole, old or new. The
// copy takes the place of target, so it keeps target's mode and attributes; a first copy takes
// those of source.
bool copyThroughTwin(const QString &source, const QString &twinPath, const QString &target)
{
    QFile from;
    if (ContactFileAccess::open(from, source) != ContactFileAccess::Opened::Yes)
        return false;
    const QString like = isRegularFile(target) ? target : source;
    TwinWriter twin(target, twinPath);
    return twin.create(FileMode::of(like, FileMode::of(from.handle())), like) && twin.copyRest(from.handle())
        && twin.commit();
}

} // namespace

qint64 ContactFile::memoryBudget()
{
    if (budgetOverride > 0)
        return budgetOverride;
    static const qint64 machine = [] {
        qint64 memory = qint64(::sysconf(_SC_PHYS_PAGES)) * qint64(::sysconf(_SC_PAGESIZE));
        if (memory <= 0)
            memory = qint64(1) << 30;
        for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            struct rlimit limit = {};
            if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
                memory = qMin(memory, qint64(limit.rlim_cur));
        }
        return memory / 4;
    }();
    return machine;
}

void ContactFile::setMemoryBudget(qint64 bytes)
{
    budgetOverride = bytes;
}

ContactFile::ContactFile(const QString &programDirectory, FileAttributes &attributes)
    : m_directory(programDirectory)
    , m_attributes(attributes)
{ }

QString ContactFile::path() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv"));
}

QString ContactFile::twinPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv2"));
}

QString ContactFile::backupPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.bak"));
}

bool ContactFile::ensureExists(Start *start, QString *keptAs)
{
    Start outcome = Start::Found;
    const auto report = [&](Start what) {
        if (start)
            *start = what;
    };
    report(outcome);
    const QByteArray name = QFile::encodeName(path());
    struct stat status = {};
    // A directory, a FIFO or a device in the file's place is no contact file; a link to nothing
    // is no missing file.
    if (::stat(name.constData(), &status) == 0)
        return S_ISREG(status.st_mode);
    if (errno != ENOENT || ::lstat(name.constData(), &status) == 0)
        return false;

    // A change cut short between removing the file and renaming its twin (or a file deleted from
    // outside beside a twin) leaves the contacts in the twin. It takes the file's place only when
    // it is whole; a twin cut in the middle of a line is kept aside, never silently shortened.
    TwinWriter twin(path(), twinPath());
    if (twin.adopt()) {
        if (endsWithLineEnd(twin.handle())) {
            // Put in place as every change is: flushed, renamed, the folder flushed.
            if (!twin.commit())
                return false;
            m_attributes.setHidden(path());
            report(Start::TwinAdopted);
            return true;
        }
        twin.discard(); // closed; an adopted twin stays
        const QString kept = keepAside(twinPath());
        if (kept.isEmpty())
            return false;
        if (keptAs)
            *keptAs = kept;
        outcome = Start::TwinKept;
    }
    if (!createEmpty(path()))
        return false;
    TwinWriter::syncDirectory(QFileInfo(path()).absolutePath());
    m_attributes.setHidden(path());
    report(outcome == Start::TwinKept ? outcome : Start::Created);
    return true;
}

bool ContactFile::append(const QString &line)
{
    const QByteArray record = Windows1252::encode(line) + ContactFileAccess::LineEnd;
    return appendRecords({record});
}

bool ContactFile::appendRecords(const QList<QByteArrayView> &recordLines)
{
    if (std::all_of(
            recordLines.begin(), recordLines.end(), [](QByteArrayView piece) { return piece.isEmpty(); }))
        return true;
    const ContactFileAccess::Unhidden unhidden(m_attributes, path());
    // Not a write at the end of the file: a write cut short there (the program killed, the disk
    // full) would leave part of a line behind. The old bytes and the new lines go to the twin,
    // which takes the file's place in one step: the file holds all of them or none.
    QFile file;
    ContactFileAccess::Opened opened = ContactFileAccess::open(file, path());
    if (opened == ContactFileAccess::Opened::No) {
        // The file gone (deleted from outside, or a start that could not put a twin in its place):
        // a whole twin left beside it holds the contacts and becomes the file, a cut one is kept
        // aside; only then do the contacts start a new file, made first so that the twin this
        // append writes never stands alone: the next start would take it for the file.
        struct stat status = {};
        if (::lstat(QFile::encodeName(path()).constData(), &status) == 0 || errno != ENOENT
            || !ensureExists())
            return false;
        opened = ContactFileAccess::open(file, path());
    }
    if (opened != ContactFileAccess::Opened::Yes)
        return false;
    TwinWriter twin(path(), twinPath());
    if (!twin.create(FileMode::of(file.handle()), path()))
        return false;
    const qint64 size = file.size();
    bool ok = twin.copyRest(file.handle());
    // A last line that lacks its line end (the file was edited by hand) keeps its own line.
    if (ok && size > 0) {
        char last = 0;
        ok = ::pread(file.handle(), &last, 1, size - 1) == 1;
        if (ok && last != '\n')
            ok = twin.write(ContactFileAccess::LineEnd);
    }
    file.close();
    for (const QByteArrayView piece : recordLines)
        ok = ok && twin.write(piece);
    return ok && twin.commit();
}

bool ContactFile::backup()
{
    const ContactFileAccess::Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(path(), backupPath() + QStringLiteral("2"), backupPath());
}

bool ContactFile::restore()
{
    const ContactFileAccess::Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(backupPath(), twinPath(), path());
}
