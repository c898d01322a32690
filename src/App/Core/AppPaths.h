#pragma once

#include <QString>

// The per-user support directory and the files Corvane keeps in it.
namespace AppPaths {

// $XDG_DATA_HOME/Corvane, else $HOME/.local/share/Corvane (pure; creates nothing).
QString supportDirFor(const QString &home, const QString &xdgDataHome);

// The support directory of this process, resolved once; created (mode 0700) on first use.
QString supportDir();
// supportDir()/Reports, created if missing on every call.
QString reportsDir();

// Creates a directory and its parents; a directory it creates gets mode 0700. Best effort.
void ensurePrivateDirectory(const QString &path);

// Copies the seed resource ":/seed/<resource>.<ext>" to destination unless a file is already there.
void seedIfMissing(const QString &resource, const QString &ext, const QString &destination);

inline QString inSupportDir(const char *name) { return supportDir() + QLatin1Char('/') + QLatin1String(name); }
inline QString pricingFile() { return inSupportDir("pricing.json"); }
inline QString eventsDatabase() { return inSupportDir("events.sqlite"); }
inline QString campaignsFile() { return inSupportDir("campaigns.json"); }
inline QString adLedgerFile() { return inSupportDir("ad-ledger.jsonl"); }
inline QString remoteAdEventsFile() { return inSupportDir("remote-ad-events.jsonl"); }
inline QString remoteAdCreativesFile() { return inSupportDir("remote-ad-creatives.json"); }
inline QString notifySocket() { return inSupportDir("notify.sock"); }
inline QString notifyHookScript() { return inSupportDir("corvane-notify.sh"); }
inline QString otelDebugLog() { return inSupportDir("otel-raw.log"); }

// The user-level Codex configuration: $HOME/.codex/config.toml.
QString codexConfigFile();

} // namespace AppPaths
