#pragma once

#include <QImage>
#include <QWidget>

struct Platform;
class QLabel;
class QTimer;

// "Bienvenido": the first window of the program. It shows the welcome picture, plays the start
// sound and, when Timer1 fires, hands over to the start-up dispatcher and closes.
class FrmWelcome : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Timer1Interval = 2500; // ms the picture stays on the screen

    explicit FrmWelcome(Platform &platform, QWidget *parent = nullptr);

    // The 450 x 200 picture, 24 bits per pixel: maker, product and version.
    static QImage welcomePicture();

public slots:
    void Timer1_Timer();

private:
    void Form_Load();
    void conmayu();

    Platform &m_platform;
    QString SoundsOn;
    QLabel *Image1;
    QTimer *Timer1;
};
