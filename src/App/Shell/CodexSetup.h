#pragma once

#include "App/Modes/DialogTexts.h"
#include "Codex/CodexConfigWriter.h"

#include <QDateTime>

#include <functional>

// The menu's Codex setup and revert: the work after the question, and what to show for it.
namespace CodexSetup {

struct Paths {
    QString config;     // ~/.codex/config.toml
    QString hookScript; // the support directory's corvane-notify.sh
    QString socket;     // the support directory's notify.sock
};

using HookWriter = std::function<void(const QString &scriptPath, const QString &socketPath)>;

inline const QString endpoint = QStringLiteral("http://127.0.0.1:4318");

// Writes the hook script, then installs; the result alert, or the error alert of the step that
// failed (after a failed script the configuration is not touched). `before` is the status read
// before the question was asked.
AlertText install(const Paths &paths, const CodexConfigWriter::Status &before, const QDateTime &now,
                  const HookWriter &writeHook);
// Removes the managed lines; "Nothing to revert" when there were none or the file is unreadable.
AlertText revert(const QString &configPath);

// The dialogs: the question, then install's alert; cancelling writes nothing.
void runSetup(const Paths &paths);
void runRevert(const QString &configPath);

} // namespace CodexSetup
