#include "platform/line_reader.h"
#include "platform/text_file.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void lineEnds_data();
    void lineEnds();
    void linesLongerThanABlock();
    void lookingAheadKeepsTheLineGiven();
    void longLinesAreNeverHeldWhole_data();
    void longLinesAreNeverHeldWhole();
    void longLinesCanComeAsNothing_data();
    void longLinesCanComeAsNothing();
    void holesOfASparseFileAreSteppedOver();
    void stopsWhenTold();
};

void TestLineReader::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QList<QByteArray> {"a", "b"};
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QList<QByteArray> {"a", "b"};
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QList<QByteArray> {"a", "b"};
    QTest::newRow("lone CR stays in the line") << QByteArray("a\rb\r\n") << QList<QByteArray> {"a\rb"};
    QTest::newRow("blank lines") << QByteArray("\r\n\r\nx\r\n") << QList<QByteArray> {"", "", "x"};
    QTest::newRow("empty") << QByteArray() << QList<QByteArray> {};
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n", 5) << QList<QByteArray> {QByteArray("a\0b", 3)};
}

void TestLineReader::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer);
    QList<QByteArray> read;
    QByteArrayView line;
    while (reader.next(line))
        read << line.toByteArray();
    QCOMPARE(read, lines);
    QVERIFY(!reader.failed());
}

void TestLineReader::linesLongerThanABlock()
{
    const QByteArray big(3 * 1024 * 1024 + 17, 'x');
    QByteArray bytes = "first\r\n" + big + "\r\n" + big + "y\r\nlast";
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer);
    QByteArrayView line;
    QVERIFY(reader.next(line));
    QCOMPARE(line, "first");
    QVERIFY(reader.next(line));
    QCOMPARE(line.toByteArray(), big);
    QVERIFY(reader.next(line));
    QCOMPARE(line.toByteArray(), big + "y");
    QVERIFY(reader.next(line));
    QCOMPARE(line, "last");
    QVERIFY(!reader.next(line));
}

// holdsNextLine() says whether the next line is in the block read; when it is, the line given
// before stays where it was through next(). Looking ahead changes no line given.
void TestLineReader::lookingAheadKeepsTheLineGiven()
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < 3 * 1024 * 1024; ++i)
        bytes += "line " + QByteArray::number(i) + QByteArray(i % 97, 'x') + (i % 3 ? "\r\n" : "\n");
    bytes += "last";
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer);
    QList<QByteArray> expected = bytes.split('\n');
    for (QByteArray &line : expected) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    QByteArrayView line;
    QByteArray copied;
    int held = 0;
    int notHeld = 0;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const bool holds = i == 0 || reader.holdsNextLine();
        if (i > 0)
            (holds ? held : notHeld) += 1;
        const QByteArrayView before = line;
        QVERIFY(reader.next(line));
        QCOMPARE(line.toByteArray(), expected[i]);
        if (i > 0 && holds)
            QCOMPARE(before.toByteArray(), copied);
        copied = line.toByteArray();
    }
    QVERIFY(!reader.holdsNextLine());
    QVERIFY(!reader.next(line));
    // Every line but those at the ends of the three blocks, and the last one, which has no line
    // end.
    QVERIFY(notHeld >= 3 && notHeld <= 5);
    QVERIFY(held > 1000);
}

// With a bound, a longer line comes as its start, with its whole length and its place in the file;
// what follows it is read as usual.
void TestLineReader::longLinesAreNeverHeldWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("heads");
    QTest::addColumn<QList<qint64>>("lengths");
    QTest::addColumn<QList<qint64>>("offsets");

    const QByteArray big(3 * 1024 * 1024 + 17, 'x');
    QTest::newRow("short lines") << QByteArray("ab\r\ncd\n") << QList<QByteArray> {"ab", "cd"}
                                 << QList<qint64> {2, 2} << QList<qint64> {0, 4};
    QTest::newRow("at the bound") << QByteArray("abcd\r\nabcde\r\n") << QList<QByteArray> {"abcd", "abcd"}
                                  << QList<qint64> {4, 5} << QList<qint64> {0, 6};
    // A CR right after the bound is the line end's, not the line's.
    QTest::newRow("CR after the bound")
        << QByteArray("abcd\r\n") << QList<QByteArray> {"abcd"} << QList<qint64> {4} << QList<qint64> {0};
    QTest::newRow("lone CR inside") << QByteArray("ab\rcdef\r\n") << QList<QByteArray> {"ab\rc"}
                                    << QList<qint64> {7} << QList<qint64> {0};
    QTest::newRow("longer than a block")
        << "first\r\n" + big + "\r\nlast" << QList<QByteArray> {"firs", "xxxx", "last"}
        << QList<qint64> {5, big.size(), 4} << QList<qint64> {0, 7, 7 + big.size() + 2};
    // The reader takes a file in blocks of a megabyte: this CR ends the second block, its LF starts
    // the third.
    const QByteArray twoBlocks(2 * 1024 * 1024 - 1, 'x');
    QTest::newRow("CR at a block's end")
        << twoBlocks + "\r\nz" << QList<QByteArray> {"xxxx", "z"} << QList<qint64> {twoBlocks.size(), 1}
        << QList<qint64> {0, twoBlocks.size() + 2};
    QTest::newRow("the last, without a line end")
        << "a\n" + big + "\r" << QList<QByteArray> {"a", "xxxx"} << QList<qint64> {1, big.size() + 1}
        << QList<qint64> {0, 2};
}

void TestLineReader::longLinesAreNeverHeldWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, heads);
    QFETCH(QList<qint64>, lengths);
    QFETCH(QList<qint64>, offsets);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer, 4);
    QByteArrayView line;
    for (qsizetype i = 0; i < heads.size(); ++i) {
        QVERIFY(reader.next(line));
        QCOMPARE(line.toByteArray(), heads[i]);
        QCOMPARE(reader.length(), lengths[i]);
        QCOMPARE(reader.offset(), offsets[i]);
        QCOMPARE(reader.cut(), lengths[i] > 4);
        // The whole line is where the reader says it is.
        const QByteArray whole = bytes.mid(offsets[i], lengths[i]);
        QVERIFY(whole.startsWith(heads[i]) && !whole.contains('\n'));
    }
    QVERIFY(!reader.next(line));
    QVERIFY(!reader.failed());
}

// A caller that skips long lines gets nothing of them, but learns where they lie as before; the
// position after each line is where the next one starts.
void TestLineReader::longLinesCanComeAsNothing_data()
{
    longLinesAreNeverHeldWhole_data();
}

void TestLineReader::longLinesCanComeAsNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<qint64>, lengths);
    QFETCH(QList<qint64>, offsets);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer, 4, LineReader::LongLines::GiveNothing);
    QByteArrayView line;
    for (qsizetype i = 0; i < lengths.size(); ++i) {
        QVERIFY(reader.next(line));
        QCOMPARE(reader.cut(), lengths[i] > 4);
        QCOMPARE(line.toByteArray(), reader.cut() ? QByteArray() : bytes.mid(offsets[i], lengths[i]));
        QCOMPARE(reader.length(), lengths[i]);
        QCOMPARE(reader.offset(), offsets[i]);
        const qint64 end = offsets[i] + lengths[i];
        const qint64 lineEnd = bytes.mid(end, 2) == "\r\n" ? 2 : bytes.mid(end, 1) == "\n" ? 1 : 0;
        QCOMPARE(reader.position(), end + lineEnd);
    }
    QVERIFY(!reader.next(line));
    QCOMPARE(reader.position(), bytes.size());
}

// A long line that runs through the holes of a sparse file is measured without reading them: its
// length counts the holes' NUL bytes, and the data after them is read as usual.
void TestLineReader::holesOfASparseFileAreSteppedOver()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.orv"_qs);
    constexpr qint64 Hole = 64 * 1024 * 1024;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'a'));
        QVERIFY(file.seek(5000 + Hole));
        file.write("b\r\nnext\r\n");
        QVERIFY(file.seek(5000 + 2 * Hole + 11));
        file.write("c");
    }
    QFile file;
    QVERIFY(RegularFile::open(file, path));
    LineReader reader(file, 100);
    QByteArrayView line;
    QVERIFY(reader.next(line));
    QCOMPARE(line.toByteArray(), QByteArray(100, 'a'));
    QCOMPARE(reader.length(), 5000 + Hole + 1);
    QVERIFY(reader.next(line));
    QCOMPARE(line, "next");
    QCOMPARE(reader.offset(), 5000 + Hole + 3);
    // A line that is mostly a hole, to the end of the file.
    QVERIFY(reader.next(line));
    QCOMPARE(line.toByteArray(), QByteArray(100, '\0'));
    QCOMPARE(reader.length(), Hole + 3);
    QVERIFY(!reader.next(line));
    QVERIFY(!reader.failed());
}

// Told to stop after a block, the reader gives no more lines, not even the part of one that the
// block holds.
void TestLineReader::stopsWhenTold()
{
    constexpr qint64 Block = 1024 * 1024;
    QByteArray bytes = "first\r\n" + QByteArray(2 * Block + Block / 2, 'x') + "\r\nnever\r\n";
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(buffer);
    QList<qint64> asked;
    reader.setKeepGoing([&](qint64 read) {
        asked << read;
        return asked.size() < 2;
    });
    QByteArrayView line;
    QVERIFY(reader.next(line));
    QCOMPARE(line, "first");
    QVERIFY(!reader.next(line));
    QVERIFY(!reader.next(line));
    QCOMPARE(asked, (QList<qint64> {Block, 2 * Block}));
    QVERIFY(reader.stopped());
    QVERIFY(!reader.failed());
    QCOMPARE(reader.position(), 7);
}

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_line_reader.moc"
