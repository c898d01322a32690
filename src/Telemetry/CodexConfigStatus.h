#pragma once

// What Codex's config.toml holds of Corvane's managed lines and of anyone else's.
struct CodexConfigStatus {
    bool configExists = false;
    bool installed = false;
    bool notifyInstalled = false;
    bool foreignOtel = false;
    bool foreignNotify = false;
    bool operator==(const CodexConfigStatus &) const = default;
};
