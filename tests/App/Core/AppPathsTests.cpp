#include "App/Core/AppPaths.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(AppPaths, SupportDirFollowsXdgDataHome)
{
    EXPECT_EQ(AppPaths::supportDirFor("/home/u", ""), "/home/u/.local/share/Corvane");
    EXPECT_EQ(AppPaths::supportDirFor("/home/u", "/data/x/"), "/data/x/Corvane");
    EXPECT_EQ(AppPaths::supportDirFor("/home/u", "relative/dir"), "/home/u/.local/share/Corvane");
}

TEST(AppPaths, CreatedDirectoryIsPrivate)
{
    QTemporaryDir home;
    const QString dir = home.filePath("a/b/Corvane");
    AppPaths::ensurePrivateDirectory(dir);
    ASSERT_TRUE(QFileInfo(dir).isDir());
    EXPECT_EQ(QFileInfo(dir).permissions() & 0x0077, QFile::Permissions());
}

TEST(AppPaths, SeedCopiesOnlyWhenNothingIsThere)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("campaigns.json");
    AppPaths::seedIfMissing("campaigns", "json", target);
    EXPECT_EQ(TestSupport::readFile(target), TestSupport::readFile(":/seed/campaigns.json"));
    EXPECT_TRUE(QFileInfo(target).isWritable());

    const QString empty = dir.filePath("empty/campaigns.json");
    QDir().mkpath(dir.filePath("empty"));
    TestSupport::writeFile(empty, "");
    AppPaths::seedIfMissing("campaigns", "json", empty);
    EXPECT_EQ(TestSupport::readFile(empty), QByteArray());

    const QString none = dir.filePath("nothing.json");
    AppPaths::seedIfMissing("no-such-resource", "json", none);
    EXPECT_FALSE(QFileInfo::exists(none));
}

} // namespace
