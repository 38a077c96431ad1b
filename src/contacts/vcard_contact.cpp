#include "contacts/vcard_contact.h"

#include "contacts/vcard.h"
#include "contacts/vcard_text.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

using namespace ContactRecord;

namespace {

// Two texts joined by a blank, or the one that is not empty as it is.
QString joinedNames(const QString &first, const QString &second)
{
    if (first.isEmpty() || second.isEmpty())
        return first.isEmpty() ? second : first;
    const QString a = first.trimmed();
    const QString b = second.trimmed();
    return a.isEmpty() || b.isEmpty() ? a + b : a + u' ' + b;
}

bool isMobile(const VCard &card, const VCardProperty &tel)
{
    for (const char16_t *type : {u"CELL", u"MOBILE", u"IPHONE"}) {
        if (tel.hasType(type))
            return true;
    }
    if (tel.group.isEmpty())
        return false;
    const QString label = card.labelOf(tel).toLower();
    for (const char16_t *word : {u"mobile", u"móvil", u"movil", u"celular", u"cell"}) {
        if (label.contains(word))
            return true;
    }
    return false;
}

bool isFaxOrPager(const VCardProperty &tel)
{
    return (tel.hasType(u"FAX") || tel.hasType(u"PAGER") || tel.hasType(u"MODEM")) && !tel.hasType(u"VOICE");
}

// Whether a value is an address ("tel:+34...", "mailto:ana@...") rather than text: as the
// property says, or in a 4.0 card, where it is the rule.
bool isAddress(const VCard &card, const VCardProperty &property)
{
    return property.firstParameter("VALUE").compare(u"uri", Qt::CaseInsensitive) == 0
        || card.version == "4.0";
}

QString telephoneText(const VCard &card, const VCardProperty &tel)
{
    QString text = tel.text();
    if (isAddress(card, tel) && text.startsWith(u"tel:", Qt::CaseInsensitive))
        text = QUrl::fromPercentEncoding(text.mid(4).toUtf8());
    return text;
}

// Splits a formatted name: the last word is the surname, the rest the name.
std::pair<QString, QString> splitFormattedName(const QString &formatted)
{
    const QStringList words = formatted.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    return {words.back(), words.mid(0, words.size() - 1).join(u' ')};
}

void mapName(const VCard &card, VCardContact &contact)
{
    QString surname;
    QString name;
    if (const VCardProperty *n = card.first("N")) {
        const VCardText::Pieces parts = VCardText::split(n->value, u';');
        const auto part = [&parts](int index) {
            return index < parts.size() ? VCardText::joinedItems(parts[index], u" ") : QString();
        };
        surname = part(0);
        name = joinedNames(part(1), part(2));
    }
    if (surname.isEmpty() || name.isEmpty()) {
        const VCardProperty *fn = card.first("FN");
        const auto [fnSurname, fnName] = splitFormattedName(fn ? fn->text() : QString());
        const bool fromN = !surname.isEmpty() || !name.isEmpty();
        if (!fromN || (!fnSurname.isEmpty() && !fnName.isEmpty())) {
            surname = fnSurname;
            name = fnName;
        }
    }
    contact.hasName = !surname.isEmpty() || !name.isEmpty();
    if (contact.hasName && (surname.isEmpty() || name.isEmpty())) {
        contact.nameCompleted = true;
        if (surname.isEmpty())
            surname = QStringLiteral("-");
        else
            name = QStringLiteral("-");
    }
    contact.fields[apellido] = surname;
    contact.fields[nombre] = name;
}

void mapAddress(const VCard &card, VCardContact &contact)
{
    const VCardProperty *chosen = nullptr;
    for (const VCardProperty &address : card.properties) {
        if (address.name != "ADR")
            continue;
        if (!chosen)
            chosen = &address;
        if (address.hasType(u"HOME")) {
            chosen = &address;
            break;
        }
    }
    if (!chosen)
        return;
    const VCardText::Pieces parts = VCardText::split(chosen->value, u';');
    const auto part = [&parts](int index) {
        return index < parts.size() ? VCardText::joinedItems(parts[index], u", ") : QString();
    };
    contact.fields[domicilio] = part(2);
    contact.fields[localidad] = part(3);
    contact.fields[provincia] = part(4);
    contact.fields[pais] = part(6);
}

// A number or address with its text, read once.
struct Entry
{
    const VCardProperty *property;
    QString text;
};

// The properties of that name whose text is not empty, preferred ones first, card order
// otherwise.
QVarLengthArray<Entry, 4> entries(
    const VCard &card, QByteArrayView name, QString (*textOf)(const VCard &, const VCardProperty &))
{
    QVarLengthArray<Entry, 4> found;
    for (const VCardProperty &property : card.properties) {
        if (property.name != name)
            continue;
        QString text = textOf(card, property);
        if (!text.isEmpty())
            found.append({&property, std::move(text)});
    }
    std::stable_sort(found.begin(), found.end(), [](const Entry &a, const Entry &b) {
        const int pa = a.property->preference() == 0 ? 101 : a.property->preference();
        const int pb = b.property->preference() == 0 ? 101 : b.property->preference();
        return pa < pb;
    });
    return found;
}

void mapTelephones(const VCard &card, VCardContact &contact)
{
    QVarLengthArray<const Entry *, 4> mobiles;
    QVarLengthArray<const Entry *, 4> landlines;
    QVarLengthArray<const Entry *, 4> others;
    const auto tels = entries(card, "TEL", telephoneText);
    for (const Entry &tel : tels) {
        if (isMobile(card, *tel.property))
            mobiles.append(&tel);
        else if (isFaxOrPager(*tel.property))
            others.append(&tel);
        else
            landlines.append(&tel);
    }
    landlines.append(others.begin(), others.size());
    if (landlines.isEmpty() && mobiles.size() > 1) {
        landlines.append(mobiles[1]);
        mobiles.remove(1);
    }
    if (!mobiles.isEmpty())
        contact.fields[celular] = mobiles.front()->text;
    if (!landlines.isEmpty())
        contact.fields[telefono] = landlines.front()->text;
    if (mobiles.size() > 1 || landlines.size() > 1)
        contact.extrasLeftOut = true;
}

QString emailText(const VCard &card, const VCardProperty &email)
{
    QString address = email.text();
    if (isAddress(card, email) && address.startsWith(u"mailto:", Qt::CaseInsensitive))
        address = address.mid(7);
    return address;
}

void mapEmail(const VCard &card, VCardContact &contact)
{
    const auto emails = entries(card, "EMAIL", emailText);
    if (emails.isEmpty())
        return;
    contact.fields[email] = emails.front().text;
    if (emails.size() > 1)
        contact.extrasLeftOut = true;
}

void mapOccupation(const VCard &card, VCardContact &contact)
{
    for (const char *name : {"TITLE", "ROLE"}) {
        for (const VCardProperty *property : card.all(name)) {
            const QString text = property->text();
            if (!text.isEmpty()) {
                contact.fields[ocupacion] = text;
                return;
            }
        }
    }
    for (const VCardProperty *org : card.all("ORG")) {
        // The organisation and its units: "Hospital Clínico, Pediatría".
        QStringList units;
        for (QStringView unit : VCardText::split(org->value, u';')) {
            const QString text = VCardText::joinedItems(unit, u", ");
            if (!text.trimmed().isEmpty())
                units << (units.isEmpty() ? text : text.trimmed());
        }
        if (units.size() > 1)
            units.front() = units.front().trimmed();
        const QString text = units.join(u", ");
        if (!text.isEmpty()) {
            contact.fields[ocupacion] = text;
            return;
        }
    }
}

// "data:image/jpeg;base64,/9j/..." to its bytes.
std::optional<QByteArray> dataAddress(const QString &value)
{
    if (!value.startsWith(u"data:", Qt::CaseInsensitive))
        return std::nullopt;
    const qsizetype comma = value.indexOf(u',');
    if (comma < 0)
        return QByteArray();
    const QString header = value.mid(5, comma - 5);
    const QByteArray data = value.mid(comma + 1).toLatin1();
    if (header.endsWith(u";base64", Qt::CaseInsensitive)) {
        QByteArray compact = data;
        compact.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? decoded.decoded : QByteArray();
    }
    return QByteArray::fromPercentEncoding(data);
}

void mapPhoto(const VCard &card, VCardContact &contact)
{
    const QList<const VCardProperty *> photos = card.all("PHOTO");
    for (const VCardProperty *photo : photos) {
        if (photo->isBinary) {
            if (!photo->damaged && !photo->binary.isEmpty()) {
                contact.photo = photo->binary;
                return;
            }
            continue;
        }
        const QString value = photo->value.trimmed();
        if (value.isEmpty())
            continue;
        if (const std::optional<QByteArray> data = dataAddress(value)) {
            if (!data->isEmpty()) {
                contact.photo = *data;
                return;
            }
            continue;
        }
        const QUrl url(value);
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (QFileInfo(path).isFile()) {
                contact.fields[ubicacionfoto] = path;
                return;
            }
            continue;
        }
        // Base64 that does not say so: "PHOTO;TYPE=JPEG:/9j/4AAQ...".
        if (url.scheme().isEmpty()) {
            auto decoded
                = QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (decoded && !decoded.decoded.isEmpty()) {
                contact.photo = decoded.decoded;
                return;
            }
        }
        // A web address: never fetched.
    }
    contact.photoLeftOut = !photos.isEmpty();
}

QString orvaliaText(const VCard &card, const char *name, bool *present = nullptr)
{
    const VCardProperty *property = card.first(name);
    if (present)
        *present = property != nullptr;
    return property ? property->text() : QString();
}

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

// Whether a format is made of numbers alone (d, dd, M, MM, yy, yyyy and characters that stand for
// themselves): such dates are read and written here, many times faster than the locale does it.
bool isNumeric(QStringView format)
{
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
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

// The date in a numeric format; a format without a year reads as a day of the year 2000, and a
// 2-digit year as one of the 1900s, as the locale reads it.
QDate readNumeric(QStringView text, QStringView format)
{
    int year = 2000;
    int month = 1;
    int day = 1;
    qsizetype at = 0;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        i += run;
        if (c != u'd' && c != u'M' && c != u'y') {
            if (text.mid(at, run) != format.mid(i - run, run))
                return {};
            at += run;
            continue;
        }
        // d and M take one or two digits, the rest exactly as many as letters.
        const qsizetype least = run == 1 ? 1 : run;
        const qsizetype most = run == 1 ? 2 : run;
        qsizetype digits = 0;
        int value = 0;
        while (digits < most && at + digits < text.size() && text[at + digits].isDigit()
            && text[at + digits].unicode() < 128) {
            value = value * 10 + (text[at + digits].unicode() - u'0');
            ++digits;
        }
        if (digits < least)
            return {};
        at += digits;
        if (c == u'd')
            day = value;
        else if (c == u'M')
            month = value;
        else
            year = run == 2 ? 1900 + value : value;
    }
    return at == text.size() ? QDate(year, month, day) : QDate();
}

QString writeNumeric(QDate date, QStringView format)
{
    QString out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        i += run;
        int value = 0;
        if (c == u'd')
            value = date.day();
        else if (c == u'M')
            value = date.month();
        else if (c == u'y')
            value = run == 2 ? date.year() % 100 : date.year();
        else {
            out += format.mid(i - run, run);
            continue;
        }
        out += QString::number(value).rightJustified(run, u'0');
    }
    return out;
}

} // namespace

QDate VCardDates::read(const QString &text, const QString &format) const
{
    return isNumeric(format) ? readNumeric(text, format) : locale.toDate(text, format);
}

QString VCardDates::write(QDate day, const QString &format) const
{
    return isNumeric(format) ? writeNumeric(day, format) : locale.toString(day, format);
}

namespace { } // namespace

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
    for (const QDate full : {read(text, birthDate), readNumeric(text, iso)}) {
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

VCardContact contactOf(const VCard &card, const VCardDates &dates, const QString &today)
{
    VCardContact contact;
    mapName(card, contact);
    if (const VCardProperty *nickname = card.first("NICKNAME"))
        contact.fields[nick] = VCardText::joinedItems(nickname->value, u", ");
    mapAddress(card, contact);
    mapTelephones(card, contact);
    mapEmail(card, contact);
    mapOccupation(card, contact);
    mapPhoto(card, contact);

    bool present = false;
    contact.fields[edad] = orvaliaText(card, VCardOrvalia::Age);
    contact.fields[fechaalta] = orvaliaText(card, VCardOrvalia::RegistrationDate, &present);
    if (!present)
        contact.fields[fechaalta] = today;
    contact.fields[fechanac] = orvaliaText(card, VCardOrvalia::BirthDate, &present);
    if (!present) {
        if (const VCardProperty *bday = card.first("BDAY"))
            contact.fields[fechanac] = dates.fromBday(*bday);
    }
    contact.fields[estadocivil] = orvaliaText(card, VCardOrvalia::CivilStatus);
    contact.fields[peso] = orvaliaText(card, VCardOrvalia::Weight);
    contact.fields[altura] = orvaliaText(card, VCardOrvalia::Height);
    return contact;
}

QList<QByteArray> mappedProperties()
{
    return {"N", "FN", "NICKNAME", "ADR", "TEL", "EMAIL", "BDAY", "TITLE", "ROLE", "ORG", "PHOTO",
        "X-ABLABEL", VCardOrvalia::Age, VCardOrvalia::RegistrationDate, VCardOrvalia::BirthDate,
        VCardOrvalia::CivilStatus, VCardOrvalia::Weight, VCardOrvalia::Height};
}

namespace VCardFit {

namespace {

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// The character without its accents, when what is left can be stored.
QString withoutAccents(char32_t c, QString::NormalizationForm form)
{
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(form);
    QString out;
    for (char32_t part : decomposed.toUcs4()) {
        if (isMark(part))
            continue;
        const QString text = QString::fromUcs4(&part, 1);
        if (text.size() != 1 || !isStorable(text.front()))
            return {};
        out += text;
    }
    return out;
}

// Letters with a stroke, which Unicode does not decompose.
QString strokeless(char32_t c)
{
    switch (c) {
    case U'ł':
        return QStringLiteral("l");
    case U'Ł':
        return QStringLiteral("L");
    case U'đ':
        return QStringLiteral("d");
    case U'Đ':
        return QStringLiteral("D");
    case U'ħ':
        return QStringLiteral("h");
    case U'Ħ':
        return QStringLiteral("H");
    case U'ı':
        return QStringLiteral("i");
    case U'ŧ':
        return QStringLiteral("t");
    case U'Ŧ':
        return QStringLiteral("T");
    default:
        return {};
    }
}

} // namespace

QString fitted(const QString &text, bool *changed)
{
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return isStorable(c); })) {
        // Nothing to do: no character of the code page composes with another.
        if (changed)
            *changed = false;
        return text;
    }
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (c == u'\r' || c == u'\n' || c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029)) {
            if (c == u'\r' && i + 1 < composed.size() && composed[i + 1] == u'\n')
                ++i;
            out += u' ';
            continue;
        }
        if (isStorable(c)) {
            out += c;
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, composed[++i]);
        if (isMark(code))
            continue; // an accent with no letter to sit on
        QString replacement = withoutAccents(code, QString::NormalizationForm_D);
        if (replacement.isEmpty())
            replacement = withoutAccents(code, QString::NormalizationForm_KD);
        if (replacement.isEmpty())
            replacement = strokeless(code);
        out += replacement.isEmpty() ? QStringLiteral("?") : replacement;
    }
    if (changed)
        *changed = out != composed;
    return out;
}

} // namespace VCardFit
