#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

// Grabs what an X server shows (the root window, or part of it) as an image.
namespace XScreenshot {

// An empty image when the display cannot be opened or the area read.
QImage grab(const QByteArray &displayName, QRect area = {});
// Grabs and writes a PNG, creating the folder; false on failure.
bool save(const QByteArray &displayName, const QString &pngPath, QRect area = {});

} // namespace XScreenshot
