#include "app/main_window.h"
#include "fake_platform.h"
#include "platform/qt_platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
    void hiddenAttributeRoundTrip();
    void onlyOneInstanceHoldsTheLock();
    void releasedLockLetsANewStartIn();
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
    QTest::newRow("ok") << B::Ok << QStringList{u"Aceptar"_qs} << u"Aceptar"_qs << A::Ok;
    QTest::newRow("ok cancel") << B::OkCancel << QStringList{u"Aceptar"_qs, u"Cancelar"_qs} << u"Cancelar"_qs
                               << A::Cancel;
    QTest::newRow("yes no") << B::YesNo << QStringList{u"No"_qs, u"Sí"_qs} << u"Sí"_qs << A::Yes;
    QTest::newRow("yes no cancel") << B::YesNoCancel << QStringList{u"Cancelar"_qs, u"No"_qs, u"Sí"_qs}
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
    const auto got = boxes.show(nullptr, u"¿Seguro?"_qs, u"Orvalia"_qs, MessageBoxes::Icon::Question, buttons);
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
             (QStringList{u"JPEG (*.JPG;*.JPEG) (*.jpg *.jpeg)"_qs, u"Mapa de bits (*.bmp) (*.bmp)"_qs}));
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
    QVERIFY(first.lockSingleInstance());
    QVERIFY(!second.lockSingleInstance());
}

void TestQtPlatform::releasedLockLetsANewStartIn()
{
    QTemporaryDir dir;
    QtSystem leaving(dir.path());
    QtSystem starting(dir.path());
    QVERIFY(leaving.lockSingleInstance());
    QVERIFY(!starting.lockSingleInstance());
    leaving.releaseSingleInstance();
    QVERIFY(!QFileInfo::exists(dir.filePath(u"Orvalia.lock"_qs)));
    QVERIFY(starting.lockSingleInstance());
    // Released twice, or never taken: nothing happens, and the other one keeps its lock.
    leaving.releaseSingleInstance();
    QVERIFY(!leaving.lockSingleInstance());
}

void TestQtPlatform::systemAnswers()
{
    QTemporaryDir dir;
    QtSystem system(dir.path());
    QCOMPARE(system.programDirectory(), dir.path());
    QVERIFY(!system.currentDateText().isEmpty());
    QVERIFY(!system.passwordDirectory().isEmpty());
    QVERIFY(!system.passwordDirectory().startsWith(dir.path()));
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
