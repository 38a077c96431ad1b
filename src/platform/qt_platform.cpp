#include "platform/qt_platform.h"

#include <QAudioDevice>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMediaDevices>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QTimer>

#include <sys/xattr.h>

// --- message boxes -----------------------------------------------------------------------------

MessageBoxes::Answer QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title,
                                          Icon icon, Buttons buttons)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    // Texts carry what the user typed or stored (a password, a path): never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    }

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
    return buttons == Buttons::Ok ? Answer::Ok
           : buttons == Buttons::YesNo ? Answer::No
                                       : Answer::Cancel;
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

bool QtDialogs::choosePrinter(QWidget *parent, QPrinter &printer)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

// --- sound -------------------------------------------------------------------------------------

QtSound::QtSound(const QString &programDirectory)
    : m_directory(programDirectory)
{
}

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
    if (!QFileInfo::exists(path) || !audioDeviceFound())
        return;
    // Finished effects are reused; each cue gets its own so that cues may overlap.
    std::erase_if(m_effects, [](const auto &effect) { return !effect->isPlaying() && effect->status() != QSoundEffect::Loading; });
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

// --- network -----------------------------------------------------------------------------------

bool QtNetwork::isConnected()
{
    if (QNetworkInformation::loadDefaultBackend()) {
        if (QNetworkInformation *info = QNetworkInformation::instance()) {
            const auto reachability = info->reachability();
            if (reachability != QNetworkInformation::Reachability::Unknown)
                return reachability == QNetworkInformation::Reachability::Online
                       || reachability == QNetworkInformation::Reachability::Site;
        }
    }
    // Without a backend: an interface that is up and running, not the loopback, and has an
    // address that reaches beyond the link (a link-local one alone means nothing was configured).
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (!address.isNull() && !address.isLoopback() && !address.isLinkLocal())
                return true;
        }
    }
    return false;
}

bool QtNetwork::download(const QUrl &url, const QString &localFile)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = manager.get(request);

    // Waited for here, but never longer than the time limit and never beyond the size limit.
    QByteArray body;
    bool tooLarge = false;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > sizeLimit) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->read(sizeLimit + 1 - body.size());
        if (body.size() > sizeLimit) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeLimitMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    bool ok = !tooLarge && reply->error() == QNetworkReply::NoError;
    if (ok) {
        body += reply->read(sizeLimit + 1 - body.size());
        ok = body.size() <= sizeLimit;
    }
    reply->deleteLater();
    if (!ok)
        return false;

    QSaveFile file(localFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(body);
    return file.commit();
}

// --- file attributes ---------------------------------------------------------------------------

namespace {
constexpr char DosAttributes[] = "user.DOSATTRIB";
}

void QtFileAttributes::setNormal(const QString &path)
{
    ::removexattr(QFile::encodeName(path).constData(), DosAttributes);
}

void QtFileAttributes::setHidden(const QString &path)
{
    static const char hidden[] = "0x2";
    ::setxattr(QFile::encodeName(path).constData(), DosAttributes, hidden, sizeof hidden - 1, 0);
}

bool QtFileAttributes::isHidden(const QString &path)
{
    char value[16] = {};
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), DosAttributes, value,
                                    sizeof value - 1);
    return size > 0 && (QByteArray(value, size).toUInt(nullptr, 0) & 0x2);
}

// --- system ------------------------------------------------------------------------------------

QtSystem::QtSystem(const QString &programDirectory)
    : m_directory(programDirectory)
{
}

QString QtSystem::programDirectory()
{
    return m_directory;
}

QString QtSystem::passwordDirectory()
{
    // One fixed directory for the whole system user, outside the program directory.
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (directory.isEmpty())
        return QStringLiteral("unknown");
    QDir().mkpath(directory);
    return QDir::cleanPath(directory);
}

QString QtSystem::currentDateText()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

bool QtSystem::lockSingleInstance()
{
    if (m_lock)
        return true;
    auto lock = std::make_unique<QLockFile>(QDir(m_directory).filePath(QStringLiteral("Orvalia.lock")));
    // A lock left by a crashed instance is recognised by its dead process and taken over.
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    return true;
}

void QtSystem::releaseSingleInstance()
{
    if (!m_lock)
        return;
    m_lock->unlock(); // removes the lock file
    m_lock.reset();
}

// --- all of it ---------------------------------------------------------------------------------

QtPlatform::QtPlatform(const QString &programDirectory)
    : sound(programDirectory)
    , system(programDirectory)
    , platform{messages, dialogs, sound, shell, network, attributes, system}
{
}
