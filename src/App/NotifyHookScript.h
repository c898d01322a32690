#pragma once

#include <QString>

// The install mode's and the setup dialog's one way to the notify hook writer.
inline constexpr bool notifyHookWriterAvailable = true;

// Writes the notify hook script Codex runs, for the given socket. Throws std::runtime_error
// with the file-system error when it cannot.
void writeNotifyHookScript(const QString &scriptPath, const QString &socketPath);
