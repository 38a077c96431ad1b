#pragma once

#include "contacts/vcard.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A logical line of a card (unfolded, its value not yet decoded) taken apart into a property.
namespace VCardParsing {

// Which properties a card keeps: names of a table of common ones by their bit, others by name.
struct Wanted
{
    bool all = true;
    quint64 known = 0;
    QList<QByteArray> others;

    // Only the properties of these names, letter case ignored.
    static Wanted only(const QList<QByteArray> &names);
    bool has(int index, const QByteArray &name) const;
};

// What the parameters before the colon say about how the value is encoded.
struct ValueEncoding
{
    bool quotedPrintable = false;
    bool base64 = false;
};

ValueEncoding encodingOf(QByteArrayView line);

// Takes a logical line apart into property, which is empty before but for its value: the text of
// a line read before, written over (into its memory) as the value is decoded. False for a line
// that is no property. One whose name is not wanted gets its name alone, and keep false.
bool parseProperty(QByteArrayView line, const Wanted &wanted, bool &keep, VCardProperty &property);

} // namespace VCardParsing
