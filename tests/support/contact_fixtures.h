#pragma once

// Contacts and vCard cards as the tests write them.

#include "contacts/contact_record.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QString>

// A record line: surname, name and the fields given by index; the rest empty.
inline QString rec(const QString &surname, const QString &name, const QMap<int, QString> &others = {})
{
    ContactRecord::Fields fields;
    fields[ContactRecord::apellido] = surname;
    fields[ContactRecord::nombre] = name;
    for (auto it = others.cbegin(); it != others.cend(); ++it)
        fields[it.key()] = it.value();
    return ContactRecord::lineOf(fields);
}

// A vCard 3.0 card around the properties given, each ended by CR LF.
inline QByteArray card(const QByteArray &body)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "END:VCARD\r\n";
}

// A card with a small picture of one colour inside, as a telephone exports it; N is the name
// given ("Ruiz;Eva;;;").
inline QByteArray cardWithPhoto(const QByteArray &name, Qt::GlobalColor colour = Qt::green)
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return card("N:" + name + "\r\nPHOTO;ENCODING=b;TYPE=JPEG:" + jpeg.toBase64() + "\r\n");
}
