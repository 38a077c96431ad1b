#include "password/frm_contra_pri.h"

#include "options/sound_cue.h"
#include "password/frm_olvidoc.h"
#include "password/password_store.h"
#include "password/password_window.h"
#include "platform/form_builder.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FrmContraPri::FrmContraPri(Platform &platform, QWidget *parent)
    : QWidget(parent, OwnedWindow::ToolFlags)
    , m_platform(platform)
{
    OwnedWindow::setUp(this, parent, QStringLiteral("Protección"), Twips::size(4680, 1800));
    // Qt leaves tool windows out of the last-window count; this one is a window of the program.
    setAttribute(Qt::WA_QuitOnClose);

    const FormBuilder form(this);
    Label1
        = form.label("Label1", QStringLiteral("Inserte contraseña para continuar :"), {120, 120, 4455, 255});
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    txtcontra = form.textBox("txtcontra", {120, 360, 4455, 285}, Label1);
    txtcontra->setEchoMode(QLineEdit::Password);
    txtcontra->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'
    cmdaccept = form.button("cmdaccept", QStringLiteral("Aceptar"), {120, 840, 4455, 375});
    cmdolcont = form.button("cmdolcont", QStringLiteral("¿Olvidó su contraseña?"), {120, 1320, 4455, 375});
    FormBuilder::tabOrder({txtcontra, cmdaccept, cmdolcont});
    txtcontra->setFocus();

    connect(cmdaccept, &QPushButton::clicked, this, &FrmContraPri::cmdaccept_Click);
    connect(cmdolcont, &QPushButton::clicked, this, &FrmContraPri::cmdolcont_Click);
    // Enter logs in; there is nothing to cancel to.
    OwnedWindow::setKeys(this, cmdaccept, nullptr);
}

QString FrmContraPri::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmContraPri::cmdaccept_Click()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
    PasswordStore store(GetWindows());
    if (!store.load()) {
        m_platform.messages.error(this, unreadableFileText());
        return;
    }
    // An old file that matches is rewritten in the new form here; should that fail, it stays as
    // it is and the user still gets in.
    bool right = false;
    {
        const WaitCursor wait;
        right = store.checkPassword(txtcontra->text());
    }
    if (!right) {
        m_platform.messages.error(this, QStringLiteral("Contraseña incorrecta"));
        return;
    }
    // The main window is up before the login goes, so the program never runs out of windows.
    emit accepted();
    close();
}

void FrmContraPri::cmdolcont_Click()
{
    playClickSound(m_platform.sound, m_platform.system.programDirectory());
    auto *forgotten = new FrmOlvidoc(m_platform, this);
    forgotten->show();
}
