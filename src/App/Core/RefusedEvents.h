#pragma once

#include "Telemetry/StoredAgentEvent.h"

#include <QHash>

#include <list>
#include <optional>
#include <span>

// Rows of groups the event store refused, remembered by the content its duplicate check
// compares (source, session, time, kind, counts, tool, duration and the model stored with the
// row). An unacknowledged group comes back with the same content under new ids; while its rows
// are remembered, the resend is stored again but not counted again.
class RefusedEvents {
public:
    explicit RefusedEvents(qsizetype capacity);

    bool isEmpty() const { return m_entries.isEmpty(); }
    // The counted share a refused row with this content was stored with; null when none is remembered.
    const std::optional<CountedTokens> *countedShareOf(const StoredAgentEvent &row) const;
    // Remembers the rows, newest last; beyond the capacity the oldest is dropped.
    void remember(std::span<const StoredAgentEvent> refused);
    // Forgets the rows of a group the store has taken.
    void forget(std::span<const StoredAgentEvent> stored);

private:
    // Mirrors the store's unique fingerprint of a row.
    struct Content {
        AgentSource source = AgentSource::mock;
        QString session;
        qint64 msecsSinceEpoch = 0;
        std::size_t kind = 0;
        std::optional<qint64> input;
        std::optional<qint64> output;
        std::optional<qint64> cached;
        QString tool;
        std::optional<QString> model;
        std::optional<qint64> durationMs;

        bool operator==(const Content &) const = default;
        friend size_t qHash(const Content &content, size_t seed)
        {
            return qHashMulti(seed, int(content.source), content.session, content.msecsSinceEpoch, content.kind,
                              content.input.value_or(-1), content.output.value_or(-1), content.cached.value_or(-1),
                              content.tool, content.model.value_or(QString()), content.durationMs.value_or(-1));
        }
    };
    struct Entry {
        std::list<Content>::iterator age;
        std::optional<CountedTokens> counted;
    };

    // Absent for kinds the store keeps outside its events table, or not at all.
    static std::optional<Content> contentOf(const StoredAgentEvent &row);
    void remember(Content content, const std::optional<CountedTokens> &counted);
    void forget(const Content &content);

    qsizetype m_capacity;
    std::list<Content> m_oldestFirst;
    QHash<Content, Entry> m_entries;
};
