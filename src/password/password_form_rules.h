#pragma once

#include "password/password_secrets.h"

#include <QByteArrayView>

#include <sodium.h>

// The sizes and costs of the password file's fields: what reading the file checks and what the
// seals rely on.
namespace PasswordFormRules {

inline constexpr size_t KeyBytes = crypto_aead_xchacha20poly1305_ietf_KEYBYTES;
inline constexpr size_t NonceBytes = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
inline constexpr size_t TagBytes = crypto_aead_xchacha20poly1305_ietf_ABYTES;
inline constexpr size_t SaltBytes = crypto_pwhash_SALTBYTES;
inline constexpr size_t VerifierBytes = crypto_pwhash_STRBYTES; // the NUL included

// The password is padded to a multiple of this before it is sealed: a short password's length
// does not show in the file.
inline constexpr qsizetype PadBlock = 32;
constexpr qsizetype paddedLength(qsizetype length)
{
    return (length / PadBlock + 1) * PadBlock;
}
inline constexpr qsizetype MaxSealedPassword = paddedLength(PasswordSecrets::MaxValueBytes) + TagBytes;

// What libsodium is given for no bytes at all: a pointer it may read nothing from.
inline constexpr unsigned char NoBytes[1] = {0};

inline const unsigned char *bytesOf(QByteArrayView view)
{
    return view.isEmpty() ? NoBytes : reinterpret_cast<const unsigned char *>(view.data());
}

inline bool costAccepted(quint64 operations, quint64 memory)
{
    return operations >= crypto_pwhash_argon2id_OPSLIMIT_MIN
        && operations <= crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE
        && memory >= crypto_pwhash_argon2id_MEMLIMIT_MIN
        && memory <= crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE && memory % 1024 == 0;
}

// What parse() accepts and every derivation relies on: sizes libsodium expects, costs within the
// interactive limits, a verifier of the same cost as the password's key seal.
bool wellFormed(const PasswordForm &form);

} // namespace PasswordFormRules
