#include "fake_platform.h"
#include "password/password_file.h"

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

QTEST_GUILESS_MAIN(TestPasswordFile)
#include "tst_password_file.moc"
