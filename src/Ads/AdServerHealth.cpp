#include "Ads/AdServerHealth.h"

#include "Telemetry/EnumNames.h"

#include <array>

AdServerHealth AdServerHealth::localMock()
{
    return AdServerHealth{Status::localMock, QStringLiteral("Local mock ads"), 0, std::nullopt};
}

QString rawValue(AdServerHealth::Status status)
{
    static constexpr std::array<const char *, 4> names{"localMock", "remoteReady", "remoteFallback", "remoteError"};
    return enumName(names, status);
}
