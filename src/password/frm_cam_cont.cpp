#include "password/frm_cam_cont.h"

#include "password/password_store.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FrmCamCont::FrmCamCont(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow)
    : PasswordWindow(platform, optionsWindow, mainWindow, QStringLiteral("Orvalia - Cambiar contraseña"),
        Twips::size(4680, 2745))
{
    const FormBuilder form(this);
    txtconant
        = labelledBox(form, Label1, "Label1", QStringLiteral("Contraseña antigua :"), "txtconant", 120, true);
    txtnuecon
        = labelledBox(form, Label2, "Label2", QStringLiteral("Nueva contraseña :"), "txtnuecon", 840, true);
    txtnuerecon = labelledBox(
        form, Label3, "Label3", QStringLiteral("Retipear nueva contraseña :"), "txtnuerecon", 1560, true);
    cmdaccept = form.button("cmdaccept", QStringLiteral("Aceptar"), {120, 2280, 2175, 375});
    cmdcancel = form.button("cmdcancel", QStringLiteral("Cancelar"), {2400, 2280, 2175, 375});
    FormBuilder::tabOrder({txtconant, txtnuecon, txtnuerecon, cmdaccept, cmdcancel});

    connect(cmdaccept, &QPushButton::clicked, this, &FrmCamCont::cmdaccept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmCamCont::cmdcancel_Click);
    OwnedWindow::setKeys(this, cmdaccept, cmdcancel);
    load();
}

void FrmCamCont::cmdaccept_Click()
{
    using Icon = MessageBoxes::Icon;
    MessageBoxes &messages = m_platform.messages;
    clickSound();
    if (txtconant->text().isEmpty() || txtnuecon->text().isEmpty() || txtnuerecon->text().isEmpty()) {
        messages.error(this, QStringLiteral("Se deben completar todos los datos"), Icon::Information);
        return;
    }
    PasswordStore store(GetWindows());
    if (!store.load()) {
        messages.error(this,
            QStringLiteral("No se pudo leer el archivo de contraseña. La contraseña no ha sido modificada."));
        return;
    }
    bool oldRight = false;
    {
        const WaitCursor wait;
        oldRight = store.isPassword(txtconant->text());
    }
    if (!oldRight) {
        messages.error(this, QStringLiteral("La contraseña antigua no es correcta"));
        return;
    }
    // Exact text: letter case and blanks count.
    if (txtnuecon->text() != txtnuerecon->text()) {
        messages.error(this, QStringLiteral("Las nuevas contraseñas no son iguales"), Icon::Information);
        return;
    }
    bool changed = false;
    {
        const WaitCursor wait;
        changed = store.changePassword(txtconant->text(), txtnuecon->text());
    }
    if (!changed) {
        messages.error(this,
            QStringLiteral("No se pudo guardar la nueva contraseña. La contraseña anterior sigue vigente."));
        return;
    }
    messages.inform(this, QStringLiteral("¡La contraseña ha sido modificada correctamente!"));
    close();
}

void FrmCamCont::cmdcancel_Click()
{
    clickSound();
    close();
}
