#pragma once

#include <QString>

#include <optional>
#include <variant>

// What a TOML parser reads in Codex's config: the config is edited as text, but what it holds
// (whose [otel], whose notify, and whether an edit kept the user's values) is decided by parsing.
namespace CodexConfigToml {

// The top-level keys that Corvane's managed lines would set, in whatever spelling they appear
// (table header, quoted or dotted key, inline table, sub-table).
struct ManagedKeys {
    bool otel = false;
    bool notify = false;
};

// Where and why a text is not TOML: "line 3, column 7: …".
using ParseError = QString;

std::variant<ManagedKeys, ParseError> managedKeys(const QString &text);

// What an install must have produced.
struct Expected {
    QString endpoint;
    std::optional<QString> notifyScript; // set when the install adds the notify line
};

// Why `after` is not `before` with exactly Corvane's values added; nothing when it is.
std::optional<QString> installProblem(const QString &before, const QString &after, const Expected &expected);

} // namespace CodexConfigToml
