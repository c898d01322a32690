#pragma once

#include "Telemetry/HistorySink.h"

#include <QList>

#include <mutex>

// A history sink in memory, for the adapters' tests: keeps what a store would, copies of event
// rows (same session, time, kind and counts) included only once. Safe across threads.
class MemoryHistorySink final : public HistorySink {
public:
    std::optional<qint64> importBatch(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                                      std::span<const CountedIdentity> counted) override
    {
        std::lock_guard lock(m_mutex);
        if (refuse)
            return std::nullopt;
        qint64 added = 0;
        for (const StoredAgentEvent &event : events) {
            const bool held = std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const StoredAgentEvent &row) {
                return row.event.sessionId == event.event.sessionId && row.event.timestamp == event.event.timestamp
                       && row.event.kind == event.event.kind && row.modelAtEvent == event.modelAtEvent;
            });
            if (!held) {
                m_rows.append(event);
                ++added;
            }
        }
        for (const FilePosition &position : positions)
            m_positions.insert(position.path, position);
        m_counted.append(QList<CountedIdentity>(counted.begin(), counted.end()));
        ++batches;
        return added;
    }
    FilePositions filePositions() const override
    {
        std::lock_guard lock(m_mutex);
        return m_positions;
    }
    CountedIdentities countedIdentities(qsizetype) const override
    {
        std::lock_guard lock(m_mutex);
        return m_counted;
    }
    std::optional<SessionSnapshot> latestSnapshot(AgentSource, const QString &) const override { return std::nullopt; }
    QList<StoredAgentEvent> rows() const
    {
        std::lock_guard lock(m_mutex);
        return m_rows;
    }
    void savePosition(const FilePosition &position, const CountedIdentities &counted)
    {
        std::lock_guard lock(m_mutex);
        m_positions.insert(position.path, position);
        m_counted.append(counted);
    }

    bool refuse = false;
    int batches = 0;

private:
    mutable std::mutex m_mutex;
    QList<StoredAgentEvent> m_rows;
    FilePositions m_positions;
    CountedIdentities m_counted;
};

// A sink handed to an adapter that forwards to one the test keeps.
class ForwardingSink final : public HistorySink {
public:
    explicit ForwardingSink(MemoryHistorySink &target) : m_target(target) {}
    std::optional<qint64> importBatch(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                                      std::span<const CountedIdentity> counted) override
    {
        return m_target.importBatch(events, positions, counted);
    }
    FilePositions filePositions() const override { return m_target.filePositions(); }
    CountedIdentities countedIdentities(qsizetype limit) const override { return m_target.countedIdentities(limit); }
    std::optional<SessionSnapshot> latestSnapshot(AgentSource source, const QString &session) const override
    {
        return m_target.latestSnapshot(source, session);
    }

private:
    MemoryHistorySink &m_target;
};
