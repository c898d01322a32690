#pragma once

#include "Ads/AdEvent.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <functional>
#include <optional>

// The append-only JSON-lines record of every ad event; each event id is written at most once.
class AdLedger {
    Q_DISABLE_COPY_MOVE(AdLedger)

public:
    // Reads the ids already in the file; a missing or unreadable file starts empty.
    explicit AdLedger(QString path);

    const QString &path() const { return m_path; }

    // Every decodable event, in file order; read anew on each call.
    QList<AdEvent> loadEvents() const;
    // Appends the event unless this ledger has seen its id. When the write fails, the event is
    // kept (up to maxUnwrittenEvents) and written before the next one.
    void append(const AdEvent &event);
    // Why the last append could not be written; absent once one succeeds.
    const std::optional<QString> &writeProblem() const { return m_writeProblem; }

    static constexpr qsizetype maxUnwrittenEvents = 10'000;
    // Gross dollars of the events in the calendar month of `month` (in `zone`) whose campaign
    // passes the predicate and has a bid.
    double spend(const QDateTime &month, const QHash<QString, double> &bidFor,
                 const std::function<bool(const QString &)> &includeCampaign = {},
                 const QTimeZone &zone = QTimeZone::systemTimeZone()) const;

private:
    QString m_path;
    QSet<QUuid> m_seenEventIds;
    QList<AdEvent> m_unwritten;
    std::optional<QString> m_writeProblem;
};
