#include "password/frm_contra_pri.h"

#include "app/frm_organizador.h"
#include "options/options_file.h"
#include "options/sound_cue.h"
#include "password/frm_contra.h"
#include "password/frm_olvidoc.h"
#include "password/password_store.h"
#include "platform/accessible_names.h"
#include "platform/owned_window.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

FrmContraPri::FrmContraPri(Platform &platform, QWidget *parent)
    : QWidget(parent, OwnedWindow::ToolFlags)
    , m_platform(platform)
    , Label1(new QLabel(QStringLiteral("Inserte contraseña para continuar :"), this))
    , txtcontra(new QLineEdit(this))
    , cmdaccept(new QPushButton(QStringLiteral("Aceptar"), this))
    , cmdolcont(new QPushButton(QStringLiteral("¿Olvidó su contraseña?"), this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Qt leaves tool windows out of the last-window count; this one is a window of the program.
    setAttribute(Qt::WA_QuitOnClose);
    setWindowTitle(QStringLiteral("Protección"));
    setFont(Twips::formFont());
    setFixedSize(Twips::size(4680, 1800));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(Twips::formFont(true));
    Label1->setGeometry(Twips::rect(120, 120, 4455, 255));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    txtcontra->setObjectName(QStringLiteral("txtcontra"));
    txtcontra->setGeometry(Twips::rect(120, 360, 4455, 285));
    txtcontra->setEchoMode(QLineEdit::Password);
    txtcontra->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'
    AccessibleNames::nameAfter(Label1, txtcontra);

    cmdaccept->setObjectName(QStringLiteral("cmdaccept"));
    cmdaccept->setGeometry(Twips::rect(120, 840, 4455, 375));
    cmdolcont->setObjectName(QStringLiteral("cmdolcont"));
    cmdolcont->setGeometry(Twips::rect(120, 1320, 4455, 375));

    setTabOrder(txtcontra, cmdaccept);
    setTabOrder(cmdaccept, cmdolcont);
    txtcontra->setFocus();

    connect(cmdaccept, &QPushButton::clicked, this, &FrmContraPri::cmdaccept_Click);
    connect(cmdolcont, &QPushButton::clicked, this, &FrmContraPri::cmdolcont_Click);
    // Enter logs in; there is nothing to cancel to.
    OwnedWindow::setKeys(this, cmdaccept, nullptr);

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

QString FrmContraPri::unreadableFileText()
{
    return QStringLiteral("No se puede leer el archivo de contraseña. La agenda está protegida y no se "
                          "puede abrir sin la contraseña.");
}

QString FrmContraPri::GetWindows() const
{
    return m_platform.system.passwordDirectory();
}

void FrmContraPri::clickSound()
{
    playSoundCue(m_platform.sound, ReadOptions(OptionsFile(m_platform.system.programDirectory())),
                 ClickSound);
}

void FrmContraPri::cmdaccept_Click()
{
    clickSound();
    PasswordStore store(GetWindows());
    if (!store.load()) {
        m_platform.messages.show(this, unreadableFileText(), QStringLiteral("Error"),
                                 MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    // An old file that matches is rewritten in the new form here; should that fail, it stays as
    // it is and the user still gets in.
    bool right = false;
    {
        const PasswordWindow::WaitCursor wait;
        right = store.checkPassword(txtcontra->text());
    }
    if (!right) {
        m_platform.messages.show(this, QStringLiteral("Contraseña incorrecta"), QStringLiteral("Error"),
                                 MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok);
        return;
    }
    // The main window is up before the login goes, so the program never runs out of windows.
    showMainWindow(m_platform);
    close();
}

void FrmContraPri::cmdolcont_Click()
{
    clickSound();
    auto *forgotten = new FrmOlvidoc(m_platform, this);
    forgotten->show();
}
