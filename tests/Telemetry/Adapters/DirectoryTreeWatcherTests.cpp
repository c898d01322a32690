#include "Platform/Files/DirectoryTreeWatcher.h"

#include "AdapterTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class DirectoryTreeWatcherTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString root = dir.filePath("projects");
    DirectoryTreeWatcher watcher{200ms};
    std::vector<QStringList> batches;

    void SetUp() override
    {
        QObject::connect(&watcher, &DirectoryTreeWatcher::filesChanged,
                         [this](const QStringList &paths) { batches.push_back(paths); });
    }
    QStringList allReported() const
    {
        QStringList all;
        for (const QStringList &batch : batches)
            all += batch;
        return all;
    }
};

TEST_F(DirectoryTreeWatcherTest, ReportsLaterWritesOnlyAndCoalescesThemIntoOneBatch)
{
    TestSupport::writeFile(root + "/a/existing.jsonl", "old\n");
    ASSERT_TRUE(watcher.watch(root));
    EXPECT_TRUE(watcher.isWatchingRoot());
    TestSupport::spin(400ms);
    EXPECT_TRUE(batches.empty());

    for (int i = 0; i < 5; ++i)
        AdapterTest::appendFile(root + "/a/existing.jsonl", "line\n");
    TestSupport::writeFile(root + "/top.jsonl", "x\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !batches.empty(); }));
    TestSupport::spin(400ms);
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0], (QStringList{root + "/a/existing.jsonl", root + "/top.jsonl"}));
}

TEST_F(DirectoryTreeWatcherTest, WatchesDirectoriesMadeLaterWithTheFilesAlreadyInThem)
{
    QDir().mkpath(root);
    ASSERT_TRUE(watcher.watch(root));
    // Made in one go: the file may exist before the new directories are watched.
    TestSupport::writeFile(root + "/p/q/r/s.jsonl", "x\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return allReported().contains(root + "/p/q/r/s.jsonl"); }));
    batches.clear();
    AdapterTest::appendFile(root + "/p/q/r/s.jsonl", "y\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return allReported().contains(root + "/p/q/r/s.jsonl"); }));
}

TEST_F(DirectoryTreeWatcherTest, WaitsForAMissingRootAndForItsReturnAfterRemoval)
{
    ASSERT_TRUE(watcher.watch(root));
    EXPECT_FALSE(watcher.isWatchingRoot());
    TestSupport::writeFile(root + "/p/first.jsonl", "x\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return allReported().contains(root + "/p/first.jsonl"); }));
    EXPECT_TRUE(watcher.isWatchingRoot());

    ASSERT_TRUE(QDir(root).removeRecursively());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !watcher.isWatchingRoot(); }));
    TestSupport::writeFile(root + "/p/second.jsonl", "x\n");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return allReported().contains(root + "/p/second.jsonl"); }));
}

} // namespace
