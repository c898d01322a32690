#pragma once

#include <QString>

// The install mode's one way to the notify hook writer. Until the notify adapter is part of the
// build this is false and writeNotifyHookScript throws; pointing the definition at
// CodexNotifyAdapter::writeHookScript(scriptPath, socketPath) and setting this true completes it.
inline constexpr bool notifyHookWriterAvailable = false;

// Writes the notify hook script Codex runs, for the given socket. Throws std::runtime_error
// with the file-system error when it cannot.
void writeNotifyHookScript(const QString &scriptPath, const QString &socketPath);
