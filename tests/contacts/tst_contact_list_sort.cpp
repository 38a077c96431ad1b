// The list sorts a whole file's keys by collation bytes; it must give exactly the order of sorting
// them one comparison at a time, equal entries in their order of arrival.

#include "contacts/contact_list_model.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <numeric>

class TestContactListSort : public QObject
{
    Q_OBJECT

private slots:
    void everyCharacterAlone();
    void charactersAfterAPrefix();
    void randomKeys_data();
    void randomKeys();
    void longSharedPrefixes();
    void modelUsesTheSameOrder();
    void sameKeysAgainKeepTheList();
    void changedKeysPlacedAgain_data();
    void changedKeysPlacedAgain();

private:
    using Order = std::vector<quint32>;

    // The positions of the keys in the order that sorting them pair by pair with compare() gives.
    static Order byComparison(const QStringList &keys)
    {
        Order order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
            [&keys](quint32 a, quint32 b) { return ContactListModel::compare(keys[a], keys[b]) < 0; });
        return order;
    }
    // Where two orders part, for a readable failure.
    static QByteArray firstDifference(const QStringList &keys, const Order &got, const Order &expected)
    {
        for (std::size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
            if (got[i] != expected[i]) {
                return QStringLiteral("at %1: got #%2 \"%3\", expected #%4 \"%5\"")
                    .arg(i)
                    .arg(got[i])
                    .arg(keys[got[i]].toHtmlEscaped())
                    .arg(expected[i])
                    .arg(keys[expected[i]].toHtmlEscaped())
                    .toUtf8();
            }
        }
        return QByteArray("sizes differ");
    }
    static QStringList listed(const ContactListModel &model)
    {
        QStringList entries;
        for (int row = 0; row < model.rowCount(); ++row)
            entries << model.data(model.index(row)).toString();
        return entries;
    }
    static QStringList sortedByComparison(const QStringList &keys)
    {
        QStringList entries;
        for (const quint32 position : byComparison(keys))
            entries << keys[position];
        return entries;
    }
    static void checkOrder(const QStringList &keys)
    {
        const Order expected = byComparison(keys);
        const Order got = ContactListModel::listOrder(keys);
        QVERIFY2(got == expected, firstDifference(keys, got, expected).constData());
    }
};

void TestContactListSort::everyCharacterAlone()
{
    // Each of the 65536 code units as a one-character key, twice, once in upper case where it has
    // one: every weight and its byte code meet every other.
    QStringList keys;
    for (int u = 0xFFFF; u >= 0; --u) {
        keys << QString(QChar(char16_t(u)));
        keys << QString(QChar(char16_t(u)).toUpper());
    }
    checkOrder(keys);
}

void TestContactListSort::charactersAfterAPrefix()
{
    // Characters with one-byte and three-byte codes at every position of a chunk, so that a
    // character's bytes also straddle two chunks.
    const QString sample
        = u"aAáÁäñÑnNoOß ÆæøØđĐЖжΩω中€\u212A\u212B\uFFFF\u0000"_qs + QChar(0xD83D) + QChar(0xDE00);
    QStringList keys;
    for (int prefix = 0; prefix <= 9; ++prefix) {
        for (const QChar first : sample) {
            for (const QChar second : sample)
                keys << QString(prefix, u'x') + first + second;
        }
    }
    std::reverse(keys.begin(), keys.end());
    checkOrder(keys);
}

void TestContactListSort::randomKeys_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("count");
    QTest::newRow("few") << 1 << 40;
    QTest::newRow("hundreds") << 2 << 700;
    QTest::newRow("many") << 3 << 30000;
}

void TestContactListSort::randomKeys()
{
    // Surnames and names sharing long beginnings, differing in accents and letter case, equal
    // keys among them, and now and then a character from far outside Latin.
    QFETCH(int, seed);
    QFETCH(int, count);
    QRandomGenerator random(seed);
    const QStringList starts {u"Gomez"_qs, u"Gómez"_qs, u"GOMEZ"_qs, u"Muñoz"_qs, u"Munoz"_qs,
        u"Muñoz Ruiz"_qs, u"de la"_qs, u"De la Cruz"_qs, u"Álvarez"_qs, u"alvarez"_qs, u""_qs, u"Ωmega"_qs};
    const QString letters = u"aeinorsuáéíñóúAEÑ ßøđЖ中-.'"_qs;
    QStringList keys;
    for (int i = 0; i < count; ++i) {
        QString key = starts[random.bounded(starts.size())];
        const int extra = random.bounded(12);
        for (int c = 0; c < extra; ++c)
            key += letters[random.bounded(letters.size())];
        if (random.bounded(10) == 0 && !keys.isEmpty())
            key = keys[random.bounded(keys.size())]; // the same key again
        else if (random.bounded(10) == 0 && !keys.isEmpty())
            key = keys[random.bounded(keys.size())].toUpper();
        keys << key + u' ';
    }
    checkOrder(keys);
}

void TestContactListSort::longSharedPrefixes()
{
    // Hundreds of characters in common (chunk after chunk of equal bytes) before the keys part.
    const QString common = QString(300, u'ñ') + QString(301, QChar(0x0416)) + u"García"_qs;
    QStringList keys;
    for (const QString &tail :
        {u"b"_qs, u"A"_qs, u""_qs, u"á"_qs, u"a"_qs, u"ж"_qs, u"Ж"_qs, u"ab"_qs, u"a "_qs})
        keys << common + tail;
    keys << common.left(299) << common.left(600) + u"z"_qs;
    checkOrder(keys);
}

void TestContactListSort::modelUsesTheSameOrder()
{
    const QStringList fileOrder {u"Núñez Ana "_qs, u"nuñez ana "_qs, u"Nunez Ana "_qs, u"Núñez Ana "_qs,
        u"Nuño Eva "_qs, u"Ñandú Leo "_qs, u"Nz Pia "_qs};
    ContactListModel model;
    model.setKeys(fileOrder);
    QStringList listed;
    for (int row = 0; row < model.rowCount(); ++row)
        listed << model.data(model.index(row)).toString();
    // Equal but for accents and case: unaccented first, letter case aside ("nuñez" before "Núñez").
    QCOMPARE(listed,
        (QStringList {u"Nunez Ana "_qs, u"nuñez ana "_qs, u"Núñez Ana "_qs, u"Núñez Ana "_qs, u"Nuño Eva "_qs,
            u"Nz Pia "_qs, u"Ñandú Leo "_qs}));
    QCOMPARE(model.index(7, 0), QModelIndex());
    QCOMPARE(model.index(0, 1), QModelIndex());
    QCOMPARE(model.index(-1, 0), QModelIndex());
    QCOMPARE(model.index(0, 0, model.index(0, 0)), QModelIndex());
}

void TestContactListSort::sameKeysAgainKeepTheList()
{
    // A save that changed no name reads the same keys again: the list stays, with no reset that
    // would make the view lay out every row again.
    const QStringList keys {u"Ruiz Eva "_qs, u"Gomez Ana "_qs, u"gomez ana "_qs, u"Abad Luis "_qs};
    ContactListModel model;
    model.setKeys(keys);
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy moved(&model, &QAbstractItemModel::layoutAboutToBeChanged);
    model.setKeys(QStringList(keys.cbegin(), keys.cend()));
    QCOMPARE(resets.size(), 0);
    QCOMPARE(moved.size(), 0);
    QCOMPARE(listed(model), sortedByComparison(keys));

    // Other keys, or as many but different: the list is built again.
    model.setKeys({u"Ruiz Eva "_qs, u"Gomez Ana "_qs, u"Abad Luis "_qs});
    QCOMPARE(resets.size(), 1);
    model.setKeys({u"Ruiz Eva "_qs, u"Gomez Ana "_qs, u"Zapata Pia "_qs});
    QCOMPARE(resets.size(), 2);
    QCOMPARE(listed(model), (QStringList {u"Gomez Ana "_qs, u"Ruiz Eva "_qs, u"Zapata Pia "_qs}));
}

void TestContactListSort::changedKeysPlacedAgain_data()
{
    QTest::addColumn<int>("changes");
    QTest::newRow("one") << 1;
    QTest::newRow("a few") << 5;
    QTest::newRow("the most placed again") << int(ContactListModel::MostPlacedAgain);
    QTest::newRow("one more: sorted whole") << int(ContactListModel::MostPlacedAgain) + 1;
}

void TestContactListSort::changedKeysPlacedAgain()
{
    // Keys changed in place (a renamed contact), to keys equal to others but for letter case or
    // accents, or to the very same text as another line: the list must be exactly the one a
    // fresh sort gives, equal entries in file order, whether the changed keys are placed again
    // or, past MostPlacedAgain, all of them sorted anew.
    QFETCH(int, changes);
    QRandomGenerator random(changes);
    const QStringList names {u"Gomez Ana "_qs, u"gomez ana "_qs, u"Gómez Ana "_qs, u"Muñoz Eva "_qs,
        u"Munoz Eva "_qs, u"Ruiz Luis "_qs, u"RUIZ LUIS "_qs, u"Abad Pia "_qs};
    for (int round = 0; round < 20; ++round) {
        QStringList before;
        for (int i = 0; i < 300; ++i)
            before << names[random.bounded(names.size())] + QString::number(random.bounded(8));
        ContactListModel model;
        model.setKeys(before);
        // Exactly that many lines get another key.
        QList<int> positions(before.size());
        std::iota(positions.begin(), positions.end(), 0);
        std::shuffle(positions.begin(), positions.end(), random);
        QStringList after = before;
        for (int change = 0; change < changes; ++change) {
            QString &key = after[positions[change]];
            while (key == before[positions[change]])
                key = names[random.bounded(names.size())] + QString::number(random.bounded(8));
        }
        QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
        model.setKeys(after);
        QCOMPARE(resets.size(), 1);
        QCOMPARE(listed(model), sortedByComparison(after));
        for (const QString &name : names) {
            const QString key = name + u'3';
            QCOMPARE(model.exactRows(key).second, int(after.count(key)));
        }
    }
}

QTEST_GUILESS_MAIN(TestContactListSort)
#include "tst_contact_list_sort.moc"
