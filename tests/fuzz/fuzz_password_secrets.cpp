// The password file's contents as found on disk: the reader alone, which never derives a key, on
// any bytes. A form it accepts is written back byte for byte; an old file reads as the old
// reader read it.

#include "fuzz_support.h"
#include "password/password_secrets.h"
#include "platform/windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using Status = PasswordSecrets::Status;
    const QByteArray file = Fuzz::bytes(data, size);
    const PasswordSecrets::Parsed parsed = PasswordSecrets::parse(file);
    FUZZ_CHECK(parsed.form.has_value() == (parsed.status == Status::Ok));

    if (parsed.form) {
        FUZZ_CHECK(parsed.form->toBytes() == file);
        FUZZ_CHECK(file.size() <= PasswordSecrets::maxFileBytes());
        FUZZ_CHECK(Windows1252::encode(PasswordSecrets::question(*parsed.form)) == parsed.form->question);
    }
    if (parsed.status == Status::Legacy) {
        // Never a new file cut short: that could let in whoever types its first bytes.
        FUZZ_CHECK(!file.startsWith("ORVPW ") && !file.isEmpty());
        FUZZ_CHECK(file.contains('\n') || !QByteArrayView("ORVPW 2\r\n").startsWith(file));
        const QList<QByteArray> lines = Fuzz::linesOf(file);
        const PasswordSecrets::LegacyValues values = PasswordSecrets::legacyValues(file);
        FUZZ_CHECK(values.password == Windows1252::decode(lines.value(0)));
        FUZZ_CHECK(values.question == Windows1252::decode(lines.value(1)));
        FUZZ_CHECK(values.answer == Windows1252::decode(lines.value(2)));
    }
    return 0;
}
