#include "Telemetry/HostApplications.h"

bool isHostApplication(QStringView appId)
{
    for (const char *host : hostApplications) {
        if (appId == QLatin1String(host))
            return true;
    }
    return false;
}

std::optional<DisplayAgent> displayAgentFrom(QStringView bundleId, const std::optional<QString> &windowTitle)
{
    if (bundleId == QLatin1String(codexDesktopAppId))
        return DisplayAgent::codex;
    if (!isHostApplication(bundleId))
        return std::nullopt;
    if (windowTitle.value_or(QString()).contains(QLatin1String("codex"), Qt::CaseInsensitive))
        return DisplayAgent::codex;
    return DisplayAgent::claudeCode;
}
