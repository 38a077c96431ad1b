#include "app/about_window.h"
#include "app/application.h"
#include "app/frm_welcome.h"
#include "app/main_window.h"
#include "fake_platform.h"
#include "options/frm_options.h"
#include "password/frm_cam_cont.h"
#include "password/frm_contra.h"
#include "password/frm_contra_pri.h"
#include "password/frm_olvidoc.h"
#include "update/frm_bus_actu.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QTest>

#include <functional>

using WindowMaker = std::function<QWidget *(Platform &, QWidget *)>;
Q_DECLARE_METATYPE(WindowMaker)

class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void knownToTheDesktopByItsEntry();
    void iconInEverySizeTheDesktopInstalls_data();
    void iconInEverySizeTheDesktopInstalls();
    void everyWindowShowsTheIcon_data();
    void everyWindowShowsTheIcon();
};

void TestApplication::initTestCase()
{
    setUpApplication(*qApp);
}

void TestApplication::knownToTheDesktopByItsEntry()
{
    // The window class on X11 is the application name: the desktop entry's StartupWMClass.
    QCOMPARE(QApplication::applicationName(), u"Orvalia"_qs);
    QCOMPARE(QApplication::applicationVersion(), u"2.0"_qs);
    QCOMPARE(QGuiApplication::desktopFileName(), u"example.morq_technologies.orvalia"_qs);
}

void TestApplication::iconInEverySizeTheDesktopInstalls_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%d", size) << size;
}

void TestApplication::iconInEverySizeTheDesktopInstalls()
{
    QFETCH(int, size);
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    // The very picture the menu shows, not a scaled neighbour.
    const QImage shown = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage installed
        = QImage(QStringLiteral(ORVALIA_SOURCE_DIR "/assets/icons/orvalia-%1.png").arg(size))
              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!installed.isNull());
    QCOMPARE(shown, installed);
}

void TestApplication::everyWindowShowsTheIcon_data()
{
    QTest::addColumn<WindowMaker>("make");
    QTest::newRow("FrmWelcome") << WindowMaker([](Platform &p, QWidget *) { return new FrmWelcome(p); });
    QTest::newRow("FrmPrincipal") << WindowMaker([](Platform &p, QWidget *) { return new FrmPrincipal(p); });
    QTest::newRow("FrmAcerca") << WindowMaker([](Platform &, QWidget *main) { return new FrmAcerca(main); });
    QTest::newRow("FrmOptions") << WindowMaker(
        [](Platform &p, QWidget *main) { return new FrmOptions(p, main); });
    QTest::newRow("FrmContra") << WindowMaker(
        [](Platform &p, QWidget *main) { return new FrmContra(p, main, main); });
    QTest::newRow("FrmCamCont") << WindowMaker(
        [](Platform &p, QWidget *main) { return new FrmCamCont(p, main, main); });
    QTest::newRow("FrmContraPri") << WindowMaker([](Platform &p, QWidget *) { return new FrmContraPri(p); });
    QTest::newRow("FrmOlvidoc") << WindowMaker(
        [](Platform &p, QWidget *main) { return new FrmOlvidoc(p, main); });
    QTest::newRow("FrmBusActu") << WindowMaker(
        [](Platform &p, QWidget *main) { return new FrmBusActu(p, main); });
}

void TestApplication::everyWindowShowsTheIcon()
{
    QFETCH(WindowMaker, make);
    TestPlatform desktop;
    QWidget main;
    std::unique_ptr<QWidget> window(make(desktop.platform, &main));
    QVERIFY(window->isWindow());
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
}

QTEST_MAIN(TestApplication)
#include "tst_application.moc"
