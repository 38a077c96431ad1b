// The typing rules of the field boxes and the check of what is pasted into them, as tables.

#include "contacts/contact_record.h"
#include "contacts/field_rules.h"

#include <QTest>

using namespace ContactRecord;

class TestFieldRules : public QObject
{
    Q_OBJECT

private slots:
    void typable_data();
    void typable();
    void onlyFiveBoxesAreFiltered();
    void typedCodes_data();
    void typedCodes();
    void enter_data();
    void enter();
};

void TestFieldRules::typable_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("accepted");
    QTest::addColumn<QString>("refused");

    // Backspace is character 8, Ctrl+V arrives as 22.
    const QString controls = u"\x16\x03"_qs;
    QTest::newRow("age") << int(edad) << u"0123456789\b"_qs << u"a -,.+"_qs + controls;
    QTest::newRow("telephone") << int(telefono) << u"0123456789\b -"_qs << u"a,.+()/"_qs + controls;
    QTest::newRow("mobile") << int(celular) << u"0123456789\b -"_qs << u"a,.+"_qs + controls;
    QTest::newRow("weight") << int(peso) << u"0123456789\b,."_qs << u"a -+"_qs + controls;
    QTest::newRow("height") << int(altura) << u"0123456789\b,."_qs << u"a -/"_qs + controls;
    // The other boxes take anything the file can hold, and nothing else: not the separator, not a
    // line break, not a character outside Windows-1252.
    const QString unstorable = u"\u00E3\r\n\u03A9\u65E5"_qs;
    QTest::newRow("surname") << int(apellido) << u"aZ ñ-,.€'\b"_qs + controls << unstorable;
    QTest::newRow("nick") << int(nick) << u"Ana-María 2,5."_qs << unstorable;
    QTest::newRow("date") << int(fechaalta) << u"x1/2"_qs << unstorable;
    QTest::newRow("photo location") << int(ubicacionfoto) << u"/home/ana/foto 1.jpg"_qs << unstorable;
}

void TestFieldRules::typable()
{
    QFETCH(int, index);
    QFETCH(QString, accepted);
    QFETCH(QString, refused);
    for (const QChar c : accepted)
        QVERIFY2(FieldRules::typable(index, c.unicode()), qPrintable(QString::number(c.unicode())));
    for (const QChar c : refused)
        QVERIFY2(!FieldRules::typable(index, c.unicode()), qPrintable(QString::number(c.unicode())));
    // Codes that are no character of the box at all.
    for (const int code : {0, -1, 0x10000, 0x1F600})
        QVERIFY(!FieldRules::typable(index, code));
}

void TestFieldRules::onlyFiveBoxesAreFiltered()
{
    QList<int> filtered;
    for (int index = 0; index < FieldCount; ++index) {
        if (FieldRules::isFiltered(index))
            filtered << index;
    }
    QCOMPARE(filtered, (QList<int> {edad, telefono, celular, peso, altura}));
}

void TestFieldRules::typedCodes_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("a letter") << int(Qt::Key_A) << int(Qt::NoModifier) << u"a"_qs << QList<int> {'a'};
    QTest::newRow("Ctrl+V") << int(Qt::Key_V) << int(Qt::ControlModifier) << u"\x16"_qs << QList<int> {22};
    // Some platforms give no text for Ctrl with a letter: the code comes from the key.
    QTest::newRow("Ctrl+C without text")
        << int(Qt::Key_C) << int(Qt::ControlModifier) << QString() << QList<int> {3};
    QTest::newRow("AltGr is Ctrl+Alt")
        << int(Qt::Key_E) << int(Qt::ControlModifier | Qt::AltModifier) << u"€"_qs << QList<int> {0x20AC};
    QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier) << u"\t"_qs << QList<int> {};
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << u"\t"_qs << QList<int> {};
    QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier) << u"\x7F"_qs << QList<int> {};
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << u"\b"_qs << QList<int> {8};
    QTest::newRow("an input method's two characters")
        << int(Qt::Key_unknown) << int(Qt::NoModifier) << u"ñ7"_qs << QList<int> {0xF1, '7'};
    QTest::newRow("an arrow") << int(Qt::Key_Left) << int(Qt::NoModifier) << QString() << QList<int> {};
}

void TestFieldRules::typedCodes()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QList<int>, codes);
    QCOMPARE(FieldRules::typedCodes(key, Qt::KeyboardModifiers(modifiers), text), codes);
}

void TestFieldRules::enter_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursorAfter");

    QTest::newRow("age, digits") << int(edad) << u"1"_qs << u"123"_qs << 3 << true << u"123"_qs << 3;
    QTest::newRow("age, a letter among digits")
        << int(edad) << u"1"_qs << u"12a"_qs << 3 << false << u"1"_qs << 3;
    QTest::newRow("age, a backspace character")
        << int(edad) << u"1"_qs << u"12\b"_qs << 3 << false << u"1"_qs << 3;
    QTest::newRow("age, pasted in the middle")
        << int(edad) << u"19"_qs << u"1239"_qs << 3 << true << u"1239"_qs << 3;
    // Only what was added counts: a stored value the box could not take from the keyboard stays.
    QTest::newRow("age, stored text kept")
        << int(edad) << u"unos 30"_qs << u"unos 305"_qs << 8 << true << u"unos 305"_qs << 8;
    QTest::newRow("age, deleting") << int(edad) << u"unos 30"_qs << u"unos 3"_qs << 6 << true << u"unos 3"_qs
                                   << 6;
    QTest::newRow("telephone") << int(telefono) << QString() << u"555-12 34"_qs << 9 << true
                               << u"555-12 34"_qs << 9;
    QTest::newRow("telephone, a plus")
        << int(telefono) << QString() << u"+34 555"_qs << 7 << false << QString() << 7;
    QTest::newRow("weight, a line break")
        << int(peso) << QString() << u"7\n0"_qs << 3 << false << QString() << 3;
    QTest::newRow("height, comma and point")
        << int(altura) << QString() << u"1,8.0"_qs << 5 << true << u"1,8.0"_qs << 5;
    // The other boxes: what the file cannot hold is taken out, the cursor keeps its place.
    QTest::newRow("nick, cleaned") << int(nick) << u"x"_qs << u"xa\u00E3b\r\nc€Ωd"_qs << 10 << true
                                   << u"xabc€d"_qs << 6;
    QTest::newRow("nick, cursor before the removed")
        << int(nick) << u"x"_qs << u"ab\u00E3x"_qs << 2 << true << u"abx"_qs << 2;
    QTest::newRow("name, plain") << int(nombre) << QString() << u"Ana María"_qs << 9 << true
                                 << u"Ana María"_qs << 9;
    QTest::newRow("photo, only unstorable")
        << int(ubicacionfoto) << QString() << u"日本"_qs << 2 << true << QString() << 0;
}

void TestFieldRules::enter()
{
    QFETCH(int, index);
    QFETCH(QString, before);
    QFETCH(QString, input);
    QFETCH(int, cursor);
    QFETCH(bool, accepted);
    QFETCH(QString, text);
    QFETCH(int, cursorAfter);
    const FieldRules::Entry entry = FieldRules::enter(index, before, input, cursor);
    QCOMPARE(entry.accepted, accepted);
    QCOMPARE(entry.text, text);
    QCOMPARE(entry.cursor, cursorAfter);
}

QTEST_GUILESS_MAIN(TestFieldRules)
#include "tst_field_rules.moc"
