// A large vCard file read in parts at once, by one reader for each processor.
//
// The file is cut where one card ends and the next begins: a line "END:VCARD" followed by a line
// "BEGIN:VCARD". Each part is read by an import of its own, as the whole file would be read from
// there on, and its cards made into lines as any import makes them. The parts go, in order, to
// whichever reader is free: most of the file in large parts, then the rest in smaller ones, so
// that a processor busy with some other program reads less of the file and all are done at about
// the same time. A cut is only right when the reader of the file would have stood between two
// cards there: the "END:VCARD" before it could still be part of a card (a quoted-printable text,
// a vCard 2.1 AGENT inside a card). The reader of the part before tells: it ends inside a card
// exactly then. In that case the parts are thrown away and the file read in one go. Otherwise
// the parts' lines are taken in order, and a card whose contact an earlier part already had is
// left out, as the file's own order says.

#include "contacts/vcard_import.h"

#include "contacts/vcard_syntax.h"

#include <QFile>
#include <QIODevice>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace VCardSyntax;

namespace {

// How a file is read: the machine's own way unless a test says otherwise.
int testReaders = 0;
qint64 smallestPart = 0;
constexpr int MostProcessors = 4;
constexpr qint64 DefaultSmallestPart = qint64(1) << 20;
// The shares of the file its parts take, each cut into as many parts as there are readers: the
// first parts take 80 % of the file, the last 20 %. More and smaller parts measured no faster: each
// takes memory of its own, and its keys are looked up in the tables of all the parts before it.
constexpr double Shares[] = {0.8, 0.2};

int readerCount()
{
    return testReaders > 0 ? testReaders
                           : std::clamp(int(std::thread::hardware_concurrency()), 1, MostProcessors);
}
// How far past the place a cut is wanted its card boundary is looked for.
constexpr qint64 CutWindow = qint64(256) << 10;

// Bytes of an open file from start to end, read where they lie: each part's reader has its own,
// over the one descriptor.
class FileRange : public QIODevice
{
public:
    FileRange(int fd, qint64 start, qint64 end)
        : m_fd(fd)
        , m_start(start)
        , m_end(end)
    {
        QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_end - m_start; }

protected:
    qint64 readData(char *data, qint64 most) override
    {
        const qint64 at = m_start + pos();
        const qint64 wanted = std::min(most, m_end - at);
        if (wanted <= 0)
            return 0;
        for (;;) {
            const ssize_t got = ::pread(m_fd, data, size_t(wanted), off_t(at));
            if (got < 0 && errno == EINTR)
                continue;
            return got;
        }
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int m_fd;
    qint64 m_start;
    qint64 m_end;
};

// A whole line that is that keyword, as the reader takes it (not folded onto the line before).
bool isLine(QByteArrayView line, QByteArrayView keyword)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return !line.isEmpty() && !isBlank(line.front()) && equalsIgnoringCase(trimmed(line), keyword);
}

// Where the first line "BEGIN:VCARD" right after a line "END:VCARD" starts, at or after from.
std::optional<qint64> cardBoundary(int fd, qint64 from, qint64 size)
{
    QByteArray window(qsizetype(std::min(CutWindow, size - from)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < window.size()) {
        const ssize_t read = ::pread(fd, window.data() + got, size_t(window.size() - got), off_t(from + got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            return std::nullopt;
        got += read;
    }
    // The window starts inside a line: its first whole line comes after the first line end.
    qsizetype start = window.indexOf('\n');
    if (start < 0)
        return std::nullopt;
    ++start;
    bool afterEnd = false;
    for (;;) {
        const qsizetype end = window.indexOf('\n', start);
        if (end < 0)
            return std::nullopt;
        const QByteArrayView line = QByteArrayView(window).sliced(start, end - start);
        if (afterEnd && isLine(line, "BEGIN:VCARD"))
            return from + start;
        afterEnd = isLine(line, "END:VCARD");
        start = end + 1;
    }
}

// Where the parts of a file start: the first at 0, then as near as the cards allow to the shares,
// none smaller than the smallest part. One part only for a small file, a machine of one
// processor, or a sparse file (whose holes the reader of the whole file steps over).
std::vector<qint64> partStarts(int fd, int readers)
{
    struct stat status = {};
    if (readers < 2 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return {0};
    const qint64 size = status.st_size;
    if (qint64(status.st_blocks) * 512 < size)
        return {0};
    const qint64 smallest = smallestPart > 0 ? smallestPart : DefaultSmallestPart;
    std::vector<qint64> starts {0};
    double end = 0;
    for (const double share : Shares) {
        for (int part = 0; part < readers; ++part) {
            end += share / readers;
            const auto wanted = qint64(double(size) * end);
            if (wanted - starts.back() < smallest || size - wanted < smallest)
                continue;
            const std::optional<qint64> cut = cardBoundary(fd, wanted, size);
            if (cut && *cut > starts.back() && *cut < size)
                starts.push_back(*cut);
        }
    }
    return starts;
}

} // namespace

void VCardImport::setParts(int readers, qint64 smallest)
{
    testReaders = readers;
    smallestPart = smallest;
}

std::optional<VCardImport::Outcome> VCardImport::readInParts(
    const QFile &file, const std::function<bool(qint64)> &keepGoing)
{
    const int fd = file.handle();
    const std::vector<qint64> starts = partStarts(fd, readerCount());
    const int parts = int(starts.size());
    if (parts < 2)
        return std::nullopt;
    const int readers = std::min(parts, readerCount());
    const auto endOf = [&](int part) { return part + 1 < parts ? starts[part + 1] : qint64(file.size()); };

    // This import takes the first part and the lines of all the others, each read by an import
    // of its own.
    std::vector<std::unique_ptr<VCardImport>> others;
    std::vector<VCardImport *> imports {this};
    for (int part = 1; part < parts; ++part) {
        others.push_back(std::make_unique<VCardImport>(m_list, m_settings));
        imports.push_back(others.back().get());
    }
    m_wholeFileSize = file.size(); // the other parts' lines are taken in here
    std::vector<Outcome> outcomes(parts, Outcome::Done);
    std::unique_ptr<std::atomic<qint64>[]> done(new std::atomic<qint64>[parts]());
    std::atomic<bool> stop {false};
    std::atomic<int> nextPart {0};
    // The readers on threads of their own still reading; each says when it is done.
    std::mutex runningMutex;
    std::condition_variable readerDone;
    int running = readers - 1;
    const auto told = [&] {
        if (!keepGoing || stop)
            return !stop;
        qint64 total = 0;
        for (int part = 0; part < parts; ++part)
            total += done[part];
        if (!keepGoing(total))
            stop = true;
        return !stop;
    };
    // A reader takes the next part not yet taken until there is none, or the import is stopped.
    const auto readParts = [&](const auto &goOn) {
        for (int part = nextPart++; part < parts && !stop; part = nextPart++) {
            FileRange range(fd, starts[part], endOf(part));
            outcomes[part] = imports[part]->read(range, [&](qint64 bytes) {
                done[part] = bytes;
                return goOn();
            });
        }
    };

    const auto discardAll = [&] {
        for (VCardImport *import : imports)
            import->discard();
    };
    std::vector<std::thread> threads;
    const auto joinAll = [&] {
        for (std::thread &thread : threads)
            thread.join();
    };
    try {
        for (int reader = 1; reader < readers; ++reader) {
            threads.emplace_back([&] {
                readParts([&] { return !stop; });
                {
                    const std::lock_guard lock(runningMutex);
                    --running;
                }
                readerDone.notify_one();
            });
        }
    } catch (const std::system_error &) {
        // The system lets no more threads start: the file is read in one go.
        stop = true;
        joinAll();
        discardAll();
        m_wholeFileSize = 0;
        return std::nullopt;
    }
    // This thread reads parts too, and asks whether to go on ("Cancelar") for all of them; then,
    // while the others read their last parts, it goes on asking, and the last one done ends the
    // wait at once.
    readParts(told);
    {
        std::unique_lock lock(runningMutex);
        while (running > 0) {
            readerDone.wait_for(lock, std::chrono::milliseconds(10));
            lock.unlock();
            told();
            lock.lock();
        }
    }
    joinAll();
    m_wholeFileSize = 0;

    bool cutRight = true;
    for (int part = 0; part + 1 < parts; ++part)
        cutRight = cutRight && !imports[part]->m_endedInsideCard;
    std::optional<Outcome> outcome;
    if (std::find(outcomes.begin(), outcomes.end(), Outcome::Stopped) != outcomes.end() || stop) {
        discardAll();
        outcome = Outcome::Stopped;
    } else if (std::find(outcomes.begin(), outcomes.end(), Outcome::CannotRead) != outcomes.end()) {
        discardAll();
        outcome = Outcome::CannotRead;
    } else if (!cutRight) {
        discardAll(); // read again in one go
    } else {
        qsizetype lines = m_keys.size();
        for (int part = 1; part < parts; ++part)
            lines += imports[part]->m_keys.size();
        reserveLines(lines, m_keys.size());
        absorb({imports.begin() + 1, imports.end()});
        outcome = Outcome::Done;
    }
    return outcome;
}
