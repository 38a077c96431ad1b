#pragma once

#include "contacts/contact_record.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QString>

struct VCard;
struct VCardProperty;

// Properties the program writes for the fields vCard has no place for, so that a card it wrote
// reads back text for text.
namespace VCardOrvalia {
inline constexpr char Age[] = "X-ORVALIA-EDAD";
inline constexpr char RegistrationDate[] = "X-ORVALIA-FECHA-ALTA";
inline constexpr char BirthDate[] = "X-ORVALIA-FECHA-NACIMIENTO"; // the field's own text
inline constexpr char CivilStatus[] = "X-ORVALIA-SITUACION-CIVIL";
inline constexpr char Weight[] = "X-ORVALIA-PESO";
inline constexpr char Height[] = "X-ORVALIA-ALTURA";
} // namespace VCardOrvalia

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
};

// What one card gives the 18 fields, before the text is fitted into the contact file.
struct VCardContact
{
    ContactRecord::Fields fields;
    QByteArray photo; // an inline picture, to be saved as a file of its own
    bool hasName = false; // false: neither N nor FN names anybody
    bool nameCompleted = false; // surname or name was missing and is a hyphen
    bool extrasLeftOut = false; // telephones or e-mails beyond the form's two and one
    bool photoLeftOut = false; // a picture at a web address, a missing file, damaged data
};

// The mapping of a card to the fields:
// - N gives the surname (family names) and the name (given and additional names). Without N, or
//   when N leaves one of them empty, the last word of FN is the surname and the rest the name;
//   what stays empty is a hyphen.
// - NICKNAME; the first ADR, a home one first: street, locality, region, country.
// - The first TEL (a preferred one first) whose types include cell or mobile (or whose label says
//   so) is the mobile; the first other one the telephone, a voice number before a fax or pager;
//   without any other, a second mobile number is the telephone.
// - The first EMAIL, a preferred one first. BDAY as VCardDates says. TITLE, else ROLE, else ORG.
// - The registration date is today unless X-ORVALIA-FECHA-ALTA says otherwise; age, civil status,
//   weight, height and the birth date's own text come from the X-ORVALIA- properties.
// - PHOTO: inline data (base64 or a data: address) is kept in photo; a file: address whose file
//   exists gives its path; a web address is never fetched.
VCardContact contactOf(const VCard &card, const VCardDates &dates, const QString &today);

// The names of the properties contactOf looks at.
QList<QByteArray> mappedProperties();

namespace VCardFit {

// The text as the contact file can hold it: line breaks become blanks, the separator "ã" and
// letters Windows-1252 lacks lose their accents ("ã" -> "a", "ő" -> "o"), anything else becomes
// "?". changed tells whether the text differs from what it was (in composed form).
QString fitted(const QString &text, bool *changed = nullptr);

} // namespace VCardFit
