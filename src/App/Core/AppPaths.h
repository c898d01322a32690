#pragma once

#include <QString>

#include <optional>

// Pure helpers for the per-user support directory; AppEnvironment knows the paths themselves.
namespace AppPaths {

// $XDG_DATA_HOME/Corvane, else $HOME/.local/share/Corvane (pure; creates nothing).
QString supportDirFor(const QString &home, const QString &xdgDataHome);

// Creates a directory and its parents; a directory it creates gets mode 0700. Best effort.
void ensurePrivateDirectory(const QString &path);

// Copies the seed resource ":/seed/<resource>.<ext>" to destination (owner-only) unless a file is
// already there; the reason when it could not be written.
std::optional<QString> seedIfMissing(const QString &resource, const QString &ext, const QString &destination);

} // namespace AppPaths
