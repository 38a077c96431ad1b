// The line reader reads a file in blocks and keeps the unread rest of each block for the next;
// lines must come out the same wherever the blocks happen to end.

#include "platform/line_reader.h"
#include "trickle_device.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QTest>

namespace {

QList<QByteArray> readAll(QIODevice &device)
{
    LineReader reader(device);
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.next(line))
        lines << line.toByteArray();
    return reader.failed() ? QList<QByteArray> {"failed"} : lines;
}

} // namespace

class TestLineReaderBlocks : public QObject
{
    Q_OBJECT

private slots:
    void linesAcrossBlocks_data();
    void linesAcrossBlocks();
};

void TestLineReaderBlocks::linesAcrossBlocks_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("longest");
    QTest::newRow("contact lines") << 1 << 400;
    QTest::newRow("some long lines") << 2 << 300000;
}

void TestLineReaderBlocks::linesAcrossBlocks()
{
    // Several megabytes of lines of random length, ended by CR LF or LF, with lone CRs inside:
    // block ends fall inside lines, between a CR and its LF, right after a line end.
    QFETCH(int, seed);
    QFETCH(int, longest);
    QRandomGenerator random(seed);
    QByteArray bytes;
    QList<QByteArray> expected;
    while (bytes.size() < 5 * 1024 * 1024) {
        QByteArray line(random.bounded(longest), Qt::Uninitialized);
        for (char &c : line)
            c = random.bounded(8) == 0 ? '\r' : char('a' + random.bounded(26));
        if (line.endsWith('\r'))
            line.back() = 'z'; // a CR before the line end would belong to the line end
        expected << line;
        bytes += line + (random.bounded(2) ? "\r\n" : "\n");
    }
    bytes += "no line end";
    expected << "no line end";

    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(file.write(bytes), bytes.size());
    QVERIFY(file.seek(0));
    QCOMPARE(readAll(file), expected);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readAll(buffer), expected);

    TrickleDevice pipe(bytes, 7777, TrickleDevice::Kind::Pipe);
    QCOMPARE(readAll(pipe), expected);
}

QTEST_GUILESS_MAIN(TestLineReaderBlocks)
#include "tst_line_reader_blocks.moc"
