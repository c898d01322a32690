#pragma once

#include "Ads/AdCreative.h"
#include "Ads/AdEvent.h"
#include "Ads/AdServerHealth.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Why an ad backend request failed.
struct AdServerError {
    QString description;
};

// An ad backend: serves creatives and receives ad events. Shared by reference; used on the main thread.
class AdServer {
public:
    // Called once on the main thread; an error means the request failed.
    using ServeDone = std::function<void(std::optional<AdCreative> creative, std::optional<AdServerError> error)>;
    using PostDone = std::function<void(std::optional<AdServerError> error)>;

    virtual ~AdServer() = default;

    virtual AdServerHealth health() const = 0;
    // The creative to show now, or none.
    virtual void serve(ServeDone done) = 0;
    // Reports events to the backend.
    virtual void postEvents(const QList<AdEvent> &events, PostDone done) = 0;
    // Campaign id to bidPer1000Imps.
    virtual QHash<QString, double> bidLookup() const = 0;
    // Campaign id to whether the campaign is paid.
    virtual QHash<QString, bool> paidLookup() const = 0;
};
