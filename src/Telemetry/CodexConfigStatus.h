#pragma once

#include <QString>

// What Codex's config.toml holds of Corvane's managed lines and of anyone else's.
struct CodexConfigStatus {
    bool configExists = false;
    bool installed = false;
    bool notifyInstalled = false;
    bool foreignOtel = false;
    bool foreignNotify = false;
    QString parseError; // why the user's part of the config is not TOML; empty when it is, or no file
    bool operator==(const CodexConfigStatus &) const = default;
};
