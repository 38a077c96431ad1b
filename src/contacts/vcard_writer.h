#pragma once

#include "contacts/vcard_contact.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class QIODevice;

// Writes contacts as vCard 3.0, the version Google, Apple, Android and GNOME all read: UTF-8,
// CR LF, lines folded at 75 bytes without splitting a character, every text escaped.
//
// A card holds FN, N, NICKNAME, ADR (home), TEL (home voice, and cell), EMAIL, BDAY when the
// birth date is a date, TITLE, the X-ORVALIA- properties of the fields vCard has no place for,
// and the photo as JPEG of at most 512 pixels on its longer side when its file can be read.
//
// The record lines are taken in the contact file's own bytes (Windows-1252) and turned into UTF-8
// byte by byte, without a string in between: an export is mostly this. A long export makes its
// cards on as many threads as the machine has processors (up to four) while it writes them.
class VCardWriter
{
public:
    explicit VCardWriter(VCardDates dates);
    ~VCardWriter();

    // The card of one record line, as far as its fields go; empty for a line without any text.
    QByteArray card(QByteArrayView line);

    // Writes the cards of the lines in the order given. keepGoing is asked after each card with
    // how many lines are done. False when the device refused bytes or keepGoing said no.
    bool write(QIODevice &device, const QList<QByteArrayView> &lines,
        const std::function<bool(qsizetype)> &keepGoing = {});
    // The cards the last write made: a line without any text makes none.
    qsizetype cardsWritten() const { return m_cards; }

    // One property line as bytes: folded every 75 bytes, never inside a UTF-8 character, with
    // CR LF after every part.
    static QByteArray folded(QByteArrayView line);

private:
    class Out; // the cards' bytes as they are made
    class Property; // one property line of them

    // The cards of some lines, made apart from the others.
    static constexpr qsizetype BatchLines = 1024;
    struct Batch
    {
        QByteArray bytes;
        std::vector<qsizetype> ends; // where each line's card ends in bytes (none: where it starts)
        qsizetype cards = 0;
    };
    Batch batch(const QList<QByteArrayView> &lines, qsizetype first, QByteArray memory);
    // Appends the card of a line to out; false, with nothing appended, for a line without text.
    bool appendCard(Out &out, QByteArrayView line);
    QByteArray photoOf(const QString &path);

    VCardDates m_dates;
    // Address books share few pictures among many contacts: each is read once per export.
    QHash<QString, QByteArray> m_photos;
    qsizetype m_photoBytes = 0;
    static constexpr qsizetype MostPhotoBytes = qsizetype(16) << 20;
    qsizetype m_mostPhotoBytes = MostPhotoBytes;
    qsizetype m_cards = 0;
};
