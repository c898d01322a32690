#pragma once

#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>
#include <span>

// Adds and removes Corvane's entries in Claude Code's ~/.claude/settings.json: one hook group per
// event Corvane listens to (beside the user's own groups) and the status line. What the file
// holds is decided by a JSON parser; the edit itself inserts and removes text at the places the
// parser found, so every byte outside Corvane's entries stays as the user wrote it and a revert
// with nothing else changed gives the file back byte for byte. An edit whose result would not
// parse to the user's values plus exactly Corvane's is never written.
namespace ClaudeSettingsWriter {

inline constexpr QLatin1String hookFlag{"--claude-hook"};
inline constexpr QLatin1String statusLineFlag{"--claude-statusline"};
inline constexpr QLatin1String backupInfix{".bak-"};

// An event Corvane's hook is registered for; tool and session events take a matcher.
struct HookEvent {
    const char *name;
    bool takesMatcher;
};
std::span<const HookEvent> hookEvents();

// The two shell commands written: "<program> --claude-hook" and "<program> --claude-statusline",
// the program quoted for sh when it has to be.
struct Commands {
    QString hook;
    QString statusLine;
};
Commands commandsFor(const QString &program);

// Whether a command is one of Corvane's: a program named "corvane" followed by the flag.
bool isCorvaneCommand(const QString &command, QLatin1String flag);

struct Status {
    bool settingsExist = false;
    QStringList hookEvents;                   // events that have Corvane's hook
    bool statusLineInstalled = false;
    std::optional<QString> foreignStatusLine; // the user's own statusLine command
    QString parseError;                       // the file is not a JSON object

    bool hooksInstalled() const { return hookEvents.size() == qsizetype(ClaudeSettingsWriter::hookEvents().size()); }
};

// The file's state; only settingsExist (and parseError) when it cannot be read. Never fails.
Status status(const QString &settingsPath);

struct InstallResult {
    enum class Kind { installed, alreadyInstalled, conflictForeignStatusLine };
    Kind kind = Kind::alreadyInstalled;
    QString backup;            // installed over an existing file: where its old content is
    QString foreignStatusLine; // conflict: the user's command
};

// Adds what is missing of Corvane's hooks and status line, after backing the old file up beside
// it. Refuses (writing nothing) when the user has a status line of their own. Throws
// ConfigFileError, writing nothing, when the file is unreadable or not a JSON object, a hooks
// entry has an unexpected type, or a write fails.
InstallResult install(const QString &settingsPath, const Commands &commands, const QDateTime &now,
                      const QTimeZone &zone = QTimeZone::systemTimeZone());

// Removes Corvane's entries (and the containers that only held them); false when there was
// nothing to remove. A file install created and nothing else was added to is removed again.
// Throws ConfigFileError when the file cannot be read or parsed or the rewrite fails.
bool revert(const QString &settingsPath);

} // namespace ClaudeSettingsWriter
