#include "password/frm_contra.h"

#include "options/options_file.h"
#include "password/password_store.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FrmContra::FrmContra(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow)
    : PasswordWindow(platform, optionsWindow, mainWindow,
        QStringLiteral("Orvalia - Proteger mediante contraseña"), Twips::size(4680, 4545))
{
    const FormBuilder form(this);
    txtcontra = labelledBox(form, Label1, "Label1", QStringLiteral("Contraseña :"), "txtcontra", 120, true);
    txtrecontra = labelledBox(
        form, Label2, "Label2", QStringLiteral("Re-tipee contraseña :"), "txtrecontra", 720, true);
    form.line("Line1", {120, 1440 - 15, 4560 - 120, 30}, QFrame::Sunken);
    txtpreg
        = labelledBox(form, Label3, "Label3", QStringLiteral("Pregunta secreta :"), "txtpreg", 1680, false);
    txtresp
        = labelledBox(form, Label4, "Label4", QStringLiteral("Respuesta secreta :"), "txtresp", 2400, false);
    cmdaccept = form.button("cmdaccept", QStringLiteral("Aceptar"), {120, 3120, 2175, 375});
    cmdcancel = form.button("cmdcancel", QStringLiteral("Cancelar"), {2400, 3120, 2175, 375});
    Label5 = form.label("Label5",
        QStringLiteral("En caso de que olvide su contraseña, usted tendrá la opción de que Orvalia le "
                       "haga la pregunta secreta que usted tipeo y si la contesta bien (\"Respuesta "
                       "secreta\"), el sistema le mostrará su contraseña."),
        {120, 3720, 4455, 855}, FormBuilder::Flow::Wrapped);
    FormBuilder::tabOrder({txtcontra, txtrecontra, txtpreg, txtresp, cmdaccept, cmdcancel});

    connect(cmdaccept, &QPushButton::clicked, this, &FrmContra::cmdaccept_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmContra::cmdcancel_Click);
    OwnedWindow::setKeys(this, cmdaccept, cmdcancel);
    load();
}

void FrmContra::cmdaccept_Click()
{
    clickSound();
    if (txtcontra->text().isEmpty() || txtrecontra->text().isEmpty() || txtpreg->text().isEmpty()
        || txtresp->text().isEmpty()) {
        m_platform.messages.error(
            this, QStringLiteral("Se deben completar todos los datos"), MessageBoxes::Icon::Information);
        return;
    }
    // Exact text: letter case and blanks count.
    if (txtcontra->text() != txtrecontra->text()) {
        m_platform.messages.error(
            this, QStringLiteral("Las contraseñas no coinciden"), MessageBoxes::Icon::Information);
        return;
    }
    // The password file first: protection must not be switched on without a password to ask for.
    PasswordStore store(GetWindows());
    const PasswordFile &passwordFile = store.file();
    // A file that is there but cannot be kept aside could not be put back after a failure below.
    const std::optional<QByteArray> previous = passwordFile.saved();
    bool written = false;
    if (previous || !passwordFile.present()) {
        const WaitCursor wait;
        written = store.create(txtcontra->text(), txtpreg->text(), txtresp->text());
    }
    if (!written) {
        m_platform.messages.error(this,
            QStringLiteral("No se pudo guardar la contraseña en el archivo de "
                           "contraseña. La protección no ha sido activada."));
        return;
    }
    const OptionsFile options(m_platform.system.programDirectory());
    if (!options.updateLine(OptionsFile::PasswordProtection, QStringLiteral("1"))) {
        // The password in force must not change while protection is reported as not activated;
        // should the old file not go back either, the user must know which password now holds.
        const QString notActivated = QStringLiteral(
            "No se pudo guardar la opción de protección. La protección no ha sido activada.");
        if (passwordFile.putBack(previous))
            m_platform.messages.error(this, notActivated);
        else
            m_platform.messages.error(this,
                notActivated
                    + QStringLiteral(" La contraseña nueva quedó guardada en lugar de la anterior."));
        return;
    }
    aceptado = true;
    close();
}

void FrmContra::cmdcancel_Click()
{
    clickSound();
    close();
}

void FrmContra::Form_Unload()
{
    SecondaryWindow::Form_Unload();
    if (!aceptado)
        emit closedWithoutPassword();
}
