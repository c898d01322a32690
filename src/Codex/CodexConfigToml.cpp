#include "Codex/CodexConfigToml.h"

#include <toml++/toml.h>

#include <string>

namespace CodexConfigToml {

namespace {

ParseError describe(const toml::parse_error &error)
{
    const toml::source_position at = error.source().begin;
    return QStringLiteral("line %1, column %2: %3")
        .arg(at.line)
        .arg(at.column)
        .arg(QString::fromUtf8(error.description().data(), qsizetype(error.description().size())));
}

struct Parsed {
    std::optional<toml::table> table;
    ParseError error;
};

Parsed parse(const QString &text)
{
    try {
        return {toml::parse(text.toStdString()), {}};
    } catch (const toml::parse_error &error) {
        return {std::nullopt, describe(error)};
    }
}

toml::table expectedOtel(const QString &endpoint)
{
    return toml::table{
        {"environment", "dev"},
        {"exporter", toml::table{{"otlp-http", toml::table{{"endpoint", endpoint.toStdString()}, {"protocol", "json"}}}}},
        {"log_user_prompt", false},
    };
}

} // namespace

std::variant<ManagedKeys, ParseError> managedKeys(const QString &text)
{
    const Parsed parsed = parse(text);
    if (!parsed.table)
        return parsed.error;
    return ManagedKeys{parsed.table->contains("otel"), parsed.table->contains("notify")};
}

std::optional<QString> installProblem(const QString &before, const QString &after, const Expected &expected)
{
    const Parsed original = parse(before);
    if (!original.table)
        return QStringLiteral("the config is not valid TOML (%1)").arg(original.error);
    Parsed written = parse(after);
    if (!written.table)
        return QStringLiteral("the edited config would not be valid TOML (%1)").arg(written.error);

    toml::table &result = *written.table;
    const toml::table *otel = result["otel"].as_table();
    if (!otel || *otel != expectedOtel(expected.endpoint))
        return QStringLiteral("the edited config would not hold Corvane's [otel] values");
    result.erase("otel");
    if (expected.notifyScript) {
        const toml::array *notify = result["notify"].as_array();
        if (!notify || *notify != toml::array{expected.notifyScript->toStdString()})
            return QStringLiteral("the edited config would not hold Corvane's notify hook");
        result.erase("notify");
    }
    if (result != *original.table)
        return QStringLiteral("the edit would change other values of the config");
    return std::nullopt;
}

} // namespace CodexConfigToml
