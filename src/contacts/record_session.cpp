#include "contacts/record_session.h"

#include "contacts/contact_list_model.h"
#include "contacts/vcard_import.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

using namespace ContactRecord;

namespace {

// The keys the list gives the new lines of an import, in their order, taken from it: a line too
// long to show is listed under its key cut, as the file's reader lists it.
QStringList listedKeys(VCardImport &import)
{
    QStringList keys = import.takeKeys();
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (import.lineLength(i) > ContactFile::LongestShown)
            keys[i].truncate(ContactFile::LongestKey);
    }
    return keys;
}

// From how many new keys an import puts them in order while it writes.
constexpr qsizetype LargeImport = 4096;

} // namespace

RecordSession::RecordSession(ContactFile &file, ContactListModel &list)
    : m_file(file)
    , m_list(list)
{ }

RecordSession::Start RecordSession::start()
{
    showNothing();
    Start start;
    start.ready = m_file.ensureExists(&start.file, &start.keptAs);
    // Read all the same when the file is not ready: a FIFO or a directory in its place reads as
    // nothing, and so does a file that could not be made.
    start.list = readList();
    return start;
}

ContactFile::Failure RecordSession::reload()
{
    showNothing();
    m_cajasvacias = 0;
    return readList();
}

RecordSession::Shown RecordSession::show(const QString &key)
{
    m_cajasvacias = 0;
    const std::optional<ContactFile::Match> found = m_file.find(key);
    if (!found || !found->whole) {
        showNothing();
        return found ? Shown::TooLong : Shown::NotFound;
    }
    m_regmostrado = 1;
    m_regoriginal = found->line;
    return Shown::Shown;
}

Fields RecordSession::fields() const
{
    return fieldsOf(m_regoriginal);
}

int RecordSession::shownRow() const
{
    if (m_regmostrado != 1)
        return -1;
    const auto [row, found] = m_list.exactRows(keyOf(m_regoriginal));
    return found > 0 ? row : -1;
}

bool RecordSession::isModified(const Fields &boxes) const
{
    return m_cajasvacias != 1 && m_regmostrado == 1 && lineOf(boxes) != m_regoriginal;
}

bool RecordSession::save(const Fields &boxes)
{
    m_listFailure = ContactFile::Failure::None;
    // The key of the stored line finds the line, so a new surname keeps the contact in its place.
    if (m_regmostrado != 1 || !m_file.replaceByKey(m_regoriginal, lineOf(boxes)))
        return false;
    showNothing();
    readList();
    return true;
}

RecordSession::Added RecordSession::add(const Fields &typed, const std::function<bool()> &capitalize)
{
    if (typed[apellido].isEmpty() || typed[nombre].isEmpty())
        return Added::MissingName;
    QString line = lineOf(typed);
    // Against the list, which mirrors the file's keys.
    if (m_list.containsIgnoringCase(keyOf(line)))
        return Added::Duplicate;
    if (capitalize && capitalize()) {
        Fields capital;
        std::transform(typed.cbegin(), typed.cend(), capital.begin(), capitalized);
        line = lineOf(capital);
    }
    if (!m_file.append(line))
        return Added::Failed;
    // The entry is the key of the line just stored, capitalised or not.
    m_list.addKey(keyOf(line));
    m_regmostrado = 0;
    return Added::Done;
}

RecordSession::Removed RecordSession::remove()
{
    m_listFailure = ContactFile::Failure::None;
    if (m_regmostrado != 1)
        return Removed::NothingShown;
    if (!m_file.removeEqual(m_regoriginal))
        return Removed::Failed;
    // Every line equal to the shown one has left the file; the list follows. Only when several
    // entries share the key is the file read again to learn which of them remain.
    const auto [row, found] = m_list.exactRows(keyOf(m_regoriginal));
    if (found > 1)
        readList();
    else if (found == 1)
        m_list.removeRows(row, 1);
    m_regmostrado = 0;
    return Removed::Done;
}

RecordSession::Imported RecordSession::importCards(const QString &path, const VCardImportSettings &settings,
    const std::function<bool(qint64, qint64)> &keepGoing)
{
    using Outcome = Imported::Outcome;
    Imported imported;
    VCardImport import(m_list, settings);
    const qint64 total = QFileInfo(path).size(); // looked at, not opened: the reader opens it
    std::function<bool(qint64)> progress;
    if (keepGoing)
        progress = [&](qint64 done) { return keepGoing(done, total); };
    switch (import.readFile(path, progress)) {
    case VCardImport::Outcome::Done:
        break;
    case VCardImport::Outcome::Stopped:
        imported.outcome = Outcome::Stopped;
        return imported;
    case VCardImport::Outcome::CannotRead:
        imported.outcome = Outcome::CannotRead;
        return imported;
    }
    if (import.foundNoCard()) {
        imported.outcome = Outcome::NoCard;
        return imported;
    }
    // The new keys of a large import are put in order on a thread of their own while the contact
    // file is written and flushed; the list takes them once it is.
    const QStringList keys = listedKeys(import);
    std::vector<quint32> order;
    std::optional<std::thread> sorter;
    if (keys.size() >= LargeImport) {
        try {
            sorter.emplace([&] { order = ContactListModel::listOrder(keys); });
        } catch (const std::system_error &) {
            // No thread to be had: they are put in order after.
        }
    }
    // The pictures are on the disk before the contact file names them.
    const bool appended = import.syncPhotos() && m_file.appendRecords(import.recordBytes());
    if (sorter)
        sorter->join();
    if (!appended) {
        import.removeSavedPhotos();
        imported.outcome = Outcome::Failed;
        return imported;
    }
    if (sorter)
        m_list.addKeys(keys, std::move(order));
    else
        m_list.addKeys(keys);
    imported.summary = import.summaryLines();
    imported.added = import.counts().imported;
    return imported;
}

void RecordSession::empty()
{
    m_cajasvacias = 1;
}

void RecordSession::leave()
{
    m_cajasvacias = 0;
}

ContactFile::Failure RecordSession::readList()
{
    ContactFile::Failure failure = ContactFile::Failure::None;
    m_list.setKeys(m_file.readKeys(&failure).value_or(QStringList()));
    m_listFailure = failure;
    return failure;
}

void RecordSession::showNothing()
{
    m_regmostrado = 0;
    m_regoriginal.clear();
}
