#pragma once

#include "Ads/AdServer.h"
#include "Ads/MockAdServer.h"
#include "Platform/Clock.h"
#include "Settings/AppSettings.h"

#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;

// Which ad backend the settings ask for.
namespace AdBackendChoice {

// The remote base URL when it parses, is not empty and its scheme is http or https.
std::optional<QUrl> usableRemoteBaseURL(const QString &text);

struct RemoteFiles {
    QString queuePath;
    QString cachePath;
};

// The remote backend when chosen with a usable base URL, else the local one (the same instance).
std::shared_ptr<AdServer> makeAdServer(const AppSettings &settings, const std::shared_ptr<MockAdServer> &localAdServer,
                                       const RemoteFiles &files, QNetworkAccessManager *session,
                                       Clock &clock = Clock::system());

} // namespace AdBackendChoice
