#pragma once

#include <QLabel>

class QImage;

// The image box of a contact's photo: the picture stretched over the whole box, drawn at the
// screen's resolution, and in its colours also while the window is disabled.
class PhotoBox : public QLabel
{
    Q_OBJECT

public:
    explicit PhotoBox(QWidget *parent = nullptr);

    // Stretched to the box once, at the device pixel ratio of the box's screen, so that a large
    // photo does not stay in memory at full size and a fine one is not blurred.
    void setPicture(const QImage &image);

protected:
    void paintEvent(QPaintEvent *event) override;
};
