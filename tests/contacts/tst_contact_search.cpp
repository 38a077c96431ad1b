#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "contacts/contact_search.h"
#include "fake_platform.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
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

const QStringList Book = {
    contact({{apellido, u"Peña"_qs}, {nombre, u"Ana"_qs}, {nick, u"Anita"_qs}, {localidad, u"Rosario"_qs},
        {telefono, u"0176 12345678"_qs}, {email, u"ana@correo.ar"_qs}}),
    contact({{apellido, u"Álvarez"_qs}, {nombre, u"José"_qs}, {celular, u"017612345678"_qs}}),
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

// The rules read plainly, for one field at a time.
QString folded(const QString &text)
{
    QString f;
    for (QChar c : text) {
        while (c.decompositionTag() == QChar::Canonical)
            c = c.decomposition().front();
        f += c.toCaseFolded();
    }
    return f;
}

QString digitsOf(const QString &text)
{
    QString d = text;
    d.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
    return d;
}

// Whether a contact, given by its fields folded and by their digits, holds every word of query.
bool plainlyMatches(const QString &query, const Fields &foldedFields, const Fields &digitFields)
{
    // A run of pieces of digits and signs holding a digit is one number; any other piece a word.
    const auto isNumberPiece = [](const QString &p) {
        return std::all_of(p.cbegin(), p.cend(), [](QChar c) { return u"0123456789+-.()/"_qs.contains(c); });
    };
    QList<std::pair<QString, bool>> words;
    const QStringList pieces = query.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < pieces.size();) {
        qsizetype end = i;
        QString number;
        for (; end < pieces.size() && isNumberPiece(pieces[end]); ++end)
            number += digitsOf(pieces[end]);
        if (!number.isEmpty()) {
            words.append({number, true});
            i = end;
            continue;
        }
        for (end = std::max(end, i + 1); i < end; ++i)
            words.append({folded(pieces[i]), false});
    }
    return !words.isEmpty() && std::all_of(words.cbegin(), words.cend(), [&](const auto &word) {
        const Fields &fields = word.second ? digitFields : foldedFields;
        return std::any_of(
            fields.cbegin(), fields.cend(), [&](const QString &f) { return f.contains(word.first); });
    });
}

} // namespace

class TestContactSearch : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.emplace().isValid()); }

    void matches_data();
    void matches();
    void matchesThePlainRulesAsTyped_data();
    void matchesThePlainRulesAsTyped();
    void shownField_data();
    void shownField();
    void oddLines_data();
    void oddLines();
    void longLineIsSearchedUpToTheBound();
    void atMostFiveHundredWithTheTrueCount();
    void resultsInTheListsOrder_data();
    void resultsInTheListsOrder();
    void unreadableFile_data();
    void unreadableFile();
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

    std::optional<QTemporaryDir> m_dir;
};

void TestContactSearch::matches_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("keys");

    const QString pena = u"Peña Ana "_qs, alvarez = u"Álvarez José "_qs, gomez = u"Gomez Lucía "_qs;
    const QString upper = u"ALVAREZ Pedro "_qs, nunez = u"Núñez María "_qs;

    QTest::newRow("without the tilde") << u"pena"_qs << QStringList {pena};
    QTest::newRow("capitals and tilde") << u"PEÑA"_qs << QStringList {pena};
    QTest::newRow("accent in the file") << u"alvarez"_qs << QStringList {alvarez, upper};
    QTest::newRow("accent in the query") << u"gómez"_qs << QStringList {gomez};
    QTest::newRow("accented capitals") << u"aeioucszy"_qs << QStringList {nunez};
    QTest::newRow("the separator's letter") << u"ã"_qs << QStringList {alvarez, upper, gomez, nunez, pena};
    QTest::newRow("words in two fields") << u"  Rosario\tANA "_qs << QStringList {pena};
    QTest::newRow("words in one field") << u"san fe"_qs << QStringList {nunez};
    QTest::newRow("a word nowhere") << u"ana madrid"_qs << QStringList {};
    QTest::newRow("not across fields") << u"pedromédico"_qs << QStringList {};
    QTest::newRow("not across contacts") << u"medico nunez"_qs << QStringList {};
    QTest::newRow("not in the code page") << u"ana 中"_qs << QStringList {};
    QTest::newRow("empty") << QString() << QStringList {};
    QTest::newRow("blanks") << u" \t "_qs << QStringList {};

    const QStringList both = {alvarez, pena};
    QTest::newRow("number, blank") << u"0176 1234"_qs << both;
    QTest::newRow("number, hyphen") << u"0176-1234"_qs << both;
    QTest::newRow("number, digits alone") << u"01761234"_qs << both;
    QTest::newRow("number, brackets, plus, dot, slash") << u"+(0176) 1.2/34"_qs << both;
    QTest::newRow("number, sign between blanks") << u"0176 - 1234"_qs << both;
    QTest::newRow("number beside a word") << u"ana 0176 1234"_qs << QStringList {pena};
    QTest::newRow("another number") << u"0176 9"_qs << QStringList {};
    QTest::newRow("number across signs") << u"3460011"_qs << QStringList {gomez};
    QTest::newRow("date") << u"12.03.1990"_qs << QStringList {gomez};
    QTest::newRow("digits of a comma field") << u"1.75"_qs << QStringList {upper};
    QTest::newRow("digits not across fields") << u"33 12"_qs << QStringList {};
    QTest::newRow("comma is no sign") << u"17,5"_qs << QStringList {};
    QTest::newRow("signs alone are text") << u"( -"_qs << QStringList {gomez};
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

void TestContactSearch::matchesThePlainRulesAsTyped_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 8; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Random fields and queries from a few letters in all their forms, digits, signs and a character
// the file cannot hold, each query typed one character at a time (so that most searches narrow the
// one before): every answer is the one the plain rules give.
void TestContactSearch::matchesThePlainRulesAsTyped()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const QString alphabet = u"aAáÁàÄãenNñÑoÓöuÜyŸÿœŒ0123-/. (中"_qs;
    const auto text = [&](int longest) {
        QString t;
        for (int n = int(random.bounded(longest + 1)); t.size() < n;)
            t += alphabet[random.bounded(alphabet.size())];
        return t;
    };
    QStringList lines, keys;
    QHash<QString, std::pair<Fields, Fields>> byKey; // folded, digits
    for (int i = 0; i < 300; ++i) {
        Fields fields;
        for (QString &field : fields)
            field = random.bounded(3) == 0 ? QString() : text(40);
        fields[apellido] = u"C%1 "_qs.arg(i) + fields[apellido];
        lines << lineOf(fields);
        keys << keyOf(lines.last());
        const Fields stored = fieldsOf(lines.last());
        auto &[foldedFields, digitFields] = byKey[keys.last()];
        std::transform(stored.cbegin(), stored.cend(), foldedFields.begin(), folded);
        std::transform(stored.cbegin(), stored.cend(), digitFields.begin(), digitsOf);
    }
    ContactListModel list;
    list.setKeys(keys);
    ContactSearch index = indexOf(cp1252Lines(lines));

    for (int q = 0; q < 50; ++q) {
        const QString typed = text(7);
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            const QString query = typed.left(length);
            QStringList expected;
            for (int row = 0; row < list.count(); ++row) {
                const auto &[foldedFields, digitFields] = byKey[list.keyAt(row)];
                if (plainlyMatches(query, foldedFields, digitFields))
                    expected << list.keyAt(row);
            }
            const ContactSearch::Results results = index.find(query);
            QVERIFY2(keysOf(results) == expected, qPrintable(query));
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

    QTest::newRow("surname") << u"pena"_qs << u"Peña Ana "_qs << int(apellido) << u"Peña"_qs << QList {0};
    QTest::newRow("phone beside the surname")
        << u"peña 0176-1234"_qs << u"Peña Ana "_qs << int(telefono) << u"0176 12345678"_qs << QList {0, 8};
    QTest::newRow("first beyond the key")
        << u"ana"_qs << u"Peña Ana "_qs << int(email) << u"ana@correo.ar"_qs << QList {1, 10};
    QTest::newRow("split digits") << u"3.4 6"_qs << u"Gomez Lucía "_qs << int(celular)
                                  << u"+34 (600) 11-22-33"_qs << QList {9};
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

void TestContactSearch::oddLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("contacts");

    const QByteArray eighteen = QByteArray("Sosa\xE3Luz\xE3") + QByteArray(15, '\xE3') + "foto.jpg\xE3";
    const QByteArray odd = QByteArray("Ab\0cd\x81", 6) + "ef";
    const QStringList ruiz = {u"Ruiz Eva "_qs};
    QTest::newRow("empty file") << QByteArray() << u"a"_qs << QStringList {} << 0;
    QTest::newRow("no separator") << QByteArray("Gomez\r\n") << u"gomez"_qs << QStringList {u"Gomez  "_qs}
                                  << 1;
    QTest::newRow("three fields") << QByteArray("Perez\xE3Juan\xE3Juancho\r\n") << u"juancho"_qs
                                  << QStringList {u"Perez Juan "_qs} << 1;
    QTest::newRow("18th field") << eighteen + "\r\n" << u"foto"_qs << QStringList {u"Sosa Luz "_qs} << 1;
    QTest::newRow("after the 18th field") << eighteen + "extra\xE3\r\n" << u"extra"_qs << QStringList {} << 1;
    QTest::newRow("NUL and undefined bytes")
        << odd + "\xE3Lu\r\n"
        << u"cd"_qs << QStringList {Windows1252::decode(odd) + u" Lu "_qs} << 1;
    QTest::newRow("blank lines, LF only") << QByteArray("\r\n\nRuiz\xE3"
                                                        "Eva\xE3\n\r\n")
                                          << u"eva"_qs << ruiz << 1;
    QTest::newRow("no last line end") << QByteArray("Ruiz\xE3"
                                                    "Eva")
                                      << u"ruiz eva"_qs << ruiz << 1;
    QTest::newRow("short line, split digits") << QByteArray("Ruiz\xE3"
                                                            "Eva\xE3\xE3\xE3\xE3\xE3\xE3\xE3"
                                                            "11 22\r\n")
                                              << u"1122"_qs << ruiz << 1;
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
    // "cerca" ends before the bound, "limite" crosses it, "lejos" lies beyond.
    QByteArray line = "Largo\xE3Linea\xE3";
    line += QByteArray(ContactSearch::MaxLineBytes - 10 - line.size(), 'x') + " cerca limite lejos ";
    line += QByteArray(40'000, 'y');
    QCOMPARE(line.indexOf("limite") + 3, ContactSearch::MaxLineBytes);
    ContactSearch index = indexOf(line
        + "\r\nCorto\xE3"
          "Ana\r\n");
    QCOMPARE(index.contactCount(), 2);
    for (const QString &query : {u"lim"_qs, u"linea cerca"_qs})
        QCOMPARE(keysOf(index.find(query)), QStringList {u"Largo Linea "_qs});
    for (const QString &query : {u"limite"_qs, u"lejos"_qs, u"yy"_qs})
        QCOMPARE(index.find(query).count, 0);
    QCOMPARE(keysOf(index.find(u"corto ana"_qs)), QStringList {u"Corto Ana "_qs});
    QCOMPARE(index.find(u"cerca"_qs).shown.at(0).text.size(), ContactSearch::MaxLineBytes - 12);
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
        int count, first;
    } cases[] = {{u"comun"_qs, 600, 0}, {u"555 0"_qs, 600, 0}, {u"contacto1"_qs, 100, 100},
        {u"555-05"_qs, 100, 500}, {u"contacto599"_qs, 1, 599}, {u"contacto600"_qs, 0, 0}};
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

void TestContactSearch::resultsInTheListsOrder_data()
{
    QTest::addColumn<QString>("given");
    QTest::newRow("no list") << u"none"_qs;
    // The main window's list, read from the same file: its order is taken.
    QTest::newRow("the list of the file") << u"mirror"_qs;
    // A list that no longer mirrors the file (a contact changed outside the program since): the
    // order is the file's own, not the list's.
    QTest::newRow("a list the file has left") << u"stale"_qs;
    QTest::newRow("a list with a contact less") << u"shorter"_qs;
}

void TestContactSearch::resultsInTheListsOrder()
{
    QFETCH(QString, given);
    // Equal but for case and accents, "ñ" after "n", blanks and digits, one key twice, an empty surname.
    const QStringList surnames = {u"Zapata"_qs, u"alvarez"_qs, u"Nuñez"_qs, u"Álvarez"_qs, u"Gomez"_qs,
        u"ALVAREZ"_qs, u"de la Fuente"_qs, u"Nunez"_qs, u"Gomez"_qs, u"Ñandú"_qs, u"zapata"_qs, u"Oña"_qs,
        u"Núñez"_qs, u"1 Uno"_qs, u""_qs};
    QStringList lines, keys;
    for (int i = 0; i < surnames.size(); ++i) {
        lines << contact(
            {{apellido, surnames[i]}, {nombre, u"Ana"_qs}, {ocupacion, u"Oficio %1"_qs.arg(i % 2)}});
        keys << keyOf(lines.last());
    }
    ContactListModel list;
    list.setKeys(keys);
    QStringList otherKeys = keys;
    if (given == u"stale")
        otherKeys[0] = u"Aaa Ana "_qs;
    else if (given == u"shorter")
        otherKeys.removeLast();
    ContactListModel other;
    other.setKeys(otherKeys);
    writeBytes(dataPath(), cp1252Lines(lines));
    std::optional<ContactSearch> index = ContactSearch::fromFile(dataPath(),
        given == u"none"         ? nullptr
            : given == u"mirror" ? &list
                                 : &other);
    QVERIFY(index);

    for (const QString &query : {u"ana"_qs, u"oficio 1"_qs, u"a 0"_qs}) {
        const ContactSearch::Results results = index->find(query);
        QVERIFY(results.count > 4);
        int previous = -1;
        for (const ContactSearch::Result &result : results.shown) {
            QCOMPARE(list.keyAt(result.row), result.key);
            QVERIFY(result.row > previous);
            previous = result.row;
        }
    }
}

void TestContactSearch::unreadableFile_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"missing", "directory", "FIFO", "link to a device", "no read permission"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestContactSearch::unreadableFile()
{
    QFETCH(QString, kind);
    const QByteArray path = QFile::encodeName(dataPath());
    if (kind == u"directory") {
        QVERIFY(QDir().mkdir(dataPath()));
    } else if (kind == u"FIFO") {
        // Opened for reading without a writer, a FIFO would block for ever.
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (kind == u"link to a device") {
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    } else if (kind == u"no read permission") {
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        writeBytes(dataPath(), cp1252Lines(Book));
        QVERIFY(QFile::setPermissions(dataPath(), QFileDevice::WriteOwner));
    }
    QVERIFY(!ContactSearch::fromFile(dataPath()).has_value());
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
