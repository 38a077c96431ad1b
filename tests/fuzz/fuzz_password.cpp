// The password file as the windows find it on disk, through PasswordStore: read and judged, the
// password checked and changed. A file of the earlier form gives what its lines hold, the right
// password converts it to the new form saying the same, and a change keeps its question byte for
// byte; any other file that is not a new one matches nothing and stays as it was.

#include "fuzz_support.h"
#include "password/password_store.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"

#include <sodium.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Status = PasswordSecrets::Status;
    // The least cost: every derivation in microseconds.
    static const PasswordSecrets light(
        {crypto_pwhash_argon2id_OPSLIMIT_MIN, crypto_pwhash_argon2id_MEMLIMIT_MIN});
    const QByteArray file = Fuzz::bytes(data, size);
    const QList<QByteArray> lines = Fuzz::linesOf(file);
    const auto line = [&](int i) { return Windows1252::decode(lines.value(i - 1)); };

    PasswordStore store(Fuzz::scratch(), light);
    Fuzz::write(store.file().path(), file);
    FUZZ_CHECK(store.load());
    FUZZ_CHECK(store.status() == PasswordSecrets::parse(file).status);

    if (store.status() == Status::Legacy) {
        FUZZ_CHECK(store.question() == line(2));
        FUZZ_CHECK(!store.checkPassword(line(1) + QLatin1Char('x')));
        FUZZ_CHECK(Fuzz::read(store.file().path()) == file);
        // The right password gets in, and the file says the same in the new form when it can hold it.
        FUZZ_CHECK(store.checkPassword(line(1)));
        const bool storable = lines.value(0).size() <= PasswordSecrets::MaxValueBytes
            && lines.value(1).size() <= PasswordSecrets::MaxValueBytes
            && lines.value(2).size() <= PasswordSecrets::MaxValueBytes;
        const std::optional<QByteArray> now = Fuzz::read(store.file().path());
        FUZZ_CHECK(now && (storable ? PasswordSecrets::parse(*now).status == Status::Ok : *now == file));
        if (storable) {
            PasswordStore again(Fuzz::scratch(), light);
            FUZZ_CHECK(again.load() && again.status() == Status::Ok);
            FUZZ_CHECK(again.question() == line(2));
            FUZZ_CHECK(again.recoverPassword(line(3)) == line(1));
            FUZZ_CHECK(again.changePassword(line(1), QStringLiteral("nueva")));
            const PasswordSecrets::Parsed changed = PasswordSecrets::parse(*Fuzz::read(store.file().path()));
            FUZZ_CHECK(changed.form && changed.form->question == lines.value(1));
            FUZZ_CHECK(PasswordSecrets::verifyPassword(*changed.form, QStringLiteral("nueva")));
        }
    } else if (store.status() != Status::Ok) {
        for (const QString &typed : {QString(), line(1), line(3)}) {
            FUZZ_CHECK(!store.checkPassword(typed));
            FUZZ_CHECK(!store.recoverPassword(typed));
            FUZZ_CHECK(!store.changePassword(typed, QStringLiteral("nueva")));
        }
        FUZZ_CHECK(store.question().isEmpty());
        FUZZ_CHECK(Fuzz::read(store.file().path()) == file);
    }
    FUZZ_CHECK(!QFileInfo::exists(store.file().twinPath()));
    return 0;
}
