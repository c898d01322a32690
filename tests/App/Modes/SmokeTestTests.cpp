#include "App/Modes/SmokeTest.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

QStringList filesUnder(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

TEST(SmokeTest, EveryCheckPassesAndTheUsersFilesStayUntouched)
{
    QTemporaryDir home;
    TestSupport::writeFile(home.path() + "/.config/keep.txt", "mine");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.remove("DISPLAY");
    process.setProcessEnvironment(env);
    process.start(TestSupport::corvaneBinary(), {"--smoke-test"});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 0) << out.toStdString();
    QStringList expected;
    for (const SmokeTest::Check &check : SmokeTest::checks())
        expected << check.name + ": ok";
    EXPECT_EQ(out.trimmed().split('\n'), expected);
    EXPECT_EQ(filesUnder(home.path()), QStringList{home.path() + "/.config/keep.txt"});
}

} // namespace
