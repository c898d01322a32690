#include "support/FullDisk.h"
#include "support/TestSupport.h"

#include "Claude/ClaudeSettingsWriter.h"
#include "Codex/ConfigFileError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;
namespace Writer = ClaudeSettingsWriter;

const Writer::Commands commands = Writer::commandsFor("/opt/corvane/bin/corvane");
const QDateTime now = QDateTime(QDate(2026, 12, 10), QTime(15, 0), QTimeZone::utc());

class ClaudeSettingsWriterTest : public testing::Test {
protected:
    QTemporaryDir home;
    QString path = home.filePath(".claude/settings.json");

    void SetUp() override { QDir().mkpath(home.filePath(".claude")); }

    QJsonObject parsed() const { return QJsonDocument::fromJson(readFile(path)).object(); }

    QStringList backups() const
    {
        return QDir(home.filePath(".claude")).entryList({"settings.json.bak-*"}, QDir::Files);
    }
};

// Settings as users keep them: other keys, their own hooks on the same and other events,
// compact or indented, CRLF, an empty object.
struct RoundTrip {
    const char *name;
    const char *text;
};

const RoundTrip roundTrips[] = {
    {"ownHooksOnSameEvents",
     "{\n  \"model\": \"opus\",\n  \"permissions\": {\n    \"allow\": [\"Bash(ls:*)\"]\n  },\n  \"hooks\": {\n"
     "    \"PreToolUse\": [\n      {\n        \"matcher\": \"Bash\",\n        \"hooks\": [\n          {\n"
     "            \"type\": \"command\",\n            \"command\": \"~/bin/audit.sh\"\n          }\n        ]\n"
     "      }\n    ],\n    \"FileChanged\": [{\"matcher\": \"notes.txt\", \"hooks\": [{\"type\": \"command\", "
     "\"command\": \"echo changed\"}]}]\n  }\n}\n"},
    {"compactWithoutHooks", R"({"env":{"FOO":"1"},"includeCoAuthoredBy":false})"},
    {"emptyObject", "{}"},
    {"tabsAndEmptyPermissions", "{\n\t\"permissions\": {},\n\t\"x\": [ ]\n}"},
    {"crlf", "{\r\n  \"hooks\": {\r\n    \"Stop\": [{\"hooks\": [{\"type\": \"command\", \"command\": \"say done\"}]}]\r\n"
             "  },\r\n  \"theme\": \"dark\"\r\n}\r\n"},
};

class ClaudeSettingsRoundTrip : public ClaudeSettingsWriterTest, public testing::WithParamInterface<RoundTrip> {};

TEST_P(ClaudeSettingsRoundTrip, InstallAddsOursBesideTheUsersAndRevertGivesTheBytesBack)
{
    const QByteArray original = GetParam().text;
    writeFile(path, original);
    const QJsonObject before = parsed();

    const Writer::InstallResult result = Writer::install(path, commands, now, QTimeZone::utc());
    ASSERT_EQ(result.kind, Writer::InstallResult::Kind::installed);
    EXPECT_EQ(readFile(result.backup), original);
    EXPECT_TRUE(result.backup.endsWith("settings.json.bak-20261210-150000"));

    const QJsonObject after = parsed();
    ASSERT_FALSE(after.isEmpty()) << readFile(path).toStdString();
    for (const QString &key : before.keys()) {
        if (key != "hooks") {
            EXPECT_EQ(after.value(key), before.value(key)) << key.toStdString();
        }
    }
    // The user's groups are still there, ours beside them.
    const QJsonObject hooksBefore = before.value("hooks").toObject();
    for (const QString &event : hooksBefore.keys()) {
        for (const QJsonValue &group : hooksBefore.value(event).toArray())
            EXPECT_TRUE(after.value("hooks").toObject().value(event).toArray().contains(group)) << event.toStdString();
    }
    const Writer::Status status = Writer::status(path);
    EXPECT_TRUE(status.hooksInstalled());
    EXPECT_TRUE(status.statusLineInstalled);
    EXPECT_EQ(after.value("statusLine").toObject().value("command").toString(),
              "/opt/corvane/bin/corvane --claude-statusline");

    EXPECT_EQ(Writer::install(path, commands, now).kind, Writer::InstallResult::Kind::alreadyInstalled);
    EXPECT_TRUE(Writer::revert(path));
    EXPECT_EQ(readFile(path), original);
    EXPECT_FALSE(Writer::revert(path));
}

INSTANTIATE_TEST_SUITE_P(Settings, ClaudeSettingsRoundTrip, testing::ValuesIn(roundTrips),
                         [](const testing::TestParamInfo<RoundTrip> &info) { return std::string(info.param.name); });

TEST_F(ClaudeSettingsWriterTest, RevertAfterOtherEditsRemovesOnlyOursAndKeepsTheEdits)
{
    writeFile(path, "{\n  \"hooks\": {\n    \"Stop\": [{\"hooks\": [{\"type\": \"command\", \"command\": \"say done\"}]}]\n  }\n}\n");
    Writer::install(path, commands, now);
    QJsonObject edited = parsed();
    edited.insert("theme", "light");
    QJsonObject hooks = edited.value("hooks").toObject();
    QJsonArray stop = hooks.value("Stop").toArray();
    stop.append(QJsonObject{{"hooks", QJsonArray{QJsonObject{{"type", "command"}, {"command", "beep"}}}}});
    hooks.insert("Stop", stop);
    edited.insert("hooks", hooks);
    writeFile(path, QJsonDocument(edited).toJson());

    ASSERT_TRUE(Writer::revert(path));
    const QJsonObject after = parsed();
    EXPECT_EQ(after.value("theme"), "light");
    EXPECT_FALSE(after.contains("statusLine"));
    EXPECT_EQ(after.value("hooks").toObject().keys(), QStringList{"Stop"});
    EXPECT_EQ(after.value("hooks").toObject().value("Stop").toArray().size(), 2);
    EXPECT_TRUE(Writer::status(path).hookEvents.isEmpty());
}

TEST_F(ClaudeSettingsWriterTest, AMissingFileIsCreatedAndRevertRemovesItAgain)
{
    ASSERT_EQ(Writer::install(path, commands, now).kind, Writer::InstallResult::Kind::installed);
    EXPECT_TRUE(Writer::status(path).hooksInstalled());
    EXPECT_TRUE(backups().isEmpty());
    EXPECT_TRUE(Writer::revert(path));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ClaudeSettingsWriterTest, RefusesWithoutWritingOnForeignStatusLineOrUnreadableSettings)
{
    const QByteArray foreign = R"({"statusLine": {"type": "command", "command": "~/bin/my-line"}})";
    writeFile(path, foreign);
    const Writer::InstallResult result = Writer::install(path, commands, now);
    EXPECT_EQ(result.kind, Writer::InstallResult::Kind::conflictForeignStatusLine);
    EXPECT_EQ(result.foreignStatusLine, "~/bin/my-line");
    EXPECT_EQ(Writer::status(path).foreignStatusLine, "~/bin/my-line");
    EXPECT_EQ(readFile(path), foreign);

    for (const QByteArray &bad : {QByteArray("{\"hooks\": {,}"), QByteArray("[1, 2]"), QByteArray("{\"hooks\": []}"),
                                 QByteArray("{\"hooks\": {\"Stop\": {}}}")}) {
        writeFile(path, bad);
        EXPECT_THROW(Writer::install(path, commands, now), ConfigFileError) << bad.toStdString();
        EXPECT_EQ(readFile(path), bad);
    }
    writeFile(path, "{\"hooks\": {,}");
    EXPECT_FALSE(Writer::status(path).parseError.isEmpty());
    EXPECT_TRUE(backups().isEmpty());
}

TEST_F(ClaudeSettingsWriterTest, RecognisesItsCommandsWhereverCorvaneIsInstalled)
{
    EXPECT_EQ(Writer::commandsFor("/home/me/my apps/corvane").hook, "'/home/me/my apps/corvane' --claude-hook");
    EXPECT_TRUE(Writer::isCorvaneCommand("'/home/me/my apps/corvane' --claude-hook", Writer::hookFlag));
    EXPECT_TRUE(Writer::isCorvaneCommand("/usr/bin/corvane --claude-statusline", Writer::statusLineFlag));
    EXPECT_FALSE(Writer::isCorvaneCommand("/usr/bin/corvane --claude-statusline", Writer::hookFlag));
    EXPECT_FALSE(Writer::isCorvaneCommand("/usr/bin/notcorvane --claude-hook", Writer::hookFlag));
    EXPECT_FALSE(Writer::isCorvaneCommand("corvane --claude-hook; rm -rf ~", Writer::hookFlag));
}

TEST(ClaudeSettingsWriter, OnAFullDiskTheOldFileStaysAndTheReasonIsTold)
{
    FullDisk disk;
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const QString path = disk.path() + QStringLiteral("/settings.json");
    const QByteArray original = "{\"model\": \"opus\"}\n";
    writeFile(path, original);
    disk.fill();
    try {
        Writer::install(path, commands, now);
        ADD_FAILURE() << "the install reported success";
    } catch (const ConfigFileError &error) {
        EXPECT_TRUE(std::string(error.what()).find("No space left on device") != std::string::npos) << error.what();
    }
    EXPECT_EQ(readFile(path), original);
}

} // namespace
