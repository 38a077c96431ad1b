#include "options/options_file.h"

#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

OptionsFile::OptionsFile(const QString &programDirectory)
    : m_directory(programDirectory)
{
}

QString OptionsFile::path() const
{
    return QDir(m_directory).filePath(QStringLiteral("Agenda.opt"));
}

QString OptionsFile::workingCopyPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("Agenda.opt2"));
}

QString OptionsFile::temporaryPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("Agenda.opt3"));
}

OptionsFile::Lines OptionsFile::defaults()
{
    return {u"1"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs, u"0"_qs, u"1"_qs};
}

void OptionsFile::createIfMissing() const
{
    if (QFileInfo::exists(path()) || QFileInfo(path()).isSymLink())
        return;
    const Lines lines = defaults();
    TextFile::replaceThroughTwin(path(), temporaryPath(),
                                 TextFile::encodeLines(QStringList(lines.begin(), lines.end())));
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
    std::optional<QStringList> source = TextFile::readLines(workingCopyPath());
    if (!source)
        source = TextFile::readLines(path());
    if (!source)
        return false;
    if (n >= 1 && n <= source->size())
        (*source)[n - 1] = value;
    return TextFile::replaceThroughTwin(workingCopyPath(), temporaryPath(), TextFile::encodeLines(*source));
}

bool OptionsFile::commit() const
{
    if (!QFileInfo(workingCopyPath()).isFile())
        return false;
    QFile workingCopy(workingCopyPath());
    if (!workingCopy.open(QIODevice::ReadWrite))
        return false;
    const bool synced = workingCopy.flush() && ::fdatasync(workingCopy.handle()) == 0;
    workingCopy.close();
    // A working copy that cannot take the file's place stays: it holds the changes the options
    // window still shows, for another try.
    return synced && TextFile::renameOver(workingCopyPath(), path());
}

void OptionsFile::discard() const
{
    QFile::remove(workingCopyPath());
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
