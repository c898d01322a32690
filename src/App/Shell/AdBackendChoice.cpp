#include "App/Shell/AdBackendChoice.h"

#include "Ads/RemoteAdServer.h"

namespace AdBackendChoice {

std::optional<QUrl> usableRemoteBaseURL(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http"))
        return std::nullopt;
    return url;
}

std::shared_ptr<AdServer> makeAdServer(const AppSettings &settings, const std::shared_ptr<MockAdServer> &localAdServer,
                                       const RemoteFiles &files, QNetworkAccessManager *session, Clock &clock)
{
    if (settings.adBackendMode() == AdBackendMode::remoteREST) {
        if (const auto base = usableRemoteBaseURL(settings.remoteAdBaseURL()))
            return std::make_shared<RemoteAdServer>(*base, settings.remoteAdPublisherID(),
                                                    settings.remoteAdPlacementID(), files.queuePath, files.cachePath,
                                                    localAdServer, session, clock);
    }
    return localAdServer;
}

} // namespace AdBackendChoice
