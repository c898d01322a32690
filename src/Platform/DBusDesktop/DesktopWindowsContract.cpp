#include "Platform/DBusDesktop/DesktopWindowsContract.h"

namespace DesktopWindows {

namespace {

// Scripts send numbers as whatever their engine holds (int or double): both are read.
std::optional<double> numberOf(const QVariantMap &map, const QString &key)
{
    const auto it = map.find(key);
    bool ok = false;
    const double value = it == map.end() ? 0 : it->toDouble(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QRectF frameWith(QRectF frame, const QVariantMap &map)
{
    if (const auto x = numberOf(map, QStringLiteral("x")))
        frame.moveLeft(*x);
    if (const auto y = numberOf(map, QStringLiteral("y")))
        frame.moveTop(*y);
    if (const auto width = numberOf(map, QStringLiteral("width")))
        frame.setWidth(*width);
    if (const auto height = numberOf(map, QStringLiteral("height")))
        frame.setHeight(*height);
    return frame;
}

bool hasFrame(const QVariantMap &map)
{
    for (const char *key : {"x", "y", "width", "height"}) {
        if (!numberOf(map, QString::fromLatin1(key)))
            return false;
    }
    return true;
}

void putFrame(QVariantMap &map, const QRectF &frame)
{
    map.insert(QStringLiteral("x"), frame.x());
    map.insert(QStringLiteral("y"), frame.y());
    map.insert(QStringLiteral("width"), frame.width());
    map.insert(QStringLiteral("height"), frame.height());
}

} // namespace

std::optional<Window> windowFrom(const QVariantMap &map)
{
    const QString id = map.value(QStringLiteral("id")).toString();
    if (id.isEmpty() || !hasFrame(map))
        return std::nullopt;
    Window window;
    window.id = id;
    window.application = {map.value(QStringLiteral("appId")).toString(),
                          qint64(numberOf(map, QStringLiteral("pid")).value_or(0))};
    window.frame = frameWith({}, map);
    window.title = map.value(QStringLiteral("title")).toString();
    window.focused = map.value(QStringLiteral("focused")).toBool();
    window.minimized = map.value(QStringLiteral("minimized")).toBool();
    return window;
}

bool applyChange(Window &window, const QVariantMap &change)
{
    Window changed = window;
    changed.frame = frameWith(window.frame, change);
    if (change.contains(QStringLiteral("title")))
        changed.title = change.value(QStringLiteral("title")).toString();
    if (change.contains(QStringLiteral("minimized")))
        changed.minimized = change.value(QStringLiteral("minimized")).toBool();
    if (changed == window)
        return false;
    window = changed;
    return true;
}

QVariantMap toMap(const Placement &placement)
{
    QVariantMap map{{QStringLiteral("generation"), placement.generation}};
    if (placement.pid == 0)
        return map;
    map.insert(QStringLiteral("pid"), placement.pid);
    map.insert(QStringLiteral("title"), placement.title);
    putFrame(map, placement.frame);
    return map;
}

QSizeF screenSizeFrom(const QVariantMap &session)
{
    return {numberOf(session, QStringLiteral("screenWidth")).value_or(0),
            numberOf(session, QStringLiteral("screenHeight")).value_or(0)};
}

} // namespace DesktopWindows
