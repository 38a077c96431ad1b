#include "password/password_secrets.h"

#include "password/password_form_rules.h"
#include "platform/windows1252.h"

#include <sodium.h>

#include <cstring>
#include <vector>

using namespace PasswordFormRules;

namespace {

// Each seal carries the name of its line as associated data: a seal moved to another line does
// not open there.
const QByteArrayView KeyByPasswordData("ORVPW 2 key-by-password");
const QByteArrayView KeyByAnswerData("ORVPW 2 key-by-answer");
const QByteArrayView SealedPasswordData("ORVPW 2 sealed-password");

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Whether new seals and verifiers can be made at this cost.
bool canSeal(PasswordSecrets::Cost cost)
{
    return sodiumReady() && costAccepted(cost.operations, cost.memory);
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

// The bytes of two values, or nothing when either cannot be held.
std::optional<std::pair<Secret, Secret>> secretsOf(const QString &first, const QString &second)
{
    std::optional<Secret> firstBytes = secretOf(first);
    std::optional<Secret> secondBytes = secretOf(second);
    if (!firstBytes || !secondBytes)
        return std::nullopt;
    return std::pair(std::move(*firstBytes), std::move(*secondBytes));
}

QByteArray randomBytes(size_t size)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    randombytes_buf(bytes.data(), size);
    return bytes;
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

// The password's part of a form: its verifier and the random key sealed under it.
bool sealUnderPassword(
    PasswordForm &form, const Secret &randomKey, const Secret &password, PasswordSecrets::Cost cost)
{
    std::optional<QByteArray> verifier = makeVerifier(password, cost);
    std::optional<PasswordForm::KeySeal> byPassword = sealKey(randomKey, password, cost, KeyByPasswordData);
    if (!verifier || !byPassword)
        return false;
    form.verifier = *verifier;
    form.keyByPassword = *byPassword;
    return true;
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

} // namespace

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

std::optional<QByteArray> PasswordSecrets::create(
    const QString &password, const QString &question, const QString &answer) const
{
    const auto secrets = canSeal(m_cost) && storable(question) ? secretsOf(password, answer) : std::nullopt;
    if (!secrets)
        return std::nullopt;
    const auto &[passwordBytes, answerBytes] = *secrets;

    Secret randomKey(KeyBytes);
    randombytes_buf(randomKey.data(), randomKey.size());

    PasswordForm form;
    form.question = Windows1252::encode(question);
    if (!sealUnderPassword(form, randomKey, passwordBytes, m_cost))
        return std::nullopt;
    std::optional<PasswordForm::KeySeal> byAnswer = sealKey(randomKey, answerBytes, m_cost, KeyByAnswerData);
    if (!byAnswer)
        return std::nullopt;
    form.keyByAnswer = *byAnswer;
    sealPassword(form, randomKey, passwordBytes);
    return form.toBytes();
}

std::optional<QByteArray> PasswordSecrets::convertLegacy(const LegacyValues &values) const
{
    return create(values.password, values.question, values.answer);
}

std::optional<QByteArray> PasswordSecrets::changePassword(
    const PasswordForm &form, const QString &oldPassword, const QString &newPassword) const
{
    const auto secrets
        = canSeal(m_cost) && wellFormed(form) ? secretsOf(oldPassword, newPassword) : std::nullopt;
    if (!secrets)
        return std::nullopt;
    const auto &[oldBytes, newBytes] = *secrets;
    // Opening the random key proves the old password: the seal opens under its key alone.
    const std::optional<Secret> randomKey = openKey(oldBytes, form.keyByPassword, KeyByPasswordData);
    if (!randomKey)
        return std::nullopt;

    PasswordForm changed = form;
    if (!sealUnderPassword(changed, *randomKey, newBytes, m_cost))
        return std::nullopt;
    sealPassword(changed, *randomKey, newBytes);
    return changed.toBytes();
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
