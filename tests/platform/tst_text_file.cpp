#include "fake_platform.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void readLinesStopsAtTheLimit();
    void readLinesTakesInNoMoreThanItsBound();
    void replaceThroughTwin();
    void failedReplaceLeavesTheTargetAndNoTwin();
};

void TestTextFile::readLinesStopsAtTheLimit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"f"_qs);
    writeBytes(path, "uno\r\ndos\r\ntres\r\n");
    QCOMPARE(TextFile::readLines(path, 2), (QStringList {u"uno"_qs, u"dos"_qs}));
    QCOMPARE(TextFile::readLines(path), (QStringList {u"uno"_qs, u"dos"_qs, u"tres"_qs}));
    QCOMPARE(TextFile::readLines(dir.filePath(u"missing"_qs)), std::nullopt);
}

void TestTextFile::readLinesTakesInNoMoreThanItsBound()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Agenda.opt"_qs);
    writeBytes(path, "1\r\n1\r\n" + QByteArray(100, '7') + "\r\n1\r\n");
    QCOMPARE(TextFile::readLines(path, 2, 10), (QStringList {u"1"_qs, u"1"_qs}));
    QCOMPARE(TextFile::readLines(path, 3, 10), std::nullopt);
    QCOMPARE(TextFile::readLines(path, 4, 103).value_or(QStringList()).size(), 4);
    QCOMPARE(TextFile::readLines(path, 4, 102), std::nullopt);
}

void TestTextFile::replaceThroughTwin()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"target"_qs);
    const QString twin = dir.filePath(u"target2"_qs);
    writeBytes(target, "old");
    QVERIFY(TextFile::replaceThroughTwin(target, twin, "new"));
    QCOMPARE(readBytes(target), QByteArray("new"));
    QVERIFY(!QFileInfo::exists(twin));
}

void TestTextFile::failedReplaceLeavesTheTargetAndNoTwin()
{
    QTemporaryDir dir;
    // A directory cannot be replaced by a file.
    const QString target = dir.filePath(u"target"_qs);
    QVERIFY(QDir().mkdir(target));
    const QString twin = dir.filePath(u"target2"_qs);
    QVERIFY(!TextFile::replaceThroughTwin(target, twin, "new"));
    QVERIFY(QFileInfo(target).isDir());
    QVERIFY(!QFileInfo::exists(twin));

    // A twin that cannot be created.
    const QString file = dir.filePath(u"file"_qs);
    writeBytes(file, "old");
    QVERIFY(!TextFile::replaceThroughTwin(file, dir.filePath(u"no/such/dir/twin"_qs), "new"));
    QCOMPARE(readBytes(file), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_text_file.moc"
