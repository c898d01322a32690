#include "Ads/RemoteAdServer.h"

#include "Ads/AdJson.h"
#include "Ads/MockAdServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Appends a path component unless the base already ends in it.
std::optional<QUrl> endpoint(const QUrl &base, const QString &component)
{
    if (!base.isValid() || base.host().isEmpty()
        || (base.scheme() != QLatin1String("http") && base.scheme() != QLatin1String("https")))
        return std::nullopt;
    QUrl url = base;
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    if (path.section(u'/', -1) != component)
        path += u'/' + component;
    url.setPath(path);
    return url;
}

bool isSuccess(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() >= 200 && status.toInt() <= 299;
}

QString failureOf(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return QStringLiteral("bad server response (HTTP %1)").arg(status.toInt());
    return reply->errorString();
}

} // namespace

RemoteAdServer::RemoteAdServer(QUrl baseURL, QString publisherID, QString placementID, QString queuePath,
                               QString cachePath, std::shared_ptr<MockAdServer> fallback,
                               QNetworkAccessManager *session, Clock &clock, QObject *parent)
    : QObject(parent),
      m_baseURL(std::move(baseURL)),
      m_publisherID(std::move(publisherID)),
      m_placementID(std::move(placementID)),
      m_queuePath(std::move(queuePath)),
      m_cachePath(std::move(cachePath)),
      m_fallback(std::move(fallback)),
      m_session(session ? session : new QNetworkAccessManager(this)),
      m_clock(clock)
{
    m_health = AdServerHealth{AdServerHealth::Status::remoteFallback, QStringLiteral("Remote ads configured"),
                              queuedEventCount(), std::nullopt};
}

RemoteAdServer::~RemoteAdServer() = default;

std::optional<QUrl> RemoteAdServer::serveAddress(const QUrl &base, const QString &publisherID,
                                                 const QString &placementID)
{
    std::optional<QUrl> url = endpoint(base, QStringLiteral("serve"));
    if (!url)
        return std::nullopt;
    const auto encode = [](const QString &value) { return QString::fromLatin1(QUrl::toPercentEncoding(value)); };
    url->setQuery(QStringLiteral("publisher_id=") + encode(publisherID) + QStringLiteral("&placement_id=")
                      + encode(placementID),
                  QUrl::StrictMode);
    return url->isValid() ? url : std::nullopt;
}

std::optional<QUrl> RemoteAdServer::eventsAddress(const QUrl &base)
{
    return endpoint(base, QStringLiteral("events"));
}

std::variant<std::optional<AdCreative>, QString> RemoteAdServer::decodeCreative(const QByteArray &body)
{
    if (body.trimmed().isEmpty())
        return std::optional<AdCreative>();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("serve answer is not JSON: ") + error.errorString();
    if (!document.isObject())
        return QStringLiteral("serve answer is neither an envelope nor a creative");
    const QJsonObject object = document.object();
    const QJsonValue wrapped = object.value(QStringLiteral("creative"));
    if (wrapped.isObject()) {
        if (std::optional<AdCreative> creative = AdCreative::fromJson(wrapped))
            return creative;
    } else if (wrapped.isUndefined() || wrapped.isNull()) {
        // Any object would pass as an empty envelope, so a bare creative is tried first.
        if (std::optional<AdCreative> bare = AdCreative::fromJson(object))
            return bare;
        return std::optional<AdCreative>();
    }
    if (std::optional<AdCreative> bare = AdCreative::fromJson(object))
        return bare;
    return QStringLiteral("serve answer is neither an envelope nor a creative");
}

void RemoteAdServer::serve(ServeDone done)
{
    flushQueuedEvents([this, done = std::move(done)](std::optional<AdServerError>) mutable {
        requestCreative(std::move(done));
    });
}

void RemoteAdServer::requestCreative(ServeDone done)
{
    const std::optional<QUrl> address = serveAddress(m_baseURL, m_publisherID, m_placementID);
    if (!address) {
        serveFailed(QStringLiteral("bad address"), done);
        return;
    }
    QNetworkReply *reply = send(QNetworkRequest(*address), serveTimeoutMs, nullptr);
    connect(reply, &QNetworkReply::finished, this, [this, reply, done = std::move(done)] {
        reply->deleteLater();
        if (!isSuccess(reply)) {
            serveFailed(failureOf(reply), done);
            return;
        }
        const auto decoded = decodeCreative(reply->readAll());
        if (const QString *error = std::get_if<QString>(&decoded)) {
            serveFailed(*error, done);
            return;
        }
        const std::optional<AdCreative> creative = std::get<std::optional<AdCreative>>(decoded);
        if (creative)
            cacheCreative(*creative);
        mark(AdServerHealth::Status::remoteReady, QStringLiteral("Remote creative served"));
        done(creative, std::nullopt);
    });
}

void RemoteAdServer::serveFailed(const QString &description, const ServeDone &done)
{
    if (m_fallback) {
        if (std::optional<AdCreative> local = m_fallback->serveSync()) {
            mark(AdServerHealth::Status::remoteFallback, QStringLiteral("Remote unavailable; serving local fallback"));
            done(local, std::nullopt);
            return;
        }
    }
    mark(AdServerHealth::Status::remoteError, QStringLiteral("Remote unavailable; no fallback creative"));
    done(std::nullopt, AdServerError{description});
}

void RemoteAdServer::postEvents(const QList<AdEvent> &events, PostDone done)
{
    if (events.isEmpty()) {
        done(std::nullopt);
        return;
    }
    // Events the queue file could not take still travel in this batch: only a failed delivery
    // loses them.
    const bool queued = appendQueued(events);
    flushQueuedEvents(std::move(done), queued ? QList<AdEvent>() : events);
}

void RemoteAdServer::flushQueuedEvents(PostDone done, const QList<AdEvent> &unqueued)
{
    const QList<AdEvent> events = loadQueuedEvents() + unqueued;
    if (events.isEmpty()) {
        m_health.queuedEvents = 0;
        done(std::nullopt);
        return;
    }
    const std::optional<QUrl> address = eventsAddress(m_baseURL);
    if (!address) {
        done(AdServerError{QStringLiteral("bad address")});
        return;
    }
    QJsonArray array;
    QSet<QUuid> sent;
    for (const AdEvent &event : events) {
        array.append(event.toJson());
        sent.insert(event.eventId);
    }
    const QJsonObject batch{
        {QStringLiteral("schemaVersion"), 1},
        {QStringLiteral("publisherId"), m_publisherID},
        {QStringLiteral("placementId"), m_placementID},
        {QStringLiteral("events"), array},
    };
    const QByteArray body = QJsonDocument(batch).toJson(QJsonDocument::Compact);
    QNetworkRequest request(*address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply *reply = send(request, eventsTimeoutMs, &body);
    connect(reply, &QNetworkReply::finished, this, [this, reply, sent, done = std::move(done)] {
        reply->deleteLater();
        if (!isSuccess(reply)) {
            done(AdServerError{failureOf(reply)}); // the queue stays as it is
            return;
        }
        removeDelivered(sent);
        mark(AdServerHealth::Status::remoteReady, QStringLiteral("Remote event queue flushed"));
        done(std::nullopt);
    });
}

QNetworkReply *RemoteAdServer::send(QNetworkRequest request, int timeoutMs, const QByteArray *body)
{
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    // Fixed values, so nothing about this machine (its locale, its cookies) travels with a request.
    request.setRawHeader(QByteArrayLiteral("User-Agent"), QByteArrayLiteral("Corvane"));
    request.setRawHeader(QByteArrayLiteral("Accept-Language"), QByteArrayLiteral("*"));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = body ? m_session->post(request, *body) : m_session->get(request);
    reply->setParent(this); // a destroyed server takes its requests with it
    return reply;
}

bool RemoteAdServer::appendQueued(const QList<AdEvent> &events)
{
    QByteArray bytes;
    for (const AdEvent &event : events)
        bytes += AdJson::jsonLine(event.toJson());
    const bool written = noteWrite(AdJson::append(m_queuePath, bytes));
    m_health.queuedEvents = queuedEventCount();
    return written;
}

bool RemoteAdServer::noteWrite(const std::optional<QString> &error)
{
    m_writeProblem = error;
    if (error)
        m_health.message = *error;
    return !error;
}

QList<AdEvent> RemoteAdServer::loadQueuedEvents() const
{
    QList<AdEvent> events;
    const std::optional<QByteArray> bytes = AdJson::readAll(m_queuePath);
    if (!bytes)
        return events;
    for (const QByteArray &line : AdJson::lines(*bytes)) {
        if (std::optional<AdEvent> event = AdEvent::fromLine(line))
            events.append(std::move(*event));
    }
    return events;
}

void RemoteAdServer::removeDelivered(const QSet<QUuid> &sent)
{
    // Only the events of this batch go: others queued while it was in flight stay. Damaged lines
    // could never be sent, so they go too.
    QByteArray kept;
    const std::optional<QByteArray> bytes = AdJson::readAll(m_queuePath);
    for (const QByteArray &line : AdJson::lines(bytes.value_or(QByteArray()))) {
        const std::optional<AdEvent> event = AdEvent::fromLine(line);
        if (event && !sent.contains(event->eventId))
            kept += line + '\n';
    }
    if (kept.isEmpty())
        QFile::remove(m_queuePath);
    else
        noteWrite(AdJson::writeAtomically(m_queuePath, kept)); // if it fails, delivered events go again
    m_health.queuedEvents = queuedEventCount();
}

qsizetype RemoteAdServer::queuedEventCount() const
{
    return AdJson::countLines(m_queuePath);
}

QHash<QString, AdCreative> RemoteAdServer::loadCache() const
{
    QHash<QString, AdCreative> creatives;
    const QJsonObject cache = QJsonDocument::fromJson(AdJson::readAll(m_cachePath).value_or(QByteArray())).object();
    const QJsonObject entries = cache.value(QStringLiteral("creatives")).toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        std::optional<AdCreative> creative = AdCreative::fromJson(it.value());
        if (!creative)
            return {}; // a damaged cache counts as empty
        creatives.insert(it.key(), *creative);
    }
    return creatives;
}

void RemoteAdServer::cacheCreative(const AdCreative &creative)
{
    QHash<QString, AdCreative> creatives = loadCache();
    creatives.insert(creative.id, creative);
    QJsonObject entries;
    for (auto it = creatives.cbegin(); it != creatives.cend(); ++it)
        entries.insert(it.key(), it.value().toJson());
    const QJsonObject cache{{QStringLiteral("creatives"), entries}};
    noteWrite(AdJson::writeAtomically(m_cachePath, QJsonDocument(cache).toJson(QJsonDocument::Compact)));
}

QHash<QString, double> RemoteAdServer::bidLookup() const
{
    QHash<QString, double> bids = m_fallback ? m_fallback->bidLookup() : QHash<QString, double>();
    for (const AdCreative &creative : loadCache())
        bids.insert(creative.id, creative.bidPer1000Imps);
    return bids;
}

QHash<QString, bool> RemoteAdServer::paidLookup() const
{
    QHash<QString, bool> paid = m_fallback ? m_fallback->paidLookup() : QHash<QString, bool>();
    for (const AdCreative &creative : loadCache())
        paid.insert(creative.id, creative.isPaid());
    return paid;
}

void RemoteAdServer::mark(AdServerHealth::Status status, const QString &message)
{
    const std::optional<QDateTime> lastSuccess =
        status == AdServerHealth::Status::remoteReady ? std::optional<QDateTime>(m_clock.now()) : m_health.lastSuccess;
    // A file that cannot be written is what the user needs to hear about until a write succeeds.
    m_health = AdServerHealth{status, m_writeProblem.value_or(message), queuedEventCount(), lastSuccess};
}
