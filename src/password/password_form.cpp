#include "password/password_secrets.h"

#include "password/password_form_rules.h"
#include "platform/windows1252.h"

#include <algorithm>
#include <array>
#include <vector>

using namespace PasswordFormRules;

namespace {

constexpr int Base64 = sodium_base64_VARIANT_ORIGINAL;

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

bool keySealWellFormed(const PasswordForm::KeySeal &keySeal)
{
    return costAccepted(keySeal.operations, keySeal.memory) && size_t(keySeal.salt.size()) == SaltBytes
        && size_t(keySeal.nonce.size()) == NonceBytes
        && size_t(keySeal.sealedKey.size()) == KeyBytes + TagBytes;
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

bool PasswordFormRules::wellFormed(const PasswordForm &form)
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

qsizetype PasswordSecrets::maxFileBytes()
{
    // The question and the sealed password, at their longest, and room for the short lines.
    return base64Length(MaxValueBytes) + base64Length(MaxSealedPassword) + 1024;
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
