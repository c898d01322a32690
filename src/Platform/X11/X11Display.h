#pragma once

#include <QByteArray>

#include <memory>

class XcbConnection;

// Opens a connection to an X display (the environment's DISPLAY when the name is empty) in the
// calling thread's event loop; null when no X server answers. Share it between the X11 services.
std::shared_ptr<XcbConnection> openXcbConnection(const QByteArray &displayName = {});

// Whether an X server answers on the display (the environment's DISPLAY when the name is empty).
bool xServerAnswers(const QByteArray &displayName = {});
