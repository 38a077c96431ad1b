// The main window's ways to the program's other windows, the printed card and the maker's page.

#include "app/about_window.h"
#include "app/main_window.h"
#include "app/search_window.h"
#include "options/frm_options.h"
#include "platform/platform.h"
#include "print/card_job.h"
#include "update/frm_bus_actu.h"

#include <QLineEdit>
#include <QTimer>
#include <QUrl>

void FrmPrincipal::Command7_Click()
{
    clickSound();
    CardJob(m_platform, m_optionsFile, m_options).run(this, boxes());
}

void FrmPrincipal::cmdoptions_Click()
{
    connect(openOwned(new FrmOptions(m_platform, this)), &FrmOptions::backupRestored, this,
        &FrmPrincipal::reloadContacts);
}

void FrmPrincipal::cmdacerca_Click()
{
    openOwned(new FrmAcerca(this));
}

void FrmPrincipal::mnuopciones_Click()
{
    cmdoptions_Click();
}

void FrmPrincipal::mnuacerca_Click()
{
    cmdacerca_Click();
}

void FrmPrincipal::mnubusactu_Click()
{
    (new FrmBusActu(m_platform, this))->show();
}

void FrmPrincipal::mnubuscar_Click()
{
    connect(openOwned(new FrmBuscar(m_platform, this, m_model)), &FrmBuscar::contactChosen, this,
        &FrmPrincipal::showFound);
}

void FrmPrincipal::mnumorqweb_Click()
{
    m_platform.shell.openUrl(QUrl(QStringLiteral(ORVALIA_WEB_PAGE)));
}

void FrmPrincipal::timeractu_Timer()
{
    // While another window has the user (options, about, a password window) or the program is
    // leaving, the check waits: the update window would take the main window from under it.
    if (m_exiting || !isVisible() || !isEnabled())
        return;
    if (!IsConnected())
        return;
    timeractu->stop();
    auto *update = new FrmBusActu(m_platform, this);
    update->show();
    update->txtcomohacer->setText(QStringLiteral("1"));
}
