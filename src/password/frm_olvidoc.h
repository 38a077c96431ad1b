#pragma once

#include "password/password_store.h"
#include "platform/secondary_window.h"

#include <optional>

struct Platform;
class QLabel;
class QLineEdit;
class QPushButton;

// "¿Olvidó su contraseña?": shows the secret question and, for the right answer, tells the
// password. The login window stays disabled while this one is open.
class FrmOlvidoc : public SecondaryWindow
{
    Q_OBJECT

public:
    // login is the window to disable while this one is open, and its owner.
    FrmOlvidoc(Platform &platform, QWidget *login);

    // Told on "Responder" when the password file could not be read.
    static QString unreadableFileText()
    {
        return QStringLiteral("No se puede leer el archivo de contraseña. No es posible recuperar la "
                              "contraseña.");
    }

public slots:
    void cmdresp_Click();
    void cmdsalir_Click();

private:
    void Form_Load() override;
    QString GetWindows() const;

    Platform &m_platform;

    // The password file as read when the window opened: the new form holds no password or answer
    // in clear; an old file holds both until the first right answer rewrites it.
    std::optional<PasswordStore> m_store;
    QString preg;
    bool m_fileRead = false;

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *lblpreg = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtresp = nullptr;
    QPushButton *cmdresp = nullptr;
    QPushButton *cmdsalir = nullptr;
};
