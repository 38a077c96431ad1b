#pragma once

#include <QWidget>

struct Platform;
class QLabel;
class QLineEdit;
class QPushButton;

// "Protección": asks for the password at start when the address book is protected. The right
// password is announced by accepted(), for the main window to open, and closes this one; closing
// it otherwise ends the program.
class FrmContraPri : public QWidget
{
    Q_OBJECT

public:
    explicit FrmContraPri(Platform &platform, QWidget *parent = nullptr);

    // Told when the password file is missing or unreadable: the login stays and nobody gets in.
    static QString unreadableFileText()
    {
        return QStringLiteral("No se puede leer el archivo de contraseña. La agenda está protegida y no se "
                              "puede abrir sin la contraseña.");
    }

signals:
    // The right password was typed; the window closes right after.
    void accepted();

public slots:
    void cmdaccept_Click();
    void cmdolcont_Click();

private:
    QString GetWindows() const;

    Platform &m_platform;
    QLabel *Label1 = nullptr;
    QLineEdit *txtcontra = nullptr;
    QPushButton *cmdaccept = nullptr;
    QPushButton *cmdolcont = nullptr;
};
