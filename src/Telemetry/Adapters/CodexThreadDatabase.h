#pragma once

#include <QString>

#include <optional>

// The thread the user is working in, as the Codex thread index names it.
struct CodexCurrentThread {
    QString id;
    QString rolloutPath;
    std::optional<QString> model; // an empty model counts as none

    bool operator==(const CodexCurrentThread &) const = default;
};

// Read-only queries of Codex's thread index "state_5.sqlite" in a Codex home directory (~/.codex).
// Each query opens the database read-only and closes it again, so any thread may call them;
// a missing, locked or different database yields nothing.
namespace CodexThreadDatabase {

QString databasePath(const QString &codexHome);
std::optional<CodexCurrentThread> currentUserThread(const QString &codexHome);
std::optional<QString> model(const QString &codexHome, const QString &threadId);

} // namespace CodexThreadDatabase
