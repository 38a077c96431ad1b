#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The password file's contents, keeping no secret in clear. Six lines of ASCII, each ended by
// CR LF:
//
//   ORVPW 2
//   question <base64 of the question's Windows-1252 bytes>
//   verifier <Argon2id string of the password, crypto_pwhash_str>
//   key-by-password <ops> <mem> <salt> <nonce> <random key sealed under the password's key>
//   key-by-answer <ops> <mem> <salt> <nonce> <random key sealed under the answer's key>
//   sealed-password <nonce> <password, padded to 32 bytes, sealed under the random key>
//
// Binary fields are standard base64 with padding. <ops> and <mem> are the Argon2id operations and
// memory (bytes) the key beside them was derived with. Seals are XChaCha20-Poly1305, each with the
// name of its line as associated data. The question is the only value in clear: it is shown before
// anything is known. It is base64 so that any byte (a blank at the end, a lone CR of an old file)
// survives editors and line splitting.
//
// Everything here is pure over bytes: the caller reads and writes the file. Values are compared
// by their Windows-1252 bytes, exactly as typed: case and blanks count. A text with a character
// Windows-1252 lacks is no stored value and matches none.
struct PasswordForm
{
    struct KeySeal
    {
        quint64 operations = 0;
        quint64 memory = 0;
        QByteArray salt;
        QByteArray nonce;
        QByteArray sealedKey;
        bool operator==(const KeySeal &) const = default;
    };

    QByteArray question; // Windows-1252
    QByteArray verifier; // "$argon2id$v=19$m=...", without a NUL
    KeySeal keyByPassword;
    KeySeal keyByAnswer;
    QByteArray passwordNonce;
    QByteArray sealedPassword;

    bool operator==(const PasswordForm &) const = default;

    // The file's bytes; parse() gives back the same form.
    QByteArray toBytes() const;
};

class PasswordSecrets
{
public:
    // The cost of the Argon2id derivations new seals and verifiers are made with.
    struct Cost
    {
        quint64 operations;
        quint64 memory; // bytes
    };

    enum class Status {
        Ok,
        Legacy, // the old form: password, question and answer in clear, one per line
        Cut, // the new form ending early: missing lines, or a last line without CR LF
        Reordered, // the new form's lines, but not in their order
        Damaged, // the new form, but a line or field that is not as written
        UnknownVersion, // a first line "ORVPW <n>" of another version
        TooLarge, // larger than any file this program writes
    };

    struct Parsed
    {
        Status status;
        std::optional<PasswordForm> form; // with Ok only
    };

    // The old form's values: lines 1 to 3; a missing line is empty, later lines are ignored.
    struct LegacyValues
    {
        QString password;
        QString question;
        QString answer;
    };

    // Derivations at libsodium's interactive limits: a fraction of a second each.
    PasswordSecrets();
    // Another cost, for tests that derive many times. A cost above the interactive limits or
    // below libsodium's minimum makes no file.
    explicit PasswordSecrets(Cost cost);

    static Cost interactiveCost();

    // The longest value a file holds, in Windows-1252 bytes: what a text box takes.
    static constexpr qsizetype MaxValueBytes = 32767;
    // No file this program writes is larger; parse() refuses a larger one before looking at it.
    static qsizetype maxFileBytes();

    // A new file's bytes. Nothing when a value is longer than MaxValueBytes, holds a character
    // Windows-1252 lacks, or the system cannot give the memory or randomness.
    std::optional<QByteArray> create(
        const QString &password, const QString &question, const QString &answer) const;

    // An old form's values in the new form. Empty values, which old files may hold, are kept.
    std::optional<QByteArray> convertLegacy(const LegacyValues &values) const;

    // The new password under the same random key: the random key sealed again under the new
    // password, a new verifier and the password sealed anew; question and answer seal kept.
    // Nothing when oldPassword does not open the random key (a wrong password or a damaged form),
    // or newPassword cannot be stored.
    std::optional<QByteArray> changePassword(
        const PasswordForm &form, const QString &oldPassword, const QString &newPassword) const;

    // Bounded work and no derivation: safe on any bytes.
    static Parsed parse(QByteArrayView bytes);

    // The old form read as the old program read it. Meaningful when parse() says Legacy.
    static LegacyValues legacyValues(QByteArrayView bytes);

    static QString question(const PasswordForm &form);

    // One derivation each.
    static bool verifyPassword(const PasswordForm &form, const QString &typed);
    // The password when typedAnswer opens the random key; nothing for a wrong answer, or a seal
    // that does not open.
    static std::optional<QString> recoverPassword(const PasswordForm &form, const QString &typedAnswer);

private:
    Cost m_cost;
};
