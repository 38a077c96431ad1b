#pragma once

#include "contacts/vcard_syntax.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <span>
#include <utility>
#include <vector>

// One line of a card once unfolded and decoded: "item1.TEL;TYPE=CELL:600 123 456".
struct VCardProperty
{
    // Made without writing zeros over the parameters' inline room first, as an emplaceBack() of a
    // type without a constructor of its own would.
    VCardProperty() { }

    QByteArray group; // "item1", as written; empty without a group
    QByteArray name; // in upper case: "TEL", "X-ORVALIA-PESO"
    // Parameter names in upper case, each value on its own (TYPE=CELL,VOICE gives two pairs). A
    // bare 2.1 parameter ("TEL;CELL") is a TYPE, or an ENCODING when it names one.
    // Room for two without a memory block of their own: most properties have fewer.
    QVarLengthArray<std::pair<QByteArray, QString>, 2> parameters;
    // The text with its escapes still in place, in Unicode whatever the charset and encoding it
    // came in. Empty when the value was base64.
    QString value;
    // The bytes of a base64 value (ENCODING=b, ENCODING=BASE64).
    QByteArray binary;
    bool isBinary = false;
    bool damaged = false; // base64 that does not decode

    // Whether the property has that name (upper case): the lengths first, as most names differ
    // in length.
    bool is(QByteArrayView wanted) const { return VCardSyntax::sameName(name, wanted); }

    QStringList parameter(QByteArrayView name) const;
    QString firstParameter(QByteArrayView name) const; // empty when there is none
    // Whether one of the TYPE values is type, letter case ignored.
    bool hasType(QStringView type) const;
    // How much the card prefers this one: 1 (most) to 100; 0 when it says nothing. TYPE=PREF
    // counts as 1.
    int preference() const;

    // The value with its escapes resolved.
    QString text() const;
    // The same into out: the value itself when it escapes nothing, otherwise written in the memory
    // out already has when nothing else shares it.
    void textInto(QString &out) const;
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

    // The properties, in card order.
    std::span<const VCardProperty> properties() const { return {m_properties.data(), size_t(m_count)}; }

    // The properties of that name (upper case), in card order.
    QList<const VCardProperty *> all(QByteArrayView name) const;
    const VCardProperty *first(QByteArrayView name) const;
    // The labels Apple and Google give a grouped property ("item1.X-ABLabel:Móvil").
    QString labelOf(const VCardProperty &property) const;

private:
    friend class VCardReader;
    // The first m_count are the card's. The reader reads the next card into the same ones, in
    // place: most cards have the same properties in the same order, and their memory fits again.
    std::vector<VCardProperty> m_properties;
    qsizetype m_count = 0;
};
