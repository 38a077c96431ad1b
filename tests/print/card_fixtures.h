#pragma once

#include "contacts/contact_record.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

#include "fake_platform.h"

// A contact with every field filled by a single word where the card prints it, so that a text
// extracted from a PDF finds each value as one word.
inline ContactRecord::Fields sampleContact()
{
    using namespace ContactRecord;
    Fields fields;
    fields[apellido] = QStringLiteral("Gomez");
    fields[nombre] = QStringLiteral("Ana");
    fields[nick] = QStringLiteral("Anita");
    fields[edad] = QStringLiteral("034");
    fields[localidad] = QStringLiteral("Rosario");
    fields[provincia] = QStringLiteral("Cordoba");
    fields[pais] = QStringLiteral("Argentina");
    fields[domicilio] = QStringLiteral("Mitre");
    fields[telefono] = QStringLiteral("341-555");
    fields[celular] = QStringLiteral("15-555");
    fields[email] = QStringLiteral("ana@correo.example");
    fields[fechaalta] = QStringLiteral("07/12/2026");
    fields[fechanac] = QStringLiteral("3-5-1990");
    fields[estadocivil] = QStringLiteral("Casada");
    fields[peso] = QStringLiteral("70");
    fields[altura] = QStringLiteral("1.80");
    fields[ocupacion] = QStringLiteral("Docente");
    return fields;
}

// Agenda.opt with the defaults and the given photo setting on line 5.
inline void writeOptions(const QString &directory, const QString &printPhoto)
{
    writeBytes(directory + QStringLiteral("/Agenda.opt"),
        cp1252Lines({QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0"),
            printPhoto, QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1")}));
}

// A picture that is easy to recognise on a rendered page: a blue frame around a red field.
inline QString writePhoto(const QString &path, QSize size, const char *format = "JPG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(20, 40, 200), 4));
    painter.drawRect(image.rect().adjusted(2, 2, -3, -3));
    painter.end();
    if (!image.save(path, format))
        qFatal("cannot write the photo fixture %s", qPrintable(path));
    return path;
}
