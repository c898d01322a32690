#include "support/XScreenshot.h"

#include <QDir>
#include <QFileInfo>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace XScreenshot {

QImage grab(const QByteArray &displayName, QRect area)
{
    xcb_connection_t *x = xcb_connect(displayName.constData(), nullptr);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        return {};
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    if (area.isEmpty())
        area = QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    QImage image;
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        x,
        xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, qint16(area.x()), qint16(area.y()),
                      quint16(area.width()), quint16(area.height()), ~0u),
        nullptr);
    // A 24-bit-deep screen stores 32 bits a pixel, blue first: Qt's RGB32 on little-endian.
    if (reply && reply->depth == 24
        && xcb_get_image_data_length(reply) == area.width() * area.height() * 4) {
        image = QImage(area.width(), area.height(), QImage::Format_RGB32);
        const uint8_t *data = xcb_get_image_data(reply);
        for (int row = 0; row < area.height(); ++row)
            std::memcpy(image.scanLine(row), data + qsizetype(row) * area.width() * 4, size_t(area.width()) * 4);
    }
    std::free(reply);
    xcb_disconnect(x);
    return image;
}

bool save(const QByteArray &displayName, const QString &pngPath, QRect area)
{
    const QImage image = grab(displayName, area);
    if (image.isNull())
        return false;
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    return image.save(pngPath, "PNG");
}

} // namespace XScreenshot
