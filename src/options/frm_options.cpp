#include "options/frm_options.h"

#include "contacts/contact_file.h"
#include "options/sound_cue.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "platform/form_builder.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
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

// Each new caption starts again from the form's font: a shorter one needs no shrinking.
void setLabelText(QLabel *label, const QString &caption)
{
    label->setText(caption);
    label->setFont(Twips::formFont(/*bold=*/true));
    Twips::shrinkToFit(label);
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
    : SecondaryWindow(
        mainWindow, OwnedWindow::DialogFlags, QStringLiteral("Opciones"), Twips::size(6855, 4695))
    , m_platform(platform)
    , m_session(platform.system.programDirectory(), platform.system.passwordDirectory())
{
    createControls();
    load();
    connectHandlers();
    OwnedWindow::setKeys(this, cmdacept, cmdcancel);
}

QString FrmOptions::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmOptions::createControls()
{
    const FormBuilder form(this);
    const struct
    {
        QCheckBox *&box;
        const char *name;
        const char16_t *caption;
        FormBuilder::Place place;
    } settings[] = {
        {Check1, "Check1", u"Mostrar pregunta de confirmación al borrar o modificar un registro",
            {120, 120, 6615, 375}},
        {chmayus, "chmayus",
            u"Cambiar a mayúscula la primera letra a todos los datos automaticamente al guardar",
            {120, 515, 6615, 255}},
        {Check3, "Check3", u"Imprimir foto (Imprimir la foto consumirá mas tinta)", {120, 840, 6615, 255}},
        {Check4, "Check4", u"Buscar nuevas actualizaciones cada vez que se inicie Orvalia",
            {120, 1200, 6615, 255}},
        {Check5, "Check5", u"Iniciar Orvalia cuando se inicie Windows - Disponible en la próxima versión",
            {120, 1560, 6615, 255}},
        {Check6, "Check6", u"Activar sonidos", {120, 1920, 6615, 255}},
    };
    for (const auto &setting : settings)
        setting.box = form.checkBox(setting.name, QString::fromUtf16(setting.caption), setting.place);

    Frame1 = form.frame("Frame1", QStringLiteral("Contraseña"), {120, 2400, 3255, 1695});
    const FormBuilder password(Frame1);
    Check2 = password.checkBox(
        "Check2", QStringLiteral("Proteger agenda mediante contraseña"), {120, 360, 3015, 255});
    cmdcamcon = password.button("cmdcamcon", QStringLiteral("Cambiar Contraseña"), {120, 840, 3015, 375});
    Label2 = password.label("Label2", QString(), {120, 1320, 3015, 255});

    Frame2 = form.frame("Frame2", QStringLiteral("Copia de seguridad - Backup"), {3480, 2400, 3255, 1695});
    const FormBuilder backup(Frame2);
    cmdcrearbak
        = backup.button("cmdcrearbak", QStringLiteral("Crear Backup De La Lista"), {120, 360, 3015, 375});
    cmdiniciarback = backup.button("cmdiniciarback", QStringLiteral("Cargar Backup"), {120, 840, 3015, 375});
    // The backup date comes from the options file as it stands: text, never markup.
    Label1 = backup.label("Label1", NoBackupText, {120, 1320, 3015, 255});

    cmdacept = form.button("cmdacept", QStringLiteral("Aceptar"), {120, 4200, 3255, 375});
    cmdcancel = form.button("cmdcancel", QStringLiteral("Cancelar"), {3480, 4200, 3255, 375});

    // Initial states, before the options file has its say.
    Check1->setChecked(true);
    chmayus->setChecked(true);
    Check3->setChecked(true);
    Check5->setEnabled(false);
    cmdcamcon->setEnabled(false);

    FormBuilder::tabOrder({Check1, chmayus, Check3, Check2, cmdcamcon, cmdcrearbak, cmdiniciarback, cmdacept,
        cmdcancel, Check4, Check5, Check6});
}

void FrmOptions::Form_Load()
{
    SecondaryWindow::Form_Load();
    Loaded = false;
    const OptionsFile::Lines lines = m_session.open();
    const auto line = [&](OptionsFile::Line n) { return lines.at(n - 1); };

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
    if (line(OptionsFile::PasswordProtection) == u"1")
        cmdcamcon->setEnabled(true);

    Loaded = true;
}

// Connected only after the load, so that setting the boxes from the file writes nothing.
void FrmOptions::connectHandlers()
{
    const std::pair<QCheckBox *, OptionsFile::Line> lineBoxes[] = {
        {Check1, OptionsFile::ConfirmChanges},
        {chmayus, OptionsFile::Capitalize},
        {Check3, OptionsFile::PrintPhoto},
        {Check4, OptionsFile::UpdateCheck},
        {Check5, OptionsFile::StartWithWindows},
        {Check6, OptionsFile::SoundsOn},
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
            auto *contra = new FrmContra(m_platform, this, owner());
            connect(contra, &FrmContra::closedWithoutPassword, this, [this] {
                if (!Check2->isChecked())
                    return;
                // Ticking wrote nothing, so line 4 says "0" already: the box follows it whether or
                // not writing it again succeeds.
                const QSignalBlocker quiet(Check2);
                Check2->setChecked(false);
                cmdcamcon->setEnabled(false);
                static_cast<void>(m_session.setLine(OptionsFile::PasswordProtection, QStringLiteral("0")));
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
    if (m_session.setLine(line, box->isChecked() ? QStringLiteral("1") : QStringLiteral("0")))
        return true;
    {
        const QSignalBlocker quiet(box);
        box->setChecked(!box->isChecked());
    }
    m_platform.messages.error(this, OptionFailed);
    return false;
}

void FrmOptions::cmdcamcon_Click()
{
    clickSound();
    auto *camCont = new FrmCamCont(m_platform, this, owner());
    m_passwordWindow = camCont;
    camCont->show();
}

void FrmOptions::cmdcrearbak_Click()
{
    clickSound();
    ContactFile contacts(m_platform.system.programDirectory(), m_platform.attributes);
    if (!contacts.backup()) {
        m_platform.messages.error(this, QStringLiteral("No se pudo hacer el backup de la lista."));
        return;
    }
    // The date is recorded before the user is told, so that a date that could not be recorded
    // is not passed over in silence.
    const QString today = m_platform.system.currentDateText();
    if (m_session.setLine(OptionsFile::LastBackup, today))
        m_platform.messages.inform(this, QStringLiteral("¡Backup Completado!"));
    else
        m_platform.messages.error(this, BackupDateFailed);
    // data.bak holds the list either way, so it can be loaded back.
    setLabelText(Label1, LastBackupText + today);
    cmdiniciarback->setEnabled(true);
}

void FrmOptions::cmdiniciarback_Click()
{
    clickSound();
    const MessageBoxes::Answer answer = m_platform.messages.ask(
        this, QStringLiteral("¿Esta seguro que desea cargar el backup?"), MessageBoxes::Buttons::OkCancel);
    if (answer != MessageBoxes::Answer::Ok)
        return;
    // The backup is copied whole beside the contact file and only then takes its name, so a
    // missing or unreadable backup leaves the contacts as they are.
    ContactFile contacts(m_platform.system.programDirectory(), m_platform.attributes);
    if (!contacts.restore()) {
        m_platform.messages.error(this,
            QStringLiteral("No se pudo cargar el backup. La lista de contactos no ha sido modificada."));
        return;
    }
    emit backupRestored();
}

void FrmOptions::cmdacept_Click()
{
    clickSound();
    if (m_session.commit() == OptionsSession::Commit::Failed) {
        // Nothing changed on disk: the window stays with the changes, for another try or "Cancelar".
        m_platform.messages.error(this, CommitFailed);
        return;
    }
    close();
}

void FrmOptions::cmdcancel_Click()
{
    clickSound();
    close();
}

void FrmOptions::Form_Unload()
{
    // A password window still open ends unaccepted first, so that what it would clear lands in
    // the working copy about to be thrown away rather than in one left behind.
    if (m_passwordWindow && m_passwordWindow->isVisible())
        m_passwordWindow->close();
    m_session.close();
    SecondaryWindow::Form_Unload();
}

void FrmOptions::clickSound()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
}
