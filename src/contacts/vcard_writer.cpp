#include "contacts/vcard_writer.h"

#include "contacts/vcard_files.h"

#include <QIODevice>

using namespace ContactRecord;

namespace {

constexpr qsizetype FoldAt = 75;
constexpr qsizetype MaxCachedPhotoBytes = qsizetype(16) << 20;

// Appends text in UTF-8, escaped for a property value when asked. Written through a pointer into
// room made beforehand: a card is mostly this, byte by byte.
void appendText(QByteArray &out, QStringView text, bool escape = true)
{
    const qsizetype start = out.size();
    out.resize(start + 3 * text.size()); // the most any character takes, escapes included
    char *p = out.data() + start;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            if (escape) {
                switch (c) {
                case u'\\':
                    *p++ = '\\';
                    *p++ = '\\';
                    continue;
                case u',':
                    *p++ = '\\';
                    *p++ = ',';
                    continue;
                case u';':
                    *p++ = '\\';
                    *p++ = ';';
                    continue;
                case u'\r':
                    if (i + 1 < text.size() && text[i + 1] == u'\n')
                        ++i;
                    *p++ = '\\';
                    *p++ = 'n';
                    continue;
                case u'\n':
                    *p++ = '\\';
                    *p++ = 'n';
                    continue;
                default:
                    break;
                }
            }
            *p++ = char(c);
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            // Two code units, four bytes: within the room of the two.
            const char32_t code = QChar::surrogateToUcs4(c, text[++i].unicode());
            *p++ = char(0xF0 | (code >> 18));
            *p++ = char(0x80 | ((code >> 12) & 0x3F));
            *p++ = char(0x80 | ((code >> 6) & 0x3F));
            *p++ = char(0x80 | (code & 0x3F));
        } else {
            const char16_t code = QChar::isSurrogate(c) ? char16_t(0xFFFD) : c;
            *p++ = char(0xE0 | (code >> 12));
            *p++ = char(0x80 | ((code >> 6) & 0x3F));
            *p++ = char(0x80 | (code & 0x3F));
        }
    }
    out.truncate(p - out.constData());
}

// A property line built in place at the end of the card, folded when it is done.
class Property
{
public:
    Property(QByteArray &card, QByteArrayView nameAndParameters)
        : m_card(card)
        , m_start(card.size())
    {
        m_card.append(nameAndParameters.data(), nameAndParameters.size());
        m_card += ':';
    }
    ~Property()
    {
        if (m_card.size() - m_start <= FoldAt) {
            m_card += "\r\n";
            return;
        }
        const QByteArray line = m_card.sliced(m_start);
        m_card.truncate(m_start);
        m_card += VCardWriter::folded(line);
    }
    Property &operator<<(QStringView text)
    {
        appendText(m_card, text);
        return *this;
    }
    Property &raw(QByteArrayView bytes)
    {
        m_card.append(bytes.data(), bytes.size());
        return *this;
    }

private:
    QByteArray &m_card;
    qsizetype m_start;
};

using FieldViews = std::array<QStringView, FieldCount>;

// The fields of a line as views into it, as fieldsOf splits it.
FieldViews viewsOf(QStringView line)
{
    FieldViews fields;
    qsizetype from = 0;
    for (QStringView &field : fields) {
        const qsizetype separator = line.indexOf(Separator, from);
        const qsizetype end = separator < 0 ? line.size() : separator;
        field = line.sliced(std::min(from, line.size()), std::max<qsizetype>(0, end - from));
        from = separator < 0 ? line.size() : separator + 1;
    }
    return fields;
}

} // namespace

VCardWriter::VCardWriter(VCardDates dates)
    : m_dates(std::move(dates))
{ }

QByteArray VCardWriter::folded(QByteArrayView line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / (FoldAt - 1) * 3 + 2);
    qsizetype position = 0;
    bool first = true;
    for (;;) {
        // A continuation line starts with a blank, which counts towards its 75 bytes.
        const qsizetype room = first ? FoldAt : FoldAt - 1;
        if (!first)
            out += ' ';
        if (line.size() - position <= room) {
            out += line.sliced(position);
            out += "\r\n";
            return out;
        }
        qsizetype cut = position + room;
        // Never between the bytes of one UTF-8 character.
        while (cut > position + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.sliced(position, cut - position);
        out += "\r\n";
        position = cut;
        first = false;
    }
}

QByteArray VCardWriter::photoOf(const QString &path)
{
    if (const auto cached = m_photos.constFind(path); cached != m_photos.cend())
        return *cached;
    QByteArray jpeg = VCardFiles::embeddablePhoto(path);
    if (m_photoBytes + jpeg.size() <= MaxCachedPhotoBytes) {
        m_photoBytes += jpeg.size();
        m_photos.insert(path, jpeg);
    }
    return jpeg;
}

QByteArray VCardWriter::card(QStringView line)
{
    const FieldViews f = viewsOf(line);
    if (std::all_of(f.begin(), f.end(), [](QStringView field) { return field.isEmpty(); }))
        return {};

    QByteArray card;
    card.reserve(600);
    card += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    {
        // The name as people write it; a card without one says who it is by what there is.
        Property fn(card, "FN");
        const QStringView name = f[nombre].trimmed();
        const QStringView surname = f[apellido].trimmed();
        fn << name;
        if (!name.isEmpty() && !surname.isEmpty())
            fn.raw(" ");
        fn << surname;
        if (name.isEmpty() && surname.isEmpty()) {
            for (const int other : {nick, email, celular, telefono}) {
                if (!f[other].trimmed().isEmpty()) {
                    fn << f[other].trimmed();
                    break;
                }
            }
        }
    }
    {
        Property n(card, "N");
        n << f[apellido];
        n.raw(";") << f[nombre];
        n.raw(";;;");
    }
    if (!f[nick].isEmpty())
        Property(card, "NICKNAME") << f[nick];
    if (!f[domicilio].isEmpty() || !f[localidad].isEmpty() || !f[provincia].isEmpty() || !f[pais].isEmpty()) {
        Property adr(card, "ADR;TYPE=HOME");
        adr.raw(";;") << f[domicilio];
        adr.raw(";") << f[localidad];
        adr.raw(";") << f[provincia];
        adr.raw(";;") << f[pais];
    }
    if (!f[telefono].isEmpty())
        Property(card, "TEL;TYPE=HOME,VOICE") << f[telefono];
    if (!f[celular].isEmpty())
        Property(card, "TEL;TYPE=CELL") << f[celular];
    if (!f[email].isEmpty())
        Property(card, "EMAIL;TYPE=INTERNET") << f[email];
    if (!f[fechanac].isEmpty()) {
        if (const QString bday = m_dates.toBday(f[fechanac].toString()); !bday.isEmpty())
            Property(card, "BDAY").raw(bday.toLatin1());
    }
    if (!f[ocupacion].isEmpty())
        Property(card, "TITLE") << f[ocupacion];

    // Always the registration date, empty too: a card without it is registered on the day of the
    // import.
    Property(card, VCardOrvalia::RegistrationDate) << f[fechaalta];
    const std::pair<const char *, int> own[] = {
        {VCardOrvalia::Age, edad},
        {VCardOrvalia::BirthDate, fechanac},
        {VCardOrvalia::CivilStatus, estadocivil},
        {VCardOrvalia::Weight, peso},
        {VCardOrvalia::Height, altura},
    };
    for (const auto &[name, field] : own) {
        if (!f[field].isEmpty())
            Property(card, name) << f[field];
    }

    if (!f[ubicacionfoto].isEmpty()) {
        const QByteArray jpeg = photoOf(f[ubicacionfoto].toString());
        if (!jpeg.isEmpty())
            Property(card, "PHOTO;ENCODING=b;TYPE=JPEG").raw(jpeg.toBase64());
    }
    card += "END:VCARD\r\n";
    return card;
}

bool VCardWriter::write(
    QIODevice &device, const QStringList &lines, const std::function<bool(qsizetype)> &keepGoing)
{
    // The cards go to the device in blocks.
    constexpr qsizetype Block = qsizetype(1) << 20;
    QByteArray block;
    auto flush = [&] {
        const bool written = block.isEmpty() || device.write(block) == block.size();
        block.resize(0);
        return written;
    };
    m_cards = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray one = card(lines[i]);
        m_cards += one.isEmpty() ? 0 : 1;
        block += one;
        if (block.size() >= Block && !flush())
            return false;
        if (keepGoing && !keepGoing(i + 1)) {
            flush(); // what is done stays done; the caller throws it away or not
            return false;
        }
    }
    return flush();
}
