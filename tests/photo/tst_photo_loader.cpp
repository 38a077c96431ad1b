#include "photo/photo_loader.h"

#include "fake_platform.h"
#include "hostile_files.h"
#include "watchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using PhotoLoader::Status;

class TestPhotoLoader : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void failures_data();
    void failures();

private:
    QString writePicture(const QString &name, const char *format, const QColor &colour)
    {
        QImage image(30, 12, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = m_dir.filePath(name);
        if (!image.save(path, format))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
};

void TestPhotoLoader::pictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("jpeg") << u"foto.jpg"_qs << QByteArray("JPEG");
    QTest::newRow("bitmap") << u"foto.bmp"_qs << QByteArray("BMP");
    QTest::newRow("gif") << u"foto.gif"_qs << QByteArray("GIF");
    QTest::newRow("name lies") << u"foto.jpe"_qs << QByteArray("BMP");
    QTest::newRow("blank and accent") << u"mi foto ñ.JFIF"_qs << QByteArray("JPEG");
}

void TestPhotoLoader::pictures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    if (format == "GIF" && !QImageWriter::supportedImageFormats().contains("gif")) {
        // Qt reads GIF but cannot write it: a tiny one by hand.
        const QByteArray gif
            = QByteArray::fromHex("47494638396101000100800000ff000000000021f90401000000002c00"
                                  "000000010001000002024401003b");
        writeBytes(m_dir.filePath(name), gif);
    } else {
        writePicture(name, format.constData(), Qt::red);
    }
    const PhotoLoader::Result result = PhotoLoader::load(m_dir.filePath(name));
    QCOMPARE(result.status, Status::Loaded);
    QVERIFY(!result.image.isNull());
    QCOMPARE(result.image.pixelColor(0, 0).red() > 200, true);
    QVERIFY(PhotoLoader::isPicture(m_dir.filePath(name)));
}

void TestPhotoLoader::failures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("pictureHeader");
    QTest::newRow("empty") << QString() << Status::Empty << false;
    QTest::newRow("missing file") << u"falta.jpg"_qs << Status::Missing << false;
    QTest::newRow("missing folder") << u"no/hay/carpeta/foto.jpg"_qs << Status::Missing << false;
    QTest::newRow("text") << u"notas.jpg"_qs << Status::NotAPicture << false;
    QTest::newRow("empty file") << u"vacia.bmp"_qs << Status::NotAPicture << false;
    QTest::newRow("folder") << u"carpeta"_qs << Status::NotAPicture << false;
    // Only the header is a picture's: isPicture is satisfied, loading is not.
    QTest::newRow("cut jpeg") << u"cortada.jpg"_qs << Status::NotAPicture << true;
    // Named as a photo, read by nothing: loading them would wait for ever or never end.
    QTest::newRow("FIFO") << u"tuberia.jpg"_qs << Status::NotAPicture << false;
    QTest::newRow("link to /dev/zero") << u"ceros.bmp"_qs << Status::NotAPicture << false;
    QTest::newRow("link to nothing") << u"rota.jpg"_qs << Status::Missing << false;
}

void TestPhotoLoader::failures()
{
    QFETCH(QString, path);
    QFETCH(Status, status);
    QFETCH(bool, pictureHeader);
    writeBytes(m_dir.filePath(u"notas.jpg"_qs), "Gomez Ana, no es una imagen\r\n");
    writeBytes(m_dir.filePath(u"vacia.bmp"_qs), QByteArray());
    QDir(m_dir.path()).mkpath(u"carpeta"_qs);
    const QByteArray jpeg = readBytes(writePicture(u"entera.jpg"_qs, "JPEG", Qt::blue));
    writeBytes(m_dir.filePath(u"cortada.jpg"_qs), jpeg.left(20));
    if (!QFileInfo::exists(m_dir.filePath(u"tuberia.jpg"_qs)))
        QVERIFY(makeFifo(m_dir.filePath(u"tuberia.jpg"_qs))
            && makeLink(u"/dev/zero"_qs, m_dir.filePath(u"ceros.bmp"_qs))
            && makeLink(m_dir.filePath(u"nada"_qs), m_dir.filePath(u"rota.jpg"_qs)));

    const QString full = path.isEmpty() ? path : m_dir.filePath(path);
    Watchdog watchdog({m_dir.path()});
    const PhotoLoader::Result result = PhotoLoader::load(full);
    const bool picture = PhotoLoader::isPicture(full);
    QVERIFY2(!watchdog.stop(), "loading the photo blocked");
    QCOMPARE(result.status, status);
    QVERIFY(result.image.isNull());
    QCOMPARE(picture, pictureHeader);
}

QTEST_MAIN(TestPhotoLoader)
#include "tst_photo_loader.moc"
