#pragma once

#include "contacts/contact_record.h"

#include <QImage>
#include <QRectF>
#include <QString>

class CardSurface;

// The contact card: the surname and name as a large script title, the photo, and the other
// fields as label/value rows in two columns, laid out in centimetres on an A4 sheet.
namespace ContactCard {

inline const QString ScriptFont = QStringLiteral("NuptialScript");
inline constexpr double TitleSize = 45.0;
inline constexpr double RowSize = 14.0;
inline constexpr double TitleY = 2.0;
inline constexpr double PhotoX = 6.2;
inline constexpr double PhotoGap = 3.5; // below the title line
inline constexpr double PhotoSide = 8.0;
inline constexpr double ColumnsTop = 18.0;
inline constexpr double RowGap = 0.5;
inline constexpr double LeftLabelX = 2.2;
inline constexpr double LeftValueX = 5.5;
inline constexpr double RightLabelX = 10.4;
inline constexpr double RightValueX = 15.0;

inline constexpr int TitleLimit = 30;
inline constexpr int FieldLimit = 18;

// Surname, one space, first name.
QString title(const ContactRecord::Fields &fields);

// The fields that may not fit on the card, by their warning names in card order, joined by "; ".
struct LongFields
{
    QString list;
    int count = 0;
};
LongFields longFields(const ContactRecord::Fields &fields);

// The question that offers to print anyway; the list is followed by a carriage return.
QString longFieldsQuestion(const QString &list);

// True when every one of the 18 fields is empty; the photo location counts like the others.
bool isBlank(const ContactRecord::Fields &fields);

// The photo option read as a number: "0", "00" and empty are off, any other number is on. Text
// that is no number at all leaves the photo out too.
bool photoOptionOn(const QString &printPhoto);

// The picture of a file, loaded as the main window shows it; a null image when the file is
// missing or is no picture.
QImage loadPhoto(const QString &path);

// x of the title: centred by a width measured before the title font is set. Not clamped.
double titleX(double measuredWidth);

// The steps of the card on a surface. Each returns false as soon as the surface refuses a call.

// Measures the title in the font in effect, then prints it at 45 points in the script font.
bool printTitle(CardSurface &surface, const QString &title);

// Stretches the picture into the 8 x 8 square 3.5 cm below the current line.
bool printPhoto(CardSurface &surface, const QImage &picture);
QRectF photoRect(double yAfterTitle);

// The two columns of rows from y 18.0, each row a bold label and a regular value.
bool printColumns(CardSurface &surface, const ContactRecord::Fields &fields);

} // namespace ContactCard
