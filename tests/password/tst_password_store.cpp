#include "fake_platform.h"
#include "hostile_files.h"
#include "password/password_store.h"
#include "password_fixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace PasswordFixtures;
using Status = PasswordSecrets::Status;

Q_DECLARE_METATYPE(PasswordSecrets::Status)

namespace {

QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line += '\n';
    return lines;
}

} // namespace

class TestPasswordStore : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void createdFileServesEveryWindow();
    void changeKeepsQuestionAndAnswer();
    void exactTextCounts_data();
    void exactTextCounts();
    void oldFormConvertedAtFirstSuccess_data();
    void oldFormConvertedAtFirstSuccess();
    void oldFormChanged();
    void conversionThatCannotBeWrittenKeepsTheOldFile_data();
    void conversionThatCannotBeWrittenKeepsTheOldFile();
    void unusableFilesMatchNothing_data();
    void unusableFilesMatchNothing();
    void sealsThatDoNotOpen();
    void unreadableFileMatchesNothing_data();
    void unreadableFileMatchesNothing();
    void createThatCannotBeWrittenKeepsTheOldFile();

private:
    PasswordStore store() const { return PasswordStore(m_desktop->passwordDir(), light()); }
    QString path() const { return m_desktop->passwordFile(u"orvpw.ntd"_qs); }
    QStringList giveAway(const QStringList &secrets) const
    {
        return filesGivingAway({m_desktop->passwordDir()}, secrets);
    }

    std::unique_ptr<TestPlatform> m_desktop;
};

void TestPasswordStore::init()
{
    m_desktop = std::make_unique<TestPlatform>();
}

void TestPasswordStore::createdFileServesEveryWindow()
{
    PasswordStore setter = store();
    QVERIFY(setter.create(u" Clave ñ"_qs, u"¿Mascota?"_qs, u"Ñandú"_qs));
    QCOMPARE(setter.status(), Status::Ok);
    QCOMPARE(PasswordSecrets::parse(readBytes(path())).status, Status::Ok);
    QCOMPARE(modeOf(path()), 0600);
    QVERIFY(!QFileInfo::exists(m_desktop->passwordFile(u"orvpw.ntd2"_qs)));
    QCOMPARE(giveAway({u" Clave ñ"_qs, u"Ñandú"_qs}), QStringList());

    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.status(), Status::Ok);
    QCOMPARE(reader.question(), u"¿Mascota?"_qs);
    const QByteArray before = readBytes(path());
    QVERIFY(reader.isPassword(u" Clave ñ"_qs));
    QVERIFY(reader.checkPassword(u" Clave ñ"_qs));
    QCOMPARE(reader.recoverPassword(u"Ñandú"_qs), u" Clave ñ"_qs);
    // Nothing to convert: the checks write nothing.
    QCOMPARE(readBytes(path()), before);
}

void TestPasswordStore::changeKeepsQuestionAndAnswer()
{
    writeBytes(path(), newForm(u"Vieja"_qs, u"¿Color?"_qs, u"azul cielo"_qs));
    const QByteArray before = readBytes(path());
    PasswordStore changer = store();
    QVERIFY(changer.load());
    QVERIFY(!changer.changePassword(u"vieja"_qs, u"Nueva"_qs));
    QCOMPARE(readBytes(path()), before);
    QVERIFY(changer.changePassword(u"Vieja"_qs, u"Nueva ñ"_qs));
    QCOMPARE(modeOf(path()), 0600);

    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.question(), u"¿Color?"_qs);
    QVERIFY(reader.isPassword(u"Nueva ñ"_qs));
    QVERIFY(!reader.isPassword(u"Vieja"_qs));
    QCOMPARE(reader.recoverPassword(u"azul cielo"_qs), u"Nueva ñ"_qs);
    QCOMPARE(formOf(readBytes(path())).keyByAnswer, formOf(before).keyByAnswer);
    // The same password again is a change too, and still opens.
    QVERIFY(reader.changePassword(u"Nueva ñ"_qs, u"Nueva ñ"_qs));
    QVERIFY(store().load());
    QCOMPARE(giveAway({u"Vieja"_qs, u"Nueva ñ"_qs, u"azul cielo"_qs}), QStringList());
}

void TestPasswordStore::exactTextCounts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matches");
    const QByteArray newFile = newForm(u" Clave"_qs, u"p"_qs, u" Clave"_qs);
    const QByteArray oldFile = " Clave\r\np\r\n Clave\r\n";
    for (const auto &[name, file] : {std::pair("new form", newFile), std::pair("old form", oldFile)}) {
        QTest::addRow("%s, exact", name) << file << u" Clave"_qs << true;
        QTest::addRow("%s, other case", name) << file << u" clave"_qs << false;
        QTest::addRow("%s, no leading blank", name) << file << u"Clave"_qs << false;
        QTest::addRow("%s, trailing blank", name) << file << u" Clave "_qs << false;
        QTest::addRow("%s, empty", name) << file << QString() << false;
        QTest::addRow("%s, not in the code page", name) << file << u" Clavę"_qs << false;
    }
}

// The password and the answer (the same text here) are compared exactly, as typed.
void TestPasswordStore::exactTextCounts()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, typed);
    QFETCH(bool, matches);
    writeBytes(path(), file);
    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.isPassword(typed), matches);
    QCOMPARE(reader.recoverPassword(typed).has_value(), matches);
}

void TestPasswordStore::oldFormConvertedAtFirstSuccess_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("login"); // or the recovery

    const struct
    {
        const char *name;
        QByteArray file;
        QString password, question, answer;
    } files[] = {
        {"three lines",
            "Clave \xF1\r\n\xBFMascota?\r\n\xD1"
            "and\xFA\r\n",
            u"Clave ñ"_qs, u"¿Mascota?"_qs, u"Ñandú"_qs},
        {"a fourth line", "c\r\np\r\nr\r\ncuarta\r\n", u"c"_qs, u"p"_qs, u"r"_qs},
        {"one line", "Solo\r\n", u"Solo"_qs, QString(), QString()},
        {"no final line end", "c\r\np\r\nr", u"c"_qs, u"p"_qs, u"r"_qs},
        {"a password starting with the new form's name", "ORVPW2024\r\np\r\nrespuesta\r\n", u"ORVPW2024"_qs,
            u"p"_qs, u"respuesta"_qs},
    };
    for (const auto &f : files) {
        QTest::addRow("%s, login", f.name) << f.file << f.password << f.question << f.answer << true;
        QTest::addRow("%s, recovery", f.name) << f.file << f.password << f.question << f.answer << false;
    }
}

void TestPasswordStore::oldFormConvertedAtFirstSuccess()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, password);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    QFETCH(bool, login);
    writeBytes(path(), file);
    ::chmod(QFile::encodeName(path()).constData(), 0644);

    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.status(), Status::Legacy);
    QCOMPARE(reader.question(), question);
    // A wrong try changes nothing.
    QVERIFY(!reader.checkPassword(password + u'x'));
    QCOMPARE(reader.recoverPassword(answer + u'x'), std::nullopt);
    QVERIFY(!reader.isPassword(answer + u'x'));
    QCOMPARE(readBytes(path()), file);

    if (login)
        QVERIFY(reader.checkPassword(password));
    else
        QCOMPARE(reader.recoverPassword(answer), password);
    const QByteArray converted = readBytes(path());
    QCOMPARE(PasswordSecrets::parse(converted).status, Status::Ok);
    QCOMPARE(modeOf(path()), 0600);
    QVERIFY(!QFileInfo::exists(m_desktop->passwordFile(u"orvpw.ntd2"_qs)));
    QCOMPARE(reader.status(), Status::Ok);
    // Values of a letter or two are in any file by chance.
    for (const QString &secret : {password, answer}) {
        if (secret.size() >= 4)
            QCOMPARE(giveAway({secret}), QStringList());
    }

    // The new file says what the old one said, and is not converted again.
    PasswordStore again = store();
    QVERIFY(again.load());
    QCOMPARE(again.question(), question);
    QVERIFY(again.checkPassword(password));
    QVERIFY(!again.isPassword(password + u' '));
    QCOMPARE(again.recoverPassword(answer), password);
    QCOMPARE(readBytes(path()), converted);
}

void TestPasswordStore::oldFormChanged()
{
    writeBytes(path(),
        "Vieja\r\n\xBF"
        "Color?\r\nazul cielo\r\ncuarta\r\n");
    PasswordStore changer = store();
    QVERIFY(changer.load());
    QVERIFY(!changer.changePassword(u"vieja"_qs, u"Nueva"_qs));
    QVERIFY(!changer.changePassword(u"¿Color?"_qs, u"Nueva"_qs));
    QCOMPARE(readBytes(path()),
        QByteArray("Vieja\r\n\xBF"
                   "Color?\r\nazul cielo\r\ncuarta\r\n"));
    QVERIFY(changer.changePassword(u"Vieja"_qs, u"Nueva"_qs));

    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.status(), Status::Ok);
    QCOMPARE(reader.question(), u"¿Color?"_qs);
    QVERIFY(reader.isPassword(u"Nueva"_qs));
    QVERIFY(!reader.isPassword(u"Vieja"_qs));
    QCOMPARE(reader.recoverPassword(u"azul cielo"_qs), u"Nueva"_qs);
    QCOMPARE(linesOf(readBytes(path())).size(), 6);
    QCOMPARE(giveAway({u"Vieja"_qs, u"Nueva"_qs, u"azul cielo"_qs, u"cuarta"_qs}), QStringList());
}

void TestPasswordStore::conversionThatCannotBeWrittenKeepsTheOldFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("twinBlocked");
    QTest::newRow("the twin cannot be made") << QByteArray("clave\r\np\r\nr\r\n") << true;
    // Longer than any text box takes: no new file holds it.
    QTest::newRow("a question too long") << "clave\r\n" + QByteArray(40000, 'q') + "\r\nr\r\n" << false;
}

// Whoever typed the right password or answer still gets in, and the old file stays whole.
void TestPasswordStore::conversionThatCannotBeWrittenKeepsTheOldFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, twinBlocked);
    writeBytes(path(), file);
    if (twinBlocked)
        QVERIFY(QDir().mkpath(m_desktop->passwordFile(u"orvpw.ntd2/inside"_qs)));
    PasswordStore reader = store();
    QVERIFY(reader.load());
    QVERIFY(reader.checkPassword(u"clave"_qs));
    QCOMPARE(readBytes(path()), file);
    QCOMPARE(reader.status(), Status::Legacy);
    QCOMPARE(reader.recoverPassword(u"r"_qs), u"clave"_qs);
    QCOMPARE(readBytes(path()), file);
    QVERIFY(!reader.changePassword(u"clave"_qs, u"nueva"_qs));
    QCOMPARE(readBytes(path()), file);
    QVERIFY(reader.checkPassword(u"clave"_qs));
}

void TestPasswordStore::unusableFilesMatchNothing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Status>("status");
    const QByteArray good = newForm(u"Clave"_qs, u"¿Mascota?"_qs, u"Ñandú"_qs);
    const QList<QByteArray> lines = linesOf(good);
    QList<QByteArray> swapped = lines;
    swapped.swapItemsAt(3, 4);
    QByteArray damaged = good;
    damaged[good.indexOf("sealed-password ") + 20] = '!';

    QTest::newRow("cut in the header") << good.first(5) << Status::Cut;
    QTest::newRow("cut after three lines") << lines.mid(0, 3).join() << Status::Cut;
    QTest::newRow("cut in the last line") << good.chopped(10) << Status::Cut;
    QTest::newRow("empty") << QByteArray() << Status::Cut;
    QTest::newRow("seals swapped") << swapped.join() << Status::Reordered;
    QTest::newRow("a seal's text damaged") << damaged << Status::Damaged;
    QTest::newRow("header damaged") << QByteArray(good).replace("ORVPW 2", "ORVPX 2") << Status::Damaged;
    QTest::newRow("version 3") << QByteArray(good).replace("ORVPW 2", "ORVPW 3") << Status::UnknownVersion;
    QTest::newRow("too large") << good + QByteArray(PasswordSecrets::maxFileBytes(), 'x') << Status::Cut;
}

// Never a crash, never anyone in, and the file left for whoever can mend it.
void TestPasswordStore::unusableFilesMatchNothing()
{
    QFETCH(QByteArray, file);
    QFETCH(Status, status);
    writeBytes(path(), file);
    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.status(), status);
    QCOMPARE(reader.question(), QString());
    for (const QString &typed : {u"Clave"_qs, u"Ñandú"_qs, QString()}) {
        QVERIFY(!reader.isPassword(typed));
        QVERIFY(!reader.checkPassword(typed));
        QCOMPARE(reader.recoverPassword(typed), std::nullopt);
        QVERIFY(!reader.changePassword(typed, u"Nueva"_qs));
    }
    QVERIFY(readBytes(path()) == file);
}

// A file that reads well but whose seals were altered: the check value still knows the password,
// but no seal opens, so the recovery tells nothing and a change writes nothing.
void TestPasswordStore::sealsThatDoNotOpen()
{
    PasswordForm form = formOf(newForm(u"Clave"_qs, u"¿Mascota?"_qs, u"Ñandú"_qs));
    form.keyByAnswer.sealedKey[3] = char(form.keyByAnswer.sealedKey[3] ^ 0x01);
    form.keyByPassword.sealedKey[5] = char(form.keyByPassword.sealedKey[5] ^ 0x80);
    const QByteArray file = form.toBytes();
    writeBytes(path(), file);
    PasswordStore reader = store();
    QVERIFY(reader.load());
    QCOMPARE(reader.status(), Status::Ok);
    QVERIFY(reader.checkPassword(u"Clave"_qs));
    QCOMPARE(reader.recoverPassword(u"Ñandú"_qs), std::nullopt);
    QVERIFY(!reader.changePassword(u"Clave"_qs, u"Nueva"_qs));
    QVERIFY(readBytes(path()) == file);
}

void TestPasswordStore::unreadableFileMatchesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << u"missing"_qs;
    QTest::newRow("a folder") << u"folder"_qs;
    QTest::newRow("a FIFO") << u"fifo"_qs;
}

void TestPasswordStore::unreadableFileMatchesNothing()
{
    QFETCH(QString, kind);
    if (kind == u"folder")
        QVERIFY(QDir().mkdir(path()));
    if (kind == u"fifo")
        QVERIFY(makeFifo(path()));
    PasswordStore reader = store();
    QVERIFY(!reader.load());
    QVERIFY(!reader.loaded());
    QCOMPARE(reader.question(), QString());
    QVERIFY(!reader.checkPassword(QString()));
    QCOMPARE(reader.recoverPassword(QString()), std::nullopt);
    QVERIFY(!reader.changePassword(QString(), u"Nueva"_qs));
    QCOMPARE(QFileInfo::exists(path()), kind != u"missing");
}

void TestPasswordStore::createThatCannotBeWrittenKeepsTheOldFile()
{
    const QByteArray old = newForm(u"Vieja"_qs, u"p"_qs, u"r"_qs);
    writeBytes(path(), old);
    QVERIFY(QDir().mkpath(m_desktop->passwordFile(u"orvpw.ntd2/inside"_qs)));
    PasswordStore setter = store();
    QVERIFY(!setter.create(u"Nueva"_qs, u"p"_qs, u"r"_qs));
    QCOMPARE(readBytes(path()), old);
    // A value no file can hold makes no file.
    QVERIFY(QDir(m_desktop->passwordFile(u"orvpw.ntd2"_qs)).removeRecursively());
    QVERIFY(!setter.create(QString(PasswordSecrets::MaxValueBytes + 1, u'a'), u"p"_qs, u"r"_qs));
    QCOMPARE(readBytes(path()), old);
}

QTEST_GUILESS_MAIN(TestPasswordStore)
#include "tst_password_store.moc"
