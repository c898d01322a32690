#pragma once

#include "Ads/AdServer.h"

#include <QList>
#include <QString>

#include <optional>

// The local backend: serves from a campaign file and spends its budgets. Never touches the network.
class MockAdServer : public AdServer {
    Q_DISABLE_COPY_MOVE(MockAdServer)

public:
    // Loads the campaign list; a missing path or a file that cannot be read or decoded gives no campaigns.
    explicit MockAdServer(std::optional<QString> campaignsPath);

    const QList<AdCreative> &campaigns() const { return m_campaigns; }
    const std::optional<QString> &path() const { return m_path; }

    // The highest bid among campaigns with budget left; the earliest wins a tie.
    std::optional<AdCreative> serveSync() const;
    // Spends each event's value from its campaign's budget (never below 0), then rewrites the file.
    void postEventsSync(const QList<AdEvent> &events);

    // The local backend's health; its message names a campaign file that could not be written.
    AdServerHealth health() const override;
    // Both answer before they return; they never fail.
    void serve(ServeDone done) override;
    void postEvents(const QList<AdEvent> &events, PostDone done) override;
    QHash<QString, double> bidLookup() const override;
    QHash<QString, bool> paidLookup() const override;

private:
    void persist();

    QList<AdCreative> m_campaigns;
    std::optional<QString> m_path;
    std::optional<QString> m_writeProblem;
};
