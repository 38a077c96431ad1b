#pragma once

#include "platform/line_reader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <functional>
#include <utility>

class QIODevice;

// One line of a card once unfolded and decoded: "item1.TEL;TYPE=CELL:600 123 456".
struct VCardProperty
{
    QByteArray group; // "item1", as written; empty without a group
    QByteArray name; // in upper case: "TEL", "X-ORVALIA-PESO"
    // Parameter names in upper case, each value on its own (TYPE=CELL,VOICE gives two pairs). A
    // bare 2.1 parameter ("TEL;CELL") is a TYPE, or an ENCODING when it names one.
    QList<std::pair<QByteArray, QString>> parameters;
    // The text with its escapes still in place, in Unicode whatever the charset and encoding it
    // came in. Empty when the value was base64.
    QString value;
    // The bytes of a base64 value (ENCODING=b, ENCODING=BASE64).
    QByteArray binary;
    bool isBinary = false;
    bool damaged = false; // base64 that does not decode

    QStringList parameter(QByteArrayView name) const;
    QString firstParameter(QByteArrayView name) const; // empty when there is none
    // Whether one of the TYPE values is type, letter case ignored.
    bool hasType(QStringView type) const;
    // How much the card prefers this one: 1 (most) to 100; 0 when it says nothing. TYPE=PREF
    // counts as 1.
    int preference() const;

    // The value with its escapes resolved.
    QString text() const;
    // The parts of a structured value (N, ADR, ORG), each split into its comma-separated items,
    // every item unescaped.
    QList<QStringList> components() const;
    // One part of a structured value with its items joined by glue: a single item exactly as it
    // is, several trimmed ("Calle Mayor, 5"); empty when the value has no such part.
    QString component(int index, QStringView glue) const;
    // The comma-separated items of a list value (NICKNAME, CATEGORIES), unescaped.
    QStringList items() const;
};

struct VCard
{
    QByteArray version; // as the card says: "2.1", "3.0", "4.0"; empty when it does not
    QList<VCardProperty> properties;

    // The properties of that name (upper case), in card order.
    QList<const VCardProperty *> all(QByteArrayView name) const;
    const VCardProperty *first(QByteArrayView name) const;
    // The labels Apple and Google give a grouped property ("item1.X-ABLabel:Móvil").
    QString labelOf(const VCardProperty &property) const;
};

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

    // Which properties a card keeps: names of a table of common ones by their bit, others by name.
    struct Wanted
    {
        bool all = true;
        quint64 known = 0;
        QList<QByteArray> others;
        bool has(int index, const QByteArray &name) const;
    };

    // Asked after every block read (1 MiB) with the bytes read so far, also where no card ends
    // for a long way; false stops the reading as if the file ended there (see stopped()).
    void setKeepGoing(std::function<bool(qint64)> keepGoing) { m_lines.setKeepGoing(std::move(keepGoing)); }

    // The next card that could be read; false at the end of the file, on a read error or when
    // told to stop.
    bool next(VCard &card);

    // Cards skipped so far because they could not be read.
    int unreadable() const { return m_unreadable; }
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

    QByteArray m_logical;
    bool m_logicalTooLong = false;
    // How the value of the logical line is encoded, worked out only when a line break needs it.
    enum class Encoding { Unknown, Plain, QuotedPrintable, Base64 };
    Encoding encoding();
    Encoding m_encoding = Encoding::Unknown;

    Wanted m_wanted;
    VCard m_card; // the card being read
    bool m_lastWasEmptyAgent = false;
    bool m_inCard = false;
    bool m_cardTooLong = false;
    qsizetype m_cardBytes = 0;
    int m_nested = 0; // depth of 2.1 AGENT cards inside the current one
    int m_unreadable = 0;
};

namespace VCardText {

// Resolves \\ \, \; \: \n \N; any other backslash stays as it is.
QString unescaped(QStringView text);

using Pieces = QVarLengthArray<QStringView, 8>;

// Splits at every separator that no backslash escapes; the parts keep their escapes.
Pieces split(QStringView text, QChar separator);

// The comma-separated items of text unescaped and joined by glue: a single item exactly as it
// is, several trimmed, empty ones left out.
QString joinedItems(QStringView text, QStringView glue);

// Bytes in a named charset: UTF-8, US-ASCII, ISO-8859-1 (read as Windows-1252, as browsers do),
// Windows-1252, ISO-8859-15, UTF-16. Without a charset, or with one not known here, UTF-8 when
// the bytes are valid UTF-8 and Windows-1252 otherwise.
QString decode(QByteArrayView bytes, QStringView charset);

// Quoted-printable to bytes; a broken escape is kept as it stands.
QByteArray fromQuotedPrintable(QByteArrayView text);

} // namespace VCardText
