#include "fake_platform.h"
#include "hostile_files.h"
#include "password/password_file.h"
#include "platform/text_file.h"
#include "watchdog.h"

#include <QFileInfo>
#include <QTest>

class TestPasswordFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writesThreeLinesExactlyAsTyped();
    void fileIsForItsOwnerOnly();
    void readersOnShortAndLongFiles_data();
    void readersOnShortAndLongFiles();
    void missingFileCannotBeRead();
    void replaceKeepsQuestionAndAnswerAndDropsTheRest();
    void replaceWithoutFileFails();
    void remove();
    void comparisonIsExact();
    void ownerOnlyWhateverTheUmaskOrTheOldMode();
    void twinLinkIsNeverWrittenThrough();
    void savedCopyIsBounded();

private:
    std::unique_ptr<TestPlatform> m_desktop;
    std::unique_ptr<PasswordFile> m_file;
};

void TestPasswordFile::init()
{
    m_desktop = std::make_unique<TestPlatform>();
    m_file = std::make_unique<PasswordFile>(m_desktop->passwordDir());
}

void TestPasswordFile::writesThreeLinesExactlyAsTyped()
{
    QVERIFY(m_file->writeNew({u" Clave "_qs, u"¿Mascota?"_qs, u"Ñandú"_qs}));
    QCOMPARE(readBytes(m_file->path()), QByteArray(" Clave \r\n\xBFMascota?\r\n\xD1" "and\xFA\r\n"));
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
    QCOMPARE(m_file->path(), m_desktop->passwordFile(u"orvpw.ntd"_qs));
}

void TestPasswordFile::fileIsForItsOwnerOnly()
{
    QVERIFY(m_file->writeNew({u"a"_qs, u"b"_qs, u"c"_qs}));
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QCOMPARE(QFileInfo(m_file->path()).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             owner);
    QVERIFY(m_file->replacePassword(u"d"_qs));
    QCOMPARE(QFileInfo(m_file->path()).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             owner);
}

void TestPasswordFile::readersOnShortAndLongFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");

    QTest::newRow("one line") << QByteArray("clave\r\n") << u"clave"_qs << QString() << QString();
    QTest::newRow("two lines") << QByteArray("clave\r\npregunta\r\n") << u"clave"_qs << u"pregunta"_qs << QString();
    QTest::newRow("five lines") << QByteArray("c\r\np\r\nr\r\nx\r\ny\r\n") << u"c"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("no final line end") << QByteArray("c\r\np\r\nr") << u"c"_qs << u"p"_qs << u"r"_qs;
}

void TestPasswordFile::readersOnShortAndLongFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, password);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    writeBytes(m_file->path(), content);

    QCOMPARE(m_file->readPassword(), password);
    const std::optional<PasswordFile::Values> values = m_file->readAll();
    QVERIFY(values);
    QCOMPARE(values->password, password);
    QCOMPARE(values->question, question);
    QCOMPARE(values->answer, answer);
}

void TestPasswordFile::missingFileCannotBeRead()
{
    QCOMPARE(m_file->readPassword(), std::nullopt);
    QVERIFY(!m_file->readAll());
    writeBytes(m_file->path(), QByteArray());
    QCOMPARE(m_file->readPassword(), std::nullopt);
}

void TestPasswordFile::replaceKeepsQuestionAndAnswerAndDropsTheRest()
{
    writeBytes(m_file->path(), "vieja\r\npregunta\r\nrespuesta\r\ncuarta\r\n");
    QVERIFY(m_file->replacePassword(u"nueva"_qs));
    QCOMPARE(readBytes(m_file->path()), QByteArray("nueva\r\npregunta\r\nrespuesta\r\n"));
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));

    QVERIFY(m_file->replacePassword(u"nueva"_qs));
    QCOMPARE(readBytes(m_file->path()), QByteArray("nueva\r\npregunta\r\nrespuesta\r\n"));
}

void TestPasswordFile::replaceWithoutFileFails()
{
    QVERIFY(!m_file->replacePassword(u"nueva"_qs));
    QVERIFY(!QFileInfo::exists(m_file->path()));
    QVERIFY(!QFileInfo::exists(m_file->twinPath()));
}

void TestPasswordFile::remove()
{
    QVERIFY(m_file->writeNew({u"a"_qs, u"b"_qs, u"c"_qs}));
    m_file->remove();
    QVERIFY(!QFileInfo::exists(m_file->path()));
    m_file->remove();
}

void TestPasswordFile::comparisonIsExact()
{
    QVERIFY(PasswordFile::matches(u"Clave"_qs, u"Clave"_qs));
    QVERIFY(!PasswordFile::matches(u"Clave"_qs, u"clave"_qs));
    QVERIFY(!PasswordFile::matches(u"Clave"_qs, u"Clave "_qs));
}

void TestPasswordFile::ownerOnlyWhateverTheUmaskOrTheOldMode()
{
    writeBytes(m_file->path(), "vieja\r\np\r\nr\r\n");
    ::chmod(QFile::encodeName(m_file->path()).constData(), 0666);
    const ScopedUmask mask(0);
    QVERIFY(m_file->replacePassword(u"nueva"_qs));
    QCOMPARE(modeOf(m_file->path()), 0600);
    QFile::remove(m_file->path());
    QVERIFY(m_file->writeNew({u"a"_qs, u"b"_qs, u"c"_qs}));
    QCOMPARE(modeOf(m_file->path()), 0600);
}

// A link left in the twin's place would have the password, question and answer written in clear
// into whatever file it names.
void TestPasswordFile::twinLinkIsNeverWrittenThrough()
{
    const QString victim = m_desktop->passwordFile(u"diario.txt"_qs);
    writeBytes(victim, "querido diario");
    ::chmod(QFile::encodeName(victim).constData(), 0644);
    QVERIFY(makeLink(victim, m_file->twinPath()));
    QVERIFY(m_file->writeNew({u"clave"_qs, u"pregunta"_qs, u"respuesta"_qs}));
    QCOMPARE(readBytes(victim), QByteArray("querido diario"));
    QCOMPARE(modeOf(victim), 0644);
    QVERIFY(isRegularFile(m_file->path()));
    QVERIFY(!isLink(m_file->twinPath()) && !QFileInfo::exists(m_file->twinPath()));
    QVERIFY(makeLink(victim, m_file->twinPath()));
    QVERIFY(m_file->replacePassword(u"otra"_qs));
    QCOMPARE(readBytes(victim), QByteArray("querido diario"));
    QCOMPARE(readBytes(m_file->path()), QByteArray("otra\r\npregunta\r\nrespuesta\r\n"));
}

void TestPasswordFile::savedCopyIsBounded()
{
    QVERIFY(!m_file->present());
    QCOMPARE(m_file->saved(), std::nullopt);
    QVERIFY(makeFifo(m_file->path()));
    QVERIFY(m_file->present());
    Watchdog watchdog({m_desktop->passwordDir()});
    QCOMPARE(m_file->saved(), std::nullopt);
    QCOMPARE(m_file->readAll(), std::nullopt);
    QVERIFY(!watchdog.stop());
    QFile::remove(m_file->path());
    QVERIFY(makeSparse(m_file->path(), TextFile::MostBytes + 1));
    QCOMPARE(m_file->saved(), std::nullopt);
    QVERIFY(makeSparse(m_file->path(), 100));
    QCOMPARE(m_file->saved(), QByteArray(100, '\0'));
}

QTEST_GUILESS_MAIN(TestPasswordFile)
#include "tst_password_file.moc"
