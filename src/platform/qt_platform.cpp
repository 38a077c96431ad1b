#include "platform/qt_platform.h"

#include "password/password_file.h"
#include "platform/text_file.h"

#include <QAudioDevice>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>
#include <sys/xattr.h>

// --- message boxes -----------------------------------------------------------------------------

MessageBoxes::Answer QtMessageBoxes::show(
    QWidget *parent, const QString &text, const QString &title, Icon icon, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    // Texts carry what the user typed or stored (a password, a path): never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    static constexpr QMessageBox::Icon Icons[]
        = {QMessageBox::NoIcon, QMessageBox::Information, QMessageBox::Question, QMessageBox::Critical};
    box.setIcon(Icons[int(icon)]); // in the order of Icon
    struct Choice
    {
        QMessageBox::StandardButton button;
        const char *text;
        Answer answer;
    };
    // Each button with its access key: Alt and the underlined letter press it.
    QList<Choice> choices;
    switch (buttons) {
    case Buttons::Ok:
        choices = {{QMessageBox::Ok, "&Aceptar", Answer::Ok}};
        break;
    case Buttons::OkCancel:
        choices
            = {{QMessageBox::Ok, "&Aceptar", Answer::Ok}, {QMessageBox::Cancel, "&Cancelar", Answer::Cancel}};
        break;
    case Buttons::YesNo:
        choices = {{QMessageBox::Yes, "&Sí", Answer::Yes}, {QMessageBox::No, "&No", Answer::No}};
        break;
    case Buttons::YesNoCancel:
        choices = {{QMessageBox::Yes, "&Sí", Answer::Yes}, {QMessageBox::No, "&No", Answer::No},
            {QMessageBox::Cancel, "&Cancelar", Answer::Cancel}};
        break;
    }
    QMessageBox::StandardButtons standard;
    for (const Choice &choice : choices)
        standard |= choice.button;
    box.setStandardButtons(standard);
    for (const Choice &choice : choices)
        box.button(choice.button)->setText(QString::fromUtf8(choice.text));
    box.setDefaultButton(choices.first().button);

    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Choice &choice : choices) {
        if (choice.button == pressed)
            return choice.answer;
    }
    // Escape or the close box: the box's cancelling answer.
    return buttons == Buttons::Ok ? Answer::Ok : buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
}

// --- dialogs -----------------------------------------------------------------------------------

QStringList QtDialogs::nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        filters << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    return filters;
}

QString QtDialogs::picturesFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

std::optional<QString> QtDialogs::openFile(
    QWidget *parent, const QString &filter, int selectedEntry, const QString &startFolder)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QString folder = QDir::fromNativeSeparators(startFolder);
    dialog.setDirectory(!folder.isEmpty() && QFileInfo(folder).isDir() ? folder : picturesFolder());
    const QStringList filters = nameFilters(filter);
    dialog.setNameFilters(filters);
    if (selectedEntry >= 1 && selectedEntry <= filters.size())
        dialog.selectNameFilter(filters.at(selectedEntry - 1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

std::optional<QString> QtDialogs::saveFile(
    QWidget *parent, const QString &filter, const QString &suggestedPath)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QFileInfo suggested(QDir::fromNativeSeparators(suggestedPath));
    dialog.setDirectory(
        QFileInfo(suggested.absolutePath()).isDir() ? suggested.absolutePath() : QDir::homePath());
    const QStringList filters = nameFilters(filter);
    dialog.setNameFilters(filters);
    // A name typed without an extension takes the first one of the entry chosen.
    QStringList suffixes;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 1; i < parts.size(); i += 2)
        suffixes << parts.at(i).section(u';', 0, 0).section(u'.', 1);
    const auto takeSuffix = [&dialog, filters, suffixes](const QString &chosen) {
        dialog.setDefaultSuffix(suffixes.value(filters.indexOf(chosen)));
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, takeSuffix);
    takeSuffix(filters.value(0));
    dialog.selectFile(suggested.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

bool QtDialogs::choosePrinter(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

// --- sound -------------------------------------------------------------------------------------

namespace {
constexpr qint64 MostSoundBytes = 16 * 1024 * 1024;
}

QtSound::QtSound(const QString &soundDirectory)
    : m_directory(soundDirectory)
{ }

QtSound::~QtSound() = default;

namespace {

QtMessageHandler outerMessageHandler = nullptr;

void quietMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        outerMessageHandler(type, context, text);
}

} // namespace

// Without a sound server or device Qt Multimedia says so on the terminal, at every sound. There is
// nothing to play then and nothing to say: its look for a device is kept off the terminal, and no
// sound is started.
bool QtSound::audioDeviceFound()
{
    outerMessageHandler = qInstallMessageHandler(quietMessageHandler);
    const bool found = !QMediaDevices::audioOutputs().isEmpty();
    qInstallMessageHandler(outerMessageHandler);
    return found;
}

void QtSound::play(const QString &fileName)
{
    const QString path = QDir(m_directory).filePath(fileName);
    // Only a regular file of a sound's size: a FIFO would hold the loader, a giant its memory.
    if (const QFileInfo info(path); !info.isFile() || info.size() > MostSoundBytes || !audioDeviceFound())
        return;
    // Finished effects are reused; each cue gets its own so that cues may overlap.
    std::erase_if(m_effects,
        [](const auto &effect) { return !effect->isPlaying() && effect->status() != QSoundEffect::Loading; });
    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
    m_effects.push_back(std::move(effect));
}

// --- shell -------------------------------------------------------------------------------------

bool QtShell::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool QtShell::openFile(const QString &path)
{
    // A local-file URL carries the path as data, never as a command line.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::fromNativeSeparators(path)));
}

// --- file attributes ---------------------------------------------------------------------------

namespace {
constexpr const char *DosAttributes = HiddenAttributeName;
}

void QtFileAttributes::setNormal(const QString &path)
{
    // Never through a link: the file it names is not the program's.
    ::lremovexattr(QFile::encodeName(path).constData(), DosAttributes);
}

void QtFileAttributes::setHidden(const QString &path)
{
    static const char hidden[] = "0x2";
    ::lsetxattr(QFile::encodeName(path).constData(), DosAttributes, hidden, sizeof hidden - 1, 0);
}

bool QtFileAttributes::isHidden(const QString &path)
{
    char value[16] = {};
    const ssize_t size
        = ::lgetxattr(QFile::encodeName(path).constData(), DosAttributes, value, sizeof value - 1);
    return size > 0 && (QByteArray(value, size).toUInt(nullptr, 0) & 0x2);
}

// --- system ------------------------------------------------------------------------------------

QtSystem::QtSystem(const QString &programDirectory)
    : QtSystem(programDirectory, ProgramLayout::portable(programDirectory).passwordDirectory,
        ProgramLayout::portable(programDirectory).oldPasswordDirectory)
{ }

QtSystem::QtSystem(
    const QString &programDirectory, const QString &passwordDirectory, const QString &oldPasswordDirectory)
    : m_directory(programDirectory)
    , m_passwordDirectory(passwordDirectory)
    , m_oldPasswordDirectory(oldPasswordDirectory)
{ }

QString QtSystem::programDirectory()
{
    return m_directory;
}

QString QtSystem::passwordDirectory()
{
    // One fixed directory for the whole system user, outside the program directory.
    if (m_passwordDirectory.isEmpty())
        return QStringLiteral("unknown");
    // When it cannot be made, an old file is used where it lies (it cannot move there), and a
    // password that cannot be written is reported by the window that writes it.
    static_cast<void>(makePrivateDirectory(m_passwordDirectory));
    if (!m_oldPasswordDirectory.isEmpty()) {
        const QString fileName = QFileInfo(PasswordFile(m_passwordDirectory).path()).fileName();
        // A file that cannot move is still the user's password: it is used where it lies.
        if (adoptOldFile(m_oldPasswordDirectory, m_passwordDirectory, fileName) == Adoption::Kept)
            return m_oldPasswordDirectory;
    }
    return m_passwordDirectory;
}

QString QtSystem::currentDateText()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

System::InstanceLock QtSystem::lockSingleInstance()
{
    if (m_lock)
        return InstanceLock::Taken;
    const QString path = QDir(m_directory).filePath(QStringLiteral("Orvalia.lock"));
    // Something other than a file in the lock's place (a directory, a FIFO, a link) is no other
    // instance; looking inside it could block.
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return InstanceLock::Failed;
    auto lock = std::make_unique<QLockFile>(path);
    // A lock left by a crashed instance is recognised by its dead process and taken over. Any
    // failure but a live holder means the directory takes no new file: read-only, full, gone.
    if (!lock->tryLock(0))
        return lock->error() == QLockFile::LockFailedError ? InstanceLock::HeldByAnother
                                                           : InstanceLock::Failed;
    ::chmod(QFile::encodeName(path).constData(), 0644);
    m_lock = std::move(lock);
    return InstanceLock::Taken;
}

void QtSystem::releaseSingleInstance()
{
    if (!m_lock)
        return;
    m_lock->unlock(); // removes the lock file
    m_lock.reset();
}

// --- all of it ---------------------------------------------------------------------------------

QtPlatform::QtPlatform(const ProgramLayout &layout)
    : sound(layout.soundDirectory)
    , system(layout.programDirectory, layout.passwordDirectory, layout.oldPasswordDirectory)
    , platform {messages, dialogs, sound, shell, network, attributes, system}
{ }
