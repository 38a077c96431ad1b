#pragma once

#include "options/options_session.h"
#include "platform/secondary_window.h"

#include <QPointer>

struct Platform;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// "Opciones": the eight settings, the way to the password windows and the backup of the contact
// list. Every change goes to the working copy of the options file at once; "Aceptar" puts it in
// force, "Cancelar" and the close box throw it away. The main window stays disabled while this
// window is open.
class FrmOptions : public SecondaryWindow
{
    Q_OBJECT
public:
    FrmOptions(Platform &platform, QWidget *mainWindow);

    // The directory of the password file.
    QString GetWindows() const;

signals:
    // data.orv now holds the backup's records.
    void backupRestored();

private:
    void createControls();
    void Form_Load() override;
    void connectHandlers();
    void Check2_Click();
    void cmdcamcon_Click();
    void cmdcrearbak_Click();
    void cmdiniciarback_Click();
    void cmdacept_Click();
    void cmdcancel_Click();
    void Form_Unload() override;
    void clickSound();
    bool storeLine(QCheckBox *box, OptionsFile::Line line);

    Platform &m_platform;
    QPointer<QWidget> m_passwordWindow;
    OptionsSession m_session;

    bool Loaded = false;

    QCheckBox *Check1 = nullptr;
    QCheckBox *chmayus = nullptr;
    QCheckBox *Check3 = nullptr;
    QCheckBox *Check4 = nullptr;
    QCheckBox *Check5 = nullptr;
    QCheckBox *Check6 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QCheckBox *Check2 = nullptr;
    QPushButton *cmdcamcon = nullptr;
    QLabel *Label2 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QPushButton *cmdcrearbak = nullptr;
    QPushButton *cmdiniciarback = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *cmdacept = nullptr;
    QPushButton *cmdcancel = nullptr;
};
