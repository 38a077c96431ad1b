#include "app/frm_organizador.h"

#include "app/main_window.h"
#include "options/options_file.h"
#include "password/frm_contra_pri.h"
#include "platform/platform.h"

FrmOrganizador::FrmOrganizador(Platform &platform, QWidget *parent)
    : QWidget(parent)
    , m_platform(platform)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Never visible, so it must never count as the program's last window.
    setAttribute(Qt::WA_QuitOnClose, false);
    Form_Load();
}

void FrmOrganizador::Form_Load()
{
    // A missing or unreadable options file counts as protection off: the first start has none.
    const std::optional<QString> protection
        = OptionsFile(m_platform.system.programDirectory()).readProtectionLine();
    if (protection && *protection == u"1")
        showLogin(m_platform);
    else
        showMainWindow(m_platform);
    close();
}

void showMainWindow(Platform &platform)
{
    auto *window = new FrmPrincipal(platform);
    window->show();
}

FrmContraPri *showLogin(Platform &platform)
{
    auto *login = new FrmContraPri(platform);
    QObject::connect(login, &FrmContraPri::accepted, login, [&platform] { showMainWindow(platform); });
    login->show();
    return login;
}
