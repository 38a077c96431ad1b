#include "contacts/vcard_property_parser.h"

#include "contacts/vcard_syntax.h"
#include "contacts/vcard_text.h"

#include <QString>

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

using namespace Qt::StringLiterals;
using namespace VCardSyntax;

namespace {

bool isEncodingName(QByteArrayView value)
{
    for (const char *name : {"QUOTED-PRINTABLE", "BASE64", "B", "8BIT", "7BIT"}) {
        if (equalsIgnoringCase(value, name))
            return true;
    }
    return false;
}

// Names that come in nearly every card: shared instead of made anew each time, in upper case.
// Literals: their copies count no references, which threads reading at once would contend for.
const QByteArray KnownNames[] = {
    QByteArrayLiteral("BEGIN"),
    QByteArrayLiteral("END"),
    QByteArrayLiteral("VERSION"),
    QByteArrayLiteral("N"),
    QByteArrayLiteral("FN"),
    QByteArrayLiteral("NICKNAME"),
    QByteArrayLiteral("TEL"),
    QByteArrayLiteral("EMAIL"),
    QByteArrayLiteral("ADR"),
    QByteArrayLiteral("LABEL"),
    QByteArrayLiteral("BDAY"),
    QByteArrayLiteral("TITLE"),
    QByteArrayLiteral("ROLE"),
    QByteArrayLiteral("ORG"),
    QByteArrayLiteral("PHOTO"),
    QByteArrayLiteral("NOTE"),
    QByteArrayLiteral("URL"),
    QByteArrayLiteral("UID"),
    QByteArrayLiteral("REV"),
    QByteArrayLiteral("CATEGORIES"),
    QByteArrayLiteral("X-ABLABEL"),
    QByteArrayLiteral("PRODID"),
    QByteArrayLiteral("AGENT"),
    QByteArrayLiteral("X-ORVALIA-EDAD"),
    QByteArrayLiteral("X-ORVALIA-FECHA-ALTA"),
    QByteArrayLiteral("X-ORVALIA-FECHA-NACIMIENTO"),
    QByteArrayLiteral("X-ORVALIA-SITUACION-CIVIL"),
    QByteArrayLiteral("X-ORVALIA-PESO"),
    QByteArrayLiteral("X-ORVALIA-ALTURA"),
    QByteArrayLiteral("TYPE"),
    QByteArrayLiteral("ENCODING"),
    QByteArrayLiteral("CHARSET"),
    QByteArrayLiteral("VALUE"),
    QByteArrayLiteral("PREF"),
    QByteArrayLiteral("MEDIATYPE"),
};
constexpr int KnownCount = int(std::size(KnownNames));
static_assert(KnownCount <= 64);

// The known names by their length and their first and last letters, letter case ignored: a
// name is compared with the one or two known names of its bucket alone.
constexpr qsizetype LongestKnown = 32;
constexpr int BucketCount = 128;

// Any bytes: a parameter's name is not checked before it is looked up.
int bucketOf(QByteArrayView name)
{
    const auto folded = [](char c) { return size_t(quint8(c) | 0x20); };
    return int((size_t(name.size()) * 7 + folded(name.front()) + folded(name.back()) * 3) % BucketCount);
}

// No bucket holds more than two: the places of its names, -1 where it has none.
using Bucket = std::array<qint8, 2>;
const std::array<Bucket, BucketCount> KnownBuckets = [] {
    std::array<Bucket, BucketCount> made;
    made.fill({-1, -1});
    for (int i = 0; i < KnownCount; ++i) {
        Q_ASSERT(KnownNames[i].size() <= LongestKnown);
        Bucket &bucket = made[bucketOf(KnownNames[i])];
        Q_ASSERT(bucket.back() < 0);
        bucket[bucket.front() < 0 ? 0 : 1] = qint8(i);
    }
    return made;
}();

// The place of a name in KnownNames, or -1.
int knownIndex(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > LongestKnown)
        return -1;
    for (const qint8 i : KnownBuckets[bucketOf(name)]) {
        if (i < 0)
            break;
        // Nearly every card writes its names in upper case, as they are known: compared whole at
        // first, letter by letter only when that fails.
        const QByteArray &known = KnownNames[i];
        if (known.size() == name.size() && (sameName(known, name) || equalsIgnoringCase(known, name)))
            return i;
    }
    return -1;
}

QByteArray upperName(QByteArrayView name)
{
    if (const int known = knownIndex(name); known >= 0)
        return KnownNames[known];
    QByteArray upper = name.toByteArray();
    return std::move(upper).toUpper();
}

QString knownValue(QByteArrayView value)
{
    static const std::pair<QByteArrayView, QString> known[] = {
        {"HOME", u"HOME"_qs},
        {"WORK", u"WORK"_qs},
        {"CELL", u"CELL"_qs},
        {"VOICE", u"VOICE"_qs},
        {"FAX", u"FAX"_qs},
        {"PREF", u"PREF"_qs},
        {"INTERNET", u"INTERNET"_qs},
        {"JPEG", u"JPEG"_qs},
        {"PNG", u"PNG"_qs},
        {"B", u"B"_qs},
        {"BASE64", u"BASE64"_qs},
        {"QUOTED-PRINTABLE", u"QUOTED-PRINTABLE"_qs},
        {"UTF-8", u"UTF-8"_qs},
        {"URI", u"URI"_qs},
        {"TEXT", u"TEXT"_qs},
        {"OTHER", u"OTHER"_qs},
    };
    for (const auto &[name, shared] : known) {
        if (equalsIgnoringCase(name, value))
            return shared;
    }
    return {};
}

// The value of a parameter: without its quotes, with the circumflex escapes of RFC 6868.
QString parameterValue(QByteArrayView raw)
{
    raw = trimmed(raw);
    if (QString shared = knownValue(raw); !shared.isNull())
        return shared;
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"')
        raw = raw.sliced(1, raw.size() - 2);
    const QString text = VCardText::decode(raw, {});
    if (!text.contains(u'^'))
        return text;
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'^' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'^' || next == u'\'' || next == u'n' || next == u'N') {
                out += next == u'^' ? u'^' : next == u'\'' ? u'"' : u'\n';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool isPropertyName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_';
    });
}

} // namespace

namespace VCardParsing {

Wanted Wanted::only(const QList<QByteArray> &names)
{
    Wanted wanted;
    wanted.all = false;
    for (const QByteArray &name : names) {
        const int known = knownIndex(name);
        if (known >= 0)
            wanted.known |= quint64(1) << known;
        else
            wanted.others << name.toUpper();
    }
    return wanted;
}

bool Wanted::has(int index, const QByteArray &name) const
{
    return index >= 0 ? (known >> index) & 1 : others.contains(name);
}

ValueEncoding encodingOf(QByteArrayView line)
{
    ValueEncoding encoding;
    const qsizetype colon = indexOutsideQuotes(line, ':');
    const QByteArrayView before = colon < 0 ? line : line.first(colon);
    if (!contains(before, ';'))
        return encoding; // no parameters
    const Parts head = splitOutsideQuotes(before, ';');
    for (qsizetype i = 1; i < head.size(); ++i) {
        QByteArrayView value = trimmed(head[i]);
        const qsizetype equals = indexOf(value, '=');
        if (equals >= 0) {
            if (!equalsIgnoringCase(trimmed(value.first(equals)), "ENCODING"))
                continue;
            value = trimmed(value.sliced(equals + 1));
        }
        if (equalsIgnoringCase(value, "QUOTED-PRINTABLE"))
            encoding.quotedPrintable = true;
        else if (equalsIgnoringCase(value, "B") || equalsIgnoringCase(value, "BASE64"))
            encoding.base64 = true;
    }
    return encoding;
}

bool parseProperty(QByteArrayView line, const Wanted &wanted, bool &keep, VCardProperty &property)
{
    const qsizetype colon = indexOutsideQuotes(line, ':');
    if (colon < 0)
        return false;
    const Parts head = splitOutsideQuotes(line.first(colon), ';');
    const QByteArrayView raw = line.sliced(colon + 1);

    const QByteArrayView qualified = trimmed(head.front());
    // A group before the name ("item1.TEL") is rare: looked for at once, then its last dot.
    qsizetype dot = contains(qualified, '.') ? qualified.size() - 1 : -1;
    while (dot >= 0 && qualified[dot] != '.')
        --dot;
    const QByteArrayView name = dot < 0 ? qualified : qualified.sliced(dot + 1);
    // A known name is a name: only the others are looked over.
    const int known = knownIndex(name);
    if (known < 0 && !isPropertyName(name))
        return false;
    if (known >= 0) {
        property.name = KnownNames[known];
    } else {
        property.name = name.toByteArray();
        property.name = std::move(property.name).toUpper();
    }
    if (dot > 0)
        property.group = qualified.first(dot).toByteArray();
    keep = wanted.all || wanted.has(known, property.name);
    if (!keep && !property.is("AGENT") && !property.is("VERSION"))
        return true;

    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArrayView parameter = trimmed(head[i]);
        if (parameter.isEmpty())
            continue;
        const qsizetype equals = indexOf(parameter, '=');
        if (equals < 0) {
            // vCard 2.1: "TEL;CELL;VOICE", "NOTE;QUOTED-PRINTABLE".
            static const QByteArray encodingName = QByteArrayLiteral("ENCODING");
            static const QByteArray typeName = QByteArrayLiteral("TYPE");
            property.parameters.append(
                {isEncodingName(parameter) ? encodingName : typeName, parameterValue(parameter)});
            continue;
        }
        const QByteArray parameterName = upperName(trimmed(parameter.first(equals)));
        const QByteArrayView values = parameter.sliced(equals + 1);
        for (QByteArrayView value : splitOutsideQuotes(values, ',')) {
            const QString text = parameterValue(value);
            // A quoted list counts as a list for TYPE: TYPE="cell,voice".
            if (sameName(parameterName, "TYPE") && text.contains(u',')) {
                for (const QString &item : text.split(u',', Qt::SkipEmptyParts))
                    property.parameters.append({parameterName, item.trimmed()});
            } else {
                property.parameters.append({parameterName, text});
            }
        }
    }

    if (property.parameters.isEmpty()) {
        // Most lines: text in the file's own encoding.
        VCardText::decodeInto(property.value, raw, {});
        return true;
    }
    const QString encoding = property.firstParameter("ENCODING");
    const auto encodingIs = [&encoding](QLatin1StringView form) {
        return !encoding.isEmpty() && encoding.compare(form, Qt::CaseInsensitive) == 0;
    };
    if (encodingIs("B"_L1) || encodingIs("BASE64"_L1)) {
        QByteArray compact;
        compact.reserve(raw.size());
        for (char c : raw) {
            if (!isBlank(c) && c != '\r' && c != '\n')
                compact += c;
        }
        auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        property.value.resize(0);
        property.isBinary = true;
        property.damaged = !decoded;
        if (decoded)
            property.binary = std::move(decoded.decoded);
        return true;
    }
    const QString charset = property.firstParameter("CHARSET");
    if (encodingIs("QUOTED-PRINTABLE"_L1))
        property.value = VCardText::decode(VCardText::fromQuotedPrintable(raw), charset);
    else
        VCardText::decodeInto(property.value, raw, charset);
    return true;
}

} // namespace VCardParsing
