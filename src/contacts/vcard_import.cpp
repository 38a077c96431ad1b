#include "contacts/vcard_import.h"

#include "contacts/contact_line_key.h"
#include "contacts/contact_list_model.h"
#include "contacts/vcard_files.h"
#include "contacts/vcard_fit.h"
#include "contacts/vcard_reader.h"
#include "platform/large_memory.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVarLengthArray>

#include <algorithm>

using namespace ContactRecord;

namespace {

// "Se importó 1 contacto." or "Se importaron 3 contactos.": the text for one and for several.
QString counted(int count, const QString &one, const QString &several)
{
    return count == 1 ? one : several.arg(count);
}

// The hash of a key's caseless form, made without making the form: the keys of new lines hold
// characters of the code page alone, each of which lowers to one character as toLower lowers it.
size_t caselessHash(QStringView key)
{
    QVarLengthArray<char16_t, 128> lowered(key.size());
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t c = key[i].unicode();
        lowered[i]
            = c < 0x80 ? (c >= u'A' && c <= u'Z' ? char16_t(c | 0x20) : c) : char16_t(QChar::toLower(c));
    }
    return qHash(QStringView(lowered.constData(), lowered.size()));
}

// How far into a file the number of its cards is estimated from those read so far, and the most
// lines room is made for at once: a file whose first MiB holds tiny cards and the rest large ones
// does not take memory for lines it never gives.
constexpr qint64 EstimateAfter = qint64(1) << 20;
constexpr qint64 MostEstimatedLines = qint64(1) << 20;

} // namespace

VCardImport::VCardImport(const ContactListModel &list, VCardImportSettings settings)
    : m_list(list)
    , m_settings(std::move(settings))
    , m_photoDirectoryExisted(
          QFileInfo(m_settings.photoDirectory).exists() || QFileInfo(m_settings.photoDirectory).isSymLink())
{ }

VCardImport::Outcome VCardImport::readFile(const QString &path, const std::function<bool(qint64)> &keepGoing)
{
    QFile file;
    if (!RegularFile::open(file, path))
        return Outcome::CannotRead;
    if (const std::optional<Outcome> outcome = readInParts(file, keepGoing))
        return *outcome;
    return read(file, keepGoing);
}

VCardImport::Outcome VCardImport::read(QIODevice &device, const std::function<bool(qint64)> &keepGoing)
{
    VCardReader reader(device);
    reader.keepOnly(mappedProperties());
    // The lines take less room than the cards they come from: room for them once, instead of
    // growing (and copying) as they come. Pages never written are never taken from the system.
    // The first part of a file read in parts keeps the lines of all of them, though not their
    // bytes: its lists get room for the whole file's.
    const qint64 size = m_wholeFileSize > 0 ? m_wholeFileSize : device.size();
    if (!device.isSequential()) {
        m_bytes.reserve(qsizetype(std::min<qint64>(device.size(), qint64(256) << 20)));
        LargeMemory::adviseLargePages(m_bytes.data(), m_bytes.capacity());
    }
    if (keepGoing)
        reader.setKeepGoing(keepGoing);
    VCard card;
    qint64 cards = 0;
    bool estimated = device.isSequential();
    while (reader.next(card)) {
        add(card);
        ++cards;
        if (!estimated && reader.position() >= EstimateAfter) {
            // The lists grow once to the size the rest of the file promises, rather than doubling
            // (and copying) their way there.
            const auto promised = [&](qint64 bytes) {
                return qsizetype(std::min(cards * bytes / reader.position() * 11 / 10, MostEstimatedLines));
            };
            reserveLines(promised(size), promised(device.size()));
            estimated = true;
        }
        if (keepGoing && !keepGoing(reader.position())) {
            discard();
            return Outcome::Stopped;
        }
    }
    if (reader.stopped()) {
        discard();
        return Outcome::Stopped;
    }
    if (reader.failed()) {
        discard();
        return Outcome::CannotRead;
    }
    countUnreadable(reader.unreadable());
    m_endedInsideCard = reader.endedInsideCard();
    return Outcome::Done;
}

void VCardImport::add(const VCard &card)
{
    VCardContact &contact = m_contact;
    contactOf(card, m_settings.dates, m_settings.today, contact);
    if (!contact.hasName) {
        ++m_counts.unreadable;
        return;
    }
    // Nearly every card's text fits the contact file as it stands: its line is written as it is
    // looked over, and taken back if the card is not imported. The others are fitted first, and
    // so is a card whose picture is still to be saved (its path goes into the line).
    const qsizetype start = m_bytes.size();
    const bool asTheyAre = contact.photo.isEmpty() && appendLine(contact.fields);
    Fields fitted;
    bool textChanged = false;
    if (!asTheyAre) {
        m_bytes.resize(start);
        for (int i = 0; i < FieldCount; ++i) {
            bool changed = false;
            fitted[i] = VCardFit::fitted(contact.fields[i], &changed);
            if (i != ubicacionfoto)
                textChanged = textChanged || changed;
            else if (changed)
                fitted[i].clear(); // a path with other characters would name another file
        }
        if (fitted[ubicacionfoto].isEmpty() && !contact.fields[ubicacionfoto].isEmpty())
            contact.photoLeftOut = true;
        // A name of nothing but accents has nothing left once fitted.
        for (const int part : {apellido, nombre}) {
            if (fitted[part].isEmpty()) {
                fitted[part] = QStringLiteral("-");
                contact.nameCompleted = true;
            }
        }
    }
    const Fields &fields = asTheyAre ? contact.fields : fitted;

    QString key;
    key.reserve(fields[apellido].size() + fields[nombre].size() + 2);
    key.append(fields[apellido]).append(u' ').append(fields[nombre]).append(u' ');
    if (m_list.containsIgnoringCase(key)) {
        m_bytes.resize(start);
        ++m_counts.alreadyInList;
        return;
    }
    const size_t hash = caselessHash(key);
    if (!takeKey(key, hash)) {
        m_bytes.resize(start);
        ++m_counts.repeatedInFile;
        return;
    }

    quint8 facts = 0;
    if (!contact.photo.isEmpty()) {
        const QString path = VCardFiles::savePhoto(m_settings.photoDirectory, key, contact.photo);
        if (path.isEmpty()) {
            contact.photoLeftOut = true;
        } else {
            fitted[ubicacionfoto] = path;
            m_photos << path;
            facts |= PhotoSaved;
        }
    }
    facts |= (textChanged ? TextChanged : 0) | (contact.extrasLeftOut ? ExtrasLeftOut : 0)
        | (contact.nameCompleted ? NameCompleted : 0) | (contact.photoLeftOut ? PhotoLeftOut : 0);
    if (!asTheyAre) {
        [[maybe_unused]] const bool appended = appendLine(fitted);
        Q_ASSERT(appended); // fitted text is stored as it is
    }
    lineAdded(m_bytes.size(), std::move(key), hash, facts);
}

bool VCardImport::appendLine(const Fields &fields)
{
    // The line is the fields and the separators, at most one byte for each character, made in
    // room taken at once.
    qsizetype length = FieldCount + 2;
    for (const QString &field : fields)
        length += field.size();
    const qsizetype start = m_bytes.size();
    m_bytes.resize(start + length);
    char *out = m_bytes.data() + start;
    for (const QString &field : fields) {
        out = VCardFit::storedAsItIs(field, out);
        if (!out)
            return false;
        *out++ = ContactLineKey::SeparatorByte;
    }
    *out++ = '\r';
    *out++ = '\n';
    Q_ASSERT(out == m_bytes.constData() + m_bytes.size());
    return true;
}

void VCardImport::reserveLines(qsizetype lines, qsizetype ownLines)
{
    m_keys.reserve(lines);
    m_lineEnds.reserve(lines);
    m_facts.reserve(lines);
    m_hashes.reserve(lines);
    m_seen.reserve(ownLines);
}

bool VCardImport::takeKey(const QString &key, size_t hash)
{
    // One look into the table: a hash not seen before gets its place at once.
    qsizetype &first = m_seen[hash];
    if (first == 0) {
        first = m_keys.size() + 1;
        return true;
    }
    if (hasKey(key, hash))
        return false;
    m_hashTakenAgain.insert(hash, m_keys.size());
    return true;
}

void VCardImport::lineAdded(qsizetype end, QString key, size_t hash, quint8 facts)
{
    ++m_counts.imported;
    m_counts.textChanged += (facts & TextChanged) ? 1 : 0;
    m_counts.extrasLeftOut += (facts & ExtrasLeftOut) ? 1 : 0;
    m_counts.namesCompleted += (facts & NameCompleted) ? 1 : 0;
    m_counts.photosLeftOut += (facts & PhotoLeftOut) ? 1 : 0;
    m_lineEnds << end;
    m_facts << facts;
    m_hashes << hash;
    m_keys << std::move(key);
}

bool VCardImport::hasKey(const QString &key, size_t hash) const
{
    const auto sameContact = [&](qsizetype taken) {
        return ContactListModel::caseless(m_keys[taken]) == ContactListModel::caseless(key);
    };
    const auto first = m_seen.constFind(hash);
    if (first == m_seen.cend())
        return false;
    if (sameContact(*first - 1))
        return true;
    for (auto other = m_hashTakenAgain.constFind(hash);
         other != m_hashTakenAgain.cend() && other.key() == hash; ++other) {
        if (sameContact(*other))
            return true;
    }
    return false;
}

void VCardImport::absorb(const std::vector<VCardImport *> &later)
{
    // First the lines of each later part whose contact an earlier part had, while every part
    // still holds its keys; each part has already left out its own repeated ones.
    std::vector<std::vector<qsizetype>> repeated(later.size());
    for (size_t part = 0; part < later.size(); ++part) {
        const VCardImport &import = *later[part];
        for (qsizetype line = 0; line < import.m_keys.size(); ++line) {
            const auto inEarlier = [&](const VCardImport *earlier) {
                return earlier->hasKey(import.m_keys[line], import.m_hashes[line]);
            };
            if (inEarlier(this) || std::any_of(later.begin(), later.begin() + qsizetype(part), inEarlier))
                repeated[part].push_back(line);
        }
    }
    for (size_t part = 0; part < later.size(); ++part)
        takeLines(std::move(*later[part]), repeated[part]);
}

void VCardImport::takeLines(VCardImport &&later, const std::vector<qsizetype> &repeated)
{
    m_counts.unreadable += later.m_counts.unreadable;
    m_counts.alreadyInList += later.m_counts.alreadyInList;
    m_counts.repeatedInFile += later.m_counts.repeatedInFile + int(repeated.size());
    // The lines between two repeated ones go over as a run, their bytes left where they were read:
    // all of them, unless some card of the later part had the contact of an earlier part.
    const QByteArrayView bytes(later.m_bytes);
    const auto startOf = [&](qsizetype line) { return line == 0 ? 0 : later.m_lineEnds[line - 1]; };
    const auto takeRun = [&](qsizetype first, qsizetype end) {
        if (first == end)
            return;
        const qsizetype shift = (m_lineEnds.isEmpty() ? 0 : m_lineEnds.back()) - startOf(first);
        m_laterRuns << bytes.sliced(startOf(first), later.m_lineEnds[end - 1] - startOf(first));
        for (qsizetype line = first; line < end; ++line) {
            lineAdded(later.m_lineEnds[line] + shift, std::move(later.m_keys[line]), later.m_hashes[line],
                later.m_facts[line]);
        }
    };
    qsizetype runStart = 0;
    for (const qsizetype line : repeated) {
        takeRun(runStart, line);
        runStart = line + 1;
        // The same contact as a card of an earlier part: that one was first in the file.
        if (later.m_facts[line] & PhotoSaved) {
            const QByteArrayView text = bytes.sliced(startOf(line), later.m_lineEnds[line] - startOf(line));
            const QString photo = fieldsOf(Windows1252::decode(text.chopped(2)))[ubicacionfoto];
            QFile::remove(photo);
            later.m_photos.removeOne(photo);
        }
    }
    takeRun(runStart, later.m_keys.size());
    m_laterBytes.push_back(std::move(later.m_bytes)); // moved, its bytes stay where they are
    m_photos += later.m_photos;
    later.m_photos.clear();
    later.discard();
}

QList<QByteArrayView> VCardImport::recordBytes() const
{
    QList<QByteArrayView> pieces;
    if (!m_bytes.isEmpty())
        pieces << m_bytes;
    return pieces + m_laterRuns;
}

QStringList VCardImport::lines() const
{
    QByteArray bytes;
    for (const QByteArrayView piece : recordBytes())
        bytes += piece;
    QStringList lines;
    lines.reserve(m_keys.size());
    qsizetype from = 0;
    for (const qsizetype end : m_lineEnds) {
        lines << Windows1252::decode(QByteArrayView(bytes).sliced(from, end - from - 2));
        from = end;
    }
    return lines;
}

bool VCardImport::syncPhotos() const
{
    return m_photos.isEmpty() || VCardFiles::syncPhotos(m_settings.photoDirectory);
}

void VCardImport::removeSavedPhotos()
{
    for (const QString &path : std::as_const(m_photos))
        QFile::remove(path);
    m_photos.clear();
    if (!m_photoDirectoryExisted)
        QDir().rmdir(m_settings.photoDirectory); // only when empty
}

void VCardImport::discard()
{
    removeSavedPhotos();
    m_counts = {};
    m_contact = {};
    m_seen.clear();
    m_hashTakenAgain.clear();
    m_bytes.clear();
    m_laterRuns.clear();
    m_laterBytes.clear();
    m_lineEnds.clear();
    m_facts.clear();
    m_hashes.clear();
    m_keys.clear();
}

QStringList VCardImport::summaryLines(const VCardImportCounts &c)
{
    QStringList lines;
    lines << (c.imported == 0 ? QStringLiteral("No se importó ningún contacto.")
                              : counted(c.imported, QStringLiteral("Se importó 1 contacto."),
                                  QStringLiteral("Se importaron %1 contactos.")));
    if (c.alreadyInList > 0)
        lines << counted(c.alreadyInList, QStringLiteral("1 contacto ya estaba en la lista y no se importó."),
            QStringLiteral("%1 contactos ya estaban en la lista y no se importaron."));
    if (c.repeatedInFile > 0)
        lines << counted(c.repeatedInFile,
            QStringLiteral("1 tarjeta repetía un contacto anterior del mismo archivo y no se importó."),
            QStringLiteral(
                "%1 tarjetas repetían contactos anteriores del mismo archivo y no se importaron."));
    if (c.unreadable > 0)
        lines << counted(c.unreadable, QStringLiteral("1 tarjeta no se pudo leer."),
            QStringLiteral("%1 tarjetas no se pudieron leer."));
    if (c.textChanged > 0)
        lines << counted(c.textChanged, QStringLiteral("En 1 contacto se cambió texto para poder guardarlo."),
            QStringLiteral("En %1 contactos se cambió texto para poder guardarlo."));
    if (c.extrasLeftOut > 0)
        lines << counted(c.extrasLeftOut,
            QStringLiteral("1 contacto tenía más teléfonos o correos electrónicos de los que caben; "
                           "los demás se dejaron fuera."),
            QStringLiteral("%1 contactos tenían más teléfonos o correos electrónicos de los que caben; "
                           "los demás se dejaron fuera."));
    if (c.namesCompleted > 0)
        lines << counted(c.namesCompleted,
            QStringLiteral("1 contacto no tenía nombre o apellido; se puso un guion en su lugar."),
            QStringLiteral("%1 contactos no tenían nombre o apellido; se puso un guion en su lugar."));
    if (c.photosLeftOut > 0)
        lines << counted(c.photosLeftOut, QStringLiteral("1 foto no se pudo importar."),
            QStringLiteral("%1 fotos no se pudieron importar."));
    return lines;
}

QString VCardImport::noCardMessage()
{
    return QStringLiteral("El archivo no tiene ninguna tarjeta de contacto que se pueda leer.");
}
