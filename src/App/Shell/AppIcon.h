#pragma once

#include <QIcon>
#include <QImage>

// Corvane's icon (a gauge above a docked bar), painted in code: the SVG installed for the
// desktop cannot be read here without Qt's SVG module.
namespace AppIcon {

QImage image(int size);
QIcon icon();

} // namespace AppIcon
