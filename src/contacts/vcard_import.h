#pragma once

#include "contacts/vcard_contact.h"

#include <QByteArray>
#include <QMultiHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class ContactListModel;
class QFile;
class QIODevice;
struct VCard;

struct VCardImportSettings
{
    QString today; // the registration date of the new contacts, as the program writes it
    VCardDates dates;
    QString photoDirectory; // where inline pictures are saved: "Fotos" beside the contact file
};

struct VCardImportCounts
{
    int imported = 0;
    int alreadyInList = 0;
    int repeatedInFile = 0; // key of an earlier card of the same file
    int unreadable = 0;
    int textChanged = 0; // cards whose text was changed to fit the contact file
    int extrasLeftOut = 0; // cards with telephones or e-mails beyond the form's fields
    int namesCompleted = 0;
    int photosLeftOut = 0;
};

// Works out what an import adds to the contact list: one record line per card, in file order,
// except the cards whose key (surname, blank, name, blank) is already in the list, compared as
// "Agregar" compares it, or in an earlier card of the same file. The pictures inside the cards
// are saved as files as the cards are taken; nothing else is written: the caller appends the
// lines to the contact file in one step and, when that fails, removes the saved pictures.
class VCardImport
{
public:
    VCardImport(const ContactListModel &list, VCardImportSettings settings);

    enum class Outcome {
        Done, // every card read; see counts() and foundNoCard()
        Stopped, // keepGoing said no: nothing is kept, no picture stays
        CannotRead, // not a regular file, or a read error: nothing is kept, no picture stays
    };

    // Reads the file, or the device, card by card. keepGoing is asked after each card and each
    // block read with the bytes read so far (a progress bar, a "Cancelar" button).
    Outcome readFile(const QString &path, const std::function<bool(qint64)> &keepGoing = {});
    Outcome read(QIODevice &device, const std::function<bool(qint64)> &keepGoing = {});

    // Takes one card; cards the reader could not read are counted with countUnreadable.
    void add(const VCard &card);
    void countUnreadable(int cards) { m_counts.unreadable += cards; }

    const VCardImportCounts &counts() const { return m_counts; }

    // A large file is read in parts of at least 1 MiB, by one reader for each processor, up to
    // four, each taking the next part when it is done. For tests: that many readers and parts of
    // at least smallest bytes; 0, 0 for the machine's own.
    static void setParts(int readers, qint64 smallest);

    // No card could be read at all: the import changes nothing and says so with the "Error" box
    // and noCardMessage().
    bool foundNoCard() const
    {
        return m_counts.imported + m_counts.alreadyInList + m_counts.repeatedInFile == 0;
    }

    // The new record lines in Windows-1252, each followed by CR LF, ready to be appended: in
    // pieces, one after another, where the parts of a large file were read. None when there are
    // no lines.
    QList<QByteArrayView> recordBytes() const;
    QStringList lines() const;
    // The keys of the new lines, in the same order, for the list.
    const QStringList &keys() const { return m_keys; }
    // Hands the keys over, for an import that is done: keys() is empty after.
    QStringList takeKeys() { return std::exchange(m_keys, {}); }
    // The length of a new line in bytes, without its CR LF.
    qsizetype lineLength(qsizetype line) const
    {
        return m_lineEnds[line] - (line == 0 ? 0 : m_lineEnds[line - 1]) - 2;
    }

    const QStringList &savedPhotos() const { return m_photos; }
    // Flushes the saved pictures to the disk before the contact file names them.
    [[nodiscard]] bool syncPhotos() const;
    // Removes the pictures saved so far, after a cancel or a contact file that could not be
    // written, and the photo folder when the import made it.
    void removeSavedPhotos();

    // The lines of the information box after an import: how many contacts were imported and,
    // each on its own line when not zero, what was not imported or changed.
    QStringList summaryLines() const { return summaryLines(m_counts); }
    static QStringList summaryLines(const VCardImportCounts &counts);
    static QString noCardMessage();

private:
    void discard();
    // Room for that many new lines in all that keeps them, and for ownLines in the table of
    // keys: a first part takes the other parts' lines in, but looks their keys up in theirs.
    void reserveLines(qsizetype lines, qsizetype ownLines);
    // Appends the line of these fields to m_bytes, with its CR LF; false, with part of it written,
    // when a field is not stored as it is (see VCardFit::storedAsItIs).
    bool appendLine(const ContactRecord::Fields &fields);
    // Takes the key of a new line, whose caseless hash that is; false when an earlier card of the
    // file has it.
    bool takeKey(const QString &key, size_t hash);
    // What is known of a line besides its text, to be counted again when it moves into another
    // import.
    enum Fact : quint8 {
        TextChanged = 1,
        ExtrasLeftOut = 2,
        NameCompleted = 4,
        PhotoLeftOut = 8,
        PhotoSaved = 16,
    };
    // Counts a new line, which ends at end in the record bytes, its CR LF included.
    void lineAdded(qsizetype end, QString key, size_t hash, quint8 facts);
    // Whether an earlier card of this import had the contact of that key, whose caseless hash
    // that is.
    bool hasKey(const QString &key, size_t hash) const;
    // Takes the lines of the imports of the later parts of the file, in file order, but those whose
    // contact an earlier part had (their pictures removed); the later imports are left empty. The
    // import is done then: the keys taken over are no longer looked up (hasKey, takeKey).
    void absorb(const std::vector<VCardImport *> &later);
    // Takes the lines of one later part but the repeated ones (their places, in order).
    void takeLines(VCardImport &&later, const std::vector<qsizetype> &repeated);
    // Reads a large file in parts at once (vcard_import_parts.cpp). Nothing, with nothing kept,
    // when it is no such file or its parts were not cut between two cards: to be read in one go.
    std::optional<Outcome> readInParts(const QFile &file, const std::function<bool(qint64)> &keepGoing);

    const ContactListModel &m_list;
    VCardImportSettings m_settings;
    VCardContact m_contact; // the card on hand, its texts' memory kept for the next
    VCardImportCounts m_counts;
    // The keys taken so far by the hash of their caseless form: the first key with each hash, as
    // its position in m_keys plus one, and in m_hashTakenAgain the later ones whose hash an
    // earlier one had, as positions.
    QHash<size_t, qsizetype> m_seen;
    QMultiHash<size_t, qsizetype> m_hashTakenAgain;
    QByteArray m_bytes;
    // The bytes the later parts of a file were read into, whose lines this import took in where
    // they are, and the runs of lines it took, in order: the record bytes after m_bytes.
    std::vector<QByteArray> m_laterBytes;
    QList<QByteArrayView> m_laterRuns;
    // Where each line ends in the record bytes, their pieces one after another, its CR LF included.
    QList<qsizetype> m_lineEnds;
    QList<quint8> m_facts; // of each line
    QList<size_t> m_hashes; // of each line's key, for the import that takes the lines in
    QStringList m_keys;
    QStringList m_photos;
    bool m_photoDirectoryExisted = false;
    bool m_endedInsideCard = false; // the last read ended inside a card
    qint64 m_wholeFileSize = 0; // of a file whose first part alone this import reads
};
