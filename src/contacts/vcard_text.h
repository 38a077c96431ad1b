#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

// The text of a vCard value: its escapes, its structure and the bytes it came in.
namespace VCardText {

// Whether the text has a backslash, which may escape what follows it. A plain loop: values are
// short, and a general search costs more in setting out than in looking.
inline bool hasBackslash(QStringView text)
{
    for (const QChar c : text) {
        if (c == u'\\')
            return true;
    }
    return false;
}

// Resolves \\ \, \; \: \n \N; any other backslash stays as it is.
QString unescaped(QStringView text);
// The same into out, in the memory it already has when nothing else shares it. Text may be a
// piece of out itself.
void unescapedInto(QString &out, QStringView text);

using Pieces = QVarLengthArray<QStringView, 8>;

// Splits at every separator that no backslash escapes; the parts keep their escapes.
Pieces split(QStringView text, QChar separator);

// The comma-separated items of text unescaped and joined by glue: a single item exactly as it
// is, several trimmed, empty ones left out.
QString joinedItems(QStringView text, QStringView glue);
// The same into out, in the memory it already has when nothing else shares it.
void joinedItemsInto(QString &out, QStringView text, QStringView glue);

// Makes out a copy of text, in the memory out already has when nothing else shares it. Text may be
// a piece of out itself.
void copyInto(QString &out, QStringView text);

// Bytes in a named charset: UTF-8, US-ASCII, ISO-8859-1 (read as Windows-1252, as browsers do),
// Windows-1252, ISO-8859-15, UTF-16. Without a charset, or with one not known here, UTF-8 when
// the bytes are valid UTF-8 and Windows-1252 otherwise.
QString decode(QByteArrayView bytes, QStringView charset);
// The same into text, in the memory it already has when nothing else shares it.
void decodeInto(QString &text, QByteArrayView bytes, QStringView charset);

// Quoted-printable to bytes; a broken escape is kept as it stands.
QByteArray fromQuotedPrintable(QByteArrayView text);

} // namespace VCardText
