#pragma once

#include <QString>

// Writes the notify hook script Codex runs, for the given socket. Throws std::runtime_error
// with the file-system error when it cannot. The install mode's one way to the hook writer.
void writeNotifyHookScript(const QString &scriptPath, const QString &socketPath);
