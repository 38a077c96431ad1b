#pragma once

#include <QWidget>

struct Platform;

// The start-up dispatcher: never shown. Its load reads the protection line of the options file,
// opens the login window when it is exactly "1" and the main window otherwise, and closes.
class FrmOrganizador : public QWidget
{
    Q_OBJECT

public:
    explicit FrmOrganizador(Platform &platform, QWidget *parent = nullptr);

private:
    void Form_Load();

    Platform &m_platform;
};

class FrmContraPri;

// Opens the main window, the way the dispatcher and a correct password do. In a second instance
// of the program the main window never appears and ends the program instead.
void showMainWindow(Platform &platform);

// Opens the login window, which opens the main window for the right password.
FrmContraPri *showLogin(Platform &platform);
