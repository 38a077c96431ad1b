// The vCard reader is written here from RFC 6350 (vCard 4.0), RFC 2426 (vCard 3.0) and the vCard
// 2.1 text of the Internet Mail Consortium, because no library on Debian 12 fits: belcard reads
// 4.0 only (every 3.0 and 2.1 card that phones, GNOME and the web services export is refused) and
// stops at the first card it refuses; libvformat and libvc mishandle TYPE lists, quoted-printable
// text or escapes. It takes the cards as those programs really write them: folded lines, soft
// line breaks of quoted-printable, charsets other than UTF-8, bare 2.1 types, groups.

#include "contacts/vcard_reader.h"

#include "contacts/vcard_syntax.h"

#include <utility>
#include <vector>

using namespace VCardSyntax;

namespace {

bool isBegin(QByteArrayView line)
{
    return line.size() >= 11 && (line[0] | 0x20) == 'b' && equalsIgnoringCase(trimmed(line), "BEGIN:VCARD");
}

bool isEnd(QByteArrayView line)
{
    return line.size() >= 9 && (line[0] | 0x20) == 'e' && equalsIgnoringCase(trimmed(line), "END:VCARD");
}

} // namespace

VCardReader::VCardReader(QIODevice &device)
    : m_lines(device, MaxLineBytes, LineReader::LongLines::GiveNothing)
{ }

void VCardReader::keepOnly(const QList<QByteArray> &names)
{
    m_wanted = VCardParsing::Wanted::only(names);
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
        // The pending line is read where the line reader holds it, unless reading the next line
        // would move it: most lines are never copied.
        if (m_pendingHeld && !m_lines.holdsNextLine())
            holdPendingHere();
        QByteArrayView line;
        const Line kind = nextPhysical(line);
        const QByteArrayView logical = m_pendingHeld ? m_held : QByteArrayView(m_logical);
        const bool pending = !logical.isEmpty() || m_logicalTooLong;
        if (kind == Line::End && m_lines.stopped())
            return false;
        if (kind == Line::End) {
            const bool done = pending && take(logical, m_logicalTooLong, card);
            clearPending();
            if (!done && m_inCard) {
                // The file ends inside a card.
                ++m_unreadable;
                m_endedInsideCard = true;
                dropCard();
            }
            return done;
        }
        if (kind == Line::Text && pending) {
            bool continued = false;
            bool softBreak = false;
            QByteArrayView more;
            if (logical.endsWith('=') && encoding(logical) == Encoding::QuotedPrintable) {
                // A soft line break: the next line goes on where the "=" stood.
                more = line;
                continued = softBreak = true;
            } else if (!line.isEmpty() && isBlank(line.front())) {
                more = line.sliced(1);
                continued = true;
            } else if (!line.isEmpty() && !contains(line, ':') && encoding(logical) == Encoding::Base64) {
                // vCard 2.1 base64 goes on over lines that are not indented, up to a blank line.
                more = line;
                continued = true;
            }
            if (continued) {
                holdPendingHere();
                if (softBreak)
                    m_logical.chop(1);
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
        const bool done = pending && take(logical, m_logicalTooLong, card);
        clearPending();
        m_logicalTooLong = kind == Line::TooLong;
        if (kind == Line::Text && !line.isEmpty()) {
            m_held = line;
            m_pendingHeld = true;
        }
        if (done)
            return true;
    }
}

void VCardReader::holdPendingHere()
{
    if (!m_pendingHeld)
        return;
    m_logical.resize(0);
    m_logical.append(m_held.data(), m_held.size());
    m_pendingHeld = false;
    m_held = {};
}

void VCardReader::clearPending()
{
    m_pendingHeld = false;
    m_held = {};
    // Emptied but not freed: the next line copied goes into the same memory.
    if (m_logical.capacity() > (qsizetype(1) << 20))
        m_logical.clear();
    else if (!m_logical.isEmpty())
        m_logical.resize(0);
    m_logicalTooLong = false;
    m_encoding = Encoding::Unknown;
}

VCardReader::Encoding VCardReader::encoding(QByteArrayView logical)
{
    if (m_encoding == Encoding::Unknown) {
        const VCardParsing::ValueEncoding found = VCardParsing::encodingOf(logical);
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
    recycleProperties();
    m_card.version.clear();
}

void VCardReader::recycleProperties()
{
    // Each property keeps its memory where it is, for the property at its place in the next card:
    // most cards have the same properties in the same order.
    std::vector<VCardProperty> &properties = m_card.m_properties;
    for (qsizetype i = 0; i < m_card.m_count; ++i) {
        VCardProperty &property = properties[size_t(i)];
        if (property.value.capacity() > MostKeptText)
            property.value = QString();
        if (!property.binary.isNull())
            property.binary = QByteArray();
    }
    if (properties.size() > MostKeptProperties)
        properties.resize(MostKeptProperties);
    m_card.m_count = 0;
}

VCardProperty &VCardReader::newProperty()
{
    std::vector<VCardProperty> &properties = m_card.m_properties;
    if (size_t(m_card.m_count) == properties.size()) {
        ++m_card.m_count;
        return properties.emplace_back();
    }
    // The value is left as it is: decoding the line writes over it, into its memory unless
    // somebody else still shares it.
    VCardProperty &property = properties[size_t(m_card.m_count++)];
    if (!property.group.isNull())
        property.group = QByteArray();
    property.parameters.clear();
    if (!property.binary.isNull())
        property.binary = QByteArray();
    property.isBinary = false;
    property.damaged = false;
    return property;
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
        recycleProperties();
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
            std::swap(card, m_card); // what card held is emptied with the next one
        else
            ++m_unreadable;
        dropCard();
        return readable;
    }
    m_cardBytes += line.size();
    if (m_cardBytes > MaxCardBytes && !m_cardTooLong) {
        m_cardTooLong = true;
        recycleProperties();
    }
    if (m_cardTooLong)
        return false;
    m_lastWasEmptyAgent = false;
    bool keep = false;
    // Parsed in place at the end of the card, and taken back when it is not to be kept.
    VCardProperty &property = newProperty();
    if (VCardParsing::parseProperty(line, m_wanted, keep, property)) {
        if (property.is("VERSION"))
            m_card.version = property.value.trimmed().toLatin1();
        m_lastWasEmptyAgent = property.is("AGENT") && property.value.trimmed().isEmpty();
    }
    if (!keep)
        --m_card.m_count;
    return false;
}
