// The options file as found on disk: the readers, a line update of the working copy and its
// commit, checked against the lines the file holds.
//
// The first byte of the input picks the line to change (0 and 9 are outside the file) and the
// value written; the rest is Agenda.opt.

#include "fuzz_support.h"
#include "options/options_file.h"
#include "platform/windows1252.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int n = data[0] % 10;
    static const std::array<QString, 4> Values
        = {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("07/12/2026"), QString()};
    const QString value = Values[(data[0] / 10) % Values.size()];
    const QByteArray file = Fuzz::bytes(data + 1, size - 1);
    const QList<QByteArray> lines = Fuzz::linesOf(file);
    const auto line = [&](int i) { return Windows1252::decode(lines.value(i - 1)); };

    const OptionsFile options(Fuzz::scratch());
    QFile::remove(options.workingCopyPath());
    Fuzz::write(options.path(), file);

    const std::optional<OptionsFile::Lines> eight = options.readEight();
    FUZZ_CHECK(eight.has_value() == (lines.size() >= 8));
    const std::optional<OptionsFile::Lines> upToEight = options.readUpToEight();
    FUZZ_CHECK(upToEight.has_value());
    for (int i = 1; i <= 8; ++i) {
        FUZZ_CHECK(upToEight->at(i - 1) == line(i));
        FUZZ_CHECK(!eight || eight->at(i - 1) == line(i));
    }
    FUZZ_CHECK(options.readProtectionLine() == line(OptionsFile::PasswordProtection));

    MainWindowOptions main;
    main.PrintPhoto = QStringLiteral("previous");
    main.read(options);
    FUZZ_CHECK(main.SoundsOn == (eight ? line(8) : QStringLiteral("1")));
    FUZZ_CHECK(main.ConfirmChanges == (eight ? line(1) : QStringLiteral("1")));
    FUZZ_CHECK(main.PrintPhoto == (eight ? line(5) : QStringLiteral("previous")));
    FUZZ_CHECK(ReadOptions(options) == main.SoundsOn);

    // An existing file is never repaired.
    FUZZ_CHECK(options.createIfMissing());
    FUZZ_CHECK(Fuzz::read(options.path()) == file);

    // Two updates: the first from Agenda.opt, the second from the working copy.
    FUZZ_CHECK(options.updateLine(n, value));
    FUZZ_CHECK(options.updateLine(1 + n % 8, QStringLiteral("1")));
    QList<QByteArray> expected = lines;
    if (n >= 1 && n <= expected.size())
        expected[n - 1] = Windows1252::encode(value);
    if (1 + n % 8 <= expected.size())
        expected[n % 8] = "1";
    FUZZ_CHECK(Fuzz::read(options.workingCopyPath()) == Fuzz::joined(expected));
    FUZZ_CHECK(Fuzz::read(options.path()) == file);
    FUZZ_CHECK(!QFileInfo::exists(options.temporaryPath()));

    FUZZ_CHECK(options.commit());
    FUZZ_CHECK(Fuzz::read(options.path()) == Fuzz::joined(expected));
    FUZZ_CHECK(!QFileInfo::exists(options.workingCopyPath()));
    return 0;
}
