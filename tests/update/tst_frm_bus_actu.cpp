#include "fake_platform.h"
#include "platform/qt_platform.h"
#include "update/frm_bus_actu.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

namespace {

const QString Newer = QStringLiteral("¡Se han encontrado nuevas actualizaciones!\r¿Desea dirigirse a la "
                                     "pagina de Morq Technologies para descargar la última "
                                     "actualización de Orvalia?");
const QString UpToDate = QStringLiteral("¡Su software esta actualizado!");
const QString NotConnected = QStringLiteral("Para poder buscar actualizaciones necesita estar conectado, "
                                            "compruebe su estado de conexión y vuelva a intentarlo.");
const QString Title = QStringLiteral("Buscar Actualizaciones");
const QString DownloadFailed
    = QStringLiteral("No se pudo obtener la información de actualizaciones. Compruebe "
                     "su conexión y vuelva a intentarlo más tarde.");

// "¿-?2.1¿-?" and friends as the maker's server would store them: Windows-1252.
QByteArray updateFile(const QByteArray &version)
{
    return "Orvalia - Morq Technologies\r\n\xBF-?" + version + "\xBF-?\r\n";
}

// A web server on 127.0.0.1 with one fixed answer to every request; it may also never answer.
class HttpServer : public QObject
{
public:
    HttpServer()
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            qFatal("cannot listen on 127.0.0.1");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/orvalia/actu.txt").arg(m_server.serverPort()));
    }

    void answerOk(const QByteArray &body, bool withLength = true)
    {
        QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n";
        if (withLength)
            answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        response = answer + "\r\n" + body;
    }

    void answerNotFound(const QByteArray &body)
    {
        response = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                   "Content-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    std::optional<QByteArray> response; // none: the server reads the request and stays silent
    QList<QByteArray> requestLines;

private:
    void serve(QTcpSocket *socket)
    {
        socket->setParent(this);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n"))
                return;
            requestLines << request->left(request->indexOf("\r\n"));
            request->clear();
            if (response) {
                socket->write(*response);
                socket->disconnectFromHost();
            }
        });
    }

    QTcpServer m_server;
};

// The real download; the connection state is the test's.
class TestNetwork : public QtNetwork
{
public:
    bool isConnected() override { return connected; }
    bool connected = true;
};

// Reports every download as done but leaves something that cannot be read as a file.
class UnreadableCopyNetwork : public Network
{
public:
    bool isConnected() override { return true; }
    bool download(const QUrl &, const QString &localFile) override { return QDir().mkpath(localFile); }
};

struct Seen
{
    bool mainEnabled = true;
    QString working;
    bool localCopyThere = false;
    bool closeRefused = false;
};

class Fixture
{
public:
    explicit Fixture(Network &network)
        : platform {desktop.messages, desktop.dialogs, desktop.sound, desktop.shell, network,
            desktop.attributes, desktop.system}
    {
        mainWindow.resize(400, 300);
        mainWindow.show();
    }

    QString localCopy() const { return desktop.programFile(QStringLiteral("actu.txt")); }

    // Opens the window as the main window does and waits until it has closed itself.
    bool check(const QUrl &url, bool quiet)
    {
        auto *window = new FrmBusActu(platform, &mainWindow);
        window->setUpdateUrl(url);
        QPointer<FrmBusActu> open(window);
        desktop.messages.onShow = [this, window] {
            seen.mainEnabled = mainWindow.isEnabled();
            seen.working = window->txtcontenedor->text();
            seen.localCopyThere = QFileInfo::exists(localCopy());
            seen.closeRefused = !window->close();
        };
        window->show();
        if (quiet)
            window->txtcomohacer->setText(QStringLiteral("1"));
        return QTest::qWaitFor([&] { return open.isNull(); }, 20000);
    }

    TestPlatform desktop;
    Platform platform;
    QWidget mainWindow;
    Seen seen;
};

} // namespace

class TstFrmBusActu : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void newerVersion_data();
    void newerVersion();
    void upToDate_data();
    void upToDate();
    void notConnected_data();
    void notConnected();
    void failedDownloads_data();
    void failedDownloads();
    void failedDownloadIgnoresOldCopy();
    void givesBackOnlyWhatItTook_data();
    void givesBackOnlyWhatItTook();
    void closedBeforeTheCheck();
    void unreadableLocalCopy();
};

void TstFrmBusActu::layout()
{
    FakeNetwork network;
    network.connected = false;
    Fixture f(network);
    auto *window = new FrmBusActu(f.platform, &f.mainWindow);
    QPointer<FrmBusActu> open(window);

    QCOMPARE(window->windowTitle(), Title);
    QVERIFY(window->isWindow());
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QCOMPARE(window->Label1->text(), QStringLiteral("Buscando actualizaciones, por favor espere..."));
    QVERIFY(window->Label1->font().bold());
    // 4125 x 870 and (120, 240, 3975, 255) twips, wider only where the font needs it.
    const int textWidth = window->Label1->fontMetrics().horizontalAdvance(window->Label1->text());
    QCOMPARE(window->Label1->geometry(), QRect(8, 16, qMax(265, textWidth), 17));
    QCOMPARE(window->size(), QSize(textWidth > 265 ? 16 + textWidth : 275, 58));
    QVERIFY(window->txtcontenedor->text().isEmpty());
    QVERIFY(window->txtcomohacer->text().isEmpty());
    QCOMPARE(window->timerunloaded->interval(), 1);
    QVERIFY(!window->timerunloaded->isActive());
    QCOMPARE(window->updateUrl(), QUrl(QStringLiteral(ORVALIA_UPDATE_URL)));
    QCOMPARE(window->updateUrl().fileName(), QStringLiteral("actu.txt"));
    QCOMPARE(window->webPage(), QUrl(QStringLiteral(ORVALIA_WEB_PAGE)));
    QCOMPARE(window->localCopy(), f.localCopy());

    // Showing it starts the check; nothing happens before.
    QCOMPARE(network.connectionQueries, 0);
    f.desktop.messages.queueAnswer(Answer::Ok); // not connected
    window->show();
    QVERIFY(window->timerunloaded->isActive());
    QVERIFY(f.mainWindow.isEnabled());
    QTRY_VERIFY(open.isNull());
    QCOMPARE(network.connectionQueries, 1);
}

void TstFrmBusActu::newerVersion_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("version");

    const auto yes = int(Answer::Yes);
    const auto no = int(Answer::No);
    QTest::newRow("interactive, yes") << false << updateFile("2.1") << yes << "2.1";
    QTest::newRow("interactive, no") << false << updateFile("2.1") << no << "2.1";
    QTest::newRow("quiet, yes") << true << updateFile("2.1") << yes << "2.1";
    QTest::newRow("quiet, no") << true << updateFile("2.1") << no << "2.1";
    QTest::newRow("2.10") << false << updateFile("2.10") << yes << "2.10";
    QTest::newRow("split over two lines")
        << false << QByteArray("Orvalia\r\n\xBF-?2.\r\n1\xBF-?\r\n") << yes << "2.1";
    QTest::newRow("400-digit version")
        << false << updateFile(QByteArray(400, '7') + ".0") << yes << QString(400, u'7') + ".0";
    QTest::newRow("saved as UTF-8") << true << QByteArray("\xC2\xBF-?3.0\xC2\xBF-?\n") << no
                                    << QStringLiteral("3.0Â");
}

void TstFrmBusActu::newerVersion()
{
    QFETCH(bool, quiet);
    QFETCH(QByteArray, body);
    QFETCH(int, answer);
    QFETCH(QString, version);

    HttpServer server;
    server.answerOk(body);
    TestNetwork network;
    Fixture f(network);
    f.desktop.messages.queueAnswer(Answer(answer));

    QVERIFY(f.check(server.url(), quiet));

    QCOMPARE(server.requestLines, QList<QByteArray> {"GET /orvalia/actu.txt HTTP/1.1"});
    QCOMPARE(f.desktop.messages.shown.size(), 1);
    const auto &box = f.desktop.messages.shown.first();
    QCOMPARE(box.text, Newer);
    QCOMPARE(box.title, Title);
    QCOMPARE(box.icon, Icon::Information);
    QCOMPARE(box.buttons, Buttons::YesNo);
    // While asking: main window disabled, working field holding the version, copy on disk, and
    // the window not to be closed from outside.
    QVERIFY(!f.seen.mainEnabled);
    QCOMPARE(f.seen.working, version);
    QVERIFY(f.seen.localCopyThere);
    QVERIFY(f.seen.closeRefused);

    if (Answer(answer) == Answer::Yes)
        QCOMPARE(f.desktop.shell.urls, QList<QUrl> {QUrl(QStringLiteral(ORVALIA_WEB_PAGE))});
    else
        QVERIFY(f.desktop.shell.urls.isEmpty());
    QVERIFY(f.desktop.shell.files.isEmpty());
    QVERIFY(f.mainWindow.isEnabled());
    QVERIFY(!QFileInfo::exists(f.localCopy()));
    QVERIFY(f.desktop.sound.played.isEmpty());
}

void TstFrmBusActu::upToDate_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QByteArray>("body");

    for (const bool quiet : {false, true}) {
        const char *mode = quiet ? "quiet" : "interactive";
        QTest::addRow("%s, 2.0", mode) << quiet << updateFile("2.0");
        QTest::addRow("%s, 1.9", mode) << quiet << updateFile("1.9");
        QTest::addRow("%s, 2 without point", mode) << quiet << updateFile("2");
        QTest::addRow("%s, no markers", mode) << quiet << QByteArray("Orvalia 9.9\r\n");
        QTest::addRow("%s, empty file", mode) << quiet << QByteArray();
    }
}

void TstFrmBusActu::upToDate()
{
    QFETCH(bool, quiet);
    QFETCH(QByteArray, body);

    HttpServer server;
    server.answerOk(body);
    TestNetwork network;
    Fixture f(network);

    if (!quiet)
        f.desktop.messages.queueAnswer(Answer::Ok); // its notice
    QVERIFY(f.check(server.url(), quiet));

    QCOMPARE(server.requestLines.size(), 1);
    if (quiet) {
        QVERIFY(f.desktop.messages.shown.isEmpty());
    } else {
        QCOMPARE(f.desktop.messages.shown.size(), 1);
        const auto &box = f.desktop.messages.shown.first();
        QCOMPARE(box.text, UpToDate);
        QCOMPARE(box.title, Title);
        QCOMPARE(box.icon, Icon::Information);
        QCOMPARE(box.buttons, Buttons::Ok);
        QVERIFY(!f.seen.mainEnabled);
        QVERIFY(f.seen.localCopyThere);
    }
    QVERIFY(f.desktop.shell.urls.isEmpty());
    QVERIFY(f.mainWindow.isEnabled());
    QVERIFY(!QFileInfo::exists(f.localCopy()));
}

void TstFrmBusActu::notConnected_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::newRow("interactive") << false;
    QTest::newRow("quiet") << true;
}

void TstFrmBusActu::notConnected()
{
    QFETCH(bool, quiet);

    HttpServer server;
    server.answerOk(updateFile("2.1"));
    TestNetwork network;
    network.connected = false;
    Fixture f(network);

    if (!quiet)
        f.desktop.messages.queueAnswer(Answer::Ok); // its notice
    QVERIFY(f.check(server.url(), quiet));

    if (quiet) {
        QVERIFY(f.desktop.messages.shown.isEmpty());
    } else {
        QCOMPARE(f.desktop.messages.shown.size(), 1);
        const auto &box = f.desktop.messages.shown.first();
        QCOMPARE(box.text, NotConnected);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, Icon::Error);
        QCOMPARE(box.buttons, Buttons::Ok);
        QVERIFY(!f.seen.mainEnabled);
    }
    QVERIFY(server.requestLines.isEmpty());
    QVERIFY(f.desktop.shell.urls.isEmpty());
    QVERIFY(f.mainWindow.isEnabled());
    QVERIFY(!QFileInfo::exists(f.localCopy()));
}

void TstFrmBusActu::failedDownloads_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("quiet");

    for (const char *kind : {"not found", "never answers", "too large", "too large, no length", "refused"}) {
        QTest::addRow("%s, interactive", kind) << QString::fromLatin1(kind) << false;
        QTest::addRow("%s, quiet", kind) << QString::fromLatin1(kind) << true;
    }
}

// Every one of them carries a newer version that must not be believed.
void TstFrmBusActu::failedDownloads()
{
    QFETCH(QString, kind);
    QFETCH(bool, quiet);

    HttpServer server;
    TestNetwork network;
    network.timeLimitMs = 1000;
    QUrl url = server.url();
    const QByteArray large = updateFile("9.9") + QByteArray(QtNetwork::SizeLimit, 'x');
    if (kind == u"not found") {
        server.answerNotFound(updateFile("9.9"));
    } else if (kind == u"never answers") {
        server.response.reset();
    } else if (kind == u"too large") {
        server.answerOk(large);
    } else if (kind == u"too large, no length") {
        server.answerOk(large, false);
    } else {
        // A port nobody listens on any more.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        url.setPort(closed.serverPort());
    }
    Fixture f(network);

    if (!quiet)
        f.desktop.messages.queueAnswer(Answer::Ok); // its notice
    QVERIFY(f.check(url, quiet));

    if (kind != u"refused")
        QCOMPARE(server.requestLines.size(), 1);
    // No word of being up to date: the interactive check says the information could not be had,
    // the quiet one says nothing, as when not connected.
    if (quiet) {
        QVERIFY(f.desktop.messages.shown.isEmpty());
    } else {
        QCOMPARE(f.desktop.messages.shown.size(), 1);
        const auto &box = f.desktop.messages.shown.first();
        QCOMPARE(box.text, DownloadFailed);
        QCOMPARE(box.title, QStringLiteral("Error"));
        QCOMPARE(box.icon, Icon::Error);
        QCOMPARE(box.buttons, Buttons::Ok);
        QVERIFY(!f.seen.mainEnabled);
        QCOMPARE(f.seen.working, QString());
        QVERIFY(!f.seen.localCopyThere);
    }
    QVERIFY(f.desktop.shell.urls.isEmpty());
    QVERIFY(f.mainWindow.isEnabled());
    QVERIFY(!QFileInfo::exists(f.localCopy()));
}

void TstFrmBusActu::failedDownloadIgnoresOldCopy()
{
    HttpServer server;
    server.answerNotFound("Not Found");
    TestNetwork network;
    Fixture f(network);
    // Left behind by an earlier run that never got to delete it.
    writeBytes(f.localCopy(), updateFile("9.9"));

    f.desktop.messages.queueAnswer(Answer::Ok);
    QVERIFY(f.check(server.url(), false));

    QCOMPARE(f.desktop.messages.shown.size(), 1);
    QCOMPARE(f.desktop.messages.shown.first().text, DownloadFailed);
    QVERIFY(!f.seen.localCopyThere);
    QVERIFY(f.desktop.shell.urls.isEmpty());
    QVERIFY(!QFileInfo::exists(f.localCopy()));
}

void TstFrmBusActu::givesBackOnlyWhatItTook_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("quiet");
    QTest::newRow("not connected, quiet") << false << true;
    QTest::newRow("not connected, interactive") << false << false;
    QTest::newRow("up to date, quiet") << true << true;
}

// Another window (options, about, a password window) has disabled the main window when the check
// runs: closing the update window leaves it disabled, for that window to give back.
void TstFrmBusActu::givesBackOnlyWhatItTook()
{
    QFETCH(bool, connected);
    QFETCH(bool, quiet);

    FakeNetwork network;
    network.connected = connected;
    network.content = updateFile("2.0");
    Fixture f(network);
    f.mainWindow.setEnabled(false);

    if (!quiet)
        f.desktop.messages.queueAnswer(Answer::Ok); // its notice
    QVERIFY(f.check(QUrl(QStringLiteral("http://127.0.0.1:9/actu.txt")), quiet));

    QVERIFY(!f.mainWindow.isEnabled());
    QCOMPARE(f.desktop.messages.shown.size(), quiet ? 0 : 1);
}

void TstFrmBusActu::closedBeforeTheCheck()
{
    FakeNetwork network;
    Fixture f(network);
    f.mainWindow.setEnabled(false);
    auto *window = new FrmBusActu(f.platform, &f.mainWindow);
    QPointer<FrmBusActu> open(window);
    window->show();
    // Closed before its timer ran: it took nothing, so it gives nothing back, and checks nothing.
    QVERIFY(window->close());
    QTRY_VERIFY(open.isNull());
    QVERIFY(!f.mainWindow.isEnabled());
    QCOMPARE(network.connectionQueries, 0);
}

void TstFrmBusActu::unreadableLocalCopy()
{
    UnreadableCopyNetwork network;
    Fixture f(network);

    f.desktop.messages.queueAnswer(Answer::Ok);
    QVERIFY(f.check(QUrl(QStringLiteral("http://127.0.0.1:9/actu.txt")), false));

    QCOMPARE(f.desktop.messages.shown.size(), 1);
    QCOMPARE(f.desktop.messages.shown.first().text, UpToDate);
    QVERIFY(f.mainWindow.isEnabled());
    // It could not be deleted either, and that is no error.
    QVERIFY(QFileInfo(f.localCopy()).isDir());
}

QTEST_MAIN(TstFrmBusActu)
#include "tst_frm_bus_actu.moc"
