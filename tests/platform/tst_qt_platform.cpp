#include "app/main_window.h"
#include "fake_platform.h"
#include "hostile_files.h"
#include "platform/qt_platform.h"
#include "watchdog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A web server on the loopback interface, in the test's own thread, that answers as told: well,
// or as a hostile or broken server would.
class LocalServer : public QObject
{
public:
    enum Behaviour {
        Length,
        Chunked,
        Redirect,
        RedirectLoop,
        NotFound,
        AnnouncedTooLarge,
        EndlessChunked,
        EndlessHeader,
        Slow,
        Silent
    };

    explicit LocalServer(Behaviour behaviour)
        : m_behaviour(behaviour)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }

    QUrl url(const char *path = "/orvalia/actu.txt") const
    {
        return QUrl(u"http://127.0.0.1:%1%2"_qs.arg(m_server.serverPort()).arg(QLatin1String(path)));
    }

    static QByteArray body() { return QByteArray("Orvalia\r\n\xBF-?2.1\xBF-?\r\n"); }
    qint64 sent = 0;

private:
    void read(QTcpSocket *socket)
    {
        m_requests[socket] += socket->readAll();
        const QByteArray &request = m_requests[socket];
        if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        const QByteArray path = request.split(' ').value(1);
        switch (m_behaviour) {
        case Length:
            send(socket,
                "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body().size()) + "\r\n\r\n"
                    + body());
            break;
        case Chunked:
            send(socket,
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n" + body().first(5) + "\r\n"
                    + QByteArray::number(body().size() - 5, 16) + "\r\n" + body().sliced(5)
                    + "\r\n0\r\n\r\n");
            break;
        case Redirect:
            if (path == "/orvalia/actu.txt")
                send(socket, "HTTP/1.1 301 Moved\r\nLocation: /nuevo/actu.txt\r\nContent-Length: 0\r\n\r\n");
            else
                send(socket,
                    "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body().size()) + "\r\n\r\n"
                        + body());
            break;
        case RedirectLoop:
            send(socket, "HTTP/1.1 302 Found\r\nLocation: " + path + "x\r\nContent-Length: 0\r\n\r\n");
            break;
        case NotFound:
            send(socket, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nNot Found");
            break;
        case AnnouncedTooLarge:
            send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + body());
            break;
        case EndlessChunked:
            send(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            endless(socket, "1000\r\n" + QByteArray(4096, 'c') + "\r\n");
            break;
        case EndlessHeader:
            send(socket, "HTTP/1.1 200 OK\r\nX-Relleno: ");
            endless(socket, QByteArray(4096, 'h'));
            break;
        case Slow: {
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [this, socket] { send(socket, "H"); });
            timer->start(50);
            break;
        }
        case Silent:
            break;
        }
        if (m_behaviour != EndlessChunked && m_behaviour != EndlessHeader && m_behaviour != Slow
            && m_behaviour != Silent)
            socket->disconnectFromHost();
    }

    void send(QTcpSocket *socket, const QByteArray &bytes) { sent += socket->write(bytes); }

    // Writes more whenever what is waiting to go is little, for as long as the client listens.
    void endless(QTcpSocket *socket, const QByteArray &piece)
    {
        const auto more = [this, socket, piece] {
            while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 256 * 1024)
                send(socket, piece);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        more();
    }

    Behaviour m_behaviour;
    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_requests;
};

} // namespace

class TestQtPlatform : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxSpeaksSpanish_data();
    void messageBoxSpeaksSpanish();
    void messageBoxShowsTextAsItIs();
    void nameFiltersFromTheProgramsFilterText();
    void photoDialog_data();
    void photoDialog();
    void saveDialog_data();
    void saveDialog();
    void hiddenAttributeRoundTrip();
    void onlyOneInstanceHoldsTheLock();
    void releasedLockLetsANewStartIn();
    void lockThatCannotBeMadeIsNoOtherInstance_data();
    void lockThatCannotBeMadeIsNoOtherInstance();
    void passwordDirectoryIsOwnerOnly();
    void download_data();
    void download();
    void downloadNeverWritesThroughALink();
    void systemAnswers();
    void soundsWithoutADeviceSayNothing();
};

void TestQtPlatform::messageBoxSpeaksSpanish_data()
{
    QTest::addColumn<MessageBoxes::Buttons>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("press");
    QTest::addColumn<MessageBoxes::Answer>("answer");

    using B = MessageBoxes::Buttons;
    using A = MessageBoxes::Answer;
    QTest::newRow("ok") << B::Ok << QStringList {u"Aceptar"_qs} << u"Aceptar"_qs << A::Ok;
    QTest::newRow("ok cancel") << B::OkCancel << QStringList {u"Aceptar"_qs, u"Cancelar"_qs} << u"Cancelar"_qs
                               << A::Cancel;
    QTest::newRow("yes no") << B::YesNo << QStringList {u"No"_qs, u"Sí"_qs} << u"Sí"_qs << A::Yes;
    QTest::newRow("yes no cancel") << B::YesNoCancel << QStringList {u"Cancelar"_qs, u"No"_qs, u"Sí"_qs}
                                   << u"No"_qs << A::No;
}

void TestQtPlatform::messageBoxSpeaksSpanish()
{
    QFETCH(MessageBoxes::Buttons, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QString, press);
    QFETCH(MessageBoxes::Answer, answer);

    QStringList seen;
    QStringList withoutKey;
    QString title;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        for (QAbstractButton *button : box->buttons()) {
            // The words shown; the access key is the first letter, pressed with Alt.
            const QString shown = QString(button->text()).remove(u'&');
            seen << shown;
            if (QKeySequence::mnemonic(button->text())
                != QKeySequence(Qt::ALT | shown.at(0).toUpper().unicode()))
                withoutKey << shown;
            if (shown == press)
                button->click();
        }
    });
    QtMessageBoxes boxes;
    const auto got
        = boxes.show(nullptr, u"¿Seguro?"_qs, u"Orvalia"_qs, MessageBoxes::Icon::Question, buttons);
    seen.sort();
    QCOMPARE(seen, texts);
    QCOMPARE(withoutKey, QStringList());
    QCOMPARE(title, u"Orvalia"_qs);
    QCOMPARE(text, u"¿Seguro?"_qs);
    QCOMPARE(got, answer);
}

// Markup in a text (a password, a stored path) is shown as the characters it is made of.
void TestQtPlatform::messageBoxShowsTextAsItIs()
{
    const QString text = u"Su contraseña es : <b>gato</b> &amp; <br>perro"_qs;
    Qt::TextFormat boxFormat = Qt::AutoText;
    Qt::TextFormat labelFormat = Qt::AutoText;
    QString labelText;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        boxFormat = box->textFormat();
        if (auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_qs)) {
            labelFormat = label->textFormat();
            labelText = label->text();
        }
        box->accept();
    });
    QtMessageBoxes boxes;
    boxes.show(nullptr, text, u"Orvalia"_qs, MessageBoxes::Icon::Information, MessageBoxes::Buttons::Ok);
    QCOMPARE(boxFormat, Qt::PlainText);
    QCOMPARE(labelFormat, Qt::PlainText);
    QCOMPARE(labelText, text);
}

void TestQtPlatform::nameFiltersFromTheProgramsFilterText()
{
    const QString filter = u"JPEG (*.JPG;*.JPEG)|*.jpg;*.jpeg|Mapa de bits (*.bmp)|*.bmp"_qs;
    QCOMPARE(QtDialogs::nameFilters(filter),
        (QStringList {u"JPEG (*.JPG;*.JPEG) (*.jpg *.jpeg)"_qs, u"Mapa de bits (*.bmp) (*.bmp)"_qs}));
}

void TestQtPlatform::photoDialog_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("picturesFolderThere");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first time") << QString() << true << u"Pictures"_qs;
    QTest::newRow("first time, no pictures folder") << QString() << false << QString();
    QTest::newRow("folder of the last photo") << u"fotos"_qs << true << u"fotos"_qs;
    QTest::newRow("that folder is gone") << u"borrada"_qs << true << u"Pictures"_qs;
}

// The entries read as the program's filter text says, the fourth selected; the dialog opens in
// the folder asked for, the user's pictures folder without one.
void TestQtPlatform::photoDialog()
{
    QFETCH(QString, start);
    QFETCH(bool, picturesFolderThere);
    QFETCH(QString, expected);

    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u".config"_qs)));
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    });
    QCOMPARE(
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation), home.filePath(u"Pictures"_qs));
    if (picturesFolderThere)
        QVERIFY(QDir(home.path()).mkdir(u"Pictures"_qs));
    QVERIFY(QDir(home.path()).mkdir(u"fotos"_qs));
    const QString startFolder = start.isEmpty() ? QString() : home.filePath(start);

    QStringList entries;
    int selected = -1;
    bool detailsHidden = false;
    QString directory;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        detailsHidden = dialog->testOption(QFileDialog::HideNameFilterDetails);
        directory = dialog->directory().absolutePath();
        if (auto *types = dialog->findChild<QComboBox *>(u"fileTypeCombo"_qs)) {
            for (int i = 0; i < types->count(); ++i)
                entries << types->itemText(i);
            selected = types->currentIndex();
        }
        dialog->reject();
    });
    QtDialogs dialogs;
    const std::optional<QString> chosen
        = dialogs.openFile(nullptr, FrmPrincipal::PhotoFilter, 4, startFolder);

    QVERIFY(!chosen);
    QVERIFY(detailsHidden);
    QCOMPARE(entries,
        (QStringList {u"JPEG (*.JPG;*.JPEG;*.JPE;*.JFIF)"_qs, u"Mapa de bits (*.bmp)"_qs, u"GIF (*.gif)"_qs,
            u"Todos los archivos de imagenes aceptados"_qs}));
    QCOMPARE(selected, 3);
    QCOMPARE(directory, expected.isEmpty() ? home.path() : home.filePath(expected));
}

void TestQtPlatform::saveDialog_data()
{
    QTest::addColumn<QString>("folder"); // of the suggested path, in the home folder
    QTest::addColumn<QString>("typed"); // the name the user types and accepts; empty: cancels
    QTest::addColumn<QString>("expected"); // the folder the dialog opens in, in the home folder
    QTest::newRow("the documents folder") << u"Documents"_qs << QString() << u"Documents"_qs;
    QTest::newRow("a folder that is gone") << u"borrada"_qs << QString() << QString();
    QTest::newRow("a name without an extension") << u"Documents"_qs << u"amigos"_qs << u"Documents"_qs;
    QTest::newRow("a name of the other kind") << u"Documents"_qs << u"amigos.vcard"_qs << u"Documents"_qs;
}

// The entry reads as its description, the suggested name is ready, a name typed without an
// extension gets the entry's first one, a file that exists is not replaced without a question;
// the dialog takes input while its owner is disabled.
void TestQtPlatform::saveDialog()
{
    QFETCH(QString, folder);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });
    QVERIFY(QDir(home.path()).mkdir(u"Documents"_qs));

    QStringList entries;
    QString name;
    QString directory;
    QString suffix;
    bool detailsHidden = false;
    bool confirms = false;
    bool saving = false;
    bool enabled = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        detailsHidden = dialog->testOption(QFileDialog::HideNameFilterDetails);
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        saving = dialog->acceptMode() == QFileDialog::AcceptSave;
        enabled = dialog->isEnabled();
        directory = dialog->directory().absolutePath();
        suffix = dialog->defaultSuffix();
        if (auto *types = dialog->findChild<QComboBox *>(u"fileTypeCombo"_qs)) {
            for (int i = 0; i < types->count(); ++i)
                entries << types->itemText(i);
        }
        if (auto *edit = dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs))
            name = edit->text();
        if (typed.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(typed);
        static_cast<QDialog *>(dialog)->accept(); // the file dialog's own accept, by the public one
    });
    QWidget owner;
    owner.show();
    owner.setEnabled(false);
    QtDialogs dialogs;
    const std::optional<QString> chosen
        = dialogs.saveFile(&owner, FrmPrincipal::VCardFilter, home.filePath(folder + u"/contactos.vcf"_qs));

    QVERIFY(saving);
    QVERIFY(detailsHidden);
    QVERIFY(confirms);
    QVERIFY(enabled);
    QCOMPARE(entries, QStringList {u"Tarjetas de contacto (*.vcf *.vcard)"_qs});
    QCOMPARE(name, u"contactos.vcf"_qs);
    QCOMPARE(suffix, u"vcf"_qs);
    QCOMPARE(directory, expected.isEmpty() ? home.path() : home.filePath(expected));
    if (typed.isEmpty()) {
        QVERIFY(!chosen);
        return;
    }
    QVERIFY(chosen);
    QCOMPARE(*chosen, home.filePath(u"Documents/"_qs + (typed.contains(u'.') ? typed : typed + u".vcf"_qs)));
    QVERIFY(!QFileInfo::exists(*chosen)); // the dialog writes nothing
}

void TestQtPlatform::hiddenAttributeRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"data.orv"_qs);
    writeBytes(path, "x");
    QtFileAttributes attributes;
    attributes.setHidden(path);
    if (!QtFileAttributes::isHidden(path))
        QSKIP("this file system keeps no extended attributes");
    attributes.setNormal(path);
    QVERIFY(!QtFileAttributes::isHidden(path));
    attributes.setNormal(path); // already normal: no error
    QCOMPARE(readBytes(path), QByteArray("x"));
}

void TestQtPlatform::onlyOneInstanceHoldsTheLock()
{
    QTemporaryDir dir;
    QtSystem first(dir.path());
    QtSystem second(dir.path());
    QCOMPARE(first.lockSingleInstance(), System::InstanceLock::Taken);
    QCOMPARE(second.lockSingleInstance(), System::InstanceLock::HeldByAnother);
}

void TestQtPlatform::lockThatCannotBeMadeIsNoOtherInstance_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("the folder is gone") << u"gone"_qs;
    QTest::newRow("a directory in the lock's place") << u"directory"_qs;
    QTest::newRow("a FIFO in the lock's place") << u"fifo"_qs;
    QTest::newRow("a link in the lock's place") << u"link"_qs;
    QTest::newRow("a read-only folder") << u"read-only"_qs;
}

void TestQtPlatform::lockThatCannotBeMadeIsNoOtherInstance()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString program = dir.path();
    const QString lock = dir.filePath(u"Orvalia.lock"_qs);
    if (kind == u"gone")
        program = dir.filePath(u"gone"_qs);
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(lock));
    else if (kind == u"fifo")
        QVERIFY(makeFifo(lock));
    else if (kind == u"link")
        QVERIFY(makeLink(dir.filePath(u"elsewhere"_qs), lock));
    else if (kind == u"read-only") {
        if (::geteuid() == 0)
            QSKIP("the superuser writes in a read-only folder all the same");
        ::chmod(QFile::encodeName(program).constData(), 0555);
    }
    QtSystem system(program);
    Watchdog watchdog({dir.path()});
    QCOMPARE(system.lockSingleInstance(), System::InstanceLock::Failed);
    QVERIFY2(!watchdog.stop(), "taking the lock blocked");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
}

void TestQtPlatform::passwordDirectoryIsOwnerOnly()
{
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString config = dir.filePath(u"home/.config"_qs);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    QString directory;
    {
        const ScopedUmask mask(0);
        directory = QtSystem(dir.path()).passwordDirectory();
    }
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
    QCOMPARE(directory, config + u"/Orvalia"_qs);
    QCOMPARE(modeOf(directory), 0700);
    QCOMPARE(modeOf(config), 0700);
    QCOMPARE(modeOf(dir.filePath(u"home"_qs)), 0700);
}

void TestQtPlatform::download_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<bool>("ok");
    QTest::newRow("announced length") << int(LocalServer::Length) << true;
    QTest::newRow("chunked") << int(LocalServer::Chunked) << true;
    QTest::newRow("redirected") << int(LocalServer::Redirect) << true;
    QTest::newRow("redirected for ever") << int(LocalServer::RedirectLoop) << false;
    QTest::newRow("not found") << int(LocalServer::NotFound) << false;
    QTest::newRow("announced beyond the limit") << int(LocalServer::AnnouncedTooLarge) << false;
    QTest::newRow("endless chunked body") << int(LocalServer::EndlessChunked) << false;
    QTest::newRow("endless header line") << int(LocalServer::EndlessHeader) << false;
    QTest::newRow("a byte now and then") << int(LocalServer::Slow) << false;
    QTest::newRow("no answer") << int(LocalServer::Silent) << false;
}

// Each download ends by itself: by the limits it counts, or by its time limit, which the slow
// cases shorten. The endless ones get a time limit no test waits for, so that only the counting
// can end them before the watchdog does.
void TestQtPlatform::download()
{
    QFETCH(int, behaviour);
    QFETCH(bool, ok);
    QTemporaryDir dir;
    const QString local = dir.filePath(u"actu.txt"_qs);
    writeBytes(local, "an old copy");
    LocalServer server {LocalServer::Behaviour(behaviour)};
    QtNetwork network;
    const bool slow = behaviour == LocalServer::Slow || behaviour == LocalServer::Silent;
    network.timeLimitMs = slow ? 300 : 600'000;
    const PeakMemory memory;
    Watchdog watchdog({}, std::chrono::seconds(10));
    const bool downloaded = network.download(server.url(), local);
    QVERIFY2(!watchdog.stop(), "the download went on past its limits");
    QCOMPARE(downloaded, ok);
    if (ok) {
        QCOMPARE(readBytes(local), LocalServer::body());
        QCOMPARE(modeOf(local), 0600);
    }
    QVERIFY2(memory.growth() < 64 * 1024 * 1024, "the download took in far more than its limit");
}

void TestQtPlatform::downloadNeverWritesThroughALink()
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(u"notas.txt"_qs);
    const QString local = dir.filePath(u"actu.txt"_qs);
    writeBytes(victim, "the user's notes");
    QVERIFY(makeLink(victim, local));
    LocalServer server(LocalServer::Length);
    QtNetwork network;
    QVERIFY(network.download(server.url(), local));
    QCOMPARE(readBytes(victim), QByteArray("the user's notes"));
    QVERIFY(isRegularFile(local));
    QCOMPARE(readBytes(local), LocalServer::body());
}

void TestQtPlatform::releasedLockLetsANewStartIn()
{
    QTemporaryDir dir;
    QtSystem leaving(dir.path());
    QtSystem starting(dir.path());
    using Lock = System::InstanceLock;
    QCOMPARE(leaving.lockSingleInstance(), Lock::Taken);
    QCOMPARE(starting.lockSingleInstance(), Lock::HeldByAnother);
    leaving.releaseSingleInstance();
    QVERIFY(!QFileInfo::exists(dir.filePath(u"Orvalia.lock"_qs)));
    QCOMPARE(starting.lockSingleInstance(), Lock::Taken);
    // Released twice, or never taken: nothing happens, and the other one keeps its lock.
    leaving.releaseSingleInstance();
    QCOMPARE(leaving.lockSingleInstance(), Lock::HeldByAnother);
}

void TestQtPlatform::systemAnswers()
{
    QTemporaryDir dir;
    // The user's own configuration stays out of the test.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QtSystem system(dir.path());
    QCOMPARE(system.programDirectory(), dir.path());
    QVERIFY(!system.currentDateText().isEmpty());
    QVERIFY(!system.passwordDirectory().isEmpty());
    QVERIFY(!system.passwordDirectory().startsWith(dir.path()));
    qunsetenv("XDG_CONFIG_HOME");
}

namespace {
QStringList said;
void keepWhatIsSaid(QtMsgType, const QMessageLogContext &, const QString &text)
{
    said << text;
}

// A short, silent PCM recording: 8 kHz, 8 bits, one channel.
QByteArray silentWav()
{
    const QByteArray samples(800, char(0x80));
    QByteArray wav;
    const auto le32 = [&wav](quint32 v) {
        for (int i = 0; i < 4; ++i)
            wav += char((v >> (8 * i)) & 0xFF);
    };
    const auto le16 = [&wav](quint16 v) {
        wav += char(v & 0xFF);
        wav += char(v >> 8);
    };
    wav += "RIFF";
    le32(36 + samples.size());
    wav += "WAVEfmt ";
    le32(16);
    le16(1); // PCM
    le16(1); // channels
    le32(8000); // samples a second
    le32(8000); // bytes a second
    le16(1); // block
    le16(8); // bits
    wav += "data";
    le32(samples.size());
    return wav + samples;
}
} // namespace

// Without a sound device a cue plays nothing and prints nothing on the terminal.
void TestQtPlatform::soundsWithoutADeviceSayNothing()
{
    if (QtSound::audioDeviceFound())
        QSKIP("this machine has a sound device");
    QTemporaryDir directory;
    QFile wav(directory.filePath(u"Tac.WAV"_qs));
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write(silentWav());
    wav.close();

    said.clear();
    const QtMessageHandler testsOwn = qInstallMessageHandler(keepWhatIsSaid);
    const auto restore = qScopeGuard([testsOwn] { qInstallMessageHandler(testsOwn); });
    QtSound sound(directory.path());
    for (int i = 0; i < 3; ++i)
        sound.play(u"Tac.WAV"_qs);
    QTest::qWait(300); // what Qt Multimedia has to say comes from the event loop
    qWarning("and the program's own warnings still pass");
    QCOMPARE(said, QStringList {u"and the program's own warnings still pass"_qs});
}

QTEST_MAIN(TestQtPlatform)
#include "tst_qt_platform.moc"
