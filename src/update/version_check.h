#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// The version number offered by the update information "actu.txt" and its comparison with the
// program's own version.
//
// The file is free text with the version between two markers "¿-?", e.g. "¿-?2.1¿-?"; line
// breaks mean nothing. The version "2.1" is compared as the plain number 21, the program's own
// 2.0 as 20.
namespace VersionCheck {

inline constexpr QStringView Marker = u"¿-?";

// A non-negative decimal number kept as its digits, so that a version of any length compares
// exactly instead of overflowing: no leading zeros in the integer part, no trailing zeros in the
// fraction; zero has no digits at all.
struct Number
{
    QString integerDigits;
    QString fractionDigits;

    friend bool operator==(const Number &, const Number &) = default;
};

// -1, 0 or 1 as a is less than, equal to or greater than b.
int compare(const Number &a, const Number &b);

// Reads a text as a number: blanks are ignored; the value is the longest leading run of digits
// with at most one decimal point; a text that does not start with a digit is 0.
Number readNumber(QStringView text);

// "21", "0.5", "0": for tests and messages.
QString toString(const Number &number);

// The lines joined without separators. A lone CR is a line end too, so it goes as well.
QString joinLines(const QStringList &lines);

// The text between the first two markers. A missing first marker drops the first two characters
// instead; a missing second marker keeps everything after the first.
QString versionText(const QString &joined);

// The version text with its first "." removed, read as a number; nothing when it has no ".".
std::optional<Number> offeredNumber(const QString &versionText);

// Major and minor version written one after the other and read as a number: 2.0 gives 20.
Number ownNumber(int major, int minor);

// True when the version text stands for a number strictly greater than major.minor; one without
// a "." stands for 0.
bool isNewer(const QString &versionText, int major, int minor);

// The same for the whole joined update information.
bool offersNewer(const QString &joined, int major, int minor);

} // namespace VersionCheck
