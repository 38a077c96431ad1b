#pragma once

#include "contacts/vcard.h"
#include "contacts/vcard_property_parser.h"
#include "platform/line_reader.h"

#include <QByteArray>
#include <QList>

#include <functional>

class QIODevice;

// Reads the cards of a vCard file one after another, never holding more of the file than one
// card. A card that cannot be read (no END before the next BEGIN or the end of the file, a line or
// card over the bounds) is skipped and counted; reading goes on with the next one.
class VCardReader
{
public:
    // A logical line (unfolded) and a card beyond these are skipped: a picture of some megabytes
    // fits many times over, a file of one endless line does not exhaust the memory.
    static constexpr qsizetype MaxLineBytes = qsizetype(16) << 20;
    static constexpr qsizetype MaxCardBytes = qsizetype(32) << 20;

    explicit VCardReader(QIODevice &device);

    // Keeps only the properties of these names (upper case) in the cards it gives, to spare the
    // memory of those nobody reads (notes, sounds, logos). All are kept unless this is called.
    void keepOnly(const QList<QByteArray> &names);

    // Asked after every block read (1 MiB) with the bytes read so far, also where no card ends
    // for a long way; false stops the reading as if the file ended there (see stopped()).
    void setKeepGoing(std::function<bool(qint64)> keepGoing) { m_lines.setKeepGoing(std::move(keepGoing)); }

    // The next card that could be read; false at the end of the file, on a read error or when
    // told to stop.
    bool next(VCard &card);

    // Cards skipped so far because they could not be read.
    int unreadable() const { return m_unreadable; }
    // The end of the file came inside a card (one of those skipped).
    bool endedInsideCard() const { return m_endedInsideCard; }
    bool failed() const { return m_lines.failed(); }
    bool stopped() const { return m_lines.stopped(); }
    // Bytes of the device read so far, for a progress bar.
    qint64 position() const { return m_lines.position(); }

private:
    enum class Line { Text, TooLong, End };
    Line nextPhysical(QByteArrayView &line);
    // Handles one logical line; true when it completed a card.
    bool take(QByteArrayView line, bool tooLong, VCard &card);
    void dropCard();

    LineReader m_lines;

    // The logical line pending until the next physical line shows whether it goes on: held where
    // the line reader has it (m_held), or copied into m_logical once it is folded or would move.
    QByteArrayView m_held;
    bool m_pendingHeld = false;
    QByteArray m_logical;
    bool m_logicalTooLong = false;
    void holdPendingHere(); // copies a held line into m_logical
    void clearPending();
    // How the value of the logical line is encoded, worked out only when a line break needs it.
    enum class Encoding { Unknown, Plain, QuotedPrintable, Base64 };
    Encoding encoding(QByteArrayView logical);
    Encoding m_encoding = Encoding::Unknown;

    VCardParsing::Wanted m_wanted;
    VCard m_card; // the card being read
    // The properties read go on holding their memory for the next card's, but not a picture's
    // megabytes, nor the tail of a card of thousands of lines.
    static constexpr qsizetype MostKeptText = 4096;
    static constexpr size_t MostKeptProperties = 64;
    void recycleProperties(); // empties m_card, keeping its properties' memory
    VCardProperty &newProperty(); // after m_card's properties, empty but for its value's memory
    bool m_lastWasEmptyAgent = false;
    bool m_inCard = false;
    bool m_cardTooLong = false;
    qsizetype m_cardBytes = 0;
    int m_nested = 0; // depth of 2.1 AGENT cards inside the current one
    int m_unreadable = 0;
    bool m_endedInsideCard = false;
};
