#include "password/password_secrets.h"
#include "platform/windows1252.h"

#include <QTest>
#include <sodium.h>

using namespace Qt::StringLiterals;
using Status = PasswordSecrets::Status;

Q_DECLARE_METATYPE(PasswordSecrets::Status)

namespace {
// libsodium's least Argon2id cost: derivations in microseconds, for the tests that make many files.
// The windows never pass a cost.
const PasswordSecrets Light({crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN});

PasswordForm parsed(const QByteArray &bytes)
{
    const PasswordSecrets::Parsed result = PasswordSecrets::parse(bytes);
    if (result.status != Status::Ok || !result.form)
        qFatal("not a password file: %s", bytes.constData());
    return *result.form;
}

QList<QByteArray> linesOf(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast();
    for (QByteArray &line : lines)
        line += '\n';
    return lines;
}

// Each way the file could give a value away: its bytes in either encoding, base64 or hex of them.
QList<QByteArray> tracesOf(const QString &value)
{
    const QByteArray windows = Windows1252::encode(value);
    return {windows, value.toUtf8(), windows.toBase64(), windows.toHex(), windows.toHex().toUpper()};
}
} // namespace

class TestPasswordSecrets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void roundTripAtInteractiveCost();
    void exactTextCounts_data();
    void exactTextCounts();
    void noSecretInTheFile_data();
    void noSecretInTheFile();
    void questionKeepsEveryByte();
    void oldFormReadAndConverted_data();
    void oldFormReadAndConverted();
    void refusedFiles_data();
    void refusedFiles();
    void everyCutIsRefused();
    void everySwapIsRefused();
    void damagedSealsLetNoOneIn_data();
    void damagedSealsLetNoOneIn();
    void formsNotFromAFileAreChecked();
    void valuesAndCostsThatMakeNoFile();
    void longestValuesFit();

private:
    QByteArray m_file; // password "Clave", question "¿Mascota?", answer "Ñandú"
};

void TestPasswordSecrets::initTestCase()
{
    m_file = Light.create(u"Clave"_qs, u"¿Mascota?"_qs, u"Ñandú"_qs).value();
}

void TestPasswordSecrets::roundTripAtInteractiveCost()
{
    const PasswordSecrets secrets;
    const QByteArray bytes = secrets.create(u" Clave ñ"_qs, u"¿Mascota?"_qs, u"Ñandú "_qs).value();
    const PasswordForm form = parsed(bytes);
    QCOMPARE(form.toBytes(), bytes);
    QCOMPARE(form.keyByPassword.operations, quint64(crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE));
    QCOMPARE(form.keyByAnswer.memory, quint64(crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE));
    QVERIFY(form.verifier.startsWith("$argon2id$v=19$m=65536,t=2,p=1$"));
    QCOMPARE(PasswordSecrets::question(form), u"¿Mascota?"_qs);

    QVERIFY(PasswordSecrets::verifyPassword(form, u" Clave ñ"_qs));
    QVERIFY(!PasswordSecrets::verifyPassword(form, u" Clave Ñ"_qs));
    QCOMPARE(PasswordSecrets::recoverPassword(form, u"Ñandú "_qs), u" Clave ñ"_qs);
    QCOMPARE(PasswordSecrets::recoverPassword(form, u"Ñandú"_qs), std::nullopt);

    QCOMPARE(secrets.changePassword(form, u"Clave ñ"_qs, u"Nueva"_qs), std::nullopt);
    const PasswordForm changed = parsed(secrets.changePassword(form, u" Clave ñ"_qs, u"Nueva"_qs).value());
    QVERIFY(PasswordSecrets::verifyPassword(changed, u"Nueva"_qs));
    QVERIFY(!PasswordSecrets::verifyPassword(changed, u" Clave ñ"_qs));
    QCOMPARE(PasswordSecrets::recoverPassword(changed, u"Ñandú "_qs), u"Nueva"_qs);
    QCOMPARE(changed.question, form.question);
    QCOMPARE(changed.keyByAnswer, form.keyByAnswer);
    QVERIFY(changed.keyByPassword.salt != form.keyByPassword.salt);
    QVERIFY(changed.passwordNonce != form.passwordNonce);
}

void TestPasswordSecrets::exactTextCounts_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matches");

    QTest::newRow("same") << u"Ñandú €"_qs << u"Ñandú €"_qs << true;
    QTest::newRow("case of one letter") << u"Clave"_qs << u"clave"_qs << false;
    QTest::newRow("accent case") << u"ñandú"_qs << u"Ñandú"_qs << false;
    QTest::newRow("leading blank") << u" Clave"_qs << u"Clave"_qs << false;
    QTest::newRow("trailing blank typed") << u"Clave"_qs << u"Clave "_qs << false;
    QTest::newRow("blanks only") << u"   "_qs << u"   "_qs << true;
    // Outside the code page a character would be stored as '?': no such text matches.
    QTest::newRow("character outside Windows-1252") << u"Clave?"_qs << u"Claveł"_qs << false;
}

void TestPasswordSecrets::exactTextCounts()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, matches);
    const PasswordForm form = parsed(Light.create(stored, u"p"_qs, stored).value());
    QCOMPARE(PasswordSecrets::verifyPassword(form, typed), matches);
    QCOMPARE(PasswordSecrets::recoverPassword(form, typed).has_value(), matches);
    QCOMPARE(Light.changePassword(form, typed, u"otra"_qs).has_value(), matches);
}

void TestPasswordSecrets::noSecretInTheFile_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("answer");

    QTest::newRow("letters") << u"Secreto"_qs << u"Firulais"_qs;
    QTest::newRow("accented") << u"contraseña"_qs << u"Ñandú del Paraná"_qs;
    QTest::newRow("blanks and signs") << u" mi clave: ¡€50! "_qs << u" «Perro» "_qs;
    QTest::newRow("long") << QString(300, u'z') << QString(200, u'é');
}

void TestPasswordSecrets::noSecretInTheFile()
{
    QFETCH(QString, password);
    QFETCH(QString, answer);
    const QByteArray created = Light.create(password, u"¿Nombre del perro?"_qs, answer).value();
    const QByteArray changed = Light.changePassword(parsed(created), password, answer + u"2"_qs).value();
    for (const QByteArray &bytes : {created, changed}) {
        for (const QString &secret : {password, answer, answer + u"2"_qs}) {
            for (const QByteArray &trace : tracesOf(secret))
                QVERIFY2(!bytes.contains(trace), trace.constData());
        }
    }
    // The length of a short password does not show either.
    QCOMPARE(parsed(Light.create(u"a"_qs, u"p"_qs, u"r"_qs).value()).sealedPassword.size(),
        parsed(Light.create(QString(31, u'a'), u"p"_qs, u"r"_qs).value()).sealedPassword.size());
}

void TestPasswordSecrets::questionKeepsEveryByte()
{
    // Any byte an old file's question line held, line breaks of the new form included.
    const QString question = Windows1252::decode("a\r\nverifier x \x81\0\r"_ba);
    const QByteArray bytes = Light.create(u"c"_qs, question, u"r"_qs).value();
    QCOMPARE(linesOf(bytes).size(), 6);
    QCOMPARE(PasswordSecrets::question(parsed(bytes)), question);
}

void TestPasswordSecrets::oldFormReadAndConverted_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("answer");

    QTest::newRow("three lines") << "Clave\r\n\xBFMascota?\r\n\xD1"
                                    "and\xFA\r\n"_ba
                                 << u"Clave"_qs << u"¿Mascota?"_qs << u"Ñandú"_qs;
    QTest::newRow("blanks kept") << " c \r\n p \r\n r \r\n"_ba << u" c "_qs << u" p "_qs << u" r "_qs;
    QTest::newRow("later lines ignored") << "c\r\np\r\nr\r\nx\r\ny\r\n"_ba << u"c"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("one line") << "clave\r\n"_ba << u"clave"_qs << QString() << QString();
    QTest::newRow("no final line end") << "c\r\np\r\nr"_ba << u"c"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("LF only, lone CR") << "c\np\rq\nr\n"_ba << u"c"_qs << u"p\rq"_qs << u"r"_qs;
    QTest::newRow("empty password") << "\r\np\r\nr\r\n"_ba << QString() << u"p"_qs << u"r"_qs;
    QTest::newRow("undefined byte") << "c\x81\r\np\r\nr\r\n"_ba << u"c\u0081"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("password like a header prefix")
        << "ORV\r\np\r\nr\r\n"_ba << u"ORV"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("password starting with the form's name")
        << "ORVPW2024\r\np\r\nr\r\n"_ba << u"ORVPW2024"_qs << u"p"_qs << u"r"_qs;
    QTest::newRow("password the form's name") << "ORVPW\r\np\r\nr"_ba << u"ORVPW"_qs << u"p"_qs << u"r"_qs;
}

void TestPasswordSecrets::oldFormReadAndConverted()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, password);
    QFETCH(QString, question);
    QFETCH(QString, answer);
    QCOMPARE(PasswordSecrets::parse(bytes).status, Status::Legacy);
    const PasswordSecrets::LegacyValues values = PasswordSecrets::legacyValues(bytes);
    QCOMPARE(values.password, password);
    QCOMPARE(values.question, question);
    QCOMPARE(values.answer, answer);

    const PasswordForm form = parsed(Light.convertLegacy(values).value());
    QVERIFY(PasswordSecrets::verifyPassword(form, password));
    QVERIFY(!PasswordSecrets::verifyPassword(form, password + u' '));
    QCOMPARE(PasswordSecrets::recoverPassword(form, answer), password);
    QCOMPARE(PasswordSecrets::question(form), question);
}

void TestPasswordSecrets::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Status>("status");

    const QList<QByteArray> lines = linesOf(m_file);
    const auto with = [&](int index, const QByteArray &line) {
        QList<QByteArray> changed = lines;
        changed[index] = line + "\r\n";
        return changed.join();
    };
    // Line 4 with other fields: "key-by-password <ops> <mem> <salt> <nonce> <sealed key>".
    const QList<QByteArray> seal = lines[3].trimmed().split(' ');
    const auto sealWith = [&](int field, const QByteArray &value) {
        QList<QByteArray> fields = seal;
        fields[field] = value;
        return with(3, fields.join(' '));
    };

    QTest::newRow("version 1") << with(0, "ORVPW 1") << Status::UnknownVersion;
    QTest::newRow("version 3") << with(0, "ORVPW 3") << Status::UnknownVersion;
    QTest::newRow("version 3, LF only") << "ORVPW 3\nquestion\n"_ba << Status::UnknownVersion;
    QTest::newRow("version 02") << with(0, "ORVPW 02") << Status::Damaged;
    QTest::newRow("blank after the version") << with(0, "ORVPW 2 ") << Status::Damaged;
    QTest::newRow("header hit") << with(0, "ORVPX 2") << Status::Damaged;
    QTest::newRow("header without its blank") << with(0, "ORVPW2") << Status::Damaged;
    QTest::newRow("header lost") << lines.mid(1).join() << Status::Damaged;
    QTest::newRow("LF only") << QByteArray(m_file).replace("\r\n", "\n") << Status::Damaged;
    QTest::newRow("lone CR in a line") << with(1, "question \rwr9N") << Status::Damaged;
    QTest::newRow("seventh line") << m_file + "x\r\n" << Status::Damaged;
    QTest::newRow("bytes after the last line") << m_file + "x" << Status::Damaged;
    QTest::newRow("line twice") << with(2, lines[1].trimmed()) << Status::Damaged;
    QTest::newRow("unknown line") << with(2, "verificador x") << Status::Damaged;
    QTest::newRow("two blanks") << sealWith(1, " " + seal[1]) << Status::Damaged;
    QTest::newRow("field missing") << with(5, lines[5].trimmed().split(' ').mid(0, 2).join(' '))
                                   << Status::Damaged;
    QTest::newRow("NUL in the question") << with(1, "question wr9N\0"_ba) << Status::Damaged;
    QTest::newRow("base64 without padding") << with(1, "question QQ") << Status::Damaged;
    QTest::newRow("base64 stray bits") << with(1, "question QR==") << Status::Damaged;
    QTest::newRow("base64 odd byte") << with(1, "question QQ*=") << Status::Damaged;
    QTest::newRow("base64 with a byte above 0x7F") << with(1, "question Q\xC1JD") << Status::Damaged;
    QTest::newRow("question too long")
        << with(1, "question " + QByteArray(32768, 'a').toBase64()) << Status::Damaged;
    QTest::newRow("salt short") << sealWith(3, QByteArray(15, 'a').toBase64()) << Status::Damaged;
    QTest::newRow("operations 0") << sealWith(1, "0") << Status::Damaged;
    QTest::newRow("operations above interactive") << sealWith(1, "3") << Status::Damaged;
    QTest::newRow("memory 4 GiB") << sealWith(2, "4294967296") << Status::Damaged;
    QTest::newRow("memory not in KiB") << sealWith(2, "8193") << Status::Damaged;
    QTest::newRow("memory with leading zero") << sealWith(2, "08192") << Status::Damaged;
    QTest::newRow("verifier of other cost") << sealWith(2, "9216") << Status::Damaged;
    QTest::newRow("verifier argon2i")
        << with(2, QByteArray(lines[2].trimmed()).replace("argon2id", "argon2i")) << Status::Damaged;
    QTest::newRow("verifier 2 GiB") << with(2, QByteArray(lines[2].trimmed()).replace("m=8", "m=2097152"))
                                    << Status::Damaged;
    QTest::newRow("sealed password not padded")
        << with(5, lines[5].trimmed().chopped(4) + "AAA=") << Status::Damaged;
    QTest::newRow("too large") << m_file + QByteArray(PasswordSecrets::maxFileBytes(), 'x')
                               << Status::TooLarge;
    QTest::newRow("large, LF only") << QByteArray(PasswordSecrets::maxFileBytes() + 1, '\n')
                                    << Status::Legacy;
}

void TestPasswordSecrets::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Status, status);
    const PasswordSecrets::Parsed result = PasswordSecrets::parse(bytes);
    QCOMPARE(result.status, status);
    QVERIFY(!result.form);
}

void TestPasswordSecrets::everyCutIsRefused()
{
    QCOMPARE(PasswordSecrets::parse(m_file).status, Status::Ok);
    for (qsizetype size = 0; size < m_file.size(); ++size) {
        const PasswordSecrets::Parsed result = PasswordSecrets::parse(m_file.first(size));
        QVERIFY2(result.status == Status::Cut && !result.form, QByteArray::number(size).constData());
    }
}

void TestPasswordSecrets::everySwapIsRefused()
{
    const QList<QByteArray> lines = linesOf(m_file);
    for (int i = 1; i < lines.size(); ++i) {
        for (int j = i + 1; j < lines.size(); ++j) {
            QList<QByteArray> swapped = lines;
            swapped.swapItemsAt(i, j);
            QCOMPARE(PasswordSecrets::parse(swapped.join()).status, Status::Reordered);
            QCOMPARE(PasswordSecrets::parse(swapped.mid(0, j).join()).status, Status::Reordered);
        }
    }
}

void TestPasswordSecrets::damagedSealsLetNoOneIn_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("passwordOpens");
    QTest::addColumn<bool>("answerOpens");

    // Fields whose every byte is as the file allows, but not what was written.
    const PasswordForm form = parsed(m_file);
    const auto damaged = [&](auto change) {
        PasswordForm copy = form;
        change(copy);
        return copy.toBytes();
    };
    const auto flip = [](QByteArray &field) { field[field.size() / 2] = char(field[field.size() / 2] ^ 1); };
    QTest::newRow("none") << m_file << true << true;
    QTest::newRow("verifier hash") << damaged([&](PasswordForm &f) {
        char &c = f.verifier[f.verifier.size() - 2];
        c = c == 'A' ? 'B' : 'A';
    }) << false << true;
    QTest::newRow("key by password") << damaged([&](PasswordForm &f) { flip(f.keyByPassword.sealedKey); })
                                     << true << true;
    QTest::newRow("answer's salt") << damaged([&](PasswordForm &f) { flip(f.keyByAnswer.salt); }) << true
                                   << false;
    QTest::newRow("key by answer") << damaged([&](PasswordForm &f) { flip(f.keyByAnswer.sealedKey); }) << true
                                   << false;
    QTest::newRow("sealed password") << damaged([&](PasswordForm &f) { flip(f.sealedPassword); }) << true
                                     << false;
    QTest::newRow("password nonce") << damaged([&](PasswordForm &f) { flip(f.passwordNonce); }) << true
                                    << false;
    QTest::newRow("seals swapped") << damaged([&](PasswordForm &f) {
        std::swap(f.keyByPassword.sealedKey, f.keyByAnswer.sealedKey);
        std::swap(f.keyByPassword.salt, f.keyByAnswer.salt);
        std::swap(f.keyByPassword.nonce, f.keyByAnswer.nonce);
    }) << true << false;
}

void TestPasswordSecrets::damagedSealsLetNoOneIn()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, passwordOpens);
    QFETCH(bool, answerOpens);
    const PasswordForm form = parsed(bytes);
    // The verifier alone decides the login; the change also needs the key it opens.
    QCOMPARE(PasswordSecrets::verifyPassword(form, u"Clave"_qs), passwordOpens);
    const bool keyOpens = form.keyByPassword == parsed(m_file).keyByPassword;
    QCOMPARE(Light.changePassword(form, u"Clave"_qs, u"Otra"_qs).has_value(), keyOpens);
    QCOMPARE(PasswordSecrets::recoverPassword(form, u"Ñandú"_qs),
        answerOpens ? std::optional(u"Clave"_qs) : std::nullopt);
    QVERIFY(!PasswordSecrets::verifyPassword(form, u"Ñandú"_qs));
    QCOMPARE(PasswordSecrets::recoverPassword(form, u"Clave"_qs), std::nullopt);
}

void TestPasswordSecrets::formsNotFromAFileAreChecked()
{
    // Fields of sizes libsodium does not expect are never handed to it.
    const PasswordForm good = parsed(m_file);
    QList<PasswordForm> forms(5, good);
    forms[0] = PasswordForm();
    forms[1].passwordNonce.chop(1);
    forms[2].keyByAnswer.salt.chop(1);
    forms[3].keyByPassword.nonce.chop(1);
    forms[4].keyByAnswer.memory = quint64(crypto_pwhash_argon2id_MEMLIMIT_MODERATE);
    for (const PasswordForm &form : std::as_const(forms)) {
        QVERIFY(!PasswordSecrets::verifyPassword(form, u"Clave"_qs));
        QCOMPARE(PasswordSecrets::recoverPassword(form, u"Ñandú"_qs), std::nullopt);
        QCOMPARE(Light.changePassword(form, u"Clave"_qs, u"Otra"_qs), std::nullopt);
    }
}

void TestPasswordSecrets::valuesAndCostsThatMakeNoFile()
{
    const QString tooLong(PasswordSecrets::MaxValueBytes + 1, u'a');
    QCOMPARE(Light.create(tooLong, u"p"_qs, u"r"_qs), std::nullopt);
    QCOMPARE(Light.create(u"c"_qs, tooLong, u"r"_qs), std::nullopt);
    QCOMPARE(Light.create(u"c"_qs, u"p"_qs, tooLong), std::nullopt);
    QCOMPARE(Light.create(u"cł"_qs, u"p"_qs, u"r"_qs), std::nullopt);
    QCOMPARE(Light.create(u"c"_qs, u"¿ł?"_qs, u"r"_qs), std::nullopt);
    QCOMPARE(Light.changePassword(parsed(m_file), u"Clave"_qs, tooLong), std::nullopt);

    const PasswordSecrets heavy(
        {crypto_pwhash_argon2id_OPSLIMIT_MODERATE, crypto_pwhash_argon2id_MEMLIMIT_MIN});
    const PasswordSecrets large(
        {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MODERATE});
    const PasswordSecrets tiny(
        {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN - 1024});
    for (const PasswordSecrets *secrets : {&heavy, &large, &tiny}) {
        QCOMPARE(secrets->create(u"c"_qs, u"p"_qs, u"r"_qs), std::nullopt);
        QCOMPARE(secrets->changePassword(parsed(m_file), u"Clave"_qs, u"Otra"_qs), std::nullopt);
    }
}

void TestPasswordSecrets::longestValuesFit()
{
    const QString longest(PasswordSecrets::MaxValueBytes, u'ÿ');
    const QByteArray bytes = Light.create(longest, longest, longest).value();
    QVERIFY(bytes.size() <= PasswordSecrets::maxFileBytes());
    const PasswordForm form = parsed(bytes);
    QCOMPARE(PasswordSecrets::question(form), longest);
    QCOMPARE(PasswordSecrets::recoverPassword(form, longest), longest);
}

QTEST_GUILESS_MAIN(TestPasswordSecrets)
#include "tst_password_secrets.moc"
