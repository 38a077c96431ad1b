#include "photo/photo_box.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

PhotoBox::PhotoBox(QWidget *parent)
    : QLabel(parent)
{
    setScaledContents(true); // stretched: the picture's proportions are not kept
}

void PhotoBox::setPicture(const QImage &image)
{
    const qreal ratio = devicePixelRatioF();
    QPixmap picture = QPixmap::fromImage(
        image.scaled(contentsRect().size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    picture.setDevicePixelRatio(ratio);
    setPixmap(picture);
}

// A label greys its picture while disabled; a photo is no control to grey.
void PhotoBox::paintEvent(QPaintEvent *event)
{
    const QPixmap picture = pixmap();
    if (picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(contentsRect(), picture);
}
