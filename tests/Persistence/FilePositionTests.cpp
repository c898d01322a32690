#include "StoreFixture.h"

#include <QFile>

namespace {

using FilePositions_ = StoreFixture;

StoredAgentEvent usageRow(const QString &session, const QDateTime &at, qint64 output)
{
    return {AgentEvent::make(AgentSource::claudeCodeJsonl, session, TokenUsage{100, output, std::nullopt}, at),
            QStringLiteral("claude-sonnet-4-5")};
}

// Positions, events and identities go in together and survive a reopening; a copy of a batch
// (an import run again) adds no row.
TEST_F(FilePositions_, ImportBatchesStoreTogetherAndAgainAddNothing)
{
    const FilePosition position{"/h/.claude/projects/p/a.jsonl", {64769, 1234567, 900, 1765000000123456789}, 880, false};
    const QList<StoredAgentEvent> rows{usageRow("s", at(10, 0), 5), usageRow("s", at(10, 1), 7)};
    const CountedIdentities counted{{CountedIdentity::Kind::line, 0xfedcba9876543210ull}, {CountedIdentity::Kind::response, 42}};
    EXPECT_EQ(store->importBatch(rows, std::span(&position, 1), counted), 2);

    QList<StoredAgentEvent> again = rows;
    for (StoredAgentEvent &row : again)
        row.event.id = QUuid::createUuid(); // read again: new ids, same rows
    FilePosition done = position;
    done.offset = 900;
    done.complete = true;
    EXPECT_EQ(store->importBatch(again, std::span(&done, 1), counted), 0);

    store = openStore();
    EXPECT_EQ(store->eventCount(), 2);
    EXPECT_EQ(store->filePositions(), (FilePositions{{done.path, done}}));
    EXPECT_EQ(store->countedIdentities(10), counted);
    EXPECT_EQ(store->countedIdentities(1).size(), 1);
}

TEST_F(FilePositions_, RefusedBatchStoresNeitherEventsNorPositions)
{
    exec("CREATE TRIGGER refuse BEFORE INSERT ON events BEGIN SELECT RAISE(ABORT, 'full'); END;");
    const FilePosition position{"/a.jsonl", {1, 2, 30, 4}, 30, true};
    const QList<StoredAgentEvent> rows{usageRow("s", at(10, 0), 5)};
    const CountedIdentities counted{{CountedIdentity::Kind::response, 7}};
    EXPECT_FALSE(store->importBatch(rows, std::span(&position, 1), counted));
    EXPECT_TRUE(store->filePositions().isEmpty());
    EXPECT_TRUE(store->countedIdentities(10).isEmpty());
}

} // namespace
