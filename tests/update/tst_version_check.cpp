#include "update/version_check.h"

#include <QTest>

using namespace VersionCheck;

namespace {

const QString M = QStringLiteral("¿-?");

} // namespace

class TstVersionCheck : public QObject
{
    Q_OBJECT

private slots:
    void readNumber_data();
    void readNumber();
    void compareNumbers_data();
    void compareNumbers();
    void ownNumber();
    void updateFile_data();
    void updateFile();
};

void TstVersionCheck::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("number");

    // clang-format off
    QTest::newRow("digits") << "21" << "21";
    QTest::newRow("blanks ignored") << " 2 1 " << "21";
    QTest::newRow("one decimal point") << "21.5" << "21.5";
    QTest::newRow("second point ends it") << "2.1.5" << "2.1";
    QTest::newRow("letters end it") << "21beta3" << "21";
    QTest::newRow("no exponent") << "2e3" << "2";
    QTest::newRow("point at the end") << "5." << "5";
    QTest::newRow("leading zeros") << "0021" << "21";
    QTest::newRow("trailing fraction zeros") << "1.500" << "1.5";
    QTest::newRow("zero") << "0.0" << "0";
    QTest::newRow("empty") << "" << "0";
    QTest::newRow("no leading digit") << "v21" << "0";
    QTest::newRow("point before the digits") << ".5" << "0";
    QTest::newRow("sign") << "-5" << "0";
    QTest::newRow("hexadecimal") << "&H10" << "0";
    QTest::newRow("other digits") << QStringLiteral("２１") << "0";
    QTest::newRow("tab is not a blank") << "\t21" << "0";
    // clang-format on
}

void TstVersionCheck::readNumber()
{
    QFETCH(QString, text);
    QFETCH(QString, number);
    QCOMPARE(toString(VersionCheck::readNumber(text)), number);
}

void TstVersionCheck::compareNumbers_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("result");

    const QString nines(400, u'9');
    // clang-format off
    QTest::newRow("greater") << "21" << "20" << 1;
    QTest::newRow("equal") << "20" << "20" << 0;
    QTest::newRow("less") << "19" << "20" << -1;
    QTest::newRow("longer is greater") << "210" << "99" << 1;
    QTest::newRow("fraction makes it greater") << "20.1" << "20" << 1;
    QTest::newRow("tiny fraction still counts") << "20.000000000000000000001" << "20" << 1;
    QTest::newRow("fractions digit by digit") << "0.5" << "0.45" << 1;
    QTest::newRow("shorter fraction less") << "0.5" << "0.51" << -1;
    QTest::newRow("zero and nothing") << "0" << "" << 0;
    QTest::newRow("400 digits") << nines << "20" << 1;
    QTest::newRow("400 digits against 401") << nines << nines + u'0' << -1;
    QTest::newRow("400 digits equal") << nines << QStringLiteral("000") + nines << 0;
    QTest::newRow("400 digits, last differs") << QString(nines.left(399) + u'8') << nines << -1;
    // clang-format on
}

void TstVersionCheck::compareNumbers()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, result);
    QCOMPARE(compare(VersionCheck::readNumber(a), VersionCheck::readNumber(b)), result);
    QCOMPARE(compare(VersionCheck::readNumber(b), VersionCheck::readNumber(a)), -result);
}

void TstVersionCheck::ownNumber()
{
    QCOMPARE(toString(VersionCheck::ownNumber(2, 0)), QStringLiteral("20"));
    QCOMPARE(toString(VersionCheck::ownNumber(2, 10)), QStringLiteral("210"));
    QCOMPARE(toString(VersionCheck::ownNumber(0, 9)), QStringLiteral("9"));
}

void TstVersionCheck::updateFile_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("offered"); // "-" when there is no "."
    QTest::addColumn<bool>("newer");

    // clang-format off
    QTest::newRow("2.1") << QStringList{M + "2.1" + M} << "2.1" << "21" << true;
    QTest::newRow("2.0") << QStringList{M + "2.0" + M} << "2.0" << "20" << false;
    QTest::newRow("1.9") << QStringList{M + "1.9" + M} << "1.9" << "19" << false;
    QTest::newRow("2.10") << QStringList{M + "2.10" + M} << "2.10" << "210" << true;
    QTest::newRow("3.0") << QStringList{M + "3.0" + M} << "3.0" << "30" << true;
    QTest::newRow("2 without point") << QStringList{M + "2" + M} << "2" << "-" << false;
    QTest::newRow("30 without point") << QStringList{M + "30" + M} << "30" << "-" << false;
    QTest::newRow("split over two lines") << QStringList{M + "2.", "1" + M} << "2.1" << "21" << true;
    QTest::newRow("markers split over lines")
        << QStringList{"x¿", "-?2", ".1¿-", "?y"} << "2.1" << "21" << true;
    QTest::newRow("text around")
        << QStringList{"Orvalia", "Ultima version: " + M + "2.1" + M + " publicada", "fin"} << "2.1"
        << "21" << true;
    QTest::newRow("blanks inside") << QStringList{M + " 2 . 1 " + M} << " 2 . 1 " << "21" << true;
    QTest::newRow("second point kept") << QStringList{M + "2.0.1" + M} << "2.0.1" << "20.1" << true;
    QTest::newRow("second point, older") << QStringList{M + "1.9.9" + M} << "1.9.9" << "19.9" << false;
    QTest::newRow("letters after") << QStringList{M + "2.1beta" + M} << "2.1beta" << "21" << true;
    QTest::newRow("letters before") << QStringList{M + "v2.1" + M} << "v2.1" << "0" << false;
    QTest::newRow("leading zeros") << QStringList{M + "0002.0" + M} << "0002.0" << "20" << false;
    QTest::newRow("only later markers count")
        << QStringList{M + "1.0" + M + M + "9.9" + M} << "1.0" << "10" << false;
    // clang-format on
    // A missing first marker drops the first two characters instead.
    // clang-format off
    QTest::newRow("no marker, two letters first") << QStringList{"ab2.1"} << "2.1" << "21" << true;
    QTest::newRow("no marker at all") << QStringList{"2.1"} << "1" << "-" << false;
    QTest::newRow("no second marker") << QStringList{M + "2.1 final"} << "2.1 final" << "21" << true;
    QTest::newRow("marker alone") << QStringList{M} << "" << "-" << false;
    QTest::newRow("empty file") << QStringList{} << "" << "-" << false;
    QTest::newRow("lone CR is a line end") << QStringList{M + "2.\r1" + M} << "2.1" << "21" << true;
    // clang-format on
    // The same file saved as UTF-8 and read as Windows-1252: "Â" before each marker.
    // clang-format off
    QTest::newRow("UTF-8 file") << QStringList{"Â" + M + "2.1Â" + M} << "2.1Â" << "21" << true;
    // clang-format on

    const QString nines(400, u'9');
    QTest::newRow("400-digit version")
        << QStringList {M + nines + ".9" + M} << nines + ".9" << nines + "9" << true;
    QTest::newRow("400 zeros before 2.0")
        << QStringList {M + QString(400, u'0') + "2.0" + M} << QString(400, u'0') + "2.0"
        << "20" << false;
    QTest::newRow("400 digits after the point")
        << QStringList {M + "2." + nines + M} << "2." + nines << "2" + nines << true;
}

void TstVersionCheck::updateFile()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, version);
    QFETCH(QString, offered);
    QFETCH(bool, newer);

    const QString joined = joinLines(lines);
    QCOMPARE(versionText(joined), version);
    const auto number = offeredNumber(version);
    QCOMPARE(number ? toString(*number) : QStringLiteral("-"), offered);
    QCOMPARE(isNewer(version, 2, 0), newer);
    QCOMPARE(offersNewer(joined, 2, 0), newer);
}

QTEST_APPLESS_MAIN(TstVersionCheck)
#include "tst_version_check.moc"
