#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QLocale>
#include <QString>

struct VCardProperty;

// How dates are written in the fields: the registration date in the system's short date format,
// a birthday in the same form with the year in full, a birthday without a year as day and month.
struct VCardDates
{
    QString date; // the short date format: "d/M/yy"
    QString birthDate; // the same with four digits for the year: "d/M/yyyy"
    QString dayMonth; // the same without the year: "d/M"
    QLocale locale = QLocale::c(); // for the names of months in a format that has them

    // The forms of the locale's short date format, as the registration date is written.
    static VCardDates forLocale(const QLocale &locale);
    static VCardDates fromShortFormat(const QString &shortFormat, const QLocale &locale = QLocale::c());

    // The birth date field for a BDAY: a date in birthDate form, a date without a year in
    // dayMonth form, any other text as it stands.
    QString fromBday(const VCardProperty &bday) const;

    // A date in one of the forms and back. A form without a year reads as a day of 2000.
    QDate read(const QString &text, const QString &format) const;
    QString write(QDate day, const QString &format) const;

    // The BDAY value for a birth date field that holds a date ("1980-04-23", "--04-23"); empty
    // when the field is no date in any of the three forms or in ISO form.
    QString toBday(const QString &field) const;
    // The same for a field in the contact file's bytes (Windows-1252).
    QByteArray toBday(QByteArrayView field) const;
};
