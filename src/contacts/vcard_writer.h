#pragma once

#include "contacts/vcard_contact.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

class QIODevice;

// Writes contacts as vCard 3.0, the version Google, Apple, Android and GNOME all read: UTF-8,
// CR LF, lines folded at 75 bytes without splitting a character, every text escaped.
//
// A card holds FN, N, NICKNAME, ADR (home), TEL (home voice, and cell), EMAIL, BDAY when the
// birth date is a date, TITLE, the X-ORVALIA- properties of the fields vCard has no place for,
// and the photo as JPEG of at most 512 pixels on its longer side when its file can be read.
class VCardWriter
{
public:
    explicit VCardWriter(VCardDates dates);

    // The card of one record line, as far as its fields go; empty for a line without any text.
    QByteArray card(QStringView line);

    // Writes the cards of the lines in the order given. keepGoing is asked after each card with
    // how many lines are done. False when the device refused bytes or keepGoing said no.
    bool write(
        QIODevice &device, const QStringList &lines, const std::function<bool(qsizetype)> &keepGoing = {});
    // The cards the last write made: a line without any text makes none.
    qsizetype cardsWritten() const { return m_cards; }

    // One property line as bytes: folded every 75 bytes, never inside a UTF-8 character, with
    // CR LF after every part.
    static QByteArray folded(QByteArrayView line);

private:
    QByteArray photoOf(const QString &path);

    VCardDates m_dates;
    // Address books share few pictures among many contacts: each is read once per export.
    QHash<QString, QByteArray> m_photos;
    qsizetype m_photoBytes = 0;
    qsizetype m_cards = 0;
};
