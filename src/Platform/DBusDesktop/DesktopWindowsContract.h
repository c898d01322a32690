#pragma once

#include "Platform/WindowSystem.h"

#include <QRectF>
#include <QString>
#include <QVariantMap>

#include <optional>

// The D-Bus contract between Corvane and a compositor's script (dev.corvane.Corvane.Windows1.xml
// beside this file): Corvane exports the receiver, the compositor side calls it with its windows'
// state and asks it where to put the HUD.
namespace DesktopWindows {

inline const QString service = QStringLiteral("dev.corvane.Corvane");
inline const QString path = QStringLiteral("/dev/corvane/Corvane/Windows");
inline const QString interface = QStringLiteral("dev.corvane.Corvane.Windows1");

// One window as the compositor side reports it.
struct Window {
    QString id;
    RunningApplication application;
    QRectF frame;
    QString title;
    bool focused = false;
    bool minimized = false;

    bool operator==(const Window &other) const = default;
};

// Where this process wants one of its windows: the one with this pid and title.
struct Placement {
    quint32 generation = 0;
    qint64 pid = 0;
    QString title;
    QRectF frame;
};

// Reads a WindowAdded argument; absent without an id or a frame.
std::optional<Window> windowFrom(const QVariantMap &map);
// Applies a WindowChanged argument's keys (a partial frame keeps the other edges); false when
// nothing it names differs.
bool applyChange(Window &window, const QVariantMap &change);
// A NextPlacement answer.
QVariantMap toMap(const Placement &placement);
// The size of the area of all outputs from a Hello argument; empty when it sends none.
QSizeF screenSizeFrom(const QVariantMap &session);

} // namespace DesktopWindows
