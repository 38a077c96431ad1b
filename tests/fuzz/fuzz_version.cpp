// The update information: the version between the markers and the reading of numbers, checked
// for consistency (a number reads back as itself, comparison is an order) and against plain
// integer arithmetic where the numbers are small.

#include "fuzz_support.h"
#include "platform/line_reader.h"
#include "platform/windows1252.h"
#include "update/version_check.h"

#include <QBuffer>
#include <QStringList>

using namespace VersionCheck;

namespace {

void checkNumber(const Number &number)
{
    for (const QChar c : number.integerDigits + number.fractionDigits)
        FUZZ_CHECK(c >= u'0' && c <= u'9');
    FUZZ_CHECK(!number.integerDigits.startsWith(u'0'));
    FUZZ_CHECK(!number.fractionDigits.endsWith(u'0'));
    FUZZ_CHECK(readNumber(toString(number)) == number);
    FUZZ_CHECK(compare(number, number) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file = Fuzz::bytes(data, size);

    // As the check reads the downloaded file.
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    QStringList lines;
    QByteArrayView line;
    while (reader.next(line))
        lines << Windows1252::decode(line);
    const QString joined = joinLines(lines);
    FUZZ_CHECK(!joined.contains(u'\r') && !joined.contains(u'\n'));
    const QString version = versionText(joined);
    FUZZ_CHECK(version.size() <= joined.size());
    const std::optional<Number> offered = offeredNumber(version);
    FUZZ_CHECK(offered.has_value() == version.contains(u'.'));
    if (offered)
        checkNumber(*offered);
    const Number own = ownNumber(2, 0);
    FUZZ_CHECK(isNewer(version, 2, 0) == (compare(offered.value_or(Number {}), own) > 0));
    FUZZ_CHECK(offersNewer(joined, 2, 0) == isNewer(version, 2, 0));

    // Two numbers from the two halves of the text: an order, and plain arithmetic when small.
    const QString text = Windows1252::decode(file);
    const Number a = readNumber(QStringView(text).left(text.size() / 2));
    const Number b = readNumber(QStringView(text).mid(text.size() / 2));
    checkNumber(a);
    checkNumber(b);
    FUZZ_CHECK(compare(a, b) == -compare(b, a));
    FUZZ_CHECK((compare(a, b) == 0) == (a == b));
    if (a.integerDigits.size() < 18 && b.integerDigits.size() < 18 && a.fractionDigits.isEmpty()
        && b.fractionDigits.isEmpty()) {
        const qint64 x = a.integerDigits.toLongLong();
        const qint64 y = b.integerDigits.toLongLong();
        FUZZ_CHECK(compare(a, b) == (x < y ? -1 : x > y ? 1 : 0));
    }
    return 0;
}
