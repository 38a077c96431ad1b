#include "options/frm_options.h"

#include "contacts/contact_file.h"
#include "options/sound_cue.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/password_file.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

const QString NoBackupText = QStringLiteral("No se ha hecho ningun backup");
const QString LastBackupText = QStringLiteral("Último backup hecho el día: ");
constexpr qsizetype LongestDateShown = 100;
const QString OptionFailed
    = QStringLiteral("No se pudo guardar el cambio de la opción. La opción no ha sido modificada.");
const QString CommitFailed
    = QStringLiteral("No se pudieron guardar las opciones. Las opciones no han sido modificadas.");
const QString BackupDateFailed
    = QStringLiteral("Se hizo el backup de la lista, pero no se pudo registrar su fecha.");

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    Twips::shrinkToFit(box);
    return box;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

// Each new caption starts again from the form's font: a shorter one needs no shrinking.
void setLabelText(QLabel *label, const QString &caption)
{
    // The backup date comes from the options file as it stands: text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(caption);
    label->setFont(Twips::formFont(/*bold=*/true));
    Twips::shrinkToFit(label);
}

QLabel *label(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    setLabelText(label, caption);
    return label;
}

QGroupBox *frame(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(geometry);
    return frame;
}

// "0" clears, "1" ticks, anything else leaves the box as it was.
void setFromLine(QCheckBox *box, const QString &value)
{
    if (value == u"0")
        box->setChecked(false);
    else if (value == u"1")
        box->setChecked(true);
}

} // namespace

FrmOptions::FrmOptions(Platform &platform, QWidget *mainWindow)
    : QWidget(mainWindow, OwnedWindow::DialogFlags)
    , m_platform(platform)
    , m_mainWindow(mainWindow)
    , m_options(platform.system.programDirectory())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Opciones"));
    setFont(Twips::formFont());
    setFixedSize(Twips::size(6855, 4695));
    createControls();
    Form_Load();
    connectHandlers();
    OwnedWindow::setKeys(this, cmdacept, cmdcancel);
    OwnedWindow::centreOn(this, m_mainWindow);
    OwnedWindow::forwardActivation(this, m_mainWindow);
}

QString FrmOptions::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmOptions::createControls()
{
    using Twips::rect;
    Check1 = checkBox(this, "Check1",
                      QStringLiteral("Mostrar pregunta de confirmación al borrar o modificar un registro"),
                      rect(120, 120, 6615, 375));
    chmayus = checkBox(
        this, "chmayus",
        QStringLiteral("Cambiar a mayúscula la primera letra a todos los datos automaticamente al guardar"),
        rect(120, 515, 6615, 255));
    Check3 = checkBox(this, "Check3", QStringLiteral("Imprimir foto (Imprimir la foto consumirá mas tinta)"),
                      rect(120, 840, 6615, 255));
    Check4 = checkBox(this, "Check4",
                      QStringLiteral("Buscar nuevas actualizaciones cada vez que se inicie Orvalia"),
                      rect(120, 1200, 6615, 255));
    Check5 = checkBox(
        this, "Check5",
        QStringLiteral("Iniciar Orvalia cuando se inicie Windows - Disponible en la próxima versión"),
        rect(120, 1560, 6615, 255));
    Check6 = checkBox(this, "Check6", QStringLiteral("Activar sonidos"), rect(120, 1920, 6615, 255));

    Frame1 = frame(this, "Frame1", QStringLiteral("Contraseña"), rect(120, 2400, 3255, 1695));
    Check2 = checkBox(Frame1, "Check2", QStringLiteral("Proteger agenda mediante contraseña"),
                      rect(120, 360, 3015, 255));
    cmdcamcon = button(Frame1, "cmdcamcon", QStringLiteral("Cambiar Contraseña"), rect(120, 840, 3015, 375));
    Label2 = label(Frame1, "Label2", QString(), rect(120, 1320, 3015, 255));

    Frame2
        = frame(this, "Frame2", QStringLiteral("Copia de seguridad - Backup"), rect(3480, 2400, 3255, 1695));
    cmdcrearbak = button(
        Frame2, "cmdcrearbak", QStringLiteral("Crear Backup De La Lista"), rect(120, 360, 3015, 375));
    cmdiniciarback
        = button(Frame2, "cmdiniciarback", QStringLiteral("Cargar Backup"), rect(120, 840, 3015, 375));
    Label1 = label(Frame2, "Label1", NoBackupText, rect(120, 1320, 3015, 255));

    cmdacept = button(this, "cmdacept", QStringLiteral("Aceptar"), rect(120, 4200, 3255, 375));
    cmdcancel = button(this, "cmdcancel", QStringLiteral("Cancelar"), rect(3480, 4200, 3255, 375));

    // Initial states, before the options file has its say.
    Check1->setChecked(true);
    chmayus->setChecked(true);
    Check3->setChecked(true);
    Check5->setEnabled(false);
    cmdcamcon->setEnabled(false);

    const QList<QWidget *> order = {Check1, chmayus, Check3, Check2, cmdcamcon, cmdcrearbak, cmdiniciarback,
                                    cmdacept, cmdcancel, Check4,  Check5,    Check6};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void FrmOptions::Form_Load()
{
    OwnedWindow::disableOwner(this, m_mainWindow);
    Loaded = false;
    KeepPasswordFile = false;

    // A working copy found now was left by a run that ended while this window was open, without
    // "Aceptar": the user never saw it, so it must not be committed by this window's "Aceptar".
    m_options.discard();

    std::optional<OptionsFile::Lines> lines = m_options.readUpToEight();
    if (!lines) {
        // The main window creates the file before this window can open; should it be unreadable
        // anyway, show the defaults and leave the password file alone, since protection may be on.
        lines = OptionsFile::defaults();
        KeepPasswordFile = true;
    }
    const auto line = [&](OptionsFile::Line n) { return lines->at(n - 1); };

    if (line(OptionsFile::LastBackup) == u"0") {
        setLabelText(Label1, NoBackupText);
        cmdiniciarback->setEnabled(false);
    } else {
        // A date is a few characters; a line of megabytes from an edited file would take the label
        // minutes to measure, so only its start is shown.
        setLabelText(Label1, LastBackupText + line(OptionsFile::LastBackup).left(LongestDateShown));
    }

    setFromLine(Check1, line(OptionsFile::ConfirmChanges));
    setFromLine(chmayus, line(OptionsFile::Capitalize));
    setFromLine(Check2, line(OptionsFile::PasswordProtection));
    setFromLine(Check3, line(OptionsFile::PrintPhoto));
    setFromLine(Check4, line(OptionsFile::UpdateCheck));
    setFromLine(Check5, line(OptionsFile::StartWithWindows));
    setFromLine(Check6, line(OptionsFile::SoundsOn));
    if (line(OptionsFile::PasswordProtection) == u"1") {
        cmdcamcon->setEnabled(true);
        KeepPasswordFile = true;
    }

    Loaded = true;
}

// Connected only after the load, so that setting the boxes from the file writes nothing.
void FrmOptions::connectHandlers()
{
    const std::pair<QCheckBox *, OptionsFile::Line> lineBoxes[] = {
        {Check1, OptionsFile::ConfirmChanges}, {chmayus, OptionsFile::Capitalize},
        {Check3, OptionsFile::PrintPhoto},     {Check4, OptionsFile::UpdateCheck},
        {Check5, OptionsFile::StartWithWindows}, {Check6, OptionsFile::SoundsOn},
    };
    for (const auto &[box, line] : lineBoxes) {
        connect(box, &QCheckBox::toggled, this, [this, box, line] { storeLine(box, line); });
    }
    connect(Check2, &QCheckBox::toggled, this, &FrmOptions::Check2_Click);
    connect(cmdcamcon, &QPushButton::clicked, this, &FrmOptions::cmdcamcon_Click);
    connect(cmdcrearbak, &QPushButton::clicked, this, &FrmOptions::cmdcrearbak_Click);
    connect(cmdiniciarback, &QPushButton::clicked, this, &FrmOptions::cmdiniciarback_Click);
    connect(cmdacept, &QPushButton::clicked, this, &FrmOptions::cmdacept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmOptions::cmdcancel_Click);
}

void FrmOptions::Check2_Click()
{
    if (Check2->isChecked()) {
        // Line 4 becomes "1" only when the set-password window accepts a password.
        if (Loaded) {
            auto *contra = new FrmContra(m_platform, this, m_mainWindow);
            connect(contra, &FrmContra::closedWithoutPassword, this, [this] {
                if (!Check2->isChecked())
                    return;
                // Ticking wrote nothing, so line 4 says "0" already: the box follows it whether or
                // not writing it again succeeds.
                const QSignalBlocker quiet(Check2);
                Check2->setChecked(false);
                cmdcamcon->setEnabled(false);
                static_cast<void>(m_options.updateLine(OptionsFile::PasswordProtection, QStringLiteral("0")));
            });
            m_passwordWindow = contra;
            contra->show();
            cmdcamcon->setEnabled(true);
        }
        return;
    }
    if (storeLine(Check2, OptionsFile::PasswordProtection))
        cmdcamcon->setEnabled(false);
}

// The line of a check box into the working copy. When it cannot be written the box shows again
// what the working copy holds, and the user is told.
bool FrmOptions::storeLine(QCheckBox *box, OptionsFile::Line line)
{
    if (m_options.updateLine(line, box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"))) {
        Changed = true;
        return true;
    }
    {
        const QSignalBlocker quiet(box);
        box->setChecked(!box->isChecked());
    }
    m_platform.messages.show(
        this, OptionFailed, QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
    return false;
}

void FrmOptions::cmdcamcon_Click()
{
    clickSound();
    auto *camCont = new FrmCamCont(m_platform, this, m_mainWindow);
    m_passwordWindow = camCont;
    camCont->show();
}

void FrmOptions::cmdcrearbak_Click()
{
    clickSound();
    ContactFile contacts(m_platform.system.programDirectory(), m_platform.attributes);
    if (!contacts.backup()) {
        m_platform.messages.show(this, QStringLiteral("No se pudo hacer el backup de la lista."),
            QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    // The date is recorded before the user is told, so that a date that could not be recorded
    // is not passed over in silence.
    const QString today = m_platform.system.currentDateText();
    const bool dateRecorded = m_options.updateLine(OptionsFile::LastBackup, today);
    if (dateRecorded) {
        Changed = true;
        m_platform.messages.show(this, QStringLiteral("¡Backup Completado!"), QStringLiteral("Orvalia"),
            MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
    } else {
        m_platform.messages.show(this, BackupDateFailed, QStringLiteral("Error"), MessageBoxes::Icon::Error,
            MessageBoxes::Buttons::Ok);
    }
    // data.bak holds the list either way, so it can be loaded back.
    setLabelText(Label1, LastBackupText + today);
    cmdiniciarback->setEnabled(true);
}

void FrmOptions::cmdiniciarback_Click()
{
    clickSound();
    const MessageBoxes::Answer answer = m_platform.messages.show(
        this, QStringLiteral("¿Esta seguro que desea cargar el backup?"), QStringLiteral("Orvalia"),
        MessageBoxes::Icon::Question, MessageBoxes::Buttons::OkCancel);
    if (answer != MessageBoxes::Answer::Ok)
        return;
    // The backup is copied whole beside the contact file and only then takes its name, so a
    // missing or unreadable backup leaves the contacts as they are.
    ContactFile contacts(m_platform.system.programDirectory(), m_platform.attributes);
    if (!contacts.restore()) {
        m_platform.messages.show(
            this, QStringLiteral("No se pudo cargar el backup. La lista de contactos no ha sido modificada."),
            QStringLiteral("Error"), MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    emit backupRestored();
}

void FrmOptions::cmdacept_Click()
{
    clickSound();
    // Something to put in force: a change made here, or the protection line of the password window.
    const bool pending = Changed || QFileInfo::exists(m_options.workingCopyPath());
    if (m_options.commit()) {
        KeepPasswordFile = true;
    } else if (pending) {
        // Nothing changed on disk: the window stays with the changes, for another try or "Cancelar".
        m_platform.messages.show(this, CommitFailed, QStringLiteral("Error"), MessageBoxes::Icon::Error,
            MessageBoxes::Buttons::Ok);
        return;
    }
    close();
}

void FrmOptions::cmdcancel_Click()
{
    clickSound();
    close();
}

void FrmOptions::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void FrmOptions::Form_Unload()
{
    // A password window still open ends unaccepted first, so that what it would clear lands in
    // the working copy about to be thrown away rather than in one left behind.
    if (m_passwordWindow && m_passwordWindow->isVisible())
        m_passwordWindow->close();
    if (!KeepPasswordFile)
        PasswordFile(GetWindows()).remove();
    m_options.discard();
    if (m_mainWindow)
        m_mainWindow->setEnabled(true);
}

void FrmOptions::clickSound()
{
    playSoundCue(m_platform.sound, ReadOptions(m_options), ClickSound);
}
