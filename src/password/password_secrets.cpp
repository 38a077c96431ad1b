#include "password/password_secrets.h"

#include "platform/text_file.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr size_t KeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
constexpr size_t NonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t TagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr size_t SaltBytes = crypto_pwhash_SALTBYTES;
constexpr size_t VerifierBytes = crypto_pwhash_STRBYTES; // the NUL included
constexpr int Base64 = sodium_base64_VARIANT_ORIGINAL;

// The password is padded to a multiple of this before it is sealed: a short password's length
// does not show in the file.
constexpr qsizetype PadBlock = 32;
constexpr qsizetype paddedLength(qsizetype length)
{
    return (length / PadBlock + 1) * PadBlock;
}
constexpr qsizetype MaxSealedPassword = paddedLength(PasswordSecrets::MaxValueBytes) + TagBytes;

constexpr qsizetype base64Length(qsizetype bytes)
{
    return (bytes + 2) / 3 * 4;
}

// The name of the form and the blank before its version: what every file of the new form starts
// with, and no old file but one whose password starts so.
const QByteArrayView NamePrefix("ORVPW ");
const QByteArrayView Header("ORVPW 2");
const char HeaderLine[] = "ORVPW 2\r\n";
const QByteArrayView VerifierPrefix("$argon2id$");

enum Line { QuestionLine, VerifierLine, KeyByPasswordLine, KeyByAnswerLine, SealedPasswordLine, LineCount };
const std::array<QByteArrayView, LineCount> Tags
    = {"question", "verifier", "key-by-password", "key-by-answer", "sealed-password"};

// Each seal carries the name of its line as associated data: a seal moved to another line does
// not open there.
const QByteArrayView KeyByPasswordData("ORVPW 2 key-by-password");
const QByteArrayView KeyByAnswerData("ORVPW 2 key-by-answer");
const QByteArrayView SealedPasswordData("ORVPW 2 sealed-password");

const unsigned char NoBytes[1] = {0};

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

const unsigned char *bytesOf(QByteArrayView view)
{
    return view.isEmpty() ? NoBytes : reinterpret_cast<const unsigned char *>(view.data());
}

// A secret in memory: never copied, wiped when it goes.
class Secret
{
public:
    explicit Secret(size_t size)
        : m_bytes(size)
    { }
    Secret(Secret &&) = default;
    Secret(const Secret &) = delete;
    Secret &operator=(const Secret &) = delete;
    ~Secret() { sodium_memzero(m_bytes.data(), m_bytes.size()); }

    unsigned char *data() { return m_bytes.empty() ? nullptr : m_bytes.data(); }
    const unsigned char *data() const { return m_bytes.empty() ? NoBytes : m_bytes.data(); }
    const char *chars() const { return reinterpret_cast<const char *>(data()); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<unsigned char> m_bytes;
};

bool storable(const QString &text)
{
    if (text.size() > PasswordSecrets::MaxValueBytes)
        return false;
    for (const QChar c : text) {
        if (!Windows1252::canEncode(c))
            return false;
    }
    return true;
}

// The Windows-1252 bytes of a value; nothing for a text no file can hold.
std::optional<Secret> secretOf(const QString &text)
{
    if (!storable(text))
        return std::nullopt;
    QByteArray bytes = Windows1252::encode(text);
    Secret secret(size_t(bytes.size()));
    if (!bytes.isEmpty()) {
        std::memcpy(secret.data(), bytes.constData(), size_t(bytes.size()));
        sodium_memzero(bytes.data(), size_t(bytes.size()));
    }
    return secret;
}

QByteArray randomBytes(size_t size)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    randombytes_buf(bytes.data(), size);
    return bytes;
}

bool costAccepted(quint64 operations, quint64 memory)
{
    return operations >= crypto_pwhash_argon2id_OPSLIMIT_MIN
        && operations <= crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE
        && memory >= crypto_pwhash_argon2id_MEMLIMIT_MIN
        && memory <= crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE && memory % 1024 == 0;
}

std::optional<Secret> deriveKey(const Secret &secret, const PasswordForm::KeySeal &seal)
{
    Secret key(KeyBytes);
    if (crypto_pwhash(key.data(), key.size(), secret.chars(), secret.size(), bytesOf(seal.salt),
            seal.operations, size_t(seal.memory), crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return std::nullopt;
    return key;
}

QByteArray seal(const Secret &key, const unsigned char *message, size_t length, QByteArrayView data,
    const QByteArray &nonce)
{
    QByteArray sealed(qsizetype(length + TagBytes), Qt::Uninitialized);
    unsigned long long sealedLength = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char *>(sealed.data()),
        &sealedLength, message, length, bytesOf(data), size_t(data.size()), nullptr, bytesOf(nonce),
        key.data());
    return sealed;
}

std::optional<Secret> open(
    const Secret &key, const QByteArray &sealed, QByteArrayView data, const QByteArray &nonce)
{
    if (size_t(sealed.size()) < TagBytes || size_t(nonce.size()) != NonceBytes || key.size() != KeyBytes)
        return std::nullopt;
    Secret message(size_t(sealed.size()) - TagBytes);
    unsigned long long length = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(message.size() ? message.data() : nullptr, &length,
            nullptr, bytesOf(sealed), size_t(sealed.size()), bytesOf(data), size_t(data.size()),
            bytesOf(nonce), key.data())
            != 0
        || length != message.size())
        return std::nullopt;
    return message;
}

// The random key sealed under a key derived from secret, with a fresh salt and nonce.
std::optional<PasswordForm::KeySeal> sealKey(
    const Secret &randomKey, const Secret &secret, PasswordSecrets::Cost cost, QByteArrayView data)
{
    PasswordForm::KeySeal keySeal;
    keySeal.operations = cost.operations;
    keySeal.memory = cost.memory;
    keySeal.salt = randomBytes(SaltBytes);
    const std::optional<Secret> derived = deriveKey(secret, keySeal);
    if (!derived)
        return std::nullopt;
    keySeal.nonce = randomBytes(NonceBytes);
    keySeal.sealedKey = seal(*derived, randomKey.data(), randomKey.size(), data, keySeal.nonce);
    return keySeal;
}

std::optional<Secret> openKey(const Secret &secret, const PasswordForm::KeySeal &keySeal, QByteArrayView data)
{
    const std::optional<Secret> derived = deriveKey(secret, keySeal);
    if (!derived)
        return std::nullopt;
    std::optional<Secret> key = open(*derived, keySeal.sealedKey, data, keySeal.nonce);
    if (!key || key->size() != KeyBytes)
        return std::nullopt;
    return key;
}

std::optional<QByteArray> makeVerifier(const Secret &password, PasswordSecrets::Cost cost)
{
    char text[VerifierBytes];
    if (crypto_pwhash_str(text, password.chars(), password.size(), cost.operations, size_t(cost.memory)) != 0)
        return std::nullopt;
    QByteArray verifier(text);
    sodium_memzero(text, sizeof text);
    return verifier;
}

void sealPassword(PasswordForm &form, const Secret &randomKey, const Secret &password)
{
    Secret padded(size_t(paddedLength(qsizetype(password.size()))));
    std::memcpy(padded.data(), password.data(), password.size());
    size_t paddedSize = 0;
    sodium_pad(&paddedSize, padded.data(), password.size(), PadBlock, padded.size());
    form.passwordNonce = randomBytes(NonceBytes);
    form.sealedPassword = seal(randomKey, padded.data(), paddedSize, SealedPasswordData, form.passwordNonce);
}

std::optional<QString> openPassword(const PasswordForm &form, const Secret &randomKey)
{
    const std::optional<Secret> padded
        = open(randomKey, form.sealedPassword, SealedPasswordData, form.passwordNonce);
    size_t length = 0;
    if (!padded || padded->size() == 0
        || sodium_unpad(&length, padded->data(), padded->size(), PadBlock) != 0)
        return std::nullopt;
    return Windows1252::decode(QByteArrayView(padded->chars(), qsizetype(length)));
}

bool keySealWellFormed(const PasswordForm::KeySeal &keySeal)
{
    return costAccepted(keySeal.operations, keySeal.memory) && size_t(keySeal.salt.size()) == SaltBytes
        && size_t(keySeal.nonce.size()) == NonceBytes
        && size_t(keySeal.sealedKey.size()) == KeyBytes + TagBytes;
}

// What parse() accepts and every derivation relies on: sizes libsodium expects, costs within the
// interactive limits, a verifier of the same cost as the password's key seal.
bool wellFormed(const PasswordForm &form)
{
    if (form.question.size() > PasswordSecrets::MaxValueBytes || !keySealWellFormed(form.keyByPassword)
        || !keySealWellFormed(form.keyByAnswer) || size_t(form.passwordNonce.size()) != NonceBytes)
        return false;
    const qsizetype sealed = form.sealedPassword.size() - qsizetype(TagBytes);
    if (sealed < PadBlock || sealed % PadBlock != 0 || form.sealedPassword.size() > MaxSealedPassword)
        return false;
    if (size_t(form.verifier.size()) >= VerifierBytes || !form.verifier.startsWith(VerifierPrefix))
        return false;
    for (const char c : form.verifier) {
        if (c < '!' || c > '~')
            return false;
    }
    return crypto_pwhash_argon2id_str_needs_rehash(
               form.verifier.constData(), form.keyByPassword.operations, size_t(form.keyByPassword.memory))
        == 0;
}

QByteArray base64(QByteArrayView bytes)
{
    QByteArray text(qsizetype(sodium_base64_ENCODED_LEN(size_t(bytes.size()), Base64)), Qt::Uninitialized);
    sodium_bin2base64(text.data(), size_t(text.size()), bytesOf(bytes), size_t(bytes.size()), Base64);
    text.chop(1); // the NUL
    return text;
}

// Strict: padding required, no other byte, no stray bits: each value has one text.
std::optional<QByteArray> fromBase64(QByteArrayView text, qsizetype maxBytes)
{
    if (text.size() > base64Length(maxBytes))
        return std::nullopt;
    QByteArray bytes(text.size() / 4 * 3 + 3, Qt::Uninitialized);
    size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char *>(bytes.data()), size_t(bytes.size()),
            text.isEmpty() ? "" : text.data(), size_t(text.size()), nullptr, &length, nullptr, Base64)
            != 0
        || qsizetype(length) > maxBytes)
        return std::nullopt;
    bytes.truncate(qsizetype(length));
    // libsodium 1.0.18 reads some bytes above 0x7F as base64 digits: the text must be the one
    // the bytes give.
    if (base64(bytes) != text)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> fromBase64Exact(QByteArrayView text, size_t exactBytes)
{
    std::optional<QByteArray> bytes = fromBase64(text, qsizetype(exactBytes));
    if (!bytes || size_t(bytes->size()) != exactBytes)
        return std::nullopt;
    return bytes;
}

// Digits only, without a leading zero.
std::optional<quint64> decimal(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.front() == '0'))
        return std::nullopt;
    quint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + quint64(c - '0');
    }
    return value;
}

// The fields after a line's name, each after one blank; nothing unless there are exactly count.
std::optional<std::vector<QByteArrayView>> fieldsOf(QByteArrayView line, size_t count)
{
    std::vector<QByteArrayView> fields;
    qsizetype start = line.indexOf(' ');
    if (start < 0)
        return std::nullopt;
    while (start >= 0) {
        const qsizetype end = line.indexOf(' ', start + 1);
        fields.push_back(end < 0 ? line.sliced(start + 1) : line.sliced(start + 1, end - start - 1));
        if (fields.size() > count)
            return std::nullopt;
        start = end;
    }
    if (fields.size() != count)
        return std::nullopt;
    return fields;
}

std::optional<PasswordForm::KeySeal> keySealOf(QByteArrayView line)
{
    const auto fields = fieldsOf(line, 5);
    if (!fields)
        return std::nullopt;
    const std::optional<quint64> operations = decimal((*fields)[0]);
    const std::optional<quint64> memory = decimal((*fields)[1]);
    std::optional<QByteArray> salt = fromBase64Exact((*fields)[2], SaltBytes);
    std::optional<QByteArray> nonce = fromBase64Exact((*fields)[3], NonceBytes);
    std::optional<QByteArray> sealedKey = fromBase64Exact((*fields)[4], KeyBytes + TagBytes);
    if (!operations || !memory || !salt || !nonce || !sealedKey)
        return std::nullopt;
    return PasswordForm::KeySeal {*operations, *memory, *salt, *nonce, *sealedKey};
}

QByteArray keySealLine(QByteArrayView tag, const PasswordForm::KeySeal &keySeal)
{
    return tag.toByteArray() + ' ' + QByteArray::number(keySeal.operations) + ' '
        + QByteArray::number(keySeal.memory) + ' ' + base64(keySeal.salt) + ' ' + base64(keySeal.nonce) + ' '
        + base64(keySeal.sealedKey) + "\r\n";
}

// A header line hit by damage must not turn the rest into an old file with a password anyone
// could read off the damaged first line.
bool holdsNewFormLines(QByteArrayView bytes)
{
    for (const QByteArrayView line :
        {QByteArrayView("\nverifier $argon2"), QByteArrayView("\nkey-by-password "),
            QByteArrayView("\nkey-by-answer "), QByteArrayView("\nsealed-password ")}) {
        if (bytes.indexOf(line) >= 0)
            return true;
    }
    return false;
}

} // namespace

QByteArray PasswordForm::toBytes() const
{
    QByteArray bytes;
    bytes.reserve(256 + base64Length(question.size()) + base64Length(sealedPassword.size()));
    bytes += Header.toByteArray() + "\r\n";
    bytes += Tags[QuestionLine].toByteArray() + ' ' + base64(question) + "\r\n";
    bytes += Tags[VerifierLine].toByteArray() + ' ' + verifier + "\r\n";
    bytes += keySealLine(Tags[KeyByPasswordLine], keyByPassword);
    bytes += keySealLine(Tags[KeyByAnswerLine], keyByAnswer);
    bytes += Tags[SealedPasswordLine].toByteArray() + ' ' + base64(passwordNonce) + ' '
        + base64(sealedPassword) + "\r\n";
    return bytes;
}

PasswordSecrets::PasswordSecrets()
    : m_cost(interactiveCost())
{ }

PasswordSecrets::PasswordSecrets(Cost cost)
    : m_cost(cost)
{ }

PasswordSecrets::Cost PasswordSecrets::interactiveCost()
{
    return {crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE, crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE};
}

qsizetype PasswordSecrets::maxFileBytes()
{
    // The question and the sealed password, at their longest, and room for the short lines.
    return base64Length(MaxValueBytes) + base64Length(MaxSealedPassword) + 1024;
}

std::optional<QByteArray> PasswordSecrets::create(
    const QString &password, const QString &question, const QString &answer) const
{
    if (!sodiumReady() || !costAccepted(m_cost.operations, m_cost.memory) || !storable(question))
        return std::nullopt;
    const std::optional<Secret> passwordBytes = secretOf(password);
    const std::optional<Secret> answerBytes = secretOf(answer);
    if (!passwordBytes || !answerBytes)
        return std::nullopt;

    Secret randomKey(KeyBytes);
    randombytes_buf(randomKey.data(), randomKey.size());

    PasswordForm form;
    form.question = Windows1252::encode(question);
    std::optional<QByteArray> verifier = makeVerifier(*passwordBytes, m_cost);
    std::optional<PasswordForm::KeySeal> byPassword
        = sealKey(randomKey, *passwordBytes, m_cost, KeyByPasswordData);
    std::optional<PasswordForm::KeySeal> byAnswer = sealKey(randomKey, *answerBytes, m_cost, KeyByAnswerData);
    if (!verifier || !byPassword || !byAnswer)
        return std::nullopt;
    form.verifier = *verifier;
    form.keyByPassword = *byPassword;
    form.keyByAnswer = *byAnswer;
    sealPassword(form, randomKey, *passwordBytes);
    return form.toBytes();
}

std::optional<QByteArray> PasswordSecrets::convertLegacy(const LegacyValues &values) const
{
    return create(values.password, values.question, values.answer);
}

std::optional<QByteArray> PasswordSecrets::changePassword(
    const PasswordForm &form, const QString &oldPassword, const QString &newPassword) const
{
    if (!sodiumReady() || !costAccepted(m_cost.operations, m_cost.memory) || !wellFormed(form))
        return std::nullopt;
    const std::optional<Secret> oldBytes = secretOf(oldPassword);
    const std::optional<Secret> newBytes = secretOf(newPassword);
    if (!oldBytes || !newBytes)
        return std::nullopt;
    // Opening the random key proves the old password: the seal opens under its key alone.
    const std::optional<Secret> randomKey = openKey(*oldBytes, form.keyByPassword, KeyByPasswordData);
    if (!randomKey)
        return std::nullopt;

    PasswordForm changed = form;
    std::optional<QByteArray> verifier = makeVerifier(*newBytes, m_cost);
    std::optional<PasswordForm::KeySeal> byPassword
        = sealKey(*randomKey, *newBytes, m_cost, KeyByPasswordData);
    if (!verifier || !byPassword)
        return std::nullopt;
    changed.verifier = *verifier;
    changed.keyByPassword = *byPassword;
    sealPassword(changed, *randomKey, *newBytes);
    return changed.toBytes();
}

PasswordSecrets::Parsed PasswordSecrets::parse(QByteArrayView bytes)
{
    // A file cut within its first line. An old file is never taken for one: its lines end with
    // CR LF, even a password "ORV".
    if (!bytes.contains('\n') && QByteArrayView(HeaderLine).startsWith(bytes))
        return {Status::Cut, {}};
    // An old password may start with the name ("ORVPW2024"): only the name and its blank make a
    // file of the new form.
    if (!bytes.startsWith(NamePrefix)) {
        if (bytes.size() <= maxFileBytes() && holdsNewFormLines(bytes))
            return {Status::Damaged, {}};
        return {Status::Legacy, {}};
    }
    if (bytes.size() > maxFileBytes())
        return {Status::TooLarge, {}};

    // The first line names the version; any other version is refused before the rest is read.
    const qsizetype headerEnd = bytes.indexOf('\n');
    QByteArrayView header = headerEnd < 0 ? bytes : bytes.first(headerEnd);
    const bool headerHasCr = header.endsWith('\r');
    if (headerHasCr)
        header.chop(1);
    const std::optional<quint64> version = decimal(header.sliced(NamePrefix.size()));
    if (!version)
        return {Status::Damaged, {}};
    if (*version != 2)
        return {Status::UnknownVersion, {}};
    if (headerEnd < 0)
        return {Status::Cut, {}};
    if (!headerHasCr)
        return {Status::Damaged, {}};

    std::vector<QByteArrayView> lines;
    bool cut = false;
    for (qsizetype position = headerEnd + 1; position < bytes.size();) {
        const qsizetype end = bytes.indexOf('\n', position);
        if (end < 0) {
            cut = true;
            break;
        }
        QByteArrayView line = bytes.sliced(position, end - position);
        if (!line.endsWith('\r'))
            return {Status::Damaged, {}};
        line.chop(1);
        if (line.contains('\r') || lines.size() == LineCount)
            return {Status::Damaged, {}};
        lines.push_back(line);
        position = end + 1;
    }
    if (cut && lines.size() == LineCount)
        return {Status::Damaged, {}};

    std::array<bool, LineCount> seen = {};
    bool inOrder = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const qsizetype blank = lines[i].indexOf(' ');
        const QByteArrayView tag = blank < 0 ? lines[i] : lines[i].first(blank);
        const auto found = std::find(Tags.begin(), Tags.end(), tag);
        if (found == Tags.end() || seen[size_t(found - Tags.begin())])
            return {Status::Damaged, {}};
        seen[size_t(found - Tags.begin())] = true;
        inOrder = inOrder && size_t(found - Tags.begin()) == i;
    }
    if (!inOrder)
        return {Status::Reordered, {}};
    if (cut || lines.size() < LineCount)
        return {Status::Cut, {}};

    PasswordForm form;
    const auto question = fieldsOf(lines[QuestionLine], 1);
    const auto verifier = fieldsOf(lines[VerifierLine], 1);
    const auto byPassword = keySealOf(lines[KeyByPasswordLine]);
    const auto byAnswer = keySealOf(lines[KeyByAnswerLine]);
    const auto sealed = fieldsOf(lines[SealedPasswordLine], 2);
    if (!question || !verifier || !byPassword || !byAnswer || !sealed)
        return {Status::Damaged, {}};
    std::optional<QByteArray> questionBytes = fromBase64((*question)[0], MaxValueBytes);
    std::optional<QByteArray> nonce = fromBase64Exact((*sealed)[0], NonceBytes);
    std::optional<QByteArray> sealedPassword = fromBase64((*sealed)[1], MaxSealedPassword);
    if (!questionBytes || !nonce || !sealedPassword)
        return {Status::Damaged, {}};
    form.question = *questionBytes;
    form.verifier = (*verifier)[0].toByteArray();
    form.keyByPassword = *byPassword;
    form.keyByAnswer = *byAnswer;
    form.passwordNonce = *nonce;
    form.sealedPassword = *sealedPassword;
    if (!wellFormed(form))
        return {Status::Damaged, {}};
    return {Status::Ok, std::move(form)};
}

PasswordSecrets::LegacyValues PasswordSecrets::legacyValues(QByteArrayView bytes)
{
    // As the old reader: a line ends at LF, a CR right before it is not part of the line, and a
    // last line without LF is a line too.
    std::array<QString, 3> values;
    qsizetype position = 0;
    for (QString &value : values) {
        if (position >= bytes.size())
            break;
        const qsizetype end = bytes.indexOf('\n', position);
        QByteArrayView line = end < 0 ? bytes.sliced(position) : bytes.sliced(position, end - position);
        if (end >= 0 && line.endsWith('\r'))
            line.chop(1);
        value = Windows1252::decode(line);
        position = end < 0 ? bytes.size() : end + 1;
    }
    return {values[0], values[1], values[2]};
}

QString PasswordSecrets::question(const PasswordForm &form)
{
    return Windows1252::decode(form.question);
}

bool PasswordSecrets::verifyPassword(const PasswordForm &form, const QString &typed)
{
    if (!sodiumReady() || !wellFormed(form))
        return false;
    const std::optional<Secret> typedBytes = secretOf(typed);
    return typedBytes
        && crypto_pwhash_str_verify(form.verifier.constData(), typedBytes->chars(), typedBytes->size()) == 0;
}

std::optional<QString> PasswordSecrets::recoverPassword(const PasswordForm &form, const QString &typedAnswer)
{
    if (!sodiumReady() || !wellFormed(form))
        return std::nullopt;
    const std::optional<Secret> answer = secretOf(typedAnswer);
    if (!answer)
        return std::nullopt;
    const std::optional<Secret> randomKey = openKey(*answer, form.keyByAnswer, KeyByAnswerData);
    if (!randomKey)
        return std::nullopt;
    return openPassword(form, *randomKey);
}
