#pragma once

#include "platform/secondary_window.h"

class QLabel;

// "Acerca De Orvalia": the product's picture. The main window is disabled while it is open; a
// click on the picture or the close box closes it.
class FrmAcerca : public SecondaryWindow
{
    Q_OBJECT

public:
    explicit FrmAcerca(QWidget *mainWindow);

    QLabel *Image1;

public slots:
    void Image1_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Qt::MouseButton m_pressed = Qt::NoButton;
};
