#pragma once

#include "password/password_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Orvalia - Cambiar contraseña": replaces the stored password after the old one was typed. The
// change goes straight into the password file; the secret question and answer stay. The options
// window and the main window stay disabled while it is open.
class FrmCamCont : public PasswordWindow
{
    Q_OBJECT
public:
    FrmCamCont(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow);

private:
    void cmdaccept_Click();
    void cmdcancel_Click();

    QLabel *Label1 = nullptr;
    QLineEdit *txtconant = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtnuecon = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtnuerecon = nullptr;
    QPushButton *cmdaccept = nullptr;
    QPushButton *cmdcancel = nullptr;
};
