#pragma once

#include "Platform/Environment.h"

#include <QString>

#include <optional>

// Everything one running Corvane takes from the world: the clock and the delays it waits for
// (Environment), where it finds the user's files, and which port it listens on. The application
// takes these from the process; tests point them at a manual clock and temporary places.
struct AppEnvironment : Environment {
    static constexpr quint16 defaultOtelPort = 4318;

    // Whether fromProcess() creates the support directory (mode 0700) when it is missing.
    enum class SupportDir { create, leave };

    QString homeDir;
    QString supportDir;
    quint16 otelPort = defaultOtelPort; // 0 lets the system pick one

    // The system clock, $HOME, the support directory and $CORVANE_OTEL_PORT when it is a valid
    // port, else 4318.
    static AppEnvironment fromProcess(SupportDir supportDir = SupportDir::create);

    // A decimal port number 0 to 65535, digits only.
    static std::optional<quint16> parsePort(const QString &text);

    QString inSupportDir(const char *name) const { return supportDir + u'/' + QLatin1String(name); }
    QString pricingFile() const { return inSupportDir("pricing.json"); }
    QString campaignsFile() const { return inSupportDir("campaigns.json"); }
    QString eventsDatabase() const { return inSupportDir("events.sqlite"); }
    QString adLedgerFile() const { return inSupportDir("ad-ledger.jsonl"); }
    QString remoteAdEventsFile() const { return inSupportDir("remote-ad-events.jsonl"); }
    QString remoteAdCreativesFile() const { return inSupportDir("remote-ad-creatives.json"); }
    QString notifySocket() const { return inSupportDir("notify.sock"); }
    QString notifyHookScript() const { return inSupportDir("corvane-notify.sh"); }
    QString otelDebugLog() const { return inSupportDir("otel-raw.log"); }
    QString controlSocket() const { return inSupportDir("control.sock"); }
    QString reportsDir() const { return inSupportDir("Reports"); }
    QString claudeProjectsDir() const { return homeDir + QStringLiteral("/.claude/projects"); }
    QString codexConfigFile() const { return homeDir + QStringLiteral("/.codex/config.toml"); }
    QString claudeSettingsFile() const { return homeDir + QStringLiteral("/.claude/settings.json"); }
};
