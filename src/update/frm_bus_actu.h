#pragma once

#include "platform/secondary_window.h"

#include <QUrl>

struct Platform;
class QLabel;
class QLineEdit;
class QTimer;

// "Buscar Actualizaciones": looks on the maker's server for a newer version, once, 1 ms after it
// is shown, and closes itself. The main window, when usable, is disabled until it closes.
//
// Interactive by default; the caller writes "1" into txtcomohacer right after show() for the
// quiet check at start-up, which reports only a newer version.
class FrmBusActu : public SecondaryWindow
{
    Q_OBJECT

public:
    static constexpr int TimerInterval = 1;

    FrmBusActu(Platform &platform, QWidget *mainWindow);

    // Where the update information and the maker's page are; the build sets both.
    void setUpdateUrl(const QUrl &url) { m_updateUrl = url; }
    QUrl updateUrl() const { return m_updateUrl; }
    void setWebPage(const QUrl &url) { m_webPage = url; }
    QUrl webPage() const { return m_webPage; }

    // Program directory + "actu.txt".
    QString localCopy() const;

    QLabel *Label1;
    QLineEdit *txtcontenedor; // the downloaded text, then the version text
    QLineEdit *txtcomohacer; // "1": quiet mode
    QTimer *timerunloaded;

public slots:
    void timerunloaded_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load() override;
    void Form_Unload() override;
    bool IsConnected();
    bool DownloadFile(const QUrl &url, const QString &localFile);
    bool quietMode() const;
    void closeWindow();
    void deleteLocalCopy();

    Platform &m_platform;
    QUrl m_updateUrl;
    QUrl m_webPage;
    bool m_checked = false;
    bool m_checking = false;
    bool m_tookMainWindow = false; // the check disabled the main window and owes it back
};
