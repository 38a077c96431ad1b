#pragma once

#include "contacts/contact_record.h"
#include "contacts/vcard_dates.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct VCard;

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

// What one card gives the 18 fields, before the text is fitted into the contact file.
struct VCardContact
{
    ContactRecord::Fields fields;
    QByteArray photo; // an inline picture, to be saved as a file of its own
    bool hasName = false; // false: neither N nor FN names anybody
    bool nameCompleted = false; // surname or name was missing and is a hyphen
    bool extrasLeftOut = false; // telephones or e-mails beyond the form's two and one
    bool photoLeftOut = false; // a picture at a web address, a missing file, damaged data

    // Empties the fields and the flags; a text that nothing else shares keeps its memory.
    void clear();
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
//
// Fills contact, which is cleared first: an import maps card after card into one contact, whose
// texts keep their memory from one to the next.
void contactOf(const VCard &card, const VCardDates &dates, const QString &today, VCardContact &contact);

// The names of the properties contactOf looks at.
QList<QByteArray> mappedProperties();
