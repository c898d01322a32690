#include "App/Shell/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace AppIcon {

// Drawn on the same 256-unit grid as data/dev.corvane.Corvane.svg.
QImage image(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    QLinearGradient bg(0, 12, 0, 244);
    bg.setColorAt(0, QColor(0x23, 0x30, 0x3f));
    bg.setColorAt(1, QColor(0x11, 0x18, 0x20));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(12, 12, 232, 232), 48, 48);

    QLinearGradient arcColours(52, 0, 204, 0);
    arcColours.setColorAt(0, QColor(0x3d, 0xdc, 0x97));
    arcColours.setColorAt(0.6, QColor(0xf6, 0xc3, 0x43));
    arcColours.setColorAt(1, QColor(0xff, 0x6b, 0x5b));
    QPen arcPen(QBrush(arcColours), 20, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arcPen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(52, 80, 152, 152), 0, 180 * 16);

    const QColor needle(0xf2, 0xf5, 0xf8);
    p.setPen(QPen(needle, 10, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(128, 156), QPointF(176, 102));
    p.setPen(Qt::NoPen);
    p.setBrush(needle);
    p.drawEllipse(QPointF(128, 156), 14, 14);

    p.setBrush(QColor(0x3d, 0xdc, 0x97, 230));
    p.drawRoundedRect(QRectF(52, 190, 152, 22), 11, 11);
    p.setBrush(QColor(0x11, 0x18, 0x20));
    p.drawRoundedRect(QRectF(64, 197, 40, 8), 4, 4);
    p.setBrush(QColor(0x11, 0x18, 0x20, 153));
    p.drawRoundedRect(QRectF(112, 197, 22, 8), 4, 4);
    return img;
}

QIcon icon()
{
    QIcon result;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        result.addPixmap(QPixmap::fromImage(image(size)));
    return result;
}

} // namespace AppIcon
