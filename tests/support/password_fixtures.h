#pragma once

// Password files for the tests: made at libsodium's least cost, so that a fixture costs
// microseconds and a check against it too (a check derives at the cost the file names); the
// traces a secret could leave in a file; and randomness that repeats, so that two runs of a handler
// write the same bytes.

#include "password/password_secrets.h"
#include "platform/text_file.h"

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <cstring>
#include <sodium.h>

namespace PasswordFixtures {

// Never passed by a window: they derive at the interactive limits.
inline const PasswordSecrets &light()
{
    static const PasswordSecrets secrets(
        {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN});
    return secrets;
}

// A password file of the new form.
inline QByteArray newForm(const QString &password, const QString &question, const QString &answer)
{
    const std::optional<QByteArray> bytes = light().create(password, question, answer);
    if (!bytes)
        qFatal("no password file for %s", qPrintable(password));
    return *bytes;
}

inline PasswordForm formOf(const QByteArray &bytes)
{
    const PasswordSecrets::Parsed parsed = PasswordSecrets::parse(bytes);
    if (parsed.status != PasswordSecrets::Status::Ok)
        qFatal("not a password file of the new form: %s", bytes.left(200).constData());
    return *parsed.form;
}

// Each way a file could give a value away: its bytes in Windows-1252 or UTF-8, base64 or hex of them.
inline QList<QByteArray> tracesOf(const QString &value)
{
    const QByteArray windows = Windows1252::encode(value);
    return {windows, value.toUtf8(), windows.toBase64(), value.toUtf8().toBase64(), windows.toHex(),
        windows.toHex().toUpper()};
}

// Every file under the directories that holds a trace of one of the secrets, with the secret.
inline QStringList filesGivingAway(const QStringList &directories, const QStringList &secrets)
{
    QStringList found;
    for (const QString &directory : directories) {
        QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            for (const QString &secret : secrets) {
                for (const QByteArray &trace : tracesOf(secret)) {
                    if (bytes.contains(trace))
                        found << file.fileName() + u": "_qs + secret;
                }
            }
        }
    }
    found.removeDuplicates();
    return found;
}

// libsodium's random bytes from a seed and a counter: each restart() gives the same stream again,
// so that a handler run twice from the same files writes the same salts and nonces.
class FixedRandom
{
public:
    // From here on, for the whole test program.
    static void install()
    {
        static randombytes_implementation implementation = {name, random, nullptr, nullptr, buf, nullptr};
        randombytes_set_implementation(&implementation);
        // libsodium draws bytes of its own when it starts: now, not inside a case.
        if (sodium_init() < 0)
            qFatal("libsodium cannot start");
    }
    static void restart() { counter() = 0; }

private:
    static quint64 &counter()
    {
        static quint64 value = 0;
        return value;
    }
    static const char *name() { return "fixed"; }
    static void buf(void *out, size_t size)
    {
        unsigned char seed[randombytes_SEEDBYTES] = {'o', 'r', 'v', 'a', 'l', 'i', 'a'};
        const quint64 n = counter()++;
        std::memcpy(seed + randombytes_SEEDBYTES - sizeof n, &n, sizeof n);
        randombytes_buf_deterministic(out, size, seed);
    }
    static uint32_t random()
    {
        uint32_t value = 0;
        buf(&value, sizeof value);
        return value;
    }
};

} // namespace PasswordFixtures
