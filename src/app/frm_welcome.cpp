#include "app/frm_welcome.h"

#include "app/frm_organizador.h"
#include "options/options_file.h"
#include "options/sound_cue.h"
#include "platform/platform.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QScreen>
#include <QTimer>

namespace {
QFont pictureFont(int pixelSize, int weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

// An address-book card with a head and shoulders, in the picture's light tones.
void paintCard(QPainter &painter, const QRectF &card)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawRoundedRect(card.translated(3, 4), 8, 8);
    painter.setBrush(QColor(0xf4, 0xf1, 0xe8));
    painter.drawRoundedRect(card, 8, 8);

    // Binding rings on the left edge.
    painter.setBrush(QColor(0x2b, 0x8c, 0x94));
    for (int i = 0; i < 4; ++i)
        painter.drawEllipse(QPointF(card.left() + 9, card.top() + 18 + i * 20), 3.5, 3.5);

    const QPointF head(card.center().x() + 5, card.top() + 32);
    painter.setBrush(QColor(0x1f, 0x4e, 0x79));
    painter.drawEllipse(head, 13, 13);
    QPainterPath shoulders;
    shoulders.moveTo(head.x() - 25, card.top() + 72);
    shoulders.cubicTo(
        head.x() - 25, card.top() + 48, head.x() + 25, card.top() + 48, head.x() + 25, card.top() + 72);
    shoulders.closeSubpath();
    painter.drawPath(shoulders);

    painter.setBrush(QColor(0x9a, 0xb8, 0xc8));
    painter.drawRoundedRect(QRectF(card.left() + 20, card.top() + 80, card.width() - 32, 4), 2, 2);
    painter.drawRoundedRect(QRectF(card.left() + 20, card.top() + 88, card.width() - 44, 4), 2, 2);
}
} // namespace

FrmWelcome::FrmWelcome(Platform &platform, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_platform(platform)
    , Image1(new QLabel(this))
    , Timer1(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Bienvenido"));
    setFixedSize(Twips::size(6750, 3000));

    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(Twips::rect(0, 0, 6750, 3000));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(welcomePicture()));

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(Timer1Interval);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &FrmWelcome::Timer1_Timer);

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    Form_Load();
}

void FrmWelcome::conmayu()
{
    SoundsOn = ReadOptions(OptionsFile(m_platform.system.programDirectory()));
}

void FrmWelcome::Form_Load()
{
    conmayu();
    playSoundCue(m_platform.sound, SoundsOn, StartSound);
    Timer1->start();
}

void FrmWelcome::Timer1_Timer()
{
    Timer1->stop();
    // The dispatcher shows the next window before this one closes.
    new FrmOrganizador(m_platform);
    close();
}

QImage FrmWelcome::welcomePicture()
{
    const QSize size = Twips::size(6750, 3000);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0.0, QColor(0x10, 0x22, 0x42));
    sky.setColorAt(1.0, QColor(0x1c, 0x66, 0x70));
    painter.fillRect(image.rect(), sky);

    QRadialGradient glow(QPointF(size.width() * 0.78, size.height() * 0.2), size.width() * 0.45);
    glow.setColorAt(0.0, QColor(255, 255, 255, 46));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(image.rect(), glow);

    paintCard(painter, QRectF(38, 40, 82, 104));

    painter.setPen(Qt::white);
    painter.setFont(pictureFont(46, QFont::Bold));
    painter.drawText(QPointF(146, 98), QStringLiteral("Orvalia"));

    painter.setPen(QColor(0xbf, 0xe3, 0xe6));
    painter.setFont(pictureFont(15, QFont::Normal));
    painter.drawText(QPointF(149, 128), QStringLiteral("Versión 2.0"));

    painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
    painter.drawLine(QPointF(38, 165.5), QPointF(size.width() - 38, 165.5));

    painter.setPen(QColor(0xe6, 0xee, 0xf2));
    painter.setFont(pictureFont(12, QFont::DemiBold));
    painter.drawText(QRectF(38, 170, size.width() - 76, 24), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Morq Technologies"));
    painter.setPen(QColor(0x9f, 0xc4, 0xcc));
    painter.setFont(pictureFont(11, QFont::Normal));
    painter.drawText(QRectF(38, 170, size.width() - 76, 24), Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("Agenda personal"));
    painter.end();

    return image.convertToFormat(QImage::Format_RGB888);
}
