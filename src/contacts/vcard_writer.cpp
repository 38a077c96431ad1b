#include "contacts/vcard_writer.h"

#include "contacts/contact_line_key.h"
#include "contacts/vcard_files.h"
#include "platform/ordered_work.h"
#include "platform/windows1252.h"

#include <QIODevice>

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace ContactRecord;

namespace {

constexpr qsizetype FoldAt = 75;

// What a byte of the contact file becomes in a property value: its character in UTF-8 (one to
// three bytes) or its escape, and in the last byte how many of the others count.
using Written = std::array<char, 4>;

Written written(QByteArrayView bytes)
{
    Written out {};
    std::memcpy(out.data(), bytes.data(), size_t(bytes.size()));
    out[3] = char(bytes.size());
    return out;
}

const std::array<Written, 256> &valueTable()
{
    static const std::array<Written, 256> table = [] {
        std::array<Written, 256> made {};
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            made[b] = written(Windows1252::decode(QByteArrayView(&byte, 1)).toUtf8());
        }
        made['\\'] = written("\\\\");
        made[','] = written("\\,");
        made[';'] = written("\\;");
        made['\n'] = written("\\n");
        made['\r'] = written("\\n"); // CR LF is one line break: the CR then gives nothing
        return made;
    }();
    return table;
}

// What QChar::isSpace says of the character a byte of the file stands for.
bool isSpaceByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b == 0x20 || (b >= 0x09 && b <= 0x0D) || b == 0xA0;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isSpaceByte(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isSpaceByte(text.back()))
        text.chop(1);
    return text;
}

using FieldViews = std::array<QByteArrayView, FieldCount>;

// The fields of a line as views into it, as fieldsOf splits it. One pass over the bytes, sixteen
// at a time where the processor can: fields are short, and a search call for each would cost more
// than they do.
FieldViews viewsOf(QByteArrayView line)
{
    FieldViews fields;
    qsizetype field = 0;
    qsizetype start = 0;
    qsizetype i = 0;
    const char *bytes = line.data();
    const qsizetype size = line.size();
#if defined(__SSE2__)
    const __m128i separator = _mm_set1_epi8(ContactLineKey::SeparatorByte);
    for (; i + 16 <= size && field < FieldCount; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        auto found = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, separator)));
        for (; found != 0 && field < FieldCount; found &= found - 1) {
            const qsizetype at = i + std::countr_zero(found);
            fields[field++] = QByteArrayView(bytes + start, at - start);
            start = at + 1;
        }
    }
#endif
    for (; i < size && field < FieldCount; ++i) {
        if (bytes[i] == ContactLineKey::SeparatorByte) {
            fields[field++] = QByteArrayView(bytes + start, i - start);
            start = i + 1;
        }
    }
    if (field < FieldCount)
        fields[field] = QByteArrayView(bytes + start, size - start);
    return fields;
}

} // namespace

// The bytes of the cards as they are made: grown as needed, written to the device a block at a
// time. Text goes in through a pointer into room made beforehand.
class VCardWriter::Out
{
public:
    Out() = default;
    // Made in memory that held other cards before.
    explicit Out(QByteArray memory)
        : m_bytes(std::move(memory))
    { }

    // Room for at least n more bytes, at the end.
    char *room(qsizetype n)
    {
        if (m_size + n > m_bytes.size())
            m_bytes.resize(std::max(2 * m_bytes.size(), m_size + n + 4096));
        return m_bytes.data() + m_size;
    }
    // The bytes up to end, which lies in the room last made, are written.
    void grewTo(const char *end) { m_size = end - m_bytes.constData(); }
    void append(QByteArrayView bytes)
    {
        std::memcpy(room(bytes.size()), bytes.data(), size_t(bytes.size()));
        m_size += bytes.size();
    }
    // Text of the program's own, its length known when compiled: copied without a call.
    template <size_t N> void append(const char (&literal)[N])
    {
        std::memcpy(room(N - 1), literal, N - 1);
        m_size += N - 1;
    }
    // Text from the contact file in UTF-8, escaped for a property value: a byte at a time, each
    // written as four bytes of which the next byte's overwrite those that do not count.
    void appendText(QByteArrayView text)
    {
        const std::array<Written, 256> &table = valueTable();
        char *p = room(3 * text.size() + 1); // the most a byte takes, and the last one's spare
        const qsizetype last = text.size() - 1;
        for (qsizetype i = 0; i <= last; ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            if (b == '\r' && i < last && text[i + 1] == '\n') [[unlikely]]
                continue;
            const Written &entry = table[b];
            std::memcpy(p, entry.data(), 4);
            p += entry[3];
        }
        grewTo(p);
    }
    qsizetype size() const { return m_size; }
    QByteArrayView bytes() const { return QByteArrayView(m_bytes.constData(), m_size); }
    void truncate(qsizetype size) { m_size = size; }
    QByteArray take() &&
    {
        m_bytes.truncate(m_size);
        return std::move(m_bytes);
    }

private:
    QByteArray m_bytes;
    qsizetype m_size = 0;
};

// A property line built in place at the end of the cards, folded when it is done.
class VCardWriter::Property
{
public:
    template <size_t N>
    Property(Out &out, const char (&nameAndParameters)[N])
        : m_out(out)
        , m_start(out.size())
    {
        m_out.append(nameAndParameters);
        m_out.append(":");
    }
    ~Property()
    {
        if (m_out.size() - m_start <= FoldAt) {
            m_out.append("\r\n");
            return;
        }
        const QByteArray line = m_out.bytes().sliced(m_start).toByteArray();
        m_out.truncate(m_start);
        m_out.append(VCardWriter::folded(line));
    }
    Property &operator<<(QByteArrayView text)
    {
        m_out.appendText(text);
        return *this;
    }
    Property &raw(QByteArrayView bytes)
    {
        m_out.append(bytes);
        return *this;
    }
    template <size_t N> Property &raw(const char (&literal)[N])
    {
        m_out.append(literal);
        return *this;
    }

private:
    Out &m_out;
    qsizetype m_start;
};

VCardWriter::VCardWriter(VCardDates dates)
    : m_dates(std::move(dates))
{ }

VCardWriter::~VCardWriter() = default;

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
    if (m_photoBytes + jpeg.size() <= m_mostPhotoBytes) {
        m_photoBytes += jpeg.size();
        m_photos.insert(path, jpeg);
    }
    return jpeg;
}

QByteArray VCardWriter::card(QByteArrayView line)
{
    Out out;
    if (!appendCard(out, line))
        return {};
    return std::move(out).take();
}

bool VCardWriter::appendCard(Out &out, QByteArrayView line)
{
    const FieldViews f = viewsOf(line);
    if (std::all_of(f.begin(), f.end(), [](QByteArrayView field) { return field.isEmpty(); }))
        return false;

    out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    {
        // The name as people write it; a card without one says who it is by what there is.
        Property fn(out, "FN");
        const QByteArrayView name = trimmed(f[nombre]);
        const QByteArrayView surname = trimmed(f[apellido]);
        fn << name;
        if (!name.isEmpty() && !surname.isEmpty())
            fn.raw(" ");
        fn << surname;
        if (name.isEmpty() && surname.isEmpty()) {
            for (const int other : {nick, email, celular, telefono}) {
                if (!trimmed(f[other]).isEmpty()) {
                    fn << trimmed(f[other]);
                    break;
                }
            }
        }
    }
    {
        Property n(out, "N");
        n << f[apellido];
        n.raw(";") << f[nombre];
        n.raw(";;;");
    }
    if (!f[nick].isEmpty())
        Property(out, "NICKNAME") << f[nick];
    if (!f[domicilio].isEmpty() || !f[localidad].isEmpty() || !f[provincia].isEmpty() || !f[pais].isEmpty()) {
        Property adr(out, "ADR;TYPE=HOME");
        adr.raw(";;") << f[domicilio];
        adr.raw(";") << f[localidad];
        adr.raw(";") << f[provincia];
        adr.raw(";;") << f[pais];
    }
    if (!f[telefono].isEmpty())
        Property(out, "TEL;TYPE=HOME,VOICE") << f[telefono];
    if (!f[celular].isEmpty())
        Property(out, "TEL;TYPE=CELL") << f[celular];
    if (!f[email].isEmpty())
        Property(out, "EMAIL;TYPE=INTERNET") << f[email];
    if (!f[fechanac].isEmpty()) {
        if (const QByteArray bday = m_dates.toBday(f[fechanac]); !bday.isEmpty())
            Property(out, "BDAY").raw(bday);
    }
    if (!f[ocupacion].isEmpty())
        Property(out, "TITLE") << f[ocupacion];

    // Always the registration date, empty too: a card without it is registered on the day of the
    // import.
    Property(out, VCardOrvalia::RegistrationDate) << f[fechaalta];
    const auto own = [&](const auto &name, int field) {
        if (!f[field].isEmpty())
            Property(out, name) << f[field];
    };
    own(VCardOrvalia::Age, edad);
    own(VCardOrvalia::BirthDate, fechanac);
    own(VCardOrvalia::CivilStatus, estadocivil);
    own(VCardOrvalia::Weight, peso);
    own(VCardOrvalia::Height, altura);

    if (!f[ubicacionfoto].isEmpty()) {
        const QByteArray jpeg = photoOf(Windows1252::decode(f[ubicacionfoto]));
        if (!jpeg.isEmpty())
            Property(out, "PHOTO;ENCODING=b;TYPE=JPEG").raw(jpeg.toBase64());
    }
    out.append("END:VCARD\r\n");
    return true;
}

VCardWriter::Batch VCardWriter::batch(const QList<QByteArrayView> &lines, qsizetype first, QByteArray memory)
{
    Batch made;
    Out out(std::move(memory));
    const qsizetype end = std::min(lines.size(), first + BatchLines);
    made.ends.reserve(end - first);
    for (qsizetype i = first; i < end; ++i) {
        // The lines come in the list's order, scattered over the file: the ones a few places on
        // are fetched from memory while this one is made.
        constexpr qsizetype Ahead = 4;
        constexpr qsizetype CacheLine = 64;
        if (i + Ahead < lines.size()) {
            const QByteArrayView next = lines[i + Ahead];
            for (qsizetype at = 0; at < std::min<qsizetype>(next.size(), 4 * CacheLine); at += CacheLine)
                __builtin_prefetch(next.data() + at);
        }
        if (appendCard(out, lines[i]))
            ++made.cards;
        made.ends.push_back(out.size());
    }
    made.bytes = std::move(out).take();
    return made;
}

bool VCardWriter::write(
    QIODevice &device, const QList<QByteArrayView> &lines, const std::function<bool(qsizetype)> &keepGoing)
{
    // The cards are made a batch of lines at a time by workers, each with pictures of its own,
    // while this thread writes the batches before in order. A few batches are made ahead at most.
    constexpr qsizetype Ahead = 8;
    // A job is the number of a batch and the memory of one written before, to make its cards in.
    using Job = std::pair<qsizetype, QByteArray>;
    const qsizetype batches = (lines.size() + BatchLines - 1) / BatchLines;
    const int workers = batches > 1 ? OrderedWork<Job, Batch>::workersFor(4) : 0;
    std::vector<std::unique_ptr<VCardWriter>> writers;
    for (int worker = 0; worker < std::max(workers, 1); ++worker) {
        writers.push_back(std::make_unique<VCardWriter>(m_dates));
        writers.back()->m_mostPhotoBytes = MostPhotoBytes / std::max(workers, 1);
    }
    OrderedWork<Job, Batch> work(workers, [&](Job &job, int worker) {
        return writers[worker]->batch(lines, job.first * BatchLines, std::move(job.second));
    });
    std::vector<QByteArray> written;
    qsizetype handedOut = 0;
    const auto handOut = [&] {
        for (; handedOut < batches && work.pending() < Ahead; ++handedOut) {
            QByteArray memory;
            if (!written.empty()) {
                memory = std::move(written.back());
                written.pop_back();
            }
            work.submit({handedOut, std::move(memory)});
        }
    };

    m_cards = 0;
    for (qsizetype index = 0; index < batches; ++index) {
        handOut();
        Batch made = work.take();
        const qsizetype first = index * BatchLines;
        for (qsizetype i = 0; keepGoing && i < qsizetype(made.ends.size()); ++i) {
            if (!keepGoing(first + i + 1)) {
                // What is done stays done; the caller throws it away or not.
                device.write(made.bytes.constData(), made.ends[i]);
                return false;
            }
        }
        if (device.write(made.bytes) != made.bytes.size())
            return false;
        m_cards += made.cards;
        written.push_back(std::move(made.bytes));
    }
    return true;
}
