#include "contacts/vcard_export.h"

#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/vcard_writer.h"
#include "platform/twin_writer.h"

#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

// The cards pass through here on their way to the twin, a block at a time.
class TwinDevice : public QIODevice
{
public:
    explicit TwinDevice(TwinWriter &twin)
        : m_twin(twin)
    {
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        return m_twin.write(QByteArrayView(data, qsizetype(size))) ? size : -1;
    }

private:
    TwinWriter &m_twin;
};

// Names the cards can be written under beside the target before they take its name.
constexpr int MostTwinNames = 100;

QString twinName(const QString &target, int n)
{
    return target + QStringLiteral(".incompleto") + (n > 1 ? QString::number(n) : QString());
}

} // namespace

VCardExport::Result VCardExport::write(const ContactFile &contacts, const QString &target,
    const VCardDates &dates, const std::function<bool(qint64, qint64)> &keepGoing)
{
    Result result;
    std::optional<ContactFile::Records> records = contacts.readRecords(&result.failure);
    if (!records) {
        result.outcome = Outcome::CannotRead;
        return result;
    }
    QList<QByteArrayView> ordered;
    ordered.reserve(records->count());
    for (const quint32 position : ContactListModel::listOrder(records->keys))
        ordered << records->line(position);
    records->keys.clear();

    // A file that is replaced keeps its permission bits and attributes; a link is no file of ours
    // to copy them from.
    const QByteArray targetName = QFile::encodeName(target);
    struct stat status = {};
    const bool replacesFile = ::lstat(targetName.constData(), &status) == 0 && S_ISREG(status.st_mode);
    const mode_t mode = replacesFile ? mode_t(status.st_mode & 07777) : FileMode::New;

    std::optional<TwinWriter> twin;
    for (int n = 1;; ++n) {
        if (n > MostTwinNames) {
            result.outcome = Outcome::CannotWrite;
            return result;
        }
        twin.emplace(target, twinName(target, n));
        if (twin->create(mode, replacesFile ? target : QString(), TwinWriter::Leftover::Keep))
            break;
        if (errno != EEXIST) {
            result.outcome = Outcome::CannotWrite;
            return result;
        }
    }

    VCardWriter writer(dates);
    bool stopped = false;
    const qint64 total = ordered.size();
    std::function<bool(qsizetype)> progress;
    if (keepGoing) {
        progress = [&](qsizetype done) {
            stopped = !keepGoing(done, total);
            return !stopped;
        };
    }
    TwinDevice device(*twin);
    if (!writer.write(device, ordered, progress)) {
        twin->discard();
        result.outcome = stopped ? Outcome::Stopped : Outcome::CannotWrite;
        return result;
    }
    if (!twin->commit()) {
        result.outcome = Outcome::CannotWrite;
        return result;
    }
    result.cards = writer.cardsWritten();
    return result;
}
