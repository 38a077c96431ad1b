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
    Label1 = form.label("Label1", QStringLiteral("Contraseña antigua :"), {120, 120, 4455, 255});
    txtconant = textBox(form, "txtconant", {120, 360, 4455, 285}, Label1, /*masked=*/true);
    Label2 = form.label("Label2", QStringLiteral("Nueva contraseña :"), {120, 840, 4455, 255});
    txtnuecon = textBox(form, "txtnuecon", {120, 1080, 4455, 285}, Label2, /*masked=*/true);
    Label3 = form.label("Label3", QStringLiteral("Retipear nueva contraseña :"), {120, 1560, 4455, 255});
    txtnuerecon = textBox(form, "txtnuerecon", {120, 1800, 4455, 285}, Label3, /*masked=*/true);
    cmdaccept = form.button("cmdaccept", QStringLiteral("Aceptar"), {120, 2280, 2175, 375});
    cmdcancel = form.button("cmdcancel", QStringLiteral("Cancelar"), {2400, 2280, 2175, 375});
    FormBuilder::tabOrder({txtconant, txtnuecon, txtnuerecon, cmdaccept, cmdcancel});

    connect(cmdaccept, &QPushButton::clicked, this, &FrmCamCont::cmdaccept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmCamCont::cmdcancel_Click);
    OwnedWindow::setKeys(this, cmdaccept, cmdcancel);
    Form_Load();
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
