#include "update/version_check.h"

namespace VersionCheck {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int compare(const Number &a, const Number &b)
{
    // Without leading zeros the longer integer part is the greater number.
    if (a.integerDigits.size() != b.integerDigits.size())
        return a.integerDigits.size() < b.integerDigits.size() ? -1 : 1;
    if (const int c = a.integerDigits.compare(b.integerDigits); c != 0)
        return c < 0 ? -1 : 1;
    // Without trailing zeros the fractions compare digit by digit, a missing digit being the least.
    if (const int c = a.fractionDigits.compare(b.fractionDigits); c != 0)
        return c < 0 ? -1 : 1;
    return 0;
}

Number readNumber(QStringView text)
{
    Number number;
    bool point = false;
    bool digits = false;
    for (const QChar c : text) {
        if (c == u' ')
            continue;
        if (isAsciiDigit(c)) {
            (point ? number.fractionDigits : number.integerDigits) += c;
            digits = true;
        } else if (c == u'.' && digits && !point) {
            point = true;
        } else {
            break;
        }
    }
    qsizetype zeros = 0;
    while (zeros < number.integerDigits.size() && number.integerDigits.at(zeros) == u'0')
        ++zeros;
    number.integerDigits.remove(0, zeros);
    qsizetype end = number.fractionDigits.size();
    while (end > 0 && number.fractionDigits.at(end - 1) == u'0')
        --end;
    number.fractionDigits.truncate(end);
    return number;
}

QString toString(const Number &number)
{
    QString text = number.integerDigits.isEmpty() ? QStringLiteral("0") : number.integerDigits;
    if (!number.fractionDigits.isEmpty())
        text += u'.' + number.fractionDigits;
    return text;
}

QString joinLines(const QStringList &lines)
{
    QString joined = lines.join(QString());
    joined.remove(u'\r');
    return joined;
}

QString versionText(const QString &joined)
{
    // Positions as the original counts them from 1, where 0 means "not found":
    // text from p + 3 on, then the first p - 1 characters.
    const qsizetype first = joined.indexOf(Marker) + 1;
    QString text = joined.mid(first + 2);
    const qsizetype second = text.indexOf(Marker) + 1;
    if (second > 0)
        text.truncate(second - 1);
    return text;
}

std::optional<Number> offeredNumber(const QString &versionText)
{
    const qsizetype point = versionText.indexOf(u'.');
    if (point < 0)
        return std::nullopt;
    return readNumber(QString(versionText.left(point) + versionText.mid(point + 1)));
}

Number ownNumber(int major, int minor)
{
    return readNumber(QString(QString::number(major) + QString::number(minor)));
}

bool isNewer(const QString &versionText, int major, int minor)
{
    const Number offered = offeredNumber(versionText).value_or(Number {});
    return compare(offered, ownNumber(major, minor)) > 0;
}

bool offersNewer(const QString &joined, int major, int minor)
{
    return isNewer(versionText(joined), major, minor);
}

} // namespace VersionCheck
