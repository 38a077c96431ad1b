#pragma once

#include "platform/message_boxes.h"

#include <QPointer>
#include <QWidget>

struct Platform;
class QLabel;
class QLineEdit;
class QPushButton;

// "Orvalia - Cambiar contraseña": replaces the stored password after the old one was typed. The
// change goes straight into the password file; the secret question and answer stay. The options
// window and the main window stay disabled while it is open.
class FrmCamCont : public QWidget
{
    Q_OBJECT
public:
    FrmCamCont(Platform &platform, QWidget *optionsWindow, QWidget *mainWindow);

    // The directory of the password file.
    QString GetWindows() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void cmdaccept_Click();
    void cmdcancel_Click();
    void Form_Unload();
    void clickSound();
    void refuse(const QString &text, MessageBoxes::Icon icon);

    Platform &m_platform;
    QPointer<QWidget> m_optionsWindow;
    QPointer<QWidget> m_mainWindow;

    QLabel *Label1 = nullptr;
    QLineEdit *txtconant = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtnuecon = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtnuerecon = nullptr;
    QPushButton *cmdaccept = nullptr;
    QPushButton *cmdcancel = nullptr;
};
