#include "contacts/vcard_dates.h"

#include "contacts/vcard.h"
#include "platform/windows1252.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {

// The format with its year run of two digits made four: "d/M/yy" -> "d/M/yyyy".
QString withFullYear(const QString &format)
{
    QString out = format;
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
    out.replace(shortYear, QStringLiteral("yyyy"));
    return out;
}

// The format without its year and one separator beside it: "d/M/yy" -> "d/M", "yyyy-MM-dd" ->
// "MM-dd", "dd.MM.yy" -> "dd.MM".
QString withoutYear(const QString &format)
{
    static const QRegularExpression yearAfter(QStringLiteral("[^dMy]*y+"));
    static const QRegularExpression yearBefore(QStringLiteral("^y+[^dMy]*"));
    QString out = format;
    if (out.startsWith(u'y'))
        out.remove(yearBefore);
    else
        out.remove(yearAfter);
    return out.trimmed();
}

// 2-digit years in a field belong to the last hundred years: "80" is 1980, "05" 2005.
QDate inLastCentury(QDate date)
{
    while (date.isValid() && date.year() < QDate::currentDate().year() - 99)
        date = date.addYears(100);
    return date;
}

// How many times the character at i stands in a row there: 4 at the "yyyy" of "dd/MM/yyyy".
qsizetype runLength(QStringView format, qsizetype i)
{
    qsizetype run = 1;
    while (i + run < format.size() && format[i + run] == format[i])
        ++run;
    return run;
}

// Whether a format is made of numbers alone (d, dd, M, MM, yy, yyyy and characters that stand for
// themselves): such dates are read and written here, many times faster than the locale does it.
bool isNumeric(QStringView format)
{
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        const qsizetype run = runLength(format, i);
        if (c == u'd' || c == u'M') {
            if (run > 2)
                return false;
        } else if (c == u'y') {
            if (run != 2 && run != 4)
                return false;
        } else if (c.isLetter() || c == u'\'') {
            return false;
        }
        i += run;
    }
    return true;
}

struct DayMonthYear
{
    int day = 1;
    int month = 1;
    int year = 2000;
};

// The date in a numeric format, not yet checked to be a day of the calendar; a format without a
// year reads as a day of the year 2000, and a 2-digit year as one of the 1900s, as the locale
// reads it. Text is a QStringView, or a QLatin1StringView of ASCII bytes.
template <typename Text> std::optional<DayMonthYear> readNumericParts(Text text, QStringView format)
{
    DayMonthYear date;
    qsizetype at = 0;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        const qsizetype run = runLength(format, i);
        i += run;
        if (c != u'd' && c != u'M' && c != u'y') {
            for (qsizetype k = 0; k < run; ++k, ++at) {
                if (at >= text.size() || text[at].unicode() != c.unicode())
                    return std::nullopt;
            }
            continue;
        }
        // d and M take one or two digits, the rest exactly as many as letters.
        const qsizetype least = run == 1 ? 1 : run;
        const qsizetype most = run == 1 ? 2 : run;
        qsizetype digits = 0;
        int value = 0;
        while (digits < most && at + digits < text.size()) {
            const char16_t digit = text[at + digits].unicode();
            if (digit < u'0' || digit > u'9')
                break;
            value = value * 10 + (digit - u'0');
            ++digits;
        }
        if (digits < least)
            return std::nullopt;
        at += digits;
        if (c == u'd')
            date.day = value;
        else if (c == u'M')
            date.month = value;
        else
            date.year = run == 2 ? 1900 + value : value;
    }
    if (at != text.size())
        return std::nullopt;
    return date;
}

template <typename Text> QDate readNumeric(Text text, QStringView format)
{
    const std::optional<DayMonthYear> date = readNumericParts(text, format);
    return date ? QDate(date->year, date->month, date->day) : QDate();
}

QString writeNumeric(QDate date, QStringView format)
{
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day); // the calendar worked out once, not once a part
    QString out;
    out.reserve(format.size() + 2);
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        const qsizetype run = runLength(format, i);
        i += run;
        int value = 0;
        if (c == u'd')
            value = day;
        else if (c == u'M')
            value = month;
        else if (c == u'y')
            value = run == 2 ? year % 100 : year;
        else {
            out += format.mid(i - run, run);
            continue;
        }
        // At least as many digits as letters: "d" gives 5, "dd" 05, "yyyy" 1980.
        char16_t digits[12];
        int count = 0;
        for (unsigned rest = unsigned(std::abs(value)); count == 0 || rest > 0; rest /= 10)
            digits[count++] = char16_t(u'0' + rest % 10);
        while (count < run && count < 12)
            digits[count++] = u'0';
        if (value < 0)
            out += u'-';
        while (count > 0)
            out += QChar(digits[--count]);
    }
    return out;
}

} // namespace

QDate VCardDates::read(const QString &text, const QString &format) const
{
    return isNumeric(format) ? readNumeric(QStringView(text), format) : locale.toDate(text, format);
}

QString VCardDates::write(QDate day, const QString &format) const
{
    return isNumeric(format) ? writeNumeric(day, format) : locale.toString(day, format);
}

VCardDates VCardDates::forLocale(const QLocale &locale)
{
    return fromShortFormat(locale.dateFormat(QLocale::ShortFormat), locale);
}

VCardDates VCardDates::fromShortFormat(const QString &shortFormat, const QLocale &locale)
{
    VCardDates dates;
    dates.locale = locale;
    dates.date = shortFormat;
    dates.birthDate = withFullYear(shortFormat);
    dates.dayMonth = withoutYear(shortFormat);
    return dates;
}

QString VCardDates::fromBday(const VCardProperty &bday) const
{
    const QString text = bday.text().trimmed();
    if (bday.parameter("VALUE").contains(u"text", Qt::CaseInsensitive))
        return text;
    QString value = text;
    const qsizetype time = value.indexOf(u'T');
    if (time > 0)
        value.truncate(time);
    static const QRegularExpression full(QStringLiteral("^(\\d{4})-?(\\d{2})-?(\\d{2})$"));
    static const QRegularExpression noYear(QStringLiteral("^--(\\d{2})-?(\\d{2})$"));
    if (const QRegularExpressionMatch match = full.match(value); match.hasMatch()) {
        const int year = match.captured(1).toInt();
        const int month = match.captured(2).toInt();
        const int day = match.captured(3).toInt();
        // Apple writes a birthday without a year in the year 1604 and says so.
        const QStringList omitted = bday.parameter("X-APPLE-OMIT-YEAR");
        if (year == 1604 || (!omitted.isEmpty() && omitted.front().toInt() == year)) {
            const QDate inLeapYear(2000, month, day);
            return inLeapYear.isValid() ? write(inLeapYear, dayMonth) : text;
        }
        const QDate born(year, month, day);
        return born.isValid() ? write(born, birthDate) : text;
    }
    if (const QRegularExpressionMatch match = noYear.match(value); match.hasMatch()) {
        const QDate born(2000, match.captured(1).toInt(), match.captured(2).toInt());
        return born.isValid() ? write(born, dayMonth) : text;
    }
    return text;
}

QString VCardDates::toBday(const QString &field) const
{
    const QString text = field.trimmed();
    if (text.isEmpty())
        return {};
    const QString iso = QStringLiteral("yyyy-MM-dd");
    for (const QDate full : {read(text, birthDate), readNumeric(QStringView(text), iso)}) {
        if (full.isValid())
            return writeNumeric(full, iso);
    }
    if (date.contains(QLatin1String("yy")) && !date.contains(QLatin1String("yyyy"))) {
        if (const QDate shortYear = inLastCentury(read(text, date)); shortYear.isValid())
            return writeNumeric(shortYear, iso);
    }
    // In a leap year, so that 29 February is a day too.
    const QDate day = read(text + QStringLiteral("|2000"), dayMonth + QStringLiteral("|yyyy"));
    if (day.isValid())
        return QStringLiteral("--") + writeNumeric(day, u"MM-dd");
    return {};
}

QByteArray VCardDates::toBday(QByteArrayView field) const
{
    // Most birth dates are digits and signs in the full-year form: read where they lie.
    const auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!field.isEmpty() && isBlank(field.front()))
        field = field.sliced(1);
    while (!field.isEmpty() && isBlank(field.back()))
        field.chop(1);
    const bool ascii = std::all_of(
        field.begin(), field.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!field.isEmpty() && ascii && isNumeric(birthDate)) {
        const std::optional<DayMonthYear> full = readNumericParts(QLatin1StringView(field), birthDate);
        if (full && QDate::isValid(full->year, full->month, full->day) && full->year >= 0
            && full->year <= 9999) {
            const auto digit = [](int value) { return char('0' + value % 10); };
            const int y = full->year;
            const char iso[] = {digit(y / 1000), digit(y / 100), digit(y / 10), digit(y), '-',
                digit(full->month / 10), digit(full->month), '-', digit(full->day / 10), digit(full->day)};
            return QByteArray(iso, sizeof iso);
        }
    }
    return toBday(Windows1252::decode(field)).toLatin1();
}
