// The password file as found on disk: the readers and a password change, checked against the
// lines the file holds; then a new file written from what was read reads back the same.

#include "fuzz_support.h"
#include "password/password_file.h"
#include "platform/windows1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = Fuzz::bytes(data, size);
    const QList<QByteArray> lines = Fuzz::linesOf(file);
    const auto line = [&](int i) { return Windows1252::decode(lines.value(i - 1)); };

    const PasswordFile password(Fuzz::scratch());
    Fuzz::write(password.path(), file);

    const std::optional<QString> first = password.readPassword();
    FUZZ_CHECK(first.has_value() == !lines.isEmpty());
    FUZZ_CHECK(!first || *first == line(1));
    const std::optional<PasswordFile::Values> values = password.readAll();
    FUZZ_CHECK(
        values && values->password == line(1) && values->question == line(2) && values->answer == line(3));

    // A change keeps lines 2 and 3 byte for byte and drops the rest; without a first line there
    // is nothing to change.
    const bool changed = password.replacePassword(QStringLiteral("nueva"));
    FUZZ_CHECK(changed == !lines.isEmpty());
    QList<QByteArray> expected = lines.mid(0, 3);
    if (changed)
        expected.first() = "nueva";
    FUZZ_CHECK(Fuzz::read(password.path()) == (changed ? Fuzz::joined(expected) : file));
    FUZZ_CHECK(!QFileInfo::exists(password.twinPath()));

    // What was read, written anew, reads back the same.
    FUZZ_CHECK(password.writeNew(*values));
    const std::optional<PasswordFile::Values> again = password.readAll();
    FUZZ_CHECK(again && again->password == values->password && again->question == values->question
        && again->answer == values->answer);
    return 0;
}
