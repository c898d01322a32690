#pragma once

#include "Ads/AdServer.h"
#include "Platform/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class MockAdServer;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The ad backend of a remote ad service over HTTP(S) and JSON. Events wait in a local queue file
// until the service accepts them; served creatives are cached for valuing spend offline; the local
// campaign file stands in when the service is unavailable. Only the ad events and the publisher and
// placement ids are ever sent. Runs on the main thread; requests may overlap.
class RemoteAdServer : public QObject, public AdServer {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteAdServer)

public:
    static constexpr int serveTimeoutMs = 4000;
    static constexpr int eventsTimeoutMs = 5000;

    // No network access here. Without a session the server makes its own. The clock stamps the
    // last success and must outlive the server.
    RemoteAdServer(QUrl baseURL, QString publisherID, QString placementID, QString queuePath, QString cachePath,
                   std::shared_ptr<MockAdServer> fallback, QNetworkAccessManager *session = nullptr,
                   Clock &clock = Clock::system(), QObject *parent = nullptr);
    ~RemoteAdServer() override;

    AdServerHealth health() const override { return m_health; }
    // Flushes the queue, then asks for a creative; falls back to the local campaigns on failure.
    void serve(ServeDone done) override;
    // Queues the events, then flushes the queue; on failure they stay queued.
    void postEvents(const QList<AdEvent> &events, PostDone done) override;
    // The fallback's maps overlaid with the cached creatives.
    QHash<QString, double> bidLookup() const override;
    QHash<QString, bool> paidLookup() const override;

    qsizetype queuedEventCount() const;

    // The request addresses; none when the base cannot carry them.
    static std::optional<QUrl> serveAddress(const QUrl &base, const QString &publisherID, const QString &placementID);
    static std::optional<QUrl> eventsAddress(const QUrl &base);

    // A serve body: an envelope {"creative": …}, a bare creative or empty; an error text otherwise.
    static std::variant<std::optional<AdCreative>, QString> decodeCreative(const QByteArray &body);

private:
    void requestCreative(ServeDone done);
    void serveFailed(const QString &description, const ServeDone &done);
    // Sends the queued events, and `unqueued` with them.
    void flushQueuedEvents(PostDone done, const QList<AdEvent> &unqueued = {});
    // False when the queue file could not take the events.
    bool appendQueued(const QList<AdEvent> &events);
    // Keeps a failed write of the queue or cache as the health message; true when it succeeded.
    bool noteWrite(const std::optional<QString> &error);
    QList<AdEvent> loadQueuedEvents() const;
    void removeDelivered(const QSet<QUuid> &sent);
    void cacheCreative(const AdCreative &creative);
    QHash<QString, AdCreative> loadCache() const;
    void mark(AdServerHealth::Status status, const QString &message);
    QNetworkReply *send(QNetworkRequest request, int timeoutMs, const QByteArray *body);

    QUrl m_baseURL;
    QString m_publisherID;
    QString m_placementID;
    QString m_queuePath;
    QString m_cachePath;
    std::shared_ptr<MockAdServer> m_fallback;
    QNetworkAccessManager *m_session;
    Clock &m_clock;
    AdServerHealth m_health;
    std::optional<QString> m_writeProblem;
};
