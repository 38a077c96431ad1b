#include "app/about_window.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

// Stands in for the main window: one button that counts its clicks.
class MainStandIn : public QWidget
{
public:
    MainStandIn()
    {
        button = new QPushButton(QStringLiteral("Agregar"), this);
        button->setGeometry(10, 10, 100, 30);
        QObject::connect(button, &QPushButton::clicked, button, [this] { ++clicks; });
        resize(300, 200);
        show();
    }

    QPushButton *button;
    int clicks = 0;
};

class TstAboutWindow : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void picture();
    void closeBoxTwice();
    void clickOnPicture_data();
    void clickOnPicture();
    void mainWindowIgnoresInput();
};

void TstAboutWindow::layout()
{
    MainStandIn main;
    auto *about = new FrmAcerca(&main);
    QPointer<FrmAcerca> open(about);

    QCOMPARE(about->windowTitle(), QStringLiteral("Acerca De Orvalia"));
    QVERIFY(about->isWindow());
    QVERIFY(about->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(about->size(), QSize(361, 245));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QCOMPARE(about->Image1->geometry(), QRect(0, -8, 363, 255));
    // The picture is the only control.
    QCOMPARE(about->findChildren<QWidget *>(), QList<QWidget *> {about->Image1});
    // Loading happens at the show, not before.
    QVERIFY(main.isEnabled());
    about->close();
}

void TstAboutWindow::picture()
{
    MainStandIn main;
    auto *about = new FrmAcerca(&main);
    const QPixmap pixmap = about->Image1->pixmap();
    QCOMPARE(pixmap.size(), QSize(363, 255));
    const QImage art = pixmap.toImage();
    QVERIFY(!art.hasAlphaChannel());

    // The picture fills the window, shifted up by 8 pixels.
    about->show();
    const QImage shown = about->grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(180, 120), QPoint(360, 244), QPoint(40, 200)})
        QCOMPARE(shown.pixelColor(at), art.pixelColor(at + QPoint(0, 8)));
    about->close();
}

void TstAboutWindow::closeBoxTwice()
{
    MainStandIn main;
    for (int round = 1; round <= 2; ++round) {
        auto *about = new FrmAcerca(&main);
        QPointer<FrmAcerca> open(about);
        about->show();
        QVERIFY(!main.isEnabled());
        QVERIFY(about->isEnabled());

        // The title bar's close box sends the window a close request.
        QVERIFY(about->close());
        QVERIFY(main.isEnabled());
        QTRY_VERIFY(open.isNull());
    }
}

void TstAboutWindow::clickOnPicture_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("closes");
    QTest::newRow("left") << Qt::LeftButton << true;
    QTest::newRow("right") << Qt::RightButton << true;
    QTest::newRow("middle") << Qt::MiddleButton << false;
}

void TstAboutWindow::clickOnPicture()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, closes);

    MainStandIn main;
    auto *about = new FrmAcerca(&main);
    QPointer<FrmAcerca> open(about);
    about->show();
    QVERIFY(!main.isEnabled());

    QTest::mouseClick(about->Image1, button, {}, QPoint(120, 100));
    if (closes) {
        QVERIFY(main.isEnabled());
        QTRY_VERIFY(open.isNull());
    } else {
        QVERIFY(about->isVisible());
        QVERIFY(!main.isEnabled());
        about->close();
    }
}

void TstAboutWindow::mainWindowIgnoresInput()
{
    MainStandIn main;
    auto *about = new FrmAcerca(&main);
    about->show();

    QTest::mouseClick(main.button, Qt::LeftButton);
    QTest::ignoreMessage(QtWarningMsg, "Keyboard event not accepted by receiving widget");
    QTest::ignoreMessage(QtWarningMsg, "Keyboard event not accepted by receiving widget");
    QTest::keyClick(main.button, Qt::Key_Space);
    QCOMPARE(main.clicks, 0);

    QTest::mouseClick(about->Image1, Qt::LeftButton);
    QTest::mouseClick(main.button, Qt::LeftButton);
    QCOMPARE(main.clicks, 1);
}

QTEST_MAIN(TstAboutWindow)
#include "tst_about_window.moc"
