#include "app/frm_organizador.h"
#include "app/frm_welcome.h"
#include "app/main_window.h"
#include "fake_platform.h"
#include "password/frm_contra_pri.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <climits>

namespace {
template <class T> int visibleCount()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<T *>(widget) && widget->isVisible())
            ++count;
    return count;
}

void processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Notes, each time a window hides, how many other windows that keep the program running are still
// on the screen: the start-up must never leave it without one, or it would end on the way.
class WindowWatch : public QObject
{
public:
    WindowWatch() { qApp->installEventFilter(this); }
    ~WindowWatch() override { qApp->removeEventFilter(this); }

    int hides = 0;
    int fewestLeft = INT_MAX;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(object);
        if (event->type() == QEvent::Hide && widget && widget->isWindow()) {
            ++hides;
            int left = 0;
            for (QWidget *other : QApplication::topLevelWidgets())
                if (other != widget && other->isVisible() && other->testAttribute(Qt::WA_QuitOnClose))
                    ++left;
            fewestLeft = std::min(fewestLeft, left);
        }
        return false;
    }
};

QByteArray options(const QString &protection, const QString &sounds = u"1"_qs)
{
    // Update check off, so that the main window stays alone.
    return cp1252Lines({u"1"_qs, u"1"_qs, u"0"_qs, protection, u"0"_qs, u"0"_qs, u"0"_qs, sounds});
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void welcomeWindow();
    void welcomePicture();
    void startSound_data();
    void startSound();
    void route_data();
    void route();
    void timerHandsOverByItself();
    void secondInstanceEndsAtTheMainWindow();

private:
    std::unique_ptr<TestPlatform> m_desktop;
};

void TestStartup::init()
{
    m_desktop = std::make_unique<TestPlatform>();
}

void TestStartup::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *window : QApplication::topLevelWidgets())
        windows << window;
    for (const QPointer<QWidget> &window : windows)
        delete window.data();
    m_desktop.reset();
}

void TestStartup::welcomeWindow()
{
    auto *welcome = new FrmWelcome(m_desktop->platform);
    welcome->show();
    QCOMPARE(welcome->windowTitle(), u"Bienvenido"_qs);
    QVERIFY(welcome->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(welcome->size(), QSize(450, 200));
    QCOMPARE(welcome->minimumSize(), welcome->maximumSize());
    const QPoint offset = welcome->geometry().center() - welcome->screen()->availableGeometry().center();
    QVERIFY(offset.manhattanLength() <= 2);

    auto *image = welcome->findChild<QLabel *>(u"Image1"_qs);
    QVERIFY(image);
    QCOMPARE(image->geometry(), QRect(0, 0, 450, 200));
    QCOMPARE(image->pixmap().size(), QSize(450, 200));
    QVERIFY(image->isVisible());

    auto *timer = welcome->findChild<QTimer *>(u"Timer1"_qs);
    QVERIFY(timer);
    QCOMPARE(FrmWelcome::Timer1Interval, 2500);
    QCOMPARE(timer->interval(), 2500);
    QVERIFY(timer->isActive());
    QVERIFY(timer->isSingleShot());
    // Only the welcome window so far: the dispatcher comes with the timer.
    QCOMPARE(QApplication::topLevelWidgets().size(), 1);
}

void TestStartup::welcomePicture()
{
    const QImage picture = FrmWelcome::welcomePicture();
    QCOMPARE(picture.size(), QSize(450, 200));
    QCOMPARE(picture.format(), QImage::Format_RGB888);
    QCOMPARE(picture.depth(), 24);
    // A picture, not a plain fill: the background shades and the lettering give many colours.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 4)
        for (int x = 0; x < picture.width(); x += 4)
            colours.insert(picture.pixel(x, y));
    QVERIFY2(colours.size() > 200, qPrintable(QString::number(colours.size())));
    // The product name is written in white on the dark background.
    bool white = false;
    for (int x = 146; x < 330 && !white; ++x)
        for (int y = 55; y < 100 && !white; ++y)
            white = picture.pixel(x, y) == qRgb(255, 255, 255);
    QVERIFY(white);
}

void TestStartup::startSound_data()
{
    QTest::addColumn<std::optional<QByteArray>>("file");
    QTest::addColumn<bool>("sound");
    QTest::newRow("no options file") << std::optional<QByteArray>() << true;
    QTest::newRow("sounds on") << std::optional(options(u"0"_qs, u"1"_qs)) << true;
    QTest::newRow("sounds off") << std::optional(options(u"0"_qs, u"0"_qs)) << false;
    QTest::newRow("sounds off, protected") << std::optional(options(u"1"_qs, u"0"_qs)) << false;
    QTest::newRow("blank before the 0") << std::optional(options(u"0"_qs, u" 0"_qs)) << true;
    QTest::newRow("no") << std::optional(options(u"0"_qs, u"no"_qs)) << true;
    QTest::newRow("empty eighth line") << std::optional(options(u"0"_qs, QString())) << true;
    const QStringList seven {u"1"_qs, u"1"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs, u"0"_qs};
    QTest::newRow("seven lines") << std::optional(cp1252Lines(seven)) << true;
}

void TestStartup::startSound()
{
    QFETCH(std::optional<QByteArray>, file);
    QFETCH(bool, sound);
    if (file)
        writeBytes(m_desktop->programFile(u"Agenda.opt"_qs), *file);

    auto *welcome = new FrmWelcome(m_desktop->platform);
    QCOMPARE(m_desktop->sound.played, sound ? QStringList {u"Start.WAV"_qs} : QStringList {});
    welcome->show();
    QCOMPARE(m_desktop->sound.played.size(), sound ? 1 : 0);

    // The handover makes no further sound.
    welcome->Timer1_Timer();
    QCOMPARE(m_desktop->sound.played.size(), sound ? 1 : 0);
}

void TestStartup::route_data()
{
    QTest::addColumn<std::optional<QByteArray>>("file");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("login");
    const auto some = [](const QByteArray &bytes) { return std::optional(bytes); };
    QTest::newRow("1") << some(options(u"1"_qs)) << false << true;
    QTest::newRow("1 in a four-line file")
        << some(cp1252Lines({u"0"_qs, u"0"_qs, u"0"_qs, u"1"_qs})) << false << true;
    QTest::newRow("1 without line end") << some(QByteArray("1\r\n1\r\n0\r\n1")) << false << true;
    QTest::newRow("no options file") << std::optional<QByteArray>() << false << false;
    QTest::newRow("three lines") << some(cp1252Lines({u"1"_qs, u"1"_qs, u"1"_qs})) << false << false;
    QTest::newRow("blank 1") << some(options(u" 1"_qs)) << false << false;
    QTest::newRow("1 blank") << some(options(u"1 "_qs)) << false << false;
    QTest::newRow("empty") << some(options(QString())) << false << false;
    QTest::newRow("0") << some(options(u"0"_qs)) << false << false;
    QTest::newRow("yes") << some(options(u"sí"_qs)) << false << false;
    QTest::newRow("unreadable") << std::optional<QByteArray>() << true << false;
}

void TestStartup::route()
{
    QFETCH(std::optional<QByteArray>, file);
    QFETCH(bool, directory);
    QFETCH(bool, login);
    if (file)
        writeBytes(m_desktop->programFile(u"Agenda.opt"_qs), *file);
    if (directory)
        QVERIFY(QDir().mkdir(m_desktop->programFile(u"Agenda.opt"_qs)));

    QPointer<FrmWelcome> welcome = new FrmWelcome(m_desktop->platform);
    welcome->show();
    QCOMPARE(visibleCount<FrmContraPri>() + visibleCount<FrmPrincipal>(), 0);

    WindowWatch watch;
    welcome->Timer1_Timer();
    processDeletes();

    QVERIFY(!welcome);
    QCOMPARE(visibleCount<FrmContraPri>(), login ? 1 : 0);
    QCOMPARE(visibleCount<FrmPrincipal>(), login ? 0 : 1);
    QCOMPARE(watch.hides, 1);
    QVERIFY(watch.fewestLeft >= 1);
    // The dispatcher has closed itself; the next window is the only one left.
    int windows = 0;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        QVERIFY(!qobject_cast<FrmOrganizador *>(window));
        windows += window->isVisible() ? 1 : 0;
    }
    QCOMPARE(windows, 1);
    QVERIFY(m_desktop->messages.shown.isEmpty());
}

void TestStartup::timerHandsOverByItself()
{
    writeBytes(m_desktop->programFile(u"Agenda.opt"_qs), options(u"1"_qs));
    QPointer<FrmWelcome> welcome = new FrmWelcome(m_desktop->platform);
    welcome->show();
    // The timer's own signal runs the handover; no need to wait the 2.5 seconds.
    auto *timer = welcome->findChild<QTimer *>(u"Timer1"_qs);
    timer->start(0);
    QTRY_VERIFY(!welcome);
    QCOMPARE(visibleCount<FrmContraPri>(), 1);
}

void TestStartup::secondInstanceEndsAtTheMainWindow()
{
    m_desktop->system.otherInstanceRunning = true;
    writeBytes(m_desktop->programFile(u"Agenda.opt"_qs), options(u"0"_qs));
    QPointer<FrmWelcome> welcome = new FrmWelcome(m_desktop->platform);
    welcome->show();
    welcome->Timer1_Timer();

    FrmPrincipal *main = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<FrmPrincipal *>(window))
            main = found;
    QVERIFY(main);
    QVERIFY(main->anotherInstanceRunning());
    int ends = 0;
    main->setProgramEnd([&ends] { ++ends; });
    QCoreApplication::processEvents();
    processDeletes();

    QCOMPARE(ends, 1);
    QVERIFY(!welcome);
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
