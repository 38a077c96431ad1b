#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/contact_search.h"
#include "fake_platform.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace ContactRecord;

namespace {

QString contact(std::initializer_list<std::pair<Field, QString>> values)
{
    Fields fields;
    for (const auto &[field, text] : values)
        fields[field] = text;
    return lineOf(fields);
}

// A small address book; each query below is checked against it.
const QStringList Book = {
    contact({{apellido, u"Peña"_qs}, {nombre, u"Ana"_qs}, {nick, u"Anita"_qs}, {localidad, u"Rosario"_qs},
        {telefono, u"0176 12345678"_qs}, {email, u"ana@correo.ar"_qs}}),
    contact({{apellido, u"Álvarez"_qs}, {nombre, u"José"_qs}, {localidad, u"Córdoba"_qs},
        {celular, u"017612345678"_qs}}),
    contact({{apellido, u"Gomez"_qs}, {nombre, u"Lucía"_qs}, {localidad, u"Madrid"_qs},
        {celular, u"+34 (600) 11-22-33"_qs}, {fechanac, u"12/03/1990"_qs}}),
    contact(
        {{apellido, u"ALVAREZ"_qs}, {nombre, u"Pedro"_qs}, {altura, u"1,75"_qs}, {ocupacion, u"Médico"_qs}}),
    contact({{apellido, u"Núñez"_qs}, {nombre, u"María"_qs}, {provincia, u"Santa Fe"_qs},
        {pais, u"ÀÉÎÕÜÇŠŽŸ"_qs}}),
};

QStringList keysOf(const ContactSearch::Results &results)
{
    QStringList keys;
    for (const ContactSearch::Result &result : results.shown)
        keys << result.key;
    return keys;
}

} // namespace

class TestContactSearch : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void matches_data();
    void matches();
    void matchesAPlainReading_data();
    void matchesAPlainReading();
    void shownField_data();
    void shownField();
    void wordsOfAQuery_data();
    void wordsOfAQuery();
    void oddLines_data();
    void oddLines();
    void longLineIsSearchedUpToTheBound();
    void atMostFiveHundredWithTheTrueCount();
    void resultsInTheListsOrder();
    void typingOnGivesWhatAFreshSearchGives_data();
    void typingOnGivesWhatAFreshSearchGives();
    void unreadableFile_data();
    void unreadableFile();
    void emptyFileFindsNothing();
    void countText_data();
    void countText();

private:
    QString dataPath() const { return m_dir->filePath(QStringLiteral("data.orv")); }
    ContactSearch indexOf(const QByteArray &bytes)
    {
        writeBytes(dataPath(), bytes);
        std::optional<ContactSearch> index = ContactSearch::fromFile(dataPath());
        if (!index)
            qFatal("the contact file could not be indexed");
        return std::move(*index);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestContactSearch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestContactSearch::matches_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("keys");

    const QString pena = u"Peña Ana "_qs;
    const QString alvarez = u"Álvarez José "_qs;
    const QString gomez = u"Gomez Lucía "_qs;
    const QString upper = u"ALVAREZ Pedro "_qs;
    const QString nunez = u"Núñez María "_qs;

    // Case and accents
    QTest::newRow("without the tilde") << u"pena"_qs << QStringList {pena};
    QTest::newRow("upper case with the tilde") << u"PEÑA"_qs << QStringList {pena};
    QTest::newRow("without the accent, both") << u"alvarez"_qs << QStringList {alvarez, upper};
    QTest::newRow("with the accent, both") << u"Álvarez"_qs << QStringList {alvarez, upper};
    QTest::newRow("ñ and ú") << u"nunez"_qs << QStringList {nunez};
    QTest::newRow("every accented capital") << u"aeioucszy"_qs << QStringList {nunez};
    QTest::newRow("accented query, plain text") << u"gómez"_qs << QStringList {gomez};
    QTest::newRow("inside a field") << u"drid"_qs << QStringList {gomez};
    QTest::newRow("two short words") << u"a f"_qs << QStringList {nunez};
    QTest::newRow("the separator's letter") << u"ã"_qs << QStringList {alvarez, upper, gomez, nunez, pena};

    // Several words
    QTest::newRow("name and town") << u"ana rosario"_qs << QStringList {pena};
    QTest::newRow("town and name") << u"  Rosario\tANA "_qs << QStringList {pena};
    QTest::newRow("same field twice") << u"san fe"_qs << QStringList {nunez};
    QTest::newRow("one word nowhere") << u"ana madrid"_qs << QStringList {};
    QTest::newRow("word and number") << u"ana 0176 1234"_qs << QStringList {pena};
    QTest::newRow("not across fields") << u"pedromédico"_qs << QStringList {};
    QTest::newRow("not across contacts") << u"medico nunez"_qs << QStringList {};

    // Numbers: by their digits alone
    const QStringList both = {alvarez, pena};
    QTest::newRow("blank") << u"0176 1234"_qs << both;
    QTest::newRow("hyphen") << u"0176-1234"_qs << both;
    QTest::newRow("digits alone") << u"01761234"_qs << both;
    QTest::newRow("brackets") << u"(0176) 1234"_qs << both;
    QTest::newRow("plus and dot") << u"+0176.1234"_qs << both;
    QTest::newRow("slash") << u"0176/12/34"_qs << both;
    QTest::newRow("sign between blanks") << u"0176 - 1234"_qs << both;
    QTest::newRow("spread") << u"0 1 7 6 1 2 3 4"_qs << both;
    QTest::newRow("other number") << u"0176 9"_qs << QStringList {};
    QTest::newRow("split mobile") << u"600112233"_qs << QStringList {gomez};
    QTest::newRow("across the signs") << u"3460011"_qs << QStringList {gomez};
    QTest::newRow("date") << u"12.03.1990"_qs << QStringList {gomez};
    QTest::newRow("comma field") << u"1.75"_qs << QStringList {upper};
    QTest::newRow("digits not across fields") << u"33 12"_qs << QStringList {};
    QTest::newRow("comma is not a sign") << u"1,75"_qs << QStringList {upper};
    QTest::newRow("comma differs") << u"17,5"_qs << QStringList {};
    QTest::newRow("sign alone is text") << u"-"_qs << QStringList {gomez};
    QTest::newRow("signs alone are text") << u"( )"_qs << QStringList {gomez};

    // Nothing to find
    QTest::newRow("empty") << QString() << QStringList {};
    QTest::newRow("blanks") << u" \t "_qs << QStringList {};
    QTest::newRow("not in the code page") << u"ana 中"_qs << QStringList {};
}

void TestContactSearch::matches()
{
    QFETCH(QString, query);
    QFETCH(QStringList, keys);
    ContactSearch index = indexOf(cp1252Lines(Book));
    const ContactSearch::Results results = index.find(query);
    QCOMPARE(keysOf(results), keys);
    QCOMPARE(results.count, keys.size());
}

void TestContactSearch::matchesAPlainReading_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 8; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Random fields and words from a few letters in all their forms, digits and signs: every answer is
// the one a plain reading of the rules gives, one field at a time.
void TestContactSearch::matchesAPlainReading()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QString alphabet = u"aAáÁàÄenNñÑoÓöuÜyŸÿœŒ0123-/. ("_qs;
    const auto text = [&](int longest, bool blanks) {
        QString t;
        for (int n = int(random.bounded(longest + 1)); t.size() < n;) {
            const QChar c = alphabet[random.bounded(alphabet.size())];
            if (blanks || c != u' ')
                t += c;
        }
        return t;
    };
    const auto folded = [](const QString &t) {
        QString f;
        for (QChar c : t) {
            while (c.decompositionTag() == QChar::Canonical)
                c = c.decomposition().front();
            f += c.toCaseFolded();
        }
        return f;
    };
    const auto digits = [](const QString &t) {
        QString d = t;
        d.removeIf([](QChar c) { return !c.isDigit(); });
        return d;
    };

    // Each contact's fields folded and as digits alone, by list row.
    QStringList lines;
    QStringList keys;
    QHash<QString, std::pair<Fields, Fields>> plain;
    for (int i = 0; i < 300; ++i) {
        Fields fields;
        for (QString &field : fields)
            field = random.bounded(3) == 0 ? QString() : text(40, true);
        fields[apellido] = u"C%1 "_qs.arg(i) + fields[apellido];
        lines << lineOf(fields);
        keys << keyOf(lines.last());
        auto &[foldedFields, digitFields] = plain[keys.last()];
        std::transform(fields.cbegin(), fields.cend(), foldedFields.begin(), folded);
        std::transform(fields.cbegin(), fields.cend(), digitFields.begin(), digits);
    }
    ContactListModel list;
    list.setKeys(keys);
    ContactSearch index = indexOf(cp1252Lines(lines));

    // Each query typed one character at a time, so that most searches narrow the one before.
    for (int q = 0; q < 50; ++q) {
        const QString typed = text(7, true);
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            const QString query = typed.left(length);
            const std::vector<ContactSearch::Word> words = ContactSearch::wordsOf(query);
            QStringList expected;
            for (int row = 0; row < list.count() && !words.empty(); ++row) {
                const auto &[foldedFields, digitFields] = plain[list.keyAt(row)];
                const bool all = std::all_of(words.cbegin(), words.cend(), [&](const auto &word) {
                    const QString needle = word.number ? QString::fromLatin1(word.needle)
                                                       : folded(Windows1252::decode(word.needle));
                    const Fields &fields = word.number ? digitFields : foldedFields;
                    return std::any_of(fields.cbegin(), fields.cend(),
                        [&](const QString &field) { return field.contains(needle); });
                });
                if (all)
                    expected << list.keyAt(row);
            }
            const ContactSearch::Results results = index.find(query);
            QVERIFY2(keysOf(results) == expected.mid(0, ContactSearch::MaxResults), qPrintable(query));
            QCOMPARE(results.count, expected.size());
        }
    }
}

void TestContactSearch::shownField_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("fields");

    QTest::newRow("surname alone") << u"pena"_qs << u"Peña Ana "_qs << int(apellido) << u"Peña"_qs
                                   << QList<int> {apellido};
    QTest::newRow("phone with other spacing") << u"0176-1234"_qs << u"Peña Ana "_qs << int(telefono)
                                              << u"0176 12345678"_qs << QList<int> {telefono};
    QTest::newRow("phone beside the surname") << u"peña 0176 1234"_qs << u"Peña Ana "_qs << int(telefono)
                                              << u"0176 12345678"_qs << QList<int> {apellido, telefono};
    QTest::newRow("first field beyond the key")
        << u"ana"_qs << u"Peña Ana "_qs << int(email) << u"ana@correo.ar"_qs << QList<int> {nombre, email};
    QTest::newRow("name and town") << u"lucia madrid"_qs << u"Gomez Lucía "_qs << int(localidad)
                                   << u"Madrid"_qs << QList<int> {nombre, localidad};
    QTest::newRow("digits split by signs") << u"3.4 6"_qs << u"Gomez Lucía "_qs << int(celular)
                                           << u"+34 (600) 11-22-33"_qs << QList<int> {celular};
    QTest::newRow("one run of a date")
        << u"1990"_qs << u"Gomez Lucía "_qs << int(fechanac) << u"12/03/1990"_qs << QList<int> {fechanac};
    QTest::newRow("occupation") << u"médico alvarez"_qs << u"ALVAREZ Pedro "_qs << int(ocupacion)
                                << u"Médico"_qs << QList<int> {apellido, ocupacion};
}

void TestContactSearch::shownField()
{
    QFETCH(QString, query);
    QFETCH(QString, key);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QList<int>, fields);
    ContactSearch index = indexOf(cp1252Lines(Book));
    const ContactSearch::Results results = index.find(query);
    const auto found = std::find_if(results.shown.cbegin(), results.shown.cend(),
        [&](const ContactSearch::Result &r) { return r.key == key; });
    QVERIFY(found != results.shown.cend());
    QCOMPARE(found->field, field);
    QCOMPARE(found->text, text);
    quint32 bits = 0;
    for (const int f : fields)
        bits |= 1u << f;
    QCOMPARE(found->fields, bits);
}

void TestContactSearch::wordsOfAQuery_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("words"); // "n:" a number's digits, "t:" folded text (Latin-1)

    QTest::newRow("text, number, text")
        << u"Peña 0176-1234 x"_qs << QStringList {u"t:pena"_qs, u"n:01761234"_qs, u"t:x"_qs};
    QTest::newRow("blanks inside a number") << u"0176 1234"_qs << QStringList {u"n:01761234"_qs};
    QTest::newRow("brackets apart") << u"( 0176 ) 1234 ana 5"_qs
                                    << QStringList {u"n:01761234"_qs, u"t:ana"_qs, u"n:5"_qs};
    QTest::newRow("sign before a number") << u"- 12"_qs << QStringList {u"n:12"_qs};
    QTest::newRow("signs alone") << u"- ( ana"_qs << QStringList {u"t:-"_qs, u"t:("_qs, u"t:ana"_qs};
    QTest::newRow("letter in a number") << u"12a 34"_qs << QStringList {u"t:12a"_qs, u"n:34"_qs};
    QTest::newRow("comma in a number") << u"1,75"_qs << QStringList {u"t:1,75"_qs};
    QTest::newRow("capitals and ligature")
        << u"ÀÉÎ Œ Ÿ"_qs << QStringList {u"t:aei"_qs, u"t:œ"_qs, u"t:y"_qs};
    QTest::newRow("other digits are text") << u"١٢"_qs << QStringList {u"t:ÿÿ"_qs};
    QTest::newRow("outside the code page") << u"a中"_qs << QStringList {u"t:aÿ"_qs};
    QTest::newRow("tabs and line breaks") << u"a\tb\nc\r"_qs << QStringList {u"t:a"_qs, u"t:b"_qs, u"t:c"_qs};
    QTest::newRow("empty") << QString() << QStringList {};
}

void TestContactSearch::wordsOfAQuery()
{
    QFETCH(QString, query);
    QFETCH(QStringList, words);
    QStringList got;
    for (const ContactSearch::Word &word : ContactSearch::wordsOf(query)) {
        // 0xFF, a byte no field folds to, reads as "ÿ" in Latin-1; 0x9C (œ) is shown as œ.
        QString text = QString::fromLatin1(word.needle);
        text.replace(QChar(0x9C), QChar(0x0153));
        got << (word.number ? u"n:"_qs : u"t:"_qs) + text;
    }
    QCOMPARE(got, words);
}

void TestContactSearch::oddLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("contacts");

    const QByteArray eighteen = QByteArray("Sosa\xE3Luz\xE3") + QByteArray(15, '\xE3') + "foto.jpg\xE3";
    QTest::newRow("no separator") << QByteArray("Gomez\r\n") << u"gomez"_qs << QStringList {u"Gomez  "_qs}
                                  << 1;
    QTest::newRow("three fields") << QByteArray("Perez\xE3Juan\xE3Juancho\r\n") << u"juancho"_qs
                                  << QStringList {u"Perez Juan "_qs} << 1;
    QTest::newRow("18th field") << eighteen + "\r\n" << u"foto"_qs << QStringList {u"Sosa Luz "_qs} << 1;
    QTest::newRow("after the 18th field") << eighteen + "extra\xE3\r\n" << u"extra"_qs << QStringList {} << 1;
    const QByteArray odd = QByteArray("Ab\0cd\x81", 6) + "ef";
    QTest::newRow("NUL and undefined bytes")
        << odd + "\xE3Lu\r\n"
        << u"cd"_qs << QStringList {Windows1252::decode(odd) + u" Lu "_qs} << 1;
    QTest::newRow("blank lines, LF only") << QByteArray("\r\n\nRuiz\xE3"
                                                        "Eva\xE3\n\r\n")
                                          << u"eva"_qs << QStringList {u"Ruiz Eva "_qs} << 1;
    QTest::newRow("no line end") << QByteArray("Ruiz\xE3"
                                               "Eva")
                                 << u"ruiz eva"_qs << QStringList {u"Ruiz Eva "_qs} << 1;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFRuiz\xE3"
                                                   "Eva\r\n")
                                     << u"ruiz"_qs << QStringList {u"ï»¿Ruiz Eva "_qs} << 1;
    QTest::newRow("short line, split digits") << QByteArray("Sosa\xE3Luz\xE3\xE3\xE3\xE3\xE3\xE3\xE3"
                                                            "11 22\r\nRey\xE3Sol\r\n")
                                              << u"1122"_qs << QStringList {u"Sosa Luz "_qs} << 2;
    QTest::newRow("bare CR inside a line") << QByteArray("Ruiz\xE3"
                                                         "Eva\rMora\xE3"
                                                         "Ana\r\n")
                                           << u"mora"_qs << QStringList {u"Ruiz Eva\rMora "_qs} << 1;
}

void TestContactSearch::oddLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, query);
    QFETCH(QStringList, keys);
    QFETCH(int, contacts);
    ContactSearch index = indexOf(file);
    QCOMPARE(index.contactCount(), contacts);
    QCOMPARE(keysOf(index.find(query)), keys);
}

void TestContactSearch::longLineIsSearchedUpToTheBound()
{
    // "cerca" ends 3 bytes before the bound, "limite" crosses it, "lejos" lies beyond.
    QByteArray line = "Largo\xE3Linea\xE3";
    line += QByteArray(ContactSearch::MaxLineBytes - 10 - line.size(), 'x');
    line += " cerca limite lejos ";
    line += QByteArray(40'000, 'y');
    QCOMPARE(line.indexOf("limite") + 3, ContactSearch::MaxLineBytes);
    ContactSearch index = indexOf(line
        + "\r\nCorto\xE3"
          "Ana\r\n");
    QCOMPARE(index.contactCount(), 2);
    QCOMPARE(keysOf(index.find(u"cerca"_qs)), QStringList {u"Largo Linea "_qs});
    QCOMPARE(keysOf(index.find(u"lim"_qs)), QStringList {u"Largo Linea "_qs});
    QCOMPARE(index.find(u"limite"_qs).count, 0);
    QCOMPARE(index.find(u"lejos"_qs).count, 0);
    QCOMPARE(index.find(u"yy"_qs).count, 0);
    QCOMPARE(keysOf(index.find(u"corto ana"_qs)), QStringList {u"Corto Ana "_qs});
    const ContactSearch::Results results = index.find(u"linea cerca"_qs);
    QCOMPARE(results.shown.at(0).field, int(nick));
    QCOMPARE(results.shown.at(0).text.size(), ContactSearch::MaxLineBytes - 12);
}

void TestContactSearch::atMostFiveHundredWithTheTrueCount()
{
    // In the file the contacts come last first.
    QStringList lines;
    for (int i = 599; i >= 0; --i) {
        lines << contact({{apellido, u"Contacto%1"_qs.arg(i, 3, 10, QChar(u'0'))}, {nombre, u"Común"_qs},
            {telefono, u"555-%1"_qs.arg(i, 4, 10, QChar(u'0'))}});
    }
    ContactSearch index = indexOf(cp1252Lines(lines));

    const struct
    {
        QString query;
        int count;
        int first;
    } cases[] = {{u"comun"_qs, 600, 0}, {u"contacto"_qs, 600, 0}, {u"555 0"_qs, 600, 0},
        {u"contacto1"_qs, 100, 100}, {u"contacto0 comun"_qs, 100, 0}, {u"5550"_qs, 600, 0},
        {u"555-01"_qs, 100, 100}, {u"contacto599"_qs, 1, 599}, {u"contacto600"_qs, 0, 0}};
    for (const auto &c : cases) {
        const ContactSearch::Results results = index.find(c.query);
        QCOMPARE(results.count, c.count);
        QCOMPARE(int(results.shown.size()), std::min(c.count, ContactSearch::MaxResults));
        for (int i = 0; i < int(results.shown.size()); ++i) {
            QCOMPARE(results.shown[i].key, u"Contacto%1 Común "_qs.arg(c.first + i, 3, 10, QChar(u'0')));
            QCOMPARE(results.shown[i].row, c.first + i);
        }
    }
}

void TestContactSearch::resultsInTheListsOrder()
{
    const QStringList surnames = {u"Zapata"_qs, u"alvarez"_qs, u"Nuñez"_qs, u"Álvarez"_qs, u"Gomez"_qs,
        u"ALVAREZ"_qs, u"de la Fuente"_qs, u"Nunez"_qs, u"Gomez"_qs, u"Ñandú"_qs, u"zapata"_qs, u"O'Brien"_qs,
        u"Núñez"_qs, u"Alvarez"_qs, u"Oña"_qs, u"Gómez"_qs, u"1 Uno"_qs, u""_qs};
    // Every other contact has another occupation; both "Gomez Ana" have the same one.
    QStringList lines;
    QStringList keys;
    QSet<QString> others;
    for (int i = 0; i < surnames.size(); ++i) {
        const QString occupation = i % 2 ? u"Mismo oficio"_qs : u"Otro oficio"_qs;
        lines << contact({{apellido, surnames[i]}, {nombre, u"Ana"_qs}, {ocupacion, occupation}});
        keys << keyOf(lines.last());
        if (i % 2 == 0)
            others << keys.last();
    }
    ContactListModel list;
    list.setKeys(keys);
    ContactSearch index = indexOf(cp1252Lines(lines));

    for (const QString &query : {u"oficio"_qs, u"ana"_qs, u"a"_qs, u"an oficio"_qs}) {
        const ContactSearch::Results results = index.find(query);
        QCOMPARE(results.count, surnames.size());
        for (int row = 0; row < int(results.shown.size()); ++row) {
            QCOMPARE(results.shown[row].row, row);
            QCOMPARE(results.shown[row].key, list.keyAt(row));
        }
    }
    // Half of them, still in the list's order.
    QStringList expected;
    for (int row = 0; row < list.count(); ++row) {
        if (others.contains(list.keyAt(row)))
            expected << list.keyAt(row);
    }
    for (const QString &query : {u"otro"_qs, u"ana otro"_qs, u"otro oficio"_qs}) {
        const ContactSearch::Results results = index.find(query);
        QCOMPARE(keysOf(results), expected);
        for (const ContactSearch::Result &result : results.shown)
            QCOMPARE(list.keyAt(result.row), result.key);
    }
}

void TestContactSearch::typingOnGivesWhatAFreshSearchGives_data()
{
    QTest::addColumn<QStringList>("queries");

    const auto typed = [](const QString &text) {
        QStringList prefixes;
        for (qsizetype i = 1; i <= text.size(); ++i)
            prefixes << text.left(i);
        return prefixes;
    };
    QTest::newRow("name and town") << typed(u"ana rosario"_qs);
    QTest::newRow("number with blanks") << typed(u"0176 1234"_qs);
    QTest::newRow("name then number") << typed(u"pena 0176-12"_qs);
    QTest::newRow("sign, then a number") << typed(u"-1"_qs);
    QTest::newRow("number, then a letter") << typed(u"12a"_qs);
    QTest::newRow("number, then a comma") << typed(u"1,75"_qs);
    QTest::newRow("backspace and another word")
        << typed(u"alvarez pedro"_qs) + QStringList {u"alvarez ped"_qs, u"alvarez"_qs, u"alvarez j"_qs};
    QTest::newRow("outside the code page, then cleared")
        << QStringList {u"中"_qs, u"中a"_qs, u"a"_qs, u""_qs, u"a"_qs};
    QTest::newRow("same word twice") << QStringList {
        u"a"_qs, u"a "_qs, u"a a"_qs, u"a"_qs, u"an"_qs, u"a"_qs};
    QTest::newRow("word replaced") << QStringList {
        u"ana"_qs, u"madrid"_qs, u"madrid ana"_qs, u"lucia madrid"_qs};
}

void TestContactSearch::typingOnGivesWhatAFreshSearchGives()
{
    QFETCH(QStringList, queries);
    QStringList lines = Book;
    for (int i = 0; i < 40; ++i) {
        lines << contact({{apellido, u"Peñalver%1"_qs.arg(i)}, {nombre, i % 2 ? u"Ana"_qs : u"Juan"_qs},
            {telefono, u"0176 1%1"_qs.arg(i * 37)}, {altura, u"1,%1"_qs.arg(50 + i)}});
    }
    ContactSearch typing = indexOf(cp1252Lines(lines));
    for (const QString &query : queries) {
        std::optional<ContactSearch> fresh = ContactSearch::fromFile(dataPath());
        QVERIFY(fresh);
        const ContactSearch::Results got = typing.find(query);
        const ContactSearch::Results expected = fresh->find(query);
        QCOMPARE(got.count, expected.count);
        QCOMPARE(keysOf(got), keysOf(expected));
        for (std::size_t i = 0; i < got.shown.size(); ++i) {
            QCOMPARE(got.shown[i].row, expected.shown[i].row);
            QCOMPARE(got.shown[i].fields, expected.shown[i].fields);
        }
    }
}

void TestContactSearch::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << u"missing"_qs;
    QTest::newRow("directory") << u"directory"_qs;
    QTest::newRow("FIFO") << u"fifo"_qs;
    QTest::newRow("link to a device") << u"device"_qs;
    QTest::newRow("no read permission") << u"permission"_qs;
}

void TestContactSearch::unreadableFile()
{
    QFETCH(QString, kind);
    const QByteArray path = QFile::encodeName(dataPath());
    if (kind == u"directory") {
        QVERIFY(QDir().mkdir(dataPath()));
    } else if (kind == u"fifo") {
        // Opened for reading without a writer, a FIFO would block for ever.
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (kind == u"device") {
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    } else if (kind == u"permission") {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeBytes(dataPath(), cp1252Lines(Book));
        QVERIFY(QFile::setPermissions(dataPath(), QFileDevice::WriteOwner));
    }
    QVERIFY(!ContactSearch::fromFile(dataPath()).has_value());
}

void TestContactSearch::emptyFileFindsNothing()
{
    ContactSearch index = indexOf({});
    QCOMPARE(index.contactCount(), 0);
    QCOMPARE(index.find(u"a"_qs).count, 0);
    QCOMPARE(index.find(u"1"_qs).count, 0);
}

void TestContactSearch::countText_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << qsizetype(0) << u"Ningún contacto"_qs;
    QTest::newRow("one") << qsizetype(1) << u"1 contacto"_qs;
    QTest::newRow("two") << qsizetype(2) << u"2 contactos"_qs;
    QTest::newRow("more than shown") << qsizetype(100000) << u"100000 contactos"_qs;
}

void TestContactSearch::countText()
{
    QFETCH(qsizetype, count);
    QFETCH(QString, text);
    QCOMPARE(ContactSearch::countText(count), text);
}

QTEST_GUILESS_MAIN(TestContactSearch)
#include "tst_contact_search.moc"
