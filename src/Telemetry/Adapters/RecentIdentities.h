#pragma once

#include <QStringView>

#include <cstddef>
#include <deque>
#include <unordered_set>

// The most recent identities seen (at most `capacity`), kept as 64-bit digests so that a large
// memory stays small; the oldest are forgotten first.
class RecentIdentities {
public:
    explicit RecentIdentities(std::size_t capacity) : m_capacity(capacity) {}

    // True when the identity was not among the remembered ones; it is remembered either way.
    bool insert(QStringView identity) { return insertDigest(digest(identity)); }
    bool insertDigest(quint64 key);
    bool contains(QStringView identity) const;
    std::size_t size() const { return m_order.size(); }

    static quint64 digest(QStringView identity);

private:
    std::size_t m_capacity;
    std::unordered_set<quint64> m_digests;
    std::deque<quint64> m_order;
};
