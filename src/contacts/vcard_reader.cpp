// The vCard reader is written here from RFC 6350 (vCard 4.0), RFC 2426 (vCard 3.0) and the vCard
// 2.1 text of the Internet Mail Consortium, because no library on Debian 12 fits: belcard reads
// 4.0 only (every 3.0 and 2.1 card that phones, GNOME and the web services export is refused) and
// stops at the first card it refuses; libvformat and libvc mishandle TYPE lists, quoted-printable
// text or escapes. It takes the cards as those programs really write them: folded lines, soft
// line breaks of quoted-printable, charsets other than UTF-8, bare 2.1 types, groups.

#include "contacts/vcard_reader.h"

#include "platform/windows1252.h"

#include <QStringDecoder>
#include <QUtf8StringView>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

// Letter case ignored in ASCII, which is all the names and keywords of a card.
bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x != y && !((x | 0x20) == (y | 0x20) && (x | 0x20) >= 'a' && (x | 0x20) <= 'z'))
            return false;
    }
    return true;
}

// Where the first of these characters stands outside double quotes, or -1.
qsizetype indexOutsideQuotes(QByteArrayView bytes, char wanted, qsizetype from = 0)
{
    bool quoted = false;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == wanted && !quoted)
            return i;
    }
    return -1;
}

using Parts = QVarLengthArray<QByteArrayView, 16>;

Parts splitOutsideQuotes(QByteArrayView bytes, char separator)
{
    Parts parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = indexOutsideQuotes(bytes, separator, from);
        if (at < 0) {
            parts.append(bytes.sliced(from));
            return parts;
        }
        parts.append(bytes.sliced(from, at - from));
        from = at + 1;
    }
}

bool isBegin(QByteArrayView line)
{
    return line.size() >= 11 && (line[0] | 0x20) == 'b' && equalsIgnoringCase(trimmed(line), "BEGIN:VCARD");
}

bool isEnd(QByteArrayView line)
{
    return line.size() >= 9 && (line[0] | 0x20) == 'e' && equalsIgnoringCase(trimmed(line), "END:VCARD");
}

bool isEncodingName(QByteArrayView value)
{
    for (const char *name : {"QUOTED-PRINTABLE", "BASE64", "B", "8BIT", "7BIT"}) {
        if (equalsIgnoringCase(value, name))
            return true;
    }
    return false;
}

// Names that come in nearly every card: shared instead of made anew each time, in upper case.
const QByteArray KnownNames[] = {
    "BEGIN",
    "END",
    "VERSION",
    "N",
    "FN",
    "NICKNAME",
    "TEL",
    "EMAIL",
    "ADR",
    "LABEL",
    "BDAY",
    "TITLE",
    "ROLE",
    "ORG",
    "PHOTO",
    "NOTE",
    "URL",
    "UID",
    "REV",
    "CATEGORIES",
    "X-ABLABEL",
    "PRODID",
    "AGENT",
    "X-ORVALIA-EDAD",
    "X-ORVALIA-FECHA-ALTA",
    "X-ORVALIA-FECHA-NACIMIENTO",
    "X-ORVALIA-SITUACION-CIVIL",
    "X-ORVALIA-PESO",
    "X-ORVALIA-ALTURA",
    "TYPE",
    "ENCODING",
    "CHARSET",
    "VALUE",
    "PREF",
    "MEDIATYPE",
};
constexpr int KnownCount = int(std::size(KnownNames));
static_assert(KnownCount <= 64);

// The place of a name in KnownNames, or -1.
int knownIndex(QByteArrayView name)
{
    if (name.isEmpty())
        return -1;
    const char last = char(name.back() & ~0x20);
    for (int i = 0; i < KnownCount; ++i) {
        const QByteArray &candidate = KnownNames[i];
        if (candidate.size() == name.size() && candidate.back() == last
            && equalsIgnoringCase(candidate, name))
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

// What the parameters before the colon say about how the value is encoded.
struct ValueEncoding
{
    bool quotedPrintable = false;
    bool base64 = false;
};

ValueEncoding encodingOf(QByteArrayView line)
{
    ValueEncoding encoding;
    const qsizetype colon = indexOutsideQuotes(line, ':');
    const QByteArrayView before = colon < 0 ? line : line.first(colon);
    if (!before.contains(';'))
        return encoding; // no parameters
    const Parts head = splitOutsideQuotes(before, ';');
    for (qsizetype i = 1; i < head.size(); ++i) {
        QByteArrayView value = trimmed(head[i]);
        const qsizetype equals = value.indexOf('=');
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

bool isPropertyName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_';
    });
}

// The property of a logical line. One whose name is not wanted comes back with its name alone.
std::optional<VCardProperty> parseProperty(QByteArrayView line, const VCardReader::Wanted &wanted, bool &keep)
{
    const qsizetype colon = indexOutsideQuotes(line, ':');
    if (colon < 0)
        return std::nullopt;
    const Parts head = splitOutsideQuotes(line.first(colon), ';');
    const QByteArrayView raw = line.sliced(colon + 1);

    VCardProperty property;
    const QByteArrayView qualified = trimmed(head.front());
    const qsizetype dot = qualified.lastIndexOf('.');
    const QByteArrayView name = dot < 0 ? qualified : qualified.sliced(dot + 1);
    if (!isPropertyName(name))
        return std::nullopt;
    const int known = knownIndex(name);
    if (known >= 0) {
        property.name = KnownNames[known];
    } else {
        property.name = name.toByteArray();
        property.name = std::move(property.name).toUpper();
    }
    if (dot > 0)
        property.group = qualified.first(dot).toByteArray();
    keep = wanted.all || wanted.has(known, property.name);
    if (!keep && property.name != "AGENT" && property.name != "VERSION")
        return property;

    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArrayView parameter = trimmed(head[i]);
        if (parameter.isEmpty())
            continue;
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0) {
            // vCard 2.1: "TEL;CELL;VOICE", "NOTE;QUOTED-PRINTABLE".
            static const QByteArray encodingName = "ENCODING";
            static const QByteArray typeName = "TYPE";
            property.parameters.append(
                {isEncodingName(parameter) ? encodingName : typeName, parameterValue(parameter)});
            continue;
        }
        const QByteArray parameterName = upperName(trimmed(parameter.first(equals)));
        const QByteArrayView values = parameter.sliced(equals + 1);
        for (QByteArrayView value : splitOutsideQuotes(values, ',')) {
            const QString text = parameterValue(value);
            // A quoted list counts as a list for TYPE: TYPE="cell,voice".
            if (parameterName == "TYPE" && text.contains(u',')) {
                for (const QString &item : text.split(u',', Qt::SkipEmptyParts))
                    property.parameters.append({parameterName, item.trimmed()});
            } else {
                property.parameters.append({parameterName, text});
            }
        }
    }

    const QString encoding = property.firstParameter("ENCODING").toUpper();
    if (encoding == u"B" || encoding == u"BASE64") {
        QByteArray compact;
        compact.reserve(raw.size());
        for (char c : raw) {
            if (!isBlank(c) && c != '\r' && c != '\n')
                compact += c;
        }
        auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        property.isBinary = true;
        property.damaged = !decoded;
        if (decoded)
            property.binary = std::move(decoded.decoded);
        return property;
    }
    const QString charset = property.firstParameter("CHARSET");
    if (encoding == u"QUOTED-PRINTABLE")
        property.value = VCardText::decode(VCardText::fromQuotedPrintable(raw), charset);
    else
        property.value = VCardText::decode(raw, charset);
    return property;
}

QString decodeUtf8OrWindows1252(QByteArrayView bytes)
{
    if (QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8())
        return QString::fromUtf8(bytes);
    return Windows1252::decode(bytes);
}

} // namespace

QString VCardProperty::firstParameter(QByteArrayView wanted) const
{
    for (const auto &[key, text] : parameters) {
        if (key == wanted)
            return text;
    }
    return {};
}

QStringList VCardProperty::parameter(QByteArrayView wanted) const
{
    QStringList values;
    for (const auto &[key, text] : parameters) {
        if (key == wanted)
            values << text;
    }
    return values;
}

bool VCardProperty::hasType(QStringView type) const
{
    for (const auto &[key, text] : parameters) {
        if (key == "TYPE" && text.compare(type, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int VCardProperty::preference() const
{
    int best = 0;
    for (const auto &[key, text] : parameters) {
        int level = 0;
        if (key == "PREF") {
            bool ok = false;
            level = std::clamp(text.toInt(&ok), 1, 100);
            if (!ok)
                level = 1;
        } else if (key == "TYPE" && text.compare(u"PREF", Qt::CaseInsensitive) == 0) {
            level = 1;
        }
        if (level > 0 && (best == 0 || level < best))
            best = level;
    }
    return best;
}

QString VCardProperty::text() const
{
    return VCardText::unescaped(value);
}

QList<QStringList> VCardProperty::components() const
{
    QList<QStringList> parts;
    for (QStringView component : VCardText::split(value, u';')) {
        QStringList items;
        for (QStringView item : VCardText::split(component, u','))
            items << VCardText::unescaped(item);
        parts << items;
    }
    return parts;
}

QString VCardProperty::component(int index, QStringView glue) const
{
    const VCardText::Pieces parts = VCardText::split(value, u';');
    return index < parts.size() ? VCardText::joinedItems(parts[index], glue) : QString();
}

QStringList VCardProperty::items() const
{
    QStringList items;
    for (QStringView item : VCardText::split(value, u','))
        items << VCardText::unescaped(item);
    return items;
}

QList<const VCardProperty *> VCard::all(QByteArrayView name) const
{
    QList<const VCardProperty *> found;
    for (const VCardProperty &property : properties) {
        if (property.name == name)
            found << &property;
    }
    return found;
}

const VCardProperty *VCard::first(QByteArrayView name) const
{
    for (const VCardProperty &property : properties) {
        if (property.name == name)
            return &property;
    }
    return nullptr;
}

QString VCard::labelOf(const VCardProperty &property) const
{
    if (property.group.isEmpty())
        return {};
    for (const VCardProperty &other : properties) {
        if (other.name == "X-ABLABEL" && equalsIgnoringCase(other.group, property.group)) {
            QString label = other.text();
            // Apple's own labels: "_$!<Mobile>!$_".
            if (label.startsWith(u"_$!<") && label.endsWith(u">!$_"))
                label = label.mid(4, label.size() - 8);
            return label;
        }
    }
    return {};
}

VCardReader::VCardReader(QIODevice &device)
    : m_lines(device, MaxLineBytes, LineReader::LongLines::GiveNothing)
{ }

void VCardReader::keepOnly(const QList<QByteArray> &names)
{
    m_wanted = {};
    m_wanted.all = false;
    for (const QByteArray &name : names) {
        const int known = knownIndex(name);
        if (known >= 0)
            m_wanted.known |= quint64(1) << known;
        else
            m_wanted.others << name.toUpper();
    }
}

bool VCardReader::Wanted::has(int index, const QByteArray &name) const
{
    return index >= 0 ? (known >> index) & 1 : others.contains(name);
}

VCardReader::Line VCardReader::nextPhysical(QByteArrayView &line)
{
    if (!m_lines.next(line))
        return Line::End;
    if (m_lines.cut())
        return Line::TooLong;
    if (m_lines.offset() == 0 && line.startsWith("\xEF\xBB\xBF"))
        line = line.sliced(3);
    return Line::Text;
}

bool VCardReader::next(VCard &card)
{
    for (;;) {
        QByteArrayView line;
        const Line kind = nextPhysical(line);
        const bool pending = !m_logical.isEmpty() || m_logicalTooLong;
        if (kind == Line::End && m_lines.stopped())
            return false;
        if (kind == Line::End) {
            const bool done = pending && take(m_logical, m_logicalTooLong, card);
            m_logical.resize(0);
            m_logicalTooLong = false;
            if (!done && m_inCard) {
                // The file ends inside a card.
                ++m_unreadable;
                dropCard();
            }
            return done;
        }
        if (kind == Line::Text && pending) {
            bool continued = false;
            QByteArrayView more;
            if (m_logical.endsWith('=') && encoding() == Encoding::QuotedPrintable) {
                // A soft line break: the next line goes on where the "=" stood.
                m_logical.chop(1);
                more = line;
                continued = true;
            } else if (!line.isEmpty() && isBlank(line.front())) {
                more = line.sliced(1);
                continued = true;
            } else if (!line.isEmpty() && !line.contains(':') && encoding() == Encoding::Base64) {
                // vCard 2.1 base64 goes on over lines that are not indented, up to a blank line.
                more = line;
                continued = true;
            }
            if (continued) {
                if (!m_logicalTooLong && m_logical.size() + more.size() > MaxLineBytes) {
                    m_logical.clear(); // and its memory
                    m_logicalTooLong = true;
                }
                if (!m_logicalTooLong)
                    m_logical.append(more.data(), more.size());
                continue;
            }
        }
        if (kind == Line::TooLong && pending && m_logicalTooLong)
            continue; // one more part of a line already skipped
        const bool done = pending && take(m_logical, m_logicalTooLong, card);
        // Emptied but not freed: the next line goes into the same memory.
        if (m_logical.capacity() > (qsizetype(1) << 20))
            m_logical.clear();
        m_logical.resize(0);
        m_logicalTooLong = kind == Line::TooLong;
        m_encoding = Encoding::Unknown;
        if (kind == Line::Text && !line.isEmpty())
            m_logical.append(line.data(), line.size());
        if (done)
            return true;
    }
}

VCardReader::Encoding VCardReader::encoding()
{
    if (m_encoding == Encoding::Unknown) {
        const ValueEncoding found = encodingOf(m_logical);
        m_encoding = found.quotedPrintable ? Encoding::QuotedPrintable
            : found.base64                 ? Encoding::Base64
                                           : Encoding::Plain;
    }
    return m_encoding;
}

void VCardReader::dropCard()
{
    m_inCard = false;
    m_cardTooLong = false;
    m_cardBytes = 0;
    m_nested = 0;
    m_lastWasEmptyAgent = false;
    m_card = VCard();
}

bool VCardReader::take(QByteArrayView line, bool tooLong, VCard &card)
{
    if (!m_inCard) {
        if (!tooLong && isBegin(line)) {
            dropCard();
            m_inCard = true;
        }
        return false;
    }
    if (tooLong) {
        m_cardTooLong = true;
        m_card.properties.clear();
        return false;
    }
    if (m_nested > 0) {
        if (isBegin(line))
            ++m_nested;
        else if (isEnd(line))
            --m_nested;
        return false;
    }
    if (isBegin(line)) {
        // vCard 2.1 writes an AGENT's card inside the card it belongs to.
        if (m_lastWasEmptyAgent) {
            ++m_nested;
            return false;
        }
        // The card before had no END.
        ++m_unreadable;
        dropCard();
        m_inCard = true;
        return false;
    }
    if (isEnd(line)) {
        const bool readable = !m_cardTooLong;
        if (readable)
            card = std::move(m_card);
        else
            ++m_unreadable;
        dropCard();
        return readable;
    }
    m_cardBytes += line.size();
    if (m_cardBytes > MaxCardBytes && !m_cardTooLong) {
        m_cardTooLong = true;
        m_card.properties.clear();
    }
    if (m_cardTooLong)
        return false;
    m_lastWasEmptyAgent = false;
    bool keep = false;
    if (std::optional<VCardProperty> property = parseProperty(line, m_wanted, keep)) {
        if (property->name == "VERSION")
            m_card.version = property->value.trimmed().toLatin1();
        m_lastWasEmptyAgent = property->name == "AGENT" && property->value.trimmed().isEmpty();
        if (keep) {
            if (m_card.properties.isEmpty())
                m_card.properties.reserve(24);
            m_card.properties.append(std::move(*property));
        }
    }
    return false;
}

namespace VCardText {

QString unescaped(QStringView text)
{
    if (!text.contains(u'\\'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                out += u'\n';
                ++i;
                continue;
            }
            if (next == u'\\' || next == u',' || next == u';' || next == u':') {
                out += next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

Pieces split(QStringView text, QChar separator)
{
    Pieces parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] == separator) {
            parts.append(text.sliced(from, i - from));
            from = i + 1;
        }
    }
    parts.append(text.sliced(std::min(from, text.size())));
    return parts;
}

QString joinedItems(QStringView text, QStringView glue)
{
    Pieces items;
    for (QStringView item : split(text, u',')) {
        if (!item.isEmpty())
            items.append(item);
    }
    if (items.size() == 1)
        return unescaped(items.front());
    QString out;
    for (QStringView item : items) {
        const QString part = unescaped(item).trimmed();
        if (part.isEmpty())
            continue;
        if (!out.isEmpty())
            out += glue;
        out += part;
    }
    return out;
}

QString decode(QByteArrayView bytes, QStringView charset)
{
    const QString name = charset.trimmed().toString().toLower();
    if (name.isEmpty() || name == u"utf-8" || name == u"utf8" || name == u"us-ascii" || name == u"ascii")
        return decodeUtf8OrWindows1252(bytes);
    if (name == u"iso-8859-1" || name == u"iso8859-1" || name == u"latin1" || name == u"latin-1"
        || name == u"windows-1252" || name == u"cp1252" || name == u"x-cp1252")
        return Windows1252::decode(bytes);
    if (name == u"iso-8859-15" || name == u"iso8859-15" || name == u"latin9" || name == u"latin-9") {
        QString text = QString::fromLatin1(bytes.data(), bytes.size());
        for (QChar &c : text) {
            switch (c.unicode()) {
            case 0xA4:
                c = QChar(0x20AC);
                break;
            case 0xA6:
                c = QChar(0x0160);
                break;
            case 0xA8:
                c = QChar(0x0161);
                break;
            case 0xB4:
                c = QChar(0x017D);
                break;
            case 0xB8:
                c = QChar(0x017E);
                break;
            case 0xBC:
                c = QChar(0x0152);
                break;
            case 0xBD:
                c = QChar(0x0153);
                break;
            case 0xBE:
                c = QChar(0x0178);
                break;
            default:
                break;
            }
        }
        return text;
    }
    if (name.startsWith(u"utf-16")) {
        QStringDecoder utf16(name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        if (utf16.isValid()) {
            QString text = utf16(bytes);
            if (!utf16.hasError())
                return text;
        }
    }
    return decodeUtf8OrWindows1252(bytes);
}

QByteArray fromQuotedPrintable(QByteArrayView text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            bytes += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
            continue;
        }
        bytes += c;
    }
    return bytes;
}

} // namespace VCardText
