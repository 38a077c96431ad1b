#include "contacts/contact_list_model.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

class TestContactListModel : public QObject
{
    Q_OBJECT

private slots:
    void order_data();
    void order();
    void equalEntriesKeepArrival();
    void addKeyPlacesLikeSorting();
    void addKeysPlaceAsAddKeyDoes_data();
    void addKeysPlaceAsAddKeyDoes();
    void containsIgnoringCase_data();
    void containsIgnoringCase();
    void exactRows();
    void removeRows();
    void manyEntries();

private:
    static QStringList keys(const ContactListModel &model)
    {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row)
            result << model.data(model.index(row)).toString();
        return result;
    }
};

void TestContactListModel::order_data()
{
    QTest::addColumn<QStringList>("fileOrder");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("letter case ignored")
        << QStringList {u"perez Luis "_qs, u"Gomez Ana "_qs, u"ZAPATA Juan "_qs, u"alba Eva "_qs}
        << QStringList {u"alba Eva "_qs, u"Gomez Ana "_qs, u"perez Luis "_qs, u"ZAPATA Juan "_qs};
    QTest::newRow("accents beside their letter")
        << QStringList {u"Zapata Juan "_qs, u"Álvarez Eva "_qs, u"Bravo Ana "_qs, u"Alvarez Eva "_qs}
        << QStringList {u"Alvarez Eva "_qs, u"Álvarez Eva "_qs, u"Bravo Ana "_qs, u"Zapata Juan "_qs};
    QTest::newRow("ñ after n") << QStringList {u"Muñoz Rosa "_qs, u"Muo Eva "_qs, u"Munro Ian "_qs,
        u"Munoz Rosa "_qs}
                               << QStringList {
                                      u"Munoz Rosa "_qs, u"Munro Ian "_qs, u"Muñoz Rosa "_qs, u"Muo Eva "_qs};
    QTest::newRow("blank before letters") << QStringList {u"Dela Ana "_qs, u"De la Cruz Ana "_qs,
        u"De  Ana "_qs} << QStringList {u"De  Ana "_qs, u"De la Cruz Ana "_qs, u"Dela Ana "_qs};
    QTest::newRow("shorter first") << QStringList {u"Gomeza Ana "_qs, u"Gomez Ana "_qs}
                                   << QStringList {u"Gomez Ana "_qs, u"Gomeza Ana "_qs};
    QTest::newRow("empty") << QStringList {} << QStringList {};
}

void TestContactListModel::order()
{
    QFETCH(QStringList, fileOrder);
    QFETCH(QStringList, listed);
    ContactListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setKeys(fileOrder);
    QCOMPARE(keys(model), listed);

    // Growing the list entry by entry gives the same order.
    ContactListModel grown;
    for (const QString &key : fileOrder)
        grown.addKey(key);
    QCOMPARE(keys(grown), listed);
}

void TestContactListModel::equalEntriesKeepArrival()
{
    ContactListModel model;
    model.setKeys({u"Gomez Ana "_qs, u"Abad Rosa "_qs, u"gomez ana "_qs, u"Gomez Ana "_qs, u"GOMEZ ANA "_qs});
    QCOMPARE(keys(model),
        (QStringList {
            u"Abad Rosa "_qs, u"Gomez Ana "_qs, u"gomez ana "_qs, u"Gomez Ana "_qs, u"GOMEZ ANA "_qs}));
    // A new equal entry goes after the others, where the file's next line would put it.
    QCOMPARE(model.addKey(u"gOmez ana "_qs), 5);
    QCOMPARE(model.keyAt(5), u"gOmez ana "_qs);
    QCOMPARE(model.addKey(u"Aaron Luis "_qs), 0);
}

void TestContactListModel::addKeysPlaceAsAddKeyDoes_data()
{
    QTest::addColumn<int>("present");
    QTest::addColumn<int>("added");
    QTest::newRow("into an empty list") << 0 << 40;
    QTest::newRow("a few among many") << 300 << 7;
    QTest::newRow("many among a few") << 5 << 300;
    QTest::newRow("one") << 20 << 1;
}

// Keys of few letters, so that many compare equal but for letter case and their order of arrival
// shows: one change of the list gives what adding them one by one gives.
void TestContactListModel::addKeysPlaceAsAddKeyDoes()
{
    QFETCH(int, present);
    QFETCH(int, added);
    QRandomGenerator random(quint32(present * 1000 + added));
    const QString letters = u"aAáÁnNñ "_qs;
    const auto randomKeys = [&](int count) {
        QStringList made;
        for (int i = 0; i < count; ++i) {
            QString key;
            for (int length = 1 + random.bounded(3); length > 0; --length)
                key += letters[random.bounded(int(letters.size()))];
            made << key + u' ';
        }
        return made;
    };
    const QStringList first = randomKeys(present);
    const QStringList more = randomKeys(added);

    ContactListModel oneByOne;
    oneByOne.setKeys(first);
    for (const QString &key : more)
        oneByOne.addKey(key);
    ContactListModel together;
    QAbstractItemModelTester tester(&together, QAbstractItemModelTester::FailureReportingMode::QtTest);
    together.setKeys(first);
    QSignalSpy reset(&together, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&together, &QAbstractItemModel::rowsInserted);
    together.addKeys(more);
    QCOMPARE(keys(together), keys(oneByOne));
    QCOMPARE(reset.size() + inserted.size(), 1);
    // The keys' order of arrival is the file's: a list read from it again is the same.
    ContactListModel reread;
    reread.setKeys(first + more);
    QCOMPARE(keys(together), keys(reread));
}

void TestContactListModel::addKeyPlacesLikeSorting()
{
    ContactListModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.setKeys({u"Gomez Ana "_qs, u"Ruiz Eva "_qs});
    QCOMPARE(model.addKey(u"perez Juan "_qs), 1);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 1);
    QCOMPARE(model.addKey(u"Zurita Pia "_qs), 3);
    QCOMPARE(
        keys(model), (QStringList {u"Gomez Ana "_qs, u"perez Juan "_qs, u"Ruiz Eva "_qs, u"Zurita Pia "_qs}));
}

void TestContactListModel::containsIgnoringCase_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::newRow("same") << u"Gomez Ana "_qs << true;
    QTest::newRow("lower") << u"gomez ana "_qs << true;
    QTest::newRow("upper accented") << u"ÁLVAREZ ÑAKI "_qs << true;
    QTest::newRow("accent differs") << u"Gómez Ana "_qs << false;
    QTest::newRow("two blanks") << u"Gomez  Ana "_qs << false;
    QTest::newRow("no trailing blank") << u"Gomez Ana"_qs << false;
    QTest::newRow("ñ is no n") << u"Alvarez Naki "_qs << false;
    QTest::newRow("absent") << u"Ruiz Eva "_qs << false;
}

void TestContactListModel::containsIgnoringCase()
{
    QFETCH(QString, key);
    QFETCH(bool, found);
    ContactListModel model;
    model.setKeys({u"Gomez Ana "_qs, u"álvarez ñaki "_qs, u"Gomeza Ana "_qs, u"Gomez Anabel "_qs});
    QCOMPARE(model.containsIgnoringCase(key), found);
}

void TestContactListModel::exactRows()
{
    ContactListModel model;
    model.setKeys({u"Ruiz Eva "_qs, u"Gomez Ana "_qs, u"gomez ana "_qs, u"Gomez Ana "_qs});
    QCOMPARE(model.exactRows(u"Gomez Ana "_qs), std::make_pair(0, 2));
    QCOMPARE(model.exactRows(u"gomez ana "_qs), std::make_pair(1, 1));
    QCOMPARE(model.exactRows(u"GOMEZ ANA "_qs), std::make_pair(-1, 0));
    QCOMPARE(model.exactRows(u"Ruiz Eva "_qs), std::make_pair(3, 1));
}

void TestContactListModel::removeRows()
{
    ContactListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setKeys({u"A a "_qs, u"B b "_qs, u"C c "_qs});
    QVERIFY(model.removeRows(1, 1));
    QCOMPARE(keys(model), (QStringList {u"A a "_qs, u"C c "_qs}));
    QVERIFY(!model.removeRows(2, 1));
    QVERIFY(!model.removeRows(-1, 1));
    QCOMPARE(model.count(), 2);
    model.clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestContactListModel::manyEntries()
{
    // A hundred thousand contacts, many of them sharing keys: sorted once, then grown one by one,
    // and the duplicate check by binary search agrees with a plain scan.
    QRandomGenerator random(7);
    const QStringList surnames {u"Gomez"_qs, u"gómez"_qs, u"Perez"_qs, u"Muñoz"_qs, u"Munoz"_qs,
        u"Álvarez"_qs, u"alvarez"_qs, u"Ruiz"_qs, u"De la Cruz"_qs};
    QStringList fileOrder;
    for (int i = 0; i < 100000; ++i)
        fileOrder << QStringLiteral("%1 N%2 ")
                         .arg(surnames[random.bounded(surnames.size())])
                         .arg(random.bounded(3000));
    ContactListModel model;
    model.setKeys(fileOrder);
    QCOMPARE(model.count(), 100000);
    for (int row = 1; row < model.count(); ++row)
        QVERIFY(ContactListModel::compare(model.keyAt(row - 1), model.keyAt(row)) <= 0);

    ContactListModel grown;
    grown.setKeys(fileOrder.mid(0, 99000));
    for (const QString &key : fileOrder.mid(99000))
        grown.addKey(key);
    QCOMPARE(keys(grown), keys(model));

    QSet<QString> lowered;
    for (const QString &key : fileOrder)
        lowered.insert(key.toLower());
    for (int i = 0; i < 500; ++i) {
        const QString probe = QStringLiteral("%1 n%2 ")
                                  .arg(surnames[random.bounded(surnames.size())].toUpper())
                                  .arg(random.bounded(3300));
        QCOMPARE(model.containsIgnoringCase(probe), lowered.contains(probe.toLower()));
    }
}

QTEST_GUILESS_MAIN(TestContactListModel)
#include "tst_contact_list_model.moc"
