#include "App/Modes/CodexModes.h"

#include "App/Core/CommandLine.h"
#include "Telemetry/Adapters/CodexNotifyAdapter.h"
#include "Codex/CodexConfigWriter.h"
#include "Telemetry/CodexTelemetryHealth.h"

#include <QJsonObject>

#include <algorithm>

#include <exception>

namespace CodexModes {

namespace {

QString flagLine(const char *label, bool flag)
{
    return QLatin1String(label) + (flag ? QStringLiteral("true") : QStringLiteral("false"));
}

QString errorText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

QString installOutcome(const CodexConfigWriter::InstallResult &result)
{
    using Kind = CodexConfigWriter::InstallResult::Kind;
    switch (result.kind) {
    case Kind::installed:
        return QStringLiteral("installed (backup: ") + result.backup + u')';
    case Kind::alreadyInstalled:
        return QStringLiteral("already installed \u2014 nothing changed");
    case Kind::conflictForeignOtel:
        break;
    }
    return QStringLiteral("CONFLICT: foreign [otel] exporter present \u2014 nothing written (pass-through is post-MVP)");
}

// "health: listenerDown — …" and the age of the last Codex event.
QStringList healthLines(const QJsonObject &health, const QDateTime &now)
{
    const QDateTime latest = QDateTime::fromString(health.value("latestEventAt").toString(), Qt::ISODateWithMs);
    const QString age = latest.isValid()
                            ? CodexTelemetryHealth::ageDescription(std::max<qint64>(0, latest.msecsTo(now)) / 1000.0)
                            : QStringLiteral("never");
    return {QStringLiteral("health: ") + health.value("status").toString() + QStringLiteral(" \u2014 ")
                + health.value("menuDetail").toString(),
            QStringLiteral("last Codex event: ") + age};
}

} // namespace

int runStatus(const SnapshotMode::Files &files)
{
    const CodexConfigWriter::Status status = CodexConfigWriter::status(files.codexConfig);
    QStringList lines{
        flagLine("config exists: ", status.configExists),
        flagLine("installed: ", status.installed),
        flagLine("notify installed: ", status.notifyInstalled),
        flagLine("foreign otel: ", status.foreignOtel),
        flagLine("foreign notify: ", status.foreignNotify),
    };
    if (!status.parseError.isEmpty())
        lines << QStringLiteral("config error: not valid TOML (") + status.parseError + u')';
    lines << healthLines(SnapshotMode::codexHealth(files), QDateTime::currentDateTimeUtc());
    CommandLine::printLines(lines.join(u'\n') + u'\n');
    return 0;
}

int runInstall(const QString &configPath, const QString &scriptPath, const QString &socketPath, const QDateTime &now)
{
    try {
        CodexNotifyAdapter::writeHookScript(scriptPath, socketPath);
    } catch (const std::exception &error) {
        return CommandLine::errorExit(errorText(error));
    }
    CodexConfigWriter::InstallResult result;
    try {
        result = CodexConfigWriter::install(configPath, QLatin1String(otlpEndpoint), scriptPath, now);
    } catch (const std::exception &error) {
        return CommandLine::errorExit(errorText(error));
    }
    CommandLine::printLines(installOutcome(result) + u'\n');
    if (CodexConfigWriter::status(configPath).foreignNotify)
        CommandLine::printLines(QStringLiteral("note: existing notify hook detected and left untouched\n"));
    return 0;
}

int runRevert(const QString &configPath)
{
    bool reverted = false;
    try {
        reverted = CodexConfigWriter::revert(configPath);
    } catch (const std::exception &error) {
        return CommandLine::errorExit(errorText(error));
    }
    CommandLine::printLines(reverted ? QStringLiteral("reverted \u2014 managed lines removed\n")
                                     : QStringLiteral("nothing to revert\n"));
    return 0;
}

} // namespace CodexModes
