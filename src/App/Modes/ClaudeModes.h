#pragma once

#include "App/Modes/DialogTexts.h"
#include "Claude/ClaudeSettingsWriter.h"

#include <QDateTime>
#include <QString>

// Claude Code's one setup, on the command line and behind the menu: Corvane's hooks (turn edges,
// approvals, tool calls) and its status line in ~/.claude/settings.json, installed and reverted
// together.
namespace ClaudeModes {

// The corvane executable the settings name: the one the user typed, else this process's own.
QString installedProgram();

// What one install or revert did, as the command line prints it and the menu shows it.
struct Outcome {
    bool failed = false; // an error or a refusal: the command line exits 1
    AlertText text;
};

Outcome install(const QString &settingsPath, const QString &program, const QDateTime &now);
Outcome revert(const QString &settingsPath);
AlertText setupQuestion();

// "--claude-status": what of Corvane's is installed, one line each.
int runStatus(const QString &settingsPath);
// "--install-claude-config" (and --install-claude-statusline).
int runInstall(const QString &settingsPath, const QDateTime &now);
// "--revert-claude-config" (and --revert-claude-statusline).
int runRevert(const QString &settingsPath);

} // namespace ClaudeModes
