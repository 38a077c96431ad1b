#pragma once

#include "password/password_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Orvalia - Proteger mediante contraseña": switching protection on. The password, typed twice,
// the secret question and its answer go to the password file, and line 4 of the options working
// copy becomes "1". The options window and the main window stay disabled while it is open.
class FrmContra : public PasswordWindow
{
    Q_OBJECT
public:
    FrmContra(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow);

signals:
    // The window is closing without a stored password: protection stays off.
    void closedWithoutPassword();

private:
    void cmdaccept_Click();
    void cmdcancel_Click();
    void Form_Unload() override;

    bool aceptado = false;

    QLabel *Label1 = nullptr;
    QLineEdit *txtcontra = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtrecontra = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtpreg = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtresp = nullptr;
    QPushButton *cmdaccept = nullptr;
    QPushButton *cmdcancel = nullptr;
    QLabel *Label5 = nullptr;
};
