#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

// The compositor's halves of the desktop-windows contract, shipped inside Corvane (data/kwin,
// data/gnome-shell): loading the KWin script, installing and enabling the GNOME Shell extension.

namespace KWinScript {

inline const QString pluginName = QStringLiteral("corvane-dock");

// Writes the script to the runtime folder and has KWin load and start it, replacing the copy an
// earlier run loaded. The reason, in a sentence, when KWin is not there or refuses it.
std::optional<QString> load(QDBusConnection bus);
// Takes it out of KWin again (at exit: nobody is left to hear it).
void unload(QDBusConnection bus);

} // namespace KWinScript

namespace GnomeShellExtension {

inline const QString uuid = QStringLiteral("dock@corvane.dev");

// ~/.local/share/gnome-shell/extensions/<uuid>
QString installFolder();
// What the user runs when Corvane cannot enable the extension itself.
QString enableCommand();
// What keeps the extension from running, in a sentence; empty when the Shell says it runs.
QString problem(QDBusConnection bus);

struct InstallOutcome {
    bool enabled = false;
    QString message; // what happened and, unless enabled, what to do
};
// Copies the extension into installFolder() (each file replaced whole) and asks the Shell to
// enable it. A Shell that started before the files existed does not see them until the next login.
InstallOutcome install(QDBusConnection bus);

} // namespace GnomeShellExtension
