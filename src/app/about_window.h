#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

// "Acerca De Orvalia": the product's picture. The main window is disabled while it is open; a
// click on the picture or the close box closes it.
class FrmAcerca : public QWidget
{
    Q_OBJECT

public:
    explicit FrmAcerca(QWidget *mainWindow);

    QLabel *Image1;

public slots:
    void Image1_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();

    QPointer<QWidget> m_mainWindow;
    bool m_loaded = false;
    Qt::MouseButton m_pressed = Qt::NoButton;
};
