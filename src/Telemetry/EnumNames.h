#pragma once

#include <QLatin1String>
#include <QString>

#include <array>
#include <optional>

// Enumerations whose raw text is a name from a table indexed by the case's value.
template <typename Enum, std::size_t N>
QString enumName(const std::array<const char *, N> &names, Enum value)
{
    return QLatin1String(names[static_cast<std::size_t>(value)]);
}

// The case whose name equals raw exactly (case-sensitive), if any.
template <typename Enum, std::size_t N>
std::optional<Enum> enumFromName(const std::array<const char *, N> &names, QStringView raw)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (raw == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}
