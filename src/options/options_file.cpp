#include "options/options_file.h"

#include "platform/line_reader.h"
#include "platform/text_file.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lines longer than this are never held whole: a line update copies them piece by piece.
constexpr qsizetype LongestHeld = 64 * 1024;

// Removes a file or a link; anything else in its place was not made by the program and stays.
void removeFileOrLink(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(name.constData(), &status) == 0 && (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)))
        ::unlink(name.constData());
}

} // namespace

OptionsFile::OptionsFile(const QString &programDirectory)
    : m_directory(programDirectory)
{ }

QString OptionsFile::inDirectory(const char *name) const
{
    return QDir(m_directory).filePath(QLatin1String(name));
}

OptionsFile::Lines OptionsFile::defaults()
{
    return {u"1"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs};
}

bool OptionsFile::createIfMissing() const
{
    const QFileInfo file(path());
    if (file.exists() || file.isSymLink())
        return file.isFile();
    const Lines lines = defaults();
    return TextFile::replaceThroughTwin(path(), temporaryPath(),
        TextFile::encodeLines(QStringList(lines.begin(), lines.end())), FileMode::New);
}

std::optional<OptionsFile::Lines> OptionsFile::readEight() const
{
    const std::optional<QStringList> read = TextFile::readLines(path(), 8);
    if (!read || read->size() < 8)
        return std::nullopt;
    Lines lines;
    std::copy(read->begin(), read->end(), lines.begin());
    return lines;
}

std::optional<OptionsFile::Lines> OptionsFile::readUpToEight() const
{
    // Lines after the eighth are read and ignored; reading stops early only to spare memory.
    const std::optional<QStringList> read = TextFile::readLines(path(), 8);
    if (!read)
        return std::nullopt;
    Lines lines;
    std::copy(read->begin(), read->end(), lines.begin());
    return lines;
}

std::optional<QString> OptionsFile::readProtectionLine() const
{
    const std::optional<QStringList> read = TextFile::readLines(path(), PasswordProtection);
    if (!read)
        return std::nullopt;
    return read->size() >= PasswordProtection ? read->at(PasswordProtection - 1) : QString();
}

bool OptionsFile::updateLine(int n, const QString &value) const
{
    QFile source;
    QString sourcePath = workingCopyPath();
    if (!RegularFile::open(source, sourcePath)) {
        sourcePath = path();
        if (!RegularFile::open(source, sourcePath))
            return false;
    }
    // The working copy is the options file to be: it keeps the mode and attributes of what it
    // copies. The source streams through, so a huge file costs no memory.
    TwinWriter twin(workingCopyPath(), temporaryPath());
    if (!twin.create(FileMode::of(source.handle()), sourcePath))
        return false;
    const QByteArray replacement = Windows1252::encode(value);
    LineReader reader(source, LongestHeld);
    QByteArrayView line;
    bool ok = true;
    for (int number = 1; ok && reader.next(line); ++number) {
        if (number == n)
            ok = twin.write(replacement);
        else if (reader.cut())
            ok = twin.copyFrom(source.handle(), reader.offset(), reader.length());
        else
            ok = twin.write(line);
        ok = ok && twin.write("\r\n");
    }
    ok = ok && !reader.failed();
    source.close();
    return ok && twin.commit();
}

bool OptionsFile::commit() const
{
    // Only a working copy the program wrote: a regular file, not a link put in its place, which
    // would make the options file a link to a file elsewhere. A working copy that cannot take the
    // file's place stays: it holds the changes the options window still shows, for another try.
    TwinWriter workingCopy(path(), workingCopyPath());
    return workingCopy.adopt() && workingCopy.commit();
}

void OptionsFile::discard() const
{
    removeFileOrLink(workingCopyPath());
}

void MainWindowOptions::read(const OptionsFile &file)
{
    if (const std::optional<OptionsFile::Lines> lines = file.readEight()) {
        ConfirmChanges = lines->at(OptionsFile::ConfirmChanges - 1);
        Capitalize = lines->at(OptionsFile::Capitalize - 1);
        PrintPhoto = lines->at(OptionsFile::PrintPhoto - 1);
        UpdateCheck = lines->at(OptionsFile::UpdateCheck - 1);
        SoundsOn = lines->at(OptionsFile::SoundsOn - 1);
        return;
    }
    // PrintPhoto keeps the value of the last successful read.
    ConfirmChanges = Capitalize = UpdateCheck = SoundsOn = QStringLiteral("1");
}

QString ReadOptions(const OptionsFile &file)
{
    const std::optional<OptionsFile::Lines> lines = file.readEight();
    return lines ? lines->at(OptionsFile::SoundsOn - 1) : QStringLiteral("1");
}
