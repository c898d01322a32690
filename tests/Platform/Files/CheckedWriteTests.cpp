#include "Platform/Files/CheckedWrite.h"

#include "support/FullDisk.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;

QFileDevice::Permissions modeOf(const QString &path)
{
    // The bits of the file itself, without Qt's "user" view of them.
    return QFileInfo(path).permissions()
         & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

TEST(CheckedWrite, ReplacesWholeFilesWithTheModeAsked)
{
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.json"));
    EXPECT_EQ(CheckedWrite::replaceFile(fresh, "{}"), std::nullopt);
    EXPECT_EQ(readFile(fresh), "{}");
    EXPECT_EQ(modeOf(fresh), CheckedWrite::ownerOnly);

    // A file left readable by others is tightened; a script keeps the mode it is given.
    const QString old = dir.filePath(QStringLiteral("old.json"));
    writeFile(old, "old");
    QFile::setPermissions(old, CheckedWrite::ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    EXPECT_EQ(CheckedWrite::replaceFile(old, "new"), std::nullopt);
    EXPECT_EQ(readFile(old), "new");
    EXPECT_EQ(modeOf(old), CheckedWrite::ownerOnly);
    const auto script = CheckedWrite::ownerOnly | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther;
    const QString hook = dir.filePath(QStringLiteral("hook.sh"));
    EXPECT_EQ(CheckedWrite::replaceFile(hook, "#!/bin/sh\n", script), std::nullopt);
    EXPECT_EQ(modeOf(hook), script);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3) << "no file left aside";
}

TEST(CheckedWrite, AFolderThatIsNotThereIsAnError)
{
    const std::optional<QString> error =
        CheckedWrite::replaceFile(QStringLiteral("/nonexistent-dir/x.json"), "{}");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->startsWith(QLatin1String("cannot write /nonexistent-dir/x.json: "))) << error->toStdString();
    EXPECT_TRUE(CheckedWrite::appendLines(QStringLiteral("/nonexistent-dir/x.jsonl"), "{}\n"));
}

TEST(CheckedWrite, OnAFullDiskTheOldFileStaysAndTheReasonIsTold)
{
    FullDisk disk;
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString path = disk.path() + QStringLiteral("/config.toml");
    const QByteArray original = "model = \"gpt-5.5\"\n";
    writeFile(path, original);
    disk.fill();

    for (const QByteArray &bytes : {QByteArray("short"), QByteArray(200'000, 'x')}) {
        const std::optional<QString> error = CheckedWrite::replaceFile(path, bytes);
        ASSERT_TRUE(error) << bytes.size();
        EXPECT_TRUE(error->contains(QLatin1String("No space left on device"))) << error->toStdString();
        EXPECT_EQ(readFile(path), original);
    }
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files).size(), 1) << "the aside file is removed";
}

TEST(CheckedWrite, AppendsStartOnANewLineAndAreOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ledger.jsonl"));
    EXPECT_EQ(CheckedWrite::appendLines(path, "{\"a\":1}\n"), std::nullopt);
    EXPECT_EQ(modeOf(path), CheckedWrite::ownerOnly);
    writeFile(path, readFile(path) + "{\"torn\"");
    QFile::setPermissions(path, CheckedWrite::ownerOnly | QFileDevice::ReadOther);
    EXPECT_EQ(CheckedWrite::appendLines(path, "{\"b\":2}\n"), std::nullopt);
    EXPECT_EQ(readFile(path), "{\"a\":1}\n{\"torn\"\n{\"b\":2}\n");
    EXPECT_EQ(modeOf(path), CheckedWrite::ownerOnly);
}

TEST(CheckedWrite, AnAppendThatRunsOutOfSpaceIsCutBackOff)
{
    FullDisk disk;
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString path = disk.path() + QStringLiteral("/ledger.jsonl");
    const QString spare = disk.path() + QStringLiteral("/spare");
    writeFile(path, "{\"a\":1}\n");
    writeFile(spare, "x");
    disk.fill();
    QFile::remove(spare); // one page free: a long line is written in part, then the disk is full

    const std::optional<QString> error = CheckedWrite::appendLines(path, QByteArray(100'000, 'y') + '\n');
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(QLatin1String("No space left on device"))) << error->toStdString();
    EXPECT_EQ(readFile(path), "{\"a\":1}\n");
}

} // namespace
