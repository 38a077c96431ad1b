#include "platform/windows1252.h"

#include <QStringDecoder>
#include <QTest>

class TestWindows1252 : public QObject
{
    Q_OBJECT

private slots:
    void everyByteSurvivesDecodeAndEncode();
    void agreesWithTheSystemCodec();
    void charactersOutsideTheCodePage();
};

void TestWindows1252::everyByteSurvivesDecodeAndEncode()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all += char(byte);
    const QString text = Windows1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(Windows1252::encode(text), all);
    for (QChar c : text)
        QVERIFY(Windows1252::canEncode(c));
}

// The hot paths decode millions of short keys, so the table is our own; it must say exactly what
// the system's (ICU's) converter says, in both directions.
void TestWindows1252::agreesWithTheSystemCodec()
{
    QStringDecoder decoder("windows-1252");
    QStringEncoder encoder("windows-1252");
    QVERIFY(decoder.isValid() && encoder.isValid());
    for (int byte = 0; byte < 256; ++byte) {
        const QByteArray one(1, char(byte));
        const QString decoded = decoder.decode(one);
        QCOMPARE(Windows1252::decode(one), decoded);
        QCOMPARE(Windows1252::encode(decoded), QByteArray(encoder.encode(decoded)));
    }
    QCOMPARE(Windows1252::decode("\x80\x9F\xE3\xF1"), u"€Ÿãñ"_qs);
}

void TestWindows1252::charactersOutsideTheCodePage()
{
    QCOMPARE(Windows1252::encode(u"Łódź 日本 €"_qs),
        QByteArray("?\xF3"
                   "d? ?? \x80"));
    QVERIFY(!Windows1252::canEncode(QChar(0x0141)));
    QVERIFY(!Windows1252::canEncode(QChar(0x0080)));
    QVERIFY(Windows1252::canEncode(QChar(0x20AC)));
}

QTEST_GUILESS_MAIN(TestWindows1252)
#include "tst_windows1252.moc"
