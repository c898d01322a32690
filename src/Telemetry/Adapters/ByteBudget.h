#pragma once

#include <QtGlobal>

// Bytes that several connections of one thread may hold together. Not thread-safe: one thread
// owns it and every connection that charges it.
class ByteBudget {
    Q_DISABLE_COPY_MOVE(ByteBudget)

public:
    explicit ByteBudget(qsizetype limit) : m_limit(limit) {}

    // Takes n more bytes; false, taking nothing, when that would pass the limit.
    bool take(qsizetype n)
    {
        if (n > m_limit - m_used)
            return false;
        m_used += n;
        return true;
    }
    void giveBack(qsizetype n) { m_used -= n; }
    qsizetype used() const { return m_used; }

private:
    const qsizetype m_limit;
    qsizetype m_used = 0;
};
