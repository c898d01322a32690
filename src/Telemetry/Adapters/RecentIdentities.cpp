#include "Telemetry/Adapters/RecentIdentities.h"

bool RecentIdentities::insertDigest(quint64 key)
{
    if (!m_digests.insert(key).second)
        return false;
    m_order.push_back(key);
    if (m_order.size() > m_capacity) {
        m_digests.erase(m_order.front());
        m_order.pop_front();
    }
    return true;
}

bool RecentIdentities::contains(QStringView identity) const { return m_digests.count(digest(identity)) != 0; }

quint64 RecentIdentities::digest(QStringView identity)
{
    // FNV-1a over the UTF-16 code units: stable across runs, and collisions among tens of
    // thousands of ids are vanishingly unlikely at 64 bits.
    quint64 hash = 14695981039346656037ull;
    for (const QChar c : identity) {
        hash = (hash ^ (c.unicode() & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (c.unicode() >> 8)) * 1099511628211ull;
    }
    return hash;
}
