#pragma once

#include <QString>

#include <optional>

// The XDG autostart entry that starts Corvane at login ($XDG_CONFIG_HOME/autostart).
namespace AutostartEntry {

inline constexpr const char *appId = "dev.corvane.Corvane";

// $XDG_CONFIG_HOME/autostart/dev.corvane.Corvane.desktop, else under $HOME/.config (pure).
QString pathFor(const QString &home, const QString &xdgConfigHome);
// The entry's path for this process's environment.
QString path();

// The desktop entry that runs the executable at execPath.
QString contents(const QString &execPath);
// execPath as one argument of a desktop entry's Exec key (quoted and escaped when needed).
QString execArgument(const QString &execPath);

bool isEnabled(const QString &entryPath);
// Writes the entry atomically, creating its folder; the reason when it could not be written.
std::optional<QString> enable(const QString &entryPath, const QString &execPath);
// Removes the entry; true when none is left.
bool disable(const QString &entryPath);

} // namespace AutostartEntry
