#pragma once

#include <QString>

#include <optional>

// Where one running Corvane finds the user's files and which port it listens on.
// The application takes these from the process; tests point them at temporary places.
struct AppEnvironment {
    static constexpr quint16 defaultOtelPort = 4318;

    QString homeDir;
    QString supportDir;
    quint16 otelPort = defaultOtelPort; // 0 lets the system pick one

    // $HOME, the support directory (created on first use) and $CORVANE_OTEL_PORT when it is a
    // valid port, else 4318.
    static AppEnvironment fromProcess();

    // A decimal port number 0 to 65535, digits only.
    static std::optional<quint16> parsePort(const QString &text);

    QString inSupportDir(const char *name) const { return supportDir + u'/' + QLatin1String(name); }
    QString pricingFile() const { return inSupportDir("pricing.json"); }
    QString campaignsFile() const { return inSupportDir("campaigns.json"); }
    QString eventsDatabase() const { return inSupportDir("events.sqlite"); }
    QString notifySocket() const { return inSupportDir("notify.sock"); }
    QString otelDebugLog() const { return inSupportDir("otel-raw.log"); }
    QString controlSocket() const { return inSupportDir("control.sock"); }
    QString claudeProjectsDir() const { return homeDir + QStringLiteral("/.claude/projects"); }
    QString codexConfigFile() const { return homeDir + QStringLiteral("/.codex/config.toml"); }
};
