#include "StoreFixture.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>

namespace {

QList<StoredAgentEvent> usageRows(int count, const QDateTime &from, const QString &session = QStringLiteral("s"))
{
    QList<StoredAgentEvent> rows;
    for (int i = 0; i < count; ++i)
        rows.append({AgentEvent::make(AgentSource::codexOtel, session, TokenUsage{1000 + i, 10, 5}, from.addSecs(i)),
                     QStringLiteral("gpt-5.5")});
    return rows;
}

// A store on a 2 MiB disk of its own.
class SmallDisk : public StoreFixture {
protected:
    void SetUp() override
    {
        if (!disk.isMounted())
            GTEST_SKIP() << "mounting a tmpfs needs root";
        store = EventStore::open(disk.path() + QStringLiteral("/events.sqlite"), clock, Calendar(zone));
        ASSERT_TRUE(store);
    }

    // Batches of rows until the disk refuses one; the rows stored.
    qint64 fillStore()
    {
        for (int batch = 0; batch < 1000; ++batch) {
            if (!store->insertAll(usageRows(500, at(0, 0).addDays(-batch - 1))))
                return store->eventCount();
        }
        ADD_FAILURE() << "the disk never filled";
        return 0;
    }

    FullDisk disk;
};

TEST_F(SmallDisk, AFullDiskIsToldAsAFullDisk)
{
    fillStore();
    ASSERT_TRUE(store->writeProblem());
    EXPECT_TRUE(store->writeProblem()->endsWith(QStringLiteral(": database or disk is full")))
        << qPrintable(*store->writeProblem());
}

// Each queued row alone would cost a transaction's worth of pages; the freed space holds the
// queue only when it goes in batches.
TEST_F(SmallDisk, AfterAFullDiskFreesSomeRoomTheQueueCatchesUp)
{
    store->insertAll(usageRows(500, at(1, 0)));
    disk.fill();
    const QList<StoredAgentEvent> late = usageRows(1200, at(12, 0), QStringLiteral("late"));
    for (const StoredAgentEvent &row : late)
        EXPECT_FALSE(store->insert(row.event, row.modelAtEvent));
    ASSERT_TRUE(store->writeProblem());

    disk.release(1024 * 1024);
    store->retryUnstored();
    EXPECT_FALSE(store->writeProblem()) << qPrintable(store->writeProblem().value_or(QString()));
    EXPECT_EQ(store->eventCount(), 500 + 1200);
}

// Batches go in order; a refused one keeps itself and every later row queued, and nothing is
// stored twice.
TEST_F(StoreFixture, ARetryStoresTheQueueInOrderUpToTheFirstRefusedBatch)
{
    exec("CREATE TRIGGER refuse BEFORE INSERT ON events BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    const QList<StoredAgentEvent> rows = usageRows(1200, at(10, 0));
    for (const StoredAgentEvent &row : rows)
        store->insert(row.event, row.modelAtEvent);
    ASSERT_EQ(store->writeProblem(), QStringLiteral("cannot store events in %1: refused").arg(path()));

    // Rows from the 1100th on are refused: the batch holding them stops the retry.
    const QByteArray refuseLate = "DROP TRIGGER refuse; CREATE TRIGGER refuse BEFORE INSERT ON events WHEN NEW.ts >= "
                                  + QByteArray::number(rows[1100].event.timestamp.toMSecsSinceEpoch() / 1000.0, 'f', 3)
                                  + " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
    exec(refuseLate.constData());
    store->retryUnstored();
    EXPECT_EQ(store->eventCount(), 1000);
    EXPECT_TRUE(store->writeProblem());

    exec("DROP TRIGGER refuse;");
    store->retryUnstored();
    EXPECT_FALSE(store->writeProblem());
    const QList<StoredAgentEvent> stored = store->recentEvents(2000);
    ASSERT_EQ(stored.size(), rows.size());
    EXPECT_EQ(stored.front().event.id, rows.front().event.id);
    EXPECT_EQ(stored.back().event.id, rows.back().event.id);
}

// A store whose first page reads well but whose other pages are garbage opens; the first
// write that meets the damage moves it aside and starts anew.
std::unique_ptr<EventStore> damagedStore(const QString &path, const Clock &clock, const QTimeZone &zone)
{
    EXPECT_TRUE(EventStore::open(path, clock, Calendar(zone))->insertAll(usageRows(2000, clock.now().addDays(-1))));
    TestSupport::scrambleAfterFirstPage(path);
    EventStore::Opened opened = EventStore::openRecovering(path, clock, Calendar(zone));
    EXPECT_TRUE(opened.store) << qPrintable(opened.failure);
    EXPECT_TRUE(opened.movedAside.isEmpty()) << "the damage must be out of the open's sight";
    return std::move(opened.store);
}

QString asidePath(const QString &path, const Clock &clock)
{
    return path + QStringLiteral(".corrupt-")
           + QLocale::c().toString(clock.now().toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
}

class DamagedPages : public StoreFixture {
protected:
    void SetUp() override
    {
        store.reset();
        store = damagedStore(path(), clock, zone);
        ASSERT_TRUE(store);
        store->setMovedAsideObserver([this](const QString &aside) { notices.append(aside); });
    }

    QString asidePath() const { return ::asidePath(path(), clock); }

    QStringList notices;
};

TEST_F(DamagedPages, AWriteMovesTheDatabaseAsideAndStoresIntoAFreshOne)
{
    const QList<StoredAgentEvent> rows = usageRows(3, at(15, 0), QStringLiteral("new"));
    EXPECT_TRUE(store->insertAll(rows));
    EXPECT_EQ(notices, QStringList{asidePath()});
    EXPECT_TRUE(QFileInfo(asidePath()).isFile());
    EXPECT_FALSE(store->writeProblem());

    insert(AgentSource::claudeCodeJsonl, "next", TurnStarted{}, at(15, 5));
    EXPECT_EQ(notices.size(), 1) << "told once";
    EXPECT_EQ(store->eventCount(), 4);
    store.reset();
    EXPECT_EQ(openStore()->eventCount(), 4) << "the fresh database is at the store's path";
}

TEST_F(DamagedPages, WhenTheDatabaseCannotBeMovedAsideTheRowsWaitForARetry)
{
    QDir().mkpath(asidePath()); // the name it would move to is taken
    const QList<StoredAgentEvent> rows = usageRows(3, at(15, 0), QStringLiteral("new"));
    EXPECT_FALSE(store->insertAll(rows));
    ASSERT_TRUE(store->writeProblem());
    EXPECT_TRUE(store->writeProblem()->endsWith(QStringLiteral(": database disk image is malformed")))
        << qPrintable(*store->writeProblem());
    EXPECT_TRUE(notices.isEmpty());

    QDir().rmdir(asidePath());
    store->retryUnstored();
    EXPECT_FALSE(store->writeProblem());
    EXPECT_EQ(notices, QStringList{asidePath()});
    EXPECT_EQ(store->recentEvents(10).size(), 3);
}

// A fresh database needs room too; without it the damaged one stays in place until there is.
TEST_F(SmallDisk, WithoutRoomForAFreshDatabaseTheDamagedOneStaysAndTheRowsWait)
{
    const QString database = disk.path() + QStringLiteral("/events.sqlite");
    store.reset();
    store = damagedStore(database, clock, zone);
    ASSERT_TRUE(store);
    QStringList notices;
    store->setMovedAsideObserver([&notices](const QString &aside) { notices.append(aside); });
    const QByteArray damaged = TestSupport::readFile(database);

    disk.fill();
    EXPECT_FALSE(store->insertAll(usageRows(3, at(15, 0), QStringLiteral("new"))));
    EXPECT_TRUE(notices.isEmpty());
    EXPECT_EQ(TestSupport::readFile(database), damaged);
    EXPECT_FALSE(QFileInfo::exists(asidePath(database, clock)));
    ASSERT_TRUE(store->writeProblem());

    disk.release();
    store->retryUnstored();
    EXPECT_FALSE(store->writeProblem()) << qPrintable(store->writeProblem().value_or(QString()));
    EXPECT_EQ(notices, QStringList{asidePath(database, clock)});
    EXPECT_EQ(store->eventCount(), 3);
}

} // namespace
