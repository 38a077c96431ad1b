// The photo's image box, on a screen of two device pixels to the pixel (QT_SCALE_FACTOR=2).
#include "photo/photo_box.h"

#include <QApplication>
#include <QPixmap>
#include <QTest>

namespace {

constexpr qreal Ratio = 2.0;

// One device pixel on, one off, at twice the box's size: sharp only where drawn pixel for pixel.
QImage fineStripes(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, x % 2 ? QColor(Qt::black) : QColor(Qt::white));
    }
    return image;
}

QImage shown(PhotoBox &box)
{
    return box.grab().toImage();
}

} // namespace

class TestPhotoBox : public QObject
{
    Q_OBJECT

private slots:
    void drawnAtTheDevicePixelRatio();
    void stretchedOverTheWholeBox();
    void keepsItsColoursWhileDisabled();
    void clearedShowsNothing();
};

void TestPhotoBox::drawnAtTheDevicePixelRatio()
{
    PhotoBox box;
    box.resize(100, 60);
    box.show();
    QCOMPARE(box.devicePixelRatioF(), Ratio);
    box.setPicture(fineStripes(QSize(200, 120)));
    QCOMPARE(box.pixmap().devicePixelRatio(), Ratio);
    QCOMPARE(box.pixmap().size(), QSize(200, 120));

    const QImage image = shown(box);
    QCOMPARE(image.size(), QSize(200, 120));
    // Every device pixel of a row as in the picture: no blur from a logical-size copy.
    for (int x = 0; x < 200; ++x) {
        const int expected = x % 2 ? 0 : 255;
        QVERIFY2(qAbs(qGray(image.pixel(x, 60)) - expected) < 40, qPrintable(QString::number(x)));
    }
}

void TestPhotoBox::stretchedOverTheWholeBox()
{
    PhotoBox box;
    box.resize(100, 60);
    box.show();
    QImage picture(10, 40, QImage::Format_RGB32); // another shape: the proportions are not kept
    picture.fill(Qt::blue);
    box.setPicture(picture);
    QVERIFY(box.hasScaledContents());
    const QImage image = shown(box);
    for (const QPoint at : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 119), QPoint(199, 119), QPoint(100, 60)})
        QCOMPARE(image.pixelColor(at), QColor(Qt::blue));
}

void TestPhotoBox::keepsItsColoursWhileDisabled()
{
    QWidget window;
    window.resize(200, 120);
    auto *box = new PhotoBox(&window);
    box->setGeometry(10, 10, 100, 60);
    window.show();
    QImage red(50, 30, QImage::Format_RGB32);
    red.fill(QColor(220, 20, 20));
    box->setPicture(red);
    window.setEnabled(false);
    QVERIFY(!box->isEnabled());
    const QImage image = shown(*box);
    QCOMPARE(image.pixelColor(100, 60), QColor(220, 20, 20));
}

void TestPhotoBox::clearedShowsNothing()
{
    PhotoBox box;
    box.resize(100, 60);
    box.show();
    QImage red(50, 30, QImage::Format_RGB32);
    red.fill(QColor(220, 20, 20));
    box.setPicture(red);
    box.clear();
    QVERIFY(box.pixmap().isNull());
    QCOMPARE(shown(box).pixelColor(100, 60), box.palette().color(QPalette::Window));
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", QByteArray::number(Ratio));
    QApplication app(argc, argv);
    TestPhotoBox test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_photo_box.moc"
