#include "App/Core/AppEnvironment.h"

#include "App/Core/AppPaths.h"

#include <QDir>

AppEnvironment AppEnvironment::fromProcess(SupportDir supportDir)
{
    AppEnvironment environment;
    environment.homeDir = QDir::homePath();
    environment.supportDir = AppPaths::supportDirFor(environment.homeDir, qEnvironmentVariable("XDG_DATA_HOME"));
    if (supportDir == SupportDir::create)
        AppPaths::ensurePrivateDirectory(environment.supportDir);
    environment.otelPort = parsePort(qEnvironmentVariable("CORVANE_OTEL_PORT")).value_or(defaultOtelPort);
    return environment;
}

std::optional<quint16> AppEnvironment::parsePort(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const uint value = text.toUInt();
    return value <= 65535 ? std::optional<quint16>(quint16(value)) : std::nullopt;
}
