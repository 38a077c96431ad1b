#include "fake_platform.h"
#include "hostile_files.h"
#include "password/password_file.h"
#include "password/password_secrets.h"
#include "platform/text_file.h"
#include "watchdog.h"

#include <QFileInfo>
#include <QTest>

class TestPasswordFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writesTheBytesAsGiven();
    void fileIsForItsOwnerOnly();
    void readsSmallFilesWhole_data();
    void readsSmallFilesWhole();
    void readsTheThreeLinesOfALargeOldFile_data();
    void readsTheThreeLinesOfALargeOldFile();
    void missingFileCannotBeRead();
    void remove();
    void ownerOnlyWhateverTheUmaskOrTheOldMode();
    void twinLinkIsNeverWrittenThrough();
    void readersAreBounded();

private:
    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<PasswordFile> m_file;
};

void TestPasswordFile::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_file = std::make_unique<PasswordFile>(m_desktop->passwordDir());
}

void TestPasswordFile::writesTheBytesAsGiven()
{
    const QByteArray bytes("ORVPW 2\r\nquestion v79\r\n\0\xFF", 25);
    QVERIFY(m_file->write(bytes));
    QCOMPARE(readBytes(m_file->path()), bytes);
    QCOMPARE(m_file->read(), bytes);
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
    QCOMPARE(m_file->path(), m_desktop->passwordFile(u"orvpw.ntd"_qs));

    QVERIFY(m_file->write("otro"));
    QCOMPARE(readBytes(m_file->path()), QByteArray("otro"));
}

void TestPasswordFile::fileIsForItsOwnerOnly()
{
    QVERIFY(m_file->write("a"));
    QCOMPARE(modeOf(m_file->path()), 0600);
    QVERIFY(m_file->write("b"));
    QCOMPARE(modeOf(m_file->path()), 0600);
}

// Anything up to the largest new file is read whole, whatever it holds.
void TestPasswordFile::readsSmallFilesWhole_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("one line") << QByteArray("clave\r\n");
    QTest::newRow("five lines") << QByteArray("c\r\np\r\nr\r\nx\r\ny\r\n");
    QTest::newRow("no final line end") << QByteArray("c\r\np\r\nr");
    QTest::newRow("the largest new file")
        << QByteArray("ORVPW 2\r\n") + QByteArray(PasswordSecrets::maxFileBytes() - 9, 'x');
}

void TestPasswordFile::readsSmallFilesWhole()
{
    QFETCH(QByteArray, content);
    writeBytes(m_file->path(), content);
    QCOMPARE(m_file->read(), content);
}

// A larger file is no new one: the old reader took its first three lines, and so does this one.
void TestPasswordFile::readsTheThreeLinesOfALargeOldFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("read");
    const QByteArray large(PasswordSecrets::maxFileBytes(), 'q');
    const QByteArray huge(16 * 1024 * 1024, 'h');
    QTest::newRow("a long question") << "clave\r\n" + large + "\r\nr\r\ncuarta\r\n"
                                     << "clave\r\n" + large + "\r\nr\r\n";
    QTest::newRow("huge lines, then more") << huge + "1\r\n" + huge + "2\r\n" + huge + "3\r\n" + huge
                                           << huge + "1\r\n" + huge + "2\r\n" + huge + "3\r\n";
    QTest::newRow("three lines, the last without a line end") << "c\r\np\r\n" + large << "c\r\np\r\n" + large;
    QTest::newRow("a new form too large") << "ORVPW 2\r\nquestion " + large + "\r\nverifier x\r\nmore\r\n"
                                          << "ORVPW 2\r\nquestion " + large + "\r\nverifier x\r\n";
}

void TestPasswordFile::readsTheThreeLinesOfALargeOldFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, read);
    writeBytes(m_file->path(), content);
    const std::optional<QByteArray> bytes = m_file->read();
    QVERIFY(bytes);
    QVERIFY(*bytes == read);
}

void TestPasswordFile::missingFileCannotBeRead()
{
    QCOMPARE(m_file->read(), std::nullopt);
    QCOMPARE(m_file->saved(), std::nullopt);
    QVERIFY(!m_file->present());
    writeBytes(m_file->path(), QByteArray());
    QCOMPARE(m_file->read(), QByteArray());
    QVERIFY(m_file->present());
}

void TestPasswordFile::remove()
{
    QVERIFY(m_file->write("a"));
    m_file->remove();
    QVERIFY(!QFileInfo::exists(m_file->path()));
    m_file->remove();
}

void TestPasswordFile::ownerOnlyWhateverTheUmaskOrTheOldMode()
{
    writeBytes(m_file->path(), "vieja\r\np\r\nr\r\n");
    ::chmod(QFile::encodeName(m_file->path()).constData(), 0666);
    const ScopedUmask mask(0);
    QVERIFY(m_file->write("nueva"));
    QCOMPARE(modeOf(m_file->path()), 0600);
    QFile::remove(m_file->path());
    QVERIFY(m_file->write("otra"));
    QCOMPARE(modeOf(m_file->path()), 0600);
    QVERIFY(m_file->putBack(QByteArray("vieja")));
    QCOMPARE(modeOf(m_file->path()), 0600);
}

// A link left in the twin's place would have the file written into whatever file it names.
void TestPasswordFile::twinLinkIsNeverWrittenThrough()
{
    const QString victim = m_desktop->passwordFile(u"diario.txt"_qs);
    writeBytes(victim, "querido diario");
    ::chmod(QFile::encodeName(victim).constData(), 0644);
    QVERIFY(makeLink(victim, m_file->twinPath()));
    QVERIFY(m_file->write("ORVPW 2\r\n"));
    QCOMPARE(readBytes(victim), QByteArray("querido diario"));
    QCOMPARE(modeOf(victim), 0644);
    QVERIFY(isRegularFile(m_file->path()));
    QVERIFY(!isLink(m_file->twinPath()) && !QFileInfo::exists(m_file->twinPath()));
    QVERIFY(makeLink(victim, m_file->twinPath()));
    QVERIFY(m_file->putBack(QByteArray("antes")));
    QCOMPARE(readBytes(victim), QByteArray("querido diario"));
    QCOMPARE(readBytes(m_file->path()), QByteArray("antes"));
}

// No open waits on a FIFO, and no read goes past its bound on a sparse giant.
void TestPasswordFile::readersAreBounded()
{
    QVERIFY(makeFifo(m_file->path()));
    QVERIFY(m_file->present());
    Watchdog watchdog({m_desktop->passwordDir()});
    QCOMPARE(m_file->saved(), std::nullopt);
    QCOMPARE(m_file->read(), std::nullopt);
    QVERIFY(!watchdog.stop());
    QFile::remove(m_file->path());

    // More than the readers take before a third line: unreadable.
    QVERIFY(makeSparse(m_file->path(), TextFile::MostBytes + 1));
    QCOMPARE(m_file->saved(), std::nullopt);
    QCOMPARE(m_file->read(), std::nullopt);
    // As much as they take, and no line end: one line of NULs.
    QVERIFY(makeSparse(m_file->path(), TextFile::MostBytes));
    const std::optional<QByteArray> most = m_file->read();
    QVERIFY(most && most->size() == TextFile::MostBytes && !most->contains('\n'));
    QVERIFY(makeSparse(m_file->path(), 100));
    QCOMPARE(m_file->saved(), QByteArray(100, '\0'));
    QCOMPARE(m_file->read(), QByteArray(100, '\0'));
}

QTEST_GUILESS_MAIN(TestPasswordFile)
#include "tst_password_file.moc"
