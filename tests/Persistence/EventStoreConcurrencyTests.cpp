#include "StoreFixture.h"

#include <QThread>

#include <atomic>
#include <thread>

namespace {

using SharedFile = StoreFixture;

// Opens a plain connection, runs `begin`, then holds the transaction for holdMs or until
// released, and commits.
class OtherConnection {
public:
    OtherConnection(const QString &path, const char *begin, int holdMs)
        : m_thread([this, file = path.toUtf8(), begin, holdMs] {
            sqlite3 *db = nullptr;
            sqlite3_open(file.constData(), &db);
            sqlite3_exec(db, begin, nullptr, nullptr, nullptr);
            // A read transaction holds its snapshot only while a statement has stepped.
            sqlite3_stmt *reading = nullptr;
            sqlite3_prepare_v2(db, "SELECT id FROM events", -1, &reading, nullptr);
            sqlite3_step(reading);
            m_holding = true;
            for (int waited = 0; waited < holdMs && !m_released; ++waited)
                QThread::msleep(1);
            sqlite3_finalize(reading);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        })
    {
        while (!m_holding)
            QThread::msleep(1);
    }
    ~OtherConnection()
    {
        release();
        m_thread.join();
    }
    void release() { m_released = true; }

private:
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_released{false};
    std::thread m_thread;
};

TEST_F(SharedFile, InsertsLandWhileAnotherConnectionReads)
{
    insert(AgentSource::mock, "m", TurnStarted{}, at(14, 0));
    {
        // The reader holds on until the inserts are done: they must not wait for it.
        const OtherConnection reader(path(), "BEGIN", 60'000);
        int stored = 0;
        while (stored < 50
               && store->insert(AgentEvent::make(AgentSource::mock, "m", TokenUsage{stored, 1, std::nullopt},
                                                 at(14, 0).addSecs(stored + 1)),
                                std::nullopt))
            ++stored;
        EXPECT_EQ(stored, 50);
        EXPECT_EQ(store->eventCount(), 51);
    }
    // The report's own store sees every row once the reader has gone.
    const auto report = openStore();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->eventCount(), 51);
}

TEST_F(SharedFile, InsertWaitsForAnotherWriterInsteadOfDroppingTheEvent)
{
    insert(AgentSource::mock, "m", TurnStarted{}, at(14, 0));
    {
        const OtherConnection writer(path(), "BEGIN IMMEDIATE", 300);
        insert(AgentSource::mock, "m", TurnEnded{}, at(14, 1));
    }
    EXPECT_EQ(store->eventCount(), 2);
}

TEST_F(SharedFile, OpeningASecondStoreWhileOneWritesSucceeds)
{
    const OtherConnection writer(path(), "BEGIN IMMEDIATE", 300);
    // The open-time script needs the write lock too; it waits for it.
    EXPECT_TRUE(openStore());
}

} // namespace
