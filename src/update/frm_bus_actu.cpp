#include "update/frm_bus_actu.h"

#include "platform/form_builder.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/text_file.h"
#include "platform/twips.h"
#include "update/version_check.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

const QString Title = QStringLiteral("Buscar Actualizaciones");
const QString DownloadFailed
    = QStringLiteral("No se pudo obtener la información de actualizaciones. Compruebe "
                     "su conexión y vuelva a intentarlo más tarde.");
const QString Waiting = QStringLiteral("Buscando actualizaciones, por favor espere...");
constexpr FormBuilder::Place WaitingPlace {120, 240, 3975, 255};

// Where the desktop substitutes a wider font the window widens rather than cut the text.
int waitingWidth()
{
    return std::max(
        WaitingPlace.width, QFontMetrics(Twips::formFont(true)).horizontalAdvance(Waiting) * Twips::PerPixel);
}

QSize clientSize()
{
    const int width = waitingWidth();
    return Twips::size(width > WaitingPlace.width ? 2 * WaitingPlace.left + width : 4125, 870);
}

} // namespace

FrmBusActu::FrmBusActu(Platform &platform, QWidget *mainWindow)
    : SecondaryWindow(mainWindow, OwnedWindow::DialogFlags, Title, clientSize())
    , m_platform(platform)
    , m_updateUrl(QUrl(QStringLiteral(ORVALIA_UPDATE_URL)))
    , m_webPage(QUrl(QStringLiteral(ORVALIA_WEB_PAGE)))
{
    setObjectName(QStringLiteral("FrmBusActu"));
    Label1 = FormBuilder(this).label(
        "Label1", Waiting, {WaitingPlace.left, WaitingPlace.top, waitingWidth(), WaitingPlace.height});

    // Working fields, not for the user.
    txtcontenedor = new QLineEdit(this);
    txtcontenedor->setObjectName(QStringLiteral("txtcontenedor"));
    txtcontenedor->setMaxLength(std::numeric_limits<int>::max());
    txtcontenedor->hide();
    txtcomohacer = new QLineEdit(this);
    txtcomohacer->setObjectName(QStringLiteral("txtcomohacer"));
    txtcomohacer->hide();

    timerunloaded = new QTimer(this);
    timerunloaded->setObjectName(QStringLiteral("timerunloaded"));
    timerunloaded->setInterval(TimerInterval);
    connect(timerunloaded, &QTimer::timeout, this, &FrmBusActu::timerunloaded_Timer);

    // Opened while another window holds the main window, it is still a window of its own.
    setEnabled(true);
}

QString FrmBusActu::localCopy() const
{
    return QDir(m_platform.system.programDirectory()).filePath(QStringLiteral("actu.txt"));
}

void FrmBusActu::closeEvent(QCloseEvent *event)
{
    // The check runs to its end once started; only the check itself closes the window then.
    if (m_checking) {
        event->ignore();
        return;
    }
    SecondaryWindow::closeEvent(event);
}

// The main window is taken only when the check starts, and only when no other window has it.
void FrmBusActu::Form_Load()
{
    timerunloaded->start();
}

void FrmBusActu::Form_Unload()
{
    // Closed before the check started: it does not start any more.
    timerunloaded->stop();
    // Only what the check took is given back: a main window that another window had disabled
    // stays with that window.
    if (m_tookMainWindow)
        SecondaryWindow::Form_Unload();
    m_tookMainWindow = false;
}

bool FrmBusActu::IsConnected()
{
    return m_platform.network.isConnected();
}

bool FrmBusActu::DownloadFile(const QUrl &url, const QString &localFile)
{
    return m_platform.network.download(url, localFile);
}

bool FrmBusActu::quietMode() const
{
    return txtcomohacer->text() == u"1";
}

void FrmBusActu::closeWindow()
{
    m_checking = false;
    close();
}

void FrmBusActu::deleteLocalCopy()
{
    QFile::remove(localCopy());
}

void FrmBusActu::timerunloaded_Timer()
{
    timerunloaded->stop();
    if (m_checked)
        return;
    m_checked = true;
    m_checking = true;
    if (owner() && owner()->isEnabled()) {
        SecondaryWindow::Form_Load();
        m_tookMainWindow = true;
    }

    if (!IsConnected()) {
        if (!quietMode()) {
            m_platform.messages.error(this,
                QStringLiteral("Para poder buscar actualizaciones necesita estar "
                               "conectado, compruebe su estado de conexión y "
                               "vuelva a intentarlo."));
        }
        closeWindow();
        return;
    }

    // A failed download tells nothing about the version: it is no "up to date". Whatever it left
    // behind, or an old copy, must not be read as if it had just arrived.
    if (!DownloadFile(m_updateUrl, localCopy())) {
        deleteLocalCopy();
        if (!quietMode()) {
            m_platform.messages.error(this, DownloadFailed);
        }
        closeWindow();
        return;
    }
    QString text = txtcontenedor->text();
    // No more than a download may bring: a copy larger than that is not the one just made.
    if (const auto lines = TextFile::readLines(localCopy(), -1, Network::MostBytes))
        text += VersionCheck::joinLines(*lines);
    txtcontenedor->setText(text);
    const QString version = VersionCheck::versionText(text);
    txtcontenedor->setText(version);

    if (VersionCheck::isNewer(version, ORVALIA_VERSION_MAJOR, ORVALIA_VERSION_MINOR)) {
        const QString question = QStringLiteral("¡Se han encontrado nuevas actualizaciones!") + QChar(13)
            + QStringLiteral("¿Desea dirigirse a la pagina de Morq Technologies para descargar la "
                             "última actualización de Orvalia?");
        const auto answer = m_platform.messages.show(
            this, question, Title, MessageBoxes::Icon::Information, MessageBoxes::Buttons::YesNo);
        if (answer == MessageBoxes::Answer::Yes)
            m_platform.shell.openUrl(m_webPage);
        closeWindow();
        deleteLocalCopy();
        return;
    }

    if (quietMode()) {
        deleteLocalCopy();
        closeWindow();
        return;
    }
    m_platform.messages.show(this, QStringLiteral("¡Su software esta actualizado!"), Title,
        MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
    closeWindow();
    deleteLocalCopy();
}
