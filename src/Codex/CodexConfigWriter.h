#pragma once

#include "Telemetry/CodexConfigStatus.h"

#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>

// Adds and removes Corvane's managed lines in Codex's config.toml. The file is edited as text,
// line by line, so every line that is not managed stays as it is and revert is byte-exact; what
// the file holds is decided by a TOML parser, and an edit Codex could not read is never written.
namespace CodexConfigWriter {

inline constexpr QLatin1String otelBegin{"# >>> corvane otel (managed) >>>"};
inline constexpr QLatin1String otelEnd{"# <<< corvane otel (managed) <<<"};
inline constexpr QLatin1String notifyMarker{"# corvane-managed-notify"};
inline constexpr QLatin1String backupInfix{".bak-"};

using Status = CodexConfigStatus;

struct InstallResult {
    enum class Kind { installed, alreadyInstalled, conflictForeignOtel };
    Kind kind = Kind::alreadyInstalled;
    QString backup; // path of the backup; set only for installed

    bool operator==(const InstallResult &) const = default;
};

// The file's state; all false when it cannot be read as UTF-8. Never fails.
Status status(const QString &configPath);

// Adds the managed block and, when a script path is given and no notify hook is configured,
// the managed notify line, after backing the previous content up beside the file.
// Throws ConfigFileError, writing nothing, when a step fails, when the file exists but is not
// readable UTF-8 or not valid TOML, or when the edited text would not parse back to the user's
// values plus exactly Corvane's.
InstallResult install(const QString &configPath, const QString &endpoint,
                      const std::optional<QString> &notifyScriptPath, const QDateTime &now,
                      const QTimeZone &zone = QTimeZone::systemTimeZone());

// Removes every managed line; false when there was nothing to remove or the file was unreadable.
// Throws ConfigFileError when the rewrite fails.
bool revert(const QString &configPath);

// The six lines of the managed [otel] block, without a final newline.
QString otelBlock(const QString &endpoint);

// The managed notify line for a hook script.
QString notifyLine(const QString &scriptPath);

// The lines of text that are neither in a managed block nor the managed notify line.
QStringList textOutsideManagedRegions(const QString &text);

// "yyyyMMdd-HHmmss" of time in zone.
QString backupTimestamp(const QDateTime &time, const QTimeZone &zone = QTimeZone::systemTimeZone());

// value as the body of a TOML basic string (without the quotes).
QString tomlBasicStringBody(const QString &value);

} // namespace CodexConfigWriter
