#include "password/frm_cam_cont.h"

#include "options/options_file.h"
#include "options/sound_cue.h"
#include "password/frm_contra.h"
#include "password/password_store.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FrmCamCont::FrmCamCont(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow)
    : QWidget(optionsWindow, OwnedWindow::ToolFlags)
    , m_platform(platform)
    , m_optionsWindow(optionsWindow)
    , m_mainWindow(mainWindow)
{
    using PasswordWindow::label;
    using PasswordWindow::textBox;
    using Twips::rect;
    PasswordWindow::setUp(
        this, optionsWindow, QStringLiteral("Orvalia - Cambiar contraseña"), Twips::size(4680, 2745));

    Label1 = label(this, "Label1", QStringLiteral("Contraseña antigua :"), rect(120, 120, 4455, 255));
    txtconant = textBox(this, Label1, "txtconant", rect(120, 360, 4455, 285), /*masked=*/true);
    Label2 = label(this, "Label2", QStringLiteral("Nueva contraseña :"), rect(120, 840, 4455, 255));
    txtnuecon = textBox(this, Label2, "txtnuecon", rect(120, 1080, 4455, 285), /*masked=*/true);
    Label3 = label(this, "Label3", QStringLiteral("Retipear nueva contraseña :"), rect(120, 1560, 4455, 255));
    txtnuerecon = textBox(this, Label3, "txtnuerecon", rect(120, 1800, 4455, 285), /*masked=*/true);
    cmdaccept
        = PasswordWindow::button(this, "cmdaccept", QStringLiteral("Aceptar"), rect(120, 2280, 2175, 375));
    cmdcancel
        = PasswordWindow::button(this, "cmdcancel", QStringLiteral("Cancelar"), rect(2400, 2280, 2175, 375));

    setTabOrder(txtconant, txtnuecon);
    setTabOrder(txtnuecon, txtnuerecon);
    setTabOrder(txtnuerecon, cmdaccept);
    setTabOrder(cmdaccept, cmdcancel);

    connect(cmdaccept, &QPushButton::clicked, this, &FrmCamCont::cmdaccept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmCamCont::cmdcancel_Click);
    OwnedWindow::setKeys(this, cmdaccept, cmdcancel);
    Form_Load();
}

QString FrmCamCont::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmCamCont::Form_Load()
{
    OwnedWindow::disableOwner(this, m_optionsWindow);
    OwnedWindow::disableOwner(this, m_mainWindow);
}

void FrmCamCont::cmdaccept_Click()
{
    using Icon = MessageBoxes::Icon;
    clickSound();
    if (txtconant->text().isEmpty() || txtnuecon->text().isEmpty() || txtnuerecon->text().isEmpty()) {
        refuse(QStringLiteral("Se deben completar todos los datos"), Icon::Information);
        return;
    }
    PasswordStore store(GetWindows());
    if (!store.load()) {
        refuse(
            QStringLiteral("No se pudo leer el archivo de contraseña. La contraseña no ha sido modificada."),
            Icon::Error);
        return;
    }
    bool oldRight = false;
    {
        const PasswordWindow::WaitCursor wait;
        oldRight = store.isPassword(txtconant->text());
    }
    if (!oldRight) {
        refuse(QStringLiteral("La contraseña antigua no es correcta"), Icon::Error);
        return;
    }
    // Exact text: letter case and blanks count.
    if (txtnuecon->text() != txtnuerecon->text()) {
        refuse(QStringLiteral("Las nuevas contraseñas no son iguales"), Icon::Information);
        return;
    }
    bool changed = false;
    {
        const PasswordWindow::WaitCursor wait;
        changed = store.changePassword(txtconant->text(), txtnuecon->text());
    }
    if (!changed) {
        refuse(
            QStringLiteral("No se pudo guardar la nueva contraseña. La contraseña anterior sigue vigente."),
            Icon::Error);
        return;
    }
    m_platform.messages.show(this, QStringLiteral("¡La contraseña ha sido modificada correctamente!"),
                             QStringLiteral("Orvalia"), Icon::Information, MessageBoxes::Buttons::Ok);
    close();
}

void FrmCamCont::cmdcancel_Click()
{
    clickSound();
    close();
}

void FrmCamCont::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void FrmCamCont::Form_Unload()
{
    // The main window stays disabled: the options window, still open, enables it when it closes.
    if (m_optionsWindow)
        m_optionsWindow->setEnabled(true);
}

void FrmCamCont::clickSound()
{
    playSoundCue(
        m_platform.sound, ReadOptions(OptionsFile(m_platform.system.programDirectory())), ClickSound);
}

void FrmCamCont::refuse(const QString &text, MessageBoxes::Icon icon)
{
    m_platform.messages.show(this, text, QStringLiteral("Error"), icon, MessageBoxes::Buttons::Ok);
}
