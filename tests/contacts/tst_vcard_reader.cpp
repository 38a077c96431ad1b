#include "contacts/vcard_contact.h"
#include "contacts/vcard_reader.h"
#include "contacts/vcard_text.h"
#include "platform/windows1252.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>
#include <QUtf8StringView>

#include <sys/resource.h>

namespace {

struct Read
{
    QList<VCard> cards;
    int unreadable = 0;
    qint64 position = 0;
};

Read readAll(QIODevice &device)
{
    Read read;
    VCardReader reader(device);
    VCard card;
    while (reader.next(card))
        read.cards << card;
    read.unreadable = reader.unreadable();
    read.position = reader.position();
    return read;
}

Read readBytes(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readAll(buffer);
}

// One card around the given property lines.
QByteArray card(const QByteArray &body, const QByteArray &version = "3.0")
{
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "END:VCARD\r\n";
}

QString surnameOf(const VCard &card)
{
    const VCardProperty *n = card.first("N");
    return n ? n->components().value(0).value(0) : QString();
}

long peakResidentKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A file that is never held in memory: a head, count times one byte, a tail.
class GeneratedDevice : public QIODevice
{
public:
    GeneratedDevice(QByteArray head, char fill, qint64 count, QByteArray tail)
        : m_head(std::move(head))
        , m_fill(fill)
        , m_count(count)
        , m_tail(std::move(tail))
    {
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return m_head.size() + m_count + m_tail.size(); }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        qint64 at = pos();
        qint64 done = 0;
        while (done < max && at < size()) {
            if (at < m_head.size()) {
                data[done] = m_head[at];
            } else if (at < m_head.size() + m_count) {
                const qint64 run = std::min(max - done, m_head.size() + m_count - at);
                std::memset(data + done, m_fill, size_t(run));
                done += run;
                at += run;
                continue;
            } else {
                data[done] = m_tail[at - m_head.size() - m_count];
            }
            ++done;
            ++at;
        }
        return done;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_head;
    char m_fill;
    qint64 m_count;
    QByteArray m_tail;
};

} // namespace

class TestVCardReader : public QObject
{
    Q_OBJECT

private slots:
    void hugeLineIsSkippedWithBoundedMemory();
    void unfolding_data();
    void unfolding();
    void linesAcrossTheEndOfABlock();
    void valuesTheCallerKeepsStayAsTheyWere();
    void escapes_data();
    void escapes();
    void charsets_data();
    void charsets();
    void oneEuroSignAnywhereInAValue();
    void valuesDecodedAsTheConverterDecodesThem();
    void types_data();
    void types();
    void namesInAnyCaseAndTheirLookalikes();
    void parameterNamesOfAnyBytes();
    void encodingsInLowerCase();
    void preference_data();
    void preference();
    void structuredValues();
    void base64Forms_data();
    void base64Forms();
    void brokenCardsAmongGoodOnes();
    void fileEndingWithoutLineEndOrInsideACard();
    void agentCardInsideACardIsNotACardOfItsOwn();
    void cardOverTheBoundIsSkipped();
    void endlessLineWithoutLineEnd();
    void stopsWhereNoCardEnds();
};

void TestVCardReader::hugeLineIsSkippedWithBoundedMemory()
{
    // First, while the process has not yet needed much memory for anything else.
    constexpr qint64 HugeLine = qint64(50) << 20;
    const long before = peakResidentKb();
    GeneratedDevice device(
        card("N:Antes;Ana;;;\r\n") + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Enorme;Eva;;;\r\nNOTE:", 'x', HugeLine,
        "\r\nEND:VCARD\r\n" + card("N:Después;Luis;;;\r\n"));
    const Read read = readAll(device);
    QCOMPARE(read.cards.size(), 2);
    QCOMPARE(surnameOf(read.cards[0]), u"Antes"_qs);
    QCOMPARE(surnameOf(read.cards[1]), u"Después"_qs);
    QCOMPARE(read.unreadable, 1);
    QCOMPARE(read.position, device.size());
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps every freed block aside for a while: the resident size is its own.
    QSKIP("the resident size of a sanitized build is not the reader's");
#endif
    // The reader never holds the line: what it needed stays well under the line's size.
    QVERIFY2(peakResidentKb() - before < HugeLine / 1024 / 2,
        qPrintable(QString::number(peakResidentKb() - before) + u" KB more"_qs));
}

void TestVCardReader::unfolding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("note");

    QTest::newRow("CR LF, folded with a blank") << card("NOTE:uno dos \r\n tres\r\n") << u"uno dos tres"_qs;
    QTest::newRow("LF, folded with a tab")
        << QByteArray("BEGIN:VCARD\nNOTE:uno\n\tdos\nEND:VCARD\n") << u"unodos"_qs;
    QTest::newRow("folded inside a character") << card("NOTE:Sebasti\xC3\r\n \xA1n\r\n") << u"Sebastián"_qs;
    QTest::newRow("folded twice") << card("NOTE:a\r\n b\r\n c\r\n") << u"abc"_qs;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + card("NOTE:con marca\r\n") << u"con marca"_qs;
    QTest::newRow("no line end after the last line")
        << QByteArray("BEGIN:VCARD\r\nNOTE:fin\r\nEND:VCARD") << u"fin"_qs;
    QTest::newRow("quoted-printable soft line break")
        << card("NOTE;ENCODING=QUOTED-PRINTABLE:Jos=C3=A9 Mar=\r\n=C3=ADa\r\n", "2.1") << u"José María"_qs;
    QTest::newRow("quoted-printable, bare, line break inside")
        << card("NOTE;QUOTED-PRINTABLE:uno=0D=0A=\r\ndos=\r\n tres\r\n", "2.1") << u"uno\r\ndos tres"_qs;
    QTest::newRow("soft line break only for quoted-printable")
        << card("NOTE:termina en =\r\nTEL:1\r\n") << u"termina en ="_qs;
    QTest::newRow("lower-case names and begin")
        << QByteArray("begin:vcard\r\nnote:minúsculas\r\nend:vcard\r\n") << u"minúsculas"_qs;
    QTest::newRow("blank lines between properties")
        << card("\r\n\r\nNOTE:entre blancos\r\n\r\n") << u"entre blancos"_qs;
}

void TestVCardReader::unfolding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, note);
    const Read read = readBytes(bytes);
    QCOMPARE(read.cards.size(), 1);
    QVERIFY(read.cards[0].first("NOTE"));
    QCOMPARE(read.cards[0].first("NOTE")->text(), note);
    QCOMPARE(read.unreadable, 0);
}

// The reader reads 1 MiB at a time and keeps a pending line where the block holds it: wherever the
// block ends inside a card, folded and quoted-printable lines are joined as anywhere else, and no
// line is read from memory the next block was read into.
void TestVCardReader::linesAcrossTheEndOfABlock()
{
    const QByteArray body = "N:Mart\xC3\xADnez;Ana;;;\r\n"
                            "NOTE:uno dos \r\n tres\r\n"
                            "LABEL;ENCODING=QUOTED-PRINTABLE:Jos=C3=A9 Mar=\r\n=C3=ADa\r\n"
                            "TEL;TYPE=CELL:600 111 222\r\n";
    const QByteArray target = card(body, "2.1");
    constexpr qsizetype Block = qsizetype(1) << 20;
    const QByteArray filler = card("NOTE:" + QByteArray(200, 'f') + "\r\n");
    for (qsizetype cut = -2; cut <= target.size() + 2; ++cut) {
        // Filler cards, then padding in a note of the last one, so that the block ends cut bytes
        // into the card that matters.
        QByteArray bytes;
        while (bytes.size() + 2 * filler.size() < Block - cut)
            bytes += filler;
        const qsizetype pad = Block - cut - bytes.size() - card("NOTE:\r\n").size();
        bytes += card("NOTE:" + QByteArray(pad, 'p') + "\r\n");
        QCOMPARE(bytes.size(), Block - cut);
        // A whole block after it, which the reader reads over the one before.
        bytes += target + card("NOTE:" + QByteArray(Block, 'q') + "\r\n");
        const Read read = readBytes(bytes);
        QCOMPARE(read.unreadable, 0);
        const VCard &found = read.cards[read.cards.size() - 2];
        QVERIFY2(found.first("NOTE"), qPrintable(QString::number(cut)));
        QCOMPARE(surnameOf(found), u"Martínez"_qs);
        QCOMPARE(found.first("NOTE")->text(), u"uno dos tres"_qs);
        QCOMPARE(found.first("LABEL")->text(), u"José María"_qs);
        QCOMPARE(found.first("TEL")->text(), u"600 111 222"_qs);
        QCOMPARE(read.cards.back().first("NOTE")->text().size(), Block);
    }
}

// The reader decodes the next values into the memory of those before that nobody holds any more:
// a value the caller still holds, a card it keeps, stay as they were; no value shows what an
// earlier one held there.
void TestVCardReader::valuesTheCallerKeepsStayAsTheyWere()
{
    QByteArray bytes;
    const auto noteOf = [](int i) {
        return QByteArray::number(i) + QByteArray(i % 7 * 13, char('a' + i % 26)) + (i % 3 ? "" : "\xC3\xB1");
    };
    for (int i = 0; i < 300; ++i) {
        // A picture first, in the memory of a text of the card before; then an address of one,
        // where a picture stood.
        const QByteArray photo = i % 5 == 0
            ? "PHOTO;ENCODING=b;TYPE=JPEG:" + QByteArray("foto").toBase64() + "\r\n"
            : i % 5 == 1 ? "PHOTO;VALUE=uri:https://example.org/" + QByteArray::number(i) + "\r\n"
                         : "";
        bytes += card(photo + "N:Uno" + QByteArray::number(i) + ";A;;;\r\nNOTE:" + noteOf(i) + "\r\n");
    }
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    VCardReader reader(buffer);
    VCard card;
    QStringList notesHeld;
    QList<VCard> cardsKept;
    int read = 0;
    while (reader.next(card)) {
        const QString expected = QString::fromUtf8(noteOf(read));
        QCOMPARE(card.first("NOTE")->value, expected);
        const VCardProperty *photo = card.first("PHOTO");
        QCOMPARE(photo != nullptr, read % 5 < 2);
        if (photo && read % 5 == 0) {
            QVERIFY(photo->isBinary);
            QVERIFY(photo->value.isEmpty());
            QCOMPARE(photo->binary, QByteArray("foto"));
        } else if (photo) {
            QVERIFY(!photo->isBinary);
            QVERIFY(photo->binary.isEmpty());
            QCOMPARE(photo->value, u"https://example.org/%1"_qs.arg(read));
            QCOMPARE(photo->firstParameter("ENCODING"), QString());
        }
        if (read % 2)
            notesHeld << card.first("NOTE")->value;
        if (read % 10 == 0)
            cardsKept << card;
        ++read;
    }
    QCOMPARE(read, 300);
    for (int i = 0; i < notesHeld.size(); ++i)
        QCOMPARE(notesHeld[i], QString::fromUtf8(noteOf(2 * i + 1)));
    for (int i = 0; i < cardsKept.size(); ++i)
        QCOMPARE(cardsKept[i].first("NOTE")->value, QString::fromUtf8(noteOf(10 * i)));
}

void TestVCardReader::escapes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("comma") << QByteArray("uno\\, dos") << u"uno, dos"_qs;
    QTest::newRow("semicolon") << QByteArray("uno\\; dos") << u"uno; dos"_qs;
    QTest::newRow("backslash") << QByteArray("C:\\\\fotos") << u"C:\\fotos"_qs;
    QTest::newRow("line break n") << QByteArray("uno\\ndos") << u"uno\ndos"_qs;
    QTest::newRow("line break N") << QByteArray("uno\\Ndos") << u"uno\ndos"_qs;
    QTest::newRow("colon") << QByteArray("a\\:b") << u"a:b"_qs;
    QTest::newRow("unknown escape kept") << QByteArray("a\\tb") << u"a\\tb"_qs;
    QTest::newRow("backslash at the end kept") << QByteArray("fin\\") << u"fin\\"_qs;
    QTest::newRow("escaped backslash before n") << QByteArray("a\\\\nb") << u"a\\nb"_qs;
}

void TestVCardReader::escapes()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, text);
    const Read read = readBytes(card("NOTE:" + value + "\r\n"));
    QCOMPARE(read.cards.size(), 1);
    const VCardProperty &note = *read.cards[0].first("NOTE");
    QCOMPARE(note.text(), text);

    // Into a text of its own, longer or shorter, or one that something else shares, which stays.
    for (const QString &before : {QString(), u"un texto anterior bastante más largo"_qs, u"x"_qs}) {
        QString into = before;
        into.detach();
        note.textInto(into);
        QCOMPARE(into, text);
        QString shared = before;
        const QString keeper = shared;
        note.textInto(shared);
        QCOMPARE(shared, text);
        QCOMPARE(keeper, before);
    }
    // The escapes resolved into the text they are read from, and a piece of a text copied into it.
    QString self = note.value;
    self.detach();
    VCardText::unescapedInto(self, self);
    QCOMPARE(self, text);
    QString piece = u"primero segundo"_qs;
    piece.detach();
    VCardText::copyInto(piece, QStringView(piece).sliced(3));
    QCOMPARE(piece, u"mero segundo"_qs);
}

void TestVCardReader::charsets_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");

    QTest::newRow("UTF-8 quoted-printable")
        << QByteArray("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Pe=C3=B1a") << u"Peña"_qs;
    QTest::newRow("ISO-8859-1 quoted-printable")
        << QByteArray("NOTE;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Pe=F1a =80") << u"Peña €"_qs;
    QTest::newRow("Windows-1252 quoted-printable")
        << QByteArray("NOTE;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=93Rulo=94") << u"“Rulo”"_qs;
    QTest::newRow("ISO-8859-15") << QByteArray("NOTE;CHARSET=ISO-8859-15:\xA4 \xBD") << u"€ œ"_qs;
    QTest::newRow("8-bit ISO-8859-1") << QByteArray("NOTE;CHARSET=ISO-8859-1:Mec\xE1nica") << u"Mecánica"_qs;
    QTest::newRow("no charset, UTF-8") << QByteArray("NOTE:Gómez") << u"Gómez"_qs;
    QTest::newRow("no charset, not UTF-8") << QByteArray("NOTE:G\xF3mez") << u"Gómez"_qs;
    QTest::newRow("says UTF-8, is not") << QByteArray("NOTE;CHARSET=UTF-8:G\xF3mez") << u"Gómez"_qs;
    QTest::newRow("unknown charset, UTF-8") << QByteArray("NOTE;CHARSET=KOI8-R:Gómez") << u"Gómez"_qs;
    QTest::newRow("broken quoted-printable kept")
        << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:50=% =ZZ =4") << u"50=% =ZZ =4"_qs;
    QTest::newRow("lower-case hex") << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:Pe=c3=b1a") << u"Peña"_qs;
}

void TestVCardReader::charsets()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    const Read read = readBytes(card(property + "\r\n", "2.1"));
    QCOMPARE(read.cards.size(), 1);
    QCOMPARE(read.cards[0].first("NOTE")->text(), text);
}

// Values are looked at eight bytes at a time for anything beyond ASCII: one euro sign (a byte
// that is no letter in ISO-8859-1) is seen wherever it stands, within the words or in the bytes
// after them, in UTF-8 as in Windows-1252.
void TestVCardReader::oneEuroSignAnywhereInAValue()
{
    for (qsizetype length = 1; length <= 19; ++length) {
        for (qsizetype at = 0; at < length; ++at) {
            QString text(length, u'a');
            text[at] = u'€';
            QByteArray cp1252 = QByteArray(length, 'a');
            cp1252[at] = '\x80';
            for (const QByteArray &bytes : {text.toUtf8(), cp1252}) {
                const Read read = readBytes(card("NOTE:" + bytes + "\r\n"));
                QCOMPARE(read.cards.size(), 1);
                QCOMPARE(read.cards[0].first("NOTE")->text(), text);
            }
        }
        const Read plain = readBytes(card("NOTE:" + QByteArray(length, 'z') + "\r\n"));
        QCOMPARE(plain.cards[0].first("NOTE")->text(), QString(length, u'z'));
    }
}

// Values of bytes that begin, go on or break characters of UTF-8, in every order: each reads as
// Qt's converter reads it when the whole is UTF-8, and byte by byte in Windows-1252 when it is not,
// also into the memory of a longer or shorter value before, or of one somebody still holds.
void TestVCardReader::valuesDecodedAsTheConverterDecodesThem()
{
    const auto expected = [](QByteArrayView bytes) {
        if (!QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8())
            return Windows1252::decode(bytes);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
        return QString(utf8(bytes));
    };
    // ASCII, leads of two, three and four bytes, followings, bytes UTF-8 never has.
    const char alphabet[] = {'a', ';', '\x7F', '\xC2', '\xC3', '\xDF', '\xC0', '\xC1', '\x80', '\xA9', '\xBF',
        '\xE2', '\x82', '\xAC', '\xF0', '\x9F', '\xFF'};
    QRandomGenerator random(23);
    QString text;
    QString held;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes(random.bounded(41), Qt::Uninitialized);
        const bool runOfAscii = round % 4 == 0; // long enough for the sixteen bytes at a time
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = runOfAscii && i < 20 ? char('A' + i) : alphabet[random.bounded(int(sizeof alphabet))];
        if (round % 7 == 0)
            held = text; // written over, the held value must stay as it was
        const QString before = held;
        VCardText::decodeInto(text, bytes, {});
        QCOMPARE(text, expected(bytes));
        QCOMPARE(held, before);
    }
    for (const char *bytes : {"\xC3\xB1", "a\xC3",
             "\xC3"
             "a",
             "\xE2\x82\xAC\xC3\xB1", "\xC3\xB1\xE2\x82\xAC", "\xC0\x80",
             "\xEF\xBB\xBF"
             "a",
             "0123456789abcdef\xC3\xB1"}) {
        VCardText::decodeInto(text, bytes, {});
        QCOMPARE(text, expected(bytes));
    }
}

void TestVCardReader::types_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QByteArray>("group");
    QTest::addColumn<bool>("cell");
    QTest::addColumn<bool>("voice");
    QTest::addColumn<QString>("value");

    QTest::newRow("TYPE=cell") << QByteArray("TEL;TYPE=cell:1") << QByteArray() << true << false << u"1"_qs;
    QTest::newRow("TYPE list") << QByteArray("TEL;TYPE=CELL,VOICE:2") << QByteArray() << true << true
                               << u"2"_qs;
    QTest::newRow("TYPE repeated") << QByteArray("TEL;TYPE=VOICE;TYPE=CELL:3") << QByteArray() << true << true
                                   << u"3"_qs;
    QTest::newRow("bare 2.1 types") << QByteArray("TEL;CELL;VOICE:4") << QByteArray() << true << true
                                    << u"4"_qs;
    QTest::newRow("quoted 4.0 list") << QByteArray("TEL;VALUE=uri;TYPE=\"cell,voice\":tel:5") << QByteArray()
                                     << true << true << u"tel:5"_qs;
    QTest::newRow("group") << QByteArray("item1.TEL;type=Cell:6") << QByteArray("item1") << true << false
                           << u"6"_qs;
    QTest::newRow("home only") << QByteArray("TEL;TYPE=HOME:7") << QByteArray() << false << false << u"7"_qs;
    QTest::newRow("colon inside a quoted parameter")
        << QByteArray("TEL;X-LABEL=\"a:b\";TYPE=CELL:8") << QByteArray() << true << false << u"8"_qs;
    QTest::newRow("semicolon and colon inside a quoted parameter")
        << QByteArray("TEL;X-LABEL=\"a;b:c\";TYPE=VOICE:9") << QByteArray() << false << true << u"9"_qs;
    QTest::newRow("lower case, a quote in the value")
        << QByteArray("tel;type=cell:\"10\"") << QByteArray() << true << false << u"\"10\""_qs;
    QTest::newRow("a type that only starts like one")
        << QByteArray("TEL;TYPE=CELLULAR;TYPE=VOICEMAIL:11") << QByteArray() << false << false << u"11"_qs;
}

void TestVCardReader::types()
{
    QFETCH(QByteArray, property);
    QFETCH(QByteArray, group);
    QFETCH(bool, cell);
    QFETCH(bool, voice);
    QFETCH(QString, value);
    const Read read = readBytes(card(property + "\r\n"));
    QCOMPARE(read.cards.size(), 1);
    const VCardProperty *tel = read.cards[0].first("TEL");
    QVERIFY(tel);
    QCOMPARE(tel->group, group);
    QCOMPARE(tel->hasType(u"CELL"), cell);
    QCOMPARE(tel->hasType(u"voice"), voice);
    QCOMPARE(tel->text(), value);
}

void TestVCardReader::namesInAnyCaseAndTheirLookalikes()
{
    // Every name the program reads, in upper, lower and mixed case, each beside a name of the same
    // length and the same first and last letters, which is some other property.
    const QList<QByteArray> names = mappedProperties();
    QByteArray body;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QByteArray &name = names[i];
        QByteArray lookalike = name;
        if (name.size() > 2)
            lookalike[1] = lookalike[1] == 'Q' ? 'Z' : 'Q';
        else
            lookalike.prepend("X");
        QByteArray written = name;
        if (i % 3 == 1)
            written = name.toLower();
        else if (i % 3 == 2)
            written[0] = char(written[0] | 0x20); // every name starts with a letter
        body += lookalike + ":no\r\n" + written + ":" + QByteArray::number(i) + "\r\n";
    }
    const Read read = readBytes(card(body));
    QCOMPARE(read.cards.size(), 1);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QList<const VCardProperty *> found = read.cards[0].all(names[i]);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0]->value, QString::number(i));
    }
}

void TestVCardReader::parameterNamesOfAnyBytes()
{
    // Bytes of every value at both ends of a parameter's name, which is looked up among the known
    // names before anything else is made of it.
    QByteArray body;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == '\r' || byte == '\n' || byte == ':' || byte == ';' || byte == '=' || byte == '"')
            continue;
        const QByteArray end(1, char(byte));
        body += "TEL;" + end + "X" + end + "=A;TYPE=CELL:" + QByteArray::number(byte) + "\r\n";
    }
    const Read read = readBytes(card(body));
    QCOMPARE(read.cards.size(), 1);
    const QList<const VCardProperty *> tels = read.cards[0].all("TEL");
    QCOMPARE(tels.size(), 255 - 6);
    for (const VCardProperty *tel : tels)
        QVERIFY(tel->hasType(u"CELL"));
}

void TestVCardReader::encodingsInLowerCase()
{
    const Read read = readBytes(card("NOTE;encoding=quoted-printable;charset=utf-8:Jos=C3=A9\r\n"
                                     "PHOTO;encoding=b;type=jpeg:AAEC\r\n"
                                     "LOGO;Encoding=Base64:AAEC\r\n"));
    QCOMPARE(read.cards.size(), 1);
    QCOMPARE(read.cards[0].first("NOTE")->text(), u"José"_qs);
    for (const char *name : {"PHOTO", "LOGO"}) {
        const VCardProperty *picture = read.cards[0].first(name);
        QVERIFY2(picture->isBinary && !picture->damaged, name);
        QCOMPARE(picture->binary, QByteArray("\x00\x01\x02", 3));
    }
}

void TestVCardReader::preference_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("preference");

    QTest::newRow("none") << QByteArray("EMAIL:a@b") << 0;
    QTest::newRow("TYPE=PREF") << QByteArray("EMAIL;TYPE=INTERNET,PREF:a@b") << 1;
    QTest::newRow("bare PREF") << QByteArray("EMAIL;PREF;INTERNET:a@b") << 1;
    QTest::newRow("PREF level") << QByteArray("EMAIL;PREF=7:a@b") << 7;
    QTest::newRow("PREF out of range") << QByteArray("EMAIL;PREF=900:a@b") << 100;
}

void TestVCardReader::preference()
{
    QFETCH(QByteArray, property);
    QFETCH(int, preference);
    const Read read = readBytes(card(property + "\r\n"));
    QCOMPARE(read.cards.size(), 1);
    QCOMPARE(read.cards[0].first("EMAIL")->preference(), preference);
}

void TestVCardReader::structuredValues()
{
    const Read read = readBytes(card("N:de la Cruz\\, hijo;Ana,María;;Dra.;\r\n"
                                     "ADR;TYPE=HOME:;;Calle Mayor 5\\; 2º;Alcalá;;28801;España\r\n"
                                     "NICKNAME:Anita,La Flaca\r\n"));
    QCOMPARE(read.cards.size(), 1);
    const VCard &c = read.cards[0];
    const QList<QStringList> n = c.first("N")->components();
    QCOMPARE(n.size(), 5);
    QCOMPARE(n[0], QStringList {u"de la Cruz, hijo"_qs});
    QCOMPARE(n[1], (QStringList {u"Ana"_qs, u"María"_qs}));
    QCOMPARE(n[3], QStringList {u"Dra."_qs});
    const QList<QStringList> adr = c.first("ADR")->components();
    QCOMPARE(adr.size(), 7);
    QCOMPARE(adr[2], QStringList {u"Calle Mayor 5; 2º"_qs});
    QCOMPARE(adr[6], QStringList {u"España"_qs});
    QCOMPARE(c.first("NICKNAME")->items(), (QStringList {u"Anita"_qs, u"La Flaca"_qs}));
    QCOMPARE(c.version, QByteArray("3.0"));
}

void TestVCardReader::base64Forms_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("binary");
    QTest::addColumn<bool>("damaged");

    const QByteArray data = QByteArray("una foto cualquiera, de unos cuantos bytes").toBase64();
    QTest::newRow("3.0 ENCODING=b folded")
        << card("PHOTO;ENCODING=b;TYPE=JPEG:" + data.left(20) + "\r\n " + data.mid(20) + "\r\n")
        << QByteArray("una foto cualquiera, de unos cuantos bytes") << false;
    QTest::newRow("2.1 BASE64 indented, blank line after") << card(
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n    " + data.left(30) + "\r\n    " + data.mid(30) + "\r\n\r\n",
        "2.1") << QByteArray("una foto cualquiera, de unos cuantos bytes")
                                                           << false;
    QTest::newRow("2.1 BASE64 not indented")
        << card("PHOTO;BASE64;JPEG:" + data.left(16) + "\r\n" + data.mid(16) + "\r\n\r\n", "2.1")
        << QByteArray("una foto cualquiera, de unos cuantos bytes") << false;
    QTest::newRow("not base64") << card("PHOTO;ENCODING=b:!!no***\r\n") << QByteArray() << true;
}

void TestVCardReader::base64Forms()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, binary);
    QFETCH(bool, damaged);
    const Read read = readBytes(bytes);
    QCOMPARE(read.cards.size(), 1);
    const VCardProperty *photo = read.cards[0].first("PHOTO");
    QVERIFY(photo);
    QVERIFY(photo->isBinary);
    QCOMPARE(photo->damaged, damaged);
    QCOMPARE(photo->binary, binary);
    QVERIFY(photo->value.isEmpty());
}

void TestVCardReader::brokenCardsAmongGoodOnes()
{
    QFile file(QStringLiteral(VCARD_FIXTURES "/broken.vcf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const Read read = readAll(file);
    QStringList surnames;
    for (const VCard &c : read.cards)
        surnames << surnameOf(c);
    // The card without a name is a card all the same; those without END are not.
    QCOMPARE(surnames, (QStringList {u"Uno"_qs, u"Dos"_qs, QString(), u"Tres"_qs}));
    QCOMPARE(read.unreadable, 2);
    QCOMPARE(read.position, file.size());
}

void TestVCardReader::fileEndingWithoutLineEndOrInsideACard()
{
    QCOMPARE(readBytes(card("N:Uno;A;;;\r\n") + "BEGIN:VCARD\r\nN:Dos;B").unreadable, 1);
    QCOMPARE(readBytes(card("N:Uno;A;;;\r\n") + "BEGIN:VCARD\r\nN:Dos;B").cards.size(), 1);
    QCOMPARE(readBytes(QByteArray()).cards.size(), 0);
    QCOMPARE(readBytes("no card at all\r\nEND:VCARD\r\n").unreadable, 0);
}

void TestVCardReader::agentCardInsideACardIsNotACardOfItsOwn()
{
    const Read read = readBytes(card("N:Ortega;Marta\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Secretaria;Laura\r\n"
                                     "END:VCARD\r\nTEL:915\r\n",
                                    "2.1")
        + card("N:Luego;Otro;;;\r\n"));
    QCOMPARE(read.cards.size(), 2);
    QCOMPARE(surnameOf(read.cards[0]), u"Ortega"_qs);
    QCOMPARE(read.cards[0].all("N").size(), 1);
    QCOMPARE(read.cards[0].first("TEL")->text(), u"915"_qs);
    QCOMPARE(surnameOf(read.cards[1]), u"Luego"_qs);
    QCOMPARE(read.unreadable, 0);
}

void TestVCardReader::cardOverTheBoundIsSkipped()
{
    // Many short lines that add up to more than a card may hold, and one folded line longer than
    // a line may be.
    QByteArray manyLines;
    const QByteArray note = "NOTE:" + QByteArray(1000, 'n') + "\r\n";
    for (qsizetype size = 0; size <= VCardReader::MaxCardBytes + (1 << 20); size += note.size())
        manyLines += note;
    QByteArray longFolded = "NOTE:";
    const QByteArray part = "\r\n " + QByteArray(4000, 'f');
    while (longFolded.size() <= VCardReader::MaxLineBytes + (1 << 20))
        longFolded += part;
    const Read read = readBytes(card("N:Uno;A;;;\r\n") + card(manyLines)
        + card(longFolded + "\r\nN:X;Y;;;\r\n") + card("N:Dos;B;;;\r\n"));
    QCOMPARE(read.cards.size(), 2);
    QCOMPARE(surnameOf(read.cards[0]), u"Uno"_qs);
    QCOMPARE(surnameOf(read.cards[1]), u"Dos"_qs);
    QCOMPARE(read.unreadable, 2);
}

void TestVCardReader::endlessLineWithoutLineEnd()
{
    GeneratedDevice inside(card("N:Uno;A;;;\r\n") + "BEGIN:VCARD\r\nNOTE:", 'z', qint64(40) << 20, {});
    const Read read = readAll(inside);
    QCOMPARE(read.cards.size(), 1);
    QCOMPARE(read.unreadable, 1);
    GeneratedDevice outside(QByteArray(), '\0', qint64(40) << 20, {});
    QCOMPARE(readAll(outside).cards.size(), 0);
}

void TestVCardReader::stopsWhereNoCardEnds()
{
    // 200 MB of one line in one card: the caller hears of the reading after every block and can
    // stop it long before the end.
    GeneratedDevice device(card("N:Uno;A;;;\r\n") + "BEGIN:VCARD\r\nNOTE:", 'z', qint64(200) << 20, {});
    VCardReader reader(device);
    QList<qint64> positions;
    reader.setKeepGoing([&](qint64 position) {
        positions << position;
        return positions.size() < 5;
    });
    VCard first;
    QVERIFY(reader.next(first));
    VCard second;
    QVERIFY(!reader.next(second));
    QVERIFY(reader.stopped());
    QVERIFY(!reader.failed());
    QCOMPARE(positions.size(), 5);
    QCOMPARE(positions.back(), qint64(5) << 20);
    QCOMPARE(reader.unreadable(), 0); // stopped, not unreadable
    QVERIFY(device.pos() < device.size() / 10);
}

QTEST_GUILESS_MAIN(TestVCardReader)
#include "tst_vcard_reader.moc"
