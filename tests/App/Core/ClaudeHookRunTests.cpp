#include "App/Core/CorvaneProcessFixture.h"
#include "support/TestSupport.h"

#include "App/Core/ClaudeHookClient.h"
#include "App/Core/ControlServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

using TestSupport::waitUntil;

QList<QByteArray> recordedLines()
{
    QList<QByteArray> documents;
    const QByteArray lines = TestSupport::readFile(TestSupport::samplesDir() + "/hooks/tui-record/events.jsonl");
    for (const QByteArray &line : lines.split('\n')) {
        if (!line.trimmed().isEmpty())
            documents << QJsonDocument(QJsonDocument::fromJson(line).object().value("stdin").toObject())
                             .toJson(QJsonDocument::Compact);
    }
    return documents;
}

class ClaudeHookRun : public CorvaneProcessFixture {
protected:
    // Feeds the recorded calls up to and including the n-th of `event`, through the hook command.
    void replayUntil(qsizetype &next, const QList<QByteArray> &documents, const QString &event)
    {
        while (next < documents.size()) {
            const QByteArray document = documents[next++];
            const Run hook = run({"--claude-hook"}, document);
            ASSERT_EQ(hook.exitCode, 0);
            ASSERT_TRUE(hook.out.isEmpty() && hook.err.isEmpty()) << hook.err.toStdString();
            if (QJsonDocument::fromJson(document).object().value("hook_event_name") == event)
                return;
        }
        FAIL() << "no " << event.toStdString();
    }

    QString state() { return snapshot().value("state").toString(); }
};

TEST_F(ClaudeHookRun, WithoutAnInstanceOrWithBadInputTheHookPrintsNothingAndSucceeds)
{
    for (const QByteArray &input : {recordedLines().first(), QByteArray("not json"), QByteArray()}) {
        const Run hook = run({"--claude-hook"}, input);
        EXPECT_EQ(hook.exitCode, 0);
        EXPECT_TRUE(hook.out.isEmpty());
        EXPECT_TRUE(hook.err.isEmpty());
    }
    // Whatever else is on its command line: a usage error would block Claude Code's prompt.
    const Run odd = run({"--claude-hook", "--bogus", "extra"}, "{}");
    EXPECT_EQ(odd.exitCode, 0);
    EXPECT_TRUE(odd.out.isEmpty() && odd.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(supportDir)); // the hook creates nothing
}

TEST_F(ClaudeHookRun, HandsOnlyTheMetadataLineToTheControlSocket)
{
    QDir().mkpath(supportDir);
    QList<QByteArray> received;
    ControlServer server(supportDir + "/control.sock", [&](QByteArrayView line) {
        received << line.toByteArray();
        return QByteArray();
    });
    ASSERT_TRUE(server.listen());
    const QByteArray document = R"({"session_id":"s1","hook_event_name":"PostToolUse","tool_name":"Bash",)"
                                R"("tool_input":{"command":"cat secret"},"tool_response":{"stdout":"secret"},)"
                                R"("tool_use_id":"toolu_9","duration_ms":31})";
    QProcess hook;
    hook.setProcessEnvironment(environment());
    hook.start(TestSupport::corvaneBinary(), {"--claude-hook"});
    hook.write(document);
    hook.closeWriteChannel();
    ASSERT_TRUE(waitUntil([&] { return !received.isEmpty() && hook.state() == QProcess::NotRunning; }));
    EXPECT_EQ(hook.exitCode(), 0);
    const QJsonObject request = QJsonDocument::fromJson(received.first()).object();
    EXPECT_EQ(request.value("command"), "claudeHook");
    EXPECT_EQ(request.value("hook").toObject(),
              (QJsonObject{{"session_id", "s1"}, {"hook_event_name", "PostToolUse"}, {"tool_name", "Bash"},
                           {"tool_use_id", "toolu_9"}, {"duration_ms", 31}}));
    EXPECT_FALSE(received.first().contains("secret"));
}

TEST_F(ClaudeHookRun, RecordedTurnReplayedThroughTheHookDrivesTheSnapshot)
{
    startInstance();
    const QList<QByteArray> documents = recordedLines();
    qsizetype next = 0;
    replayUntil(next, documents, "Stop");
    replayUntil(next, documents, "UserPromptSubmit");
    EXPECT_EQ(state(), "working");
    replayUntil(next, documents, "PermissionRequest");
    QJsonObject during = snapshot();
    EXPECT_EQ(during.value("state"), "awaitingApproval");
    ASSERT_FALSE(during.value("toolFeed").toArray().isEmpty());
    EXPECT_EQ(during.value("toolFeed").toArray().first().toObject().value("name"), "Bash");
    EXPECT_TRUE(during.value("toolFeed").toArray().first().toObject().value("durationMs").isNull());
    replayUntil(next, documents, "PostToolUse");
    EXPECT_EQ(state(), "working");
    replayUntil(next, documents, "Stop");
    const QJsonObject after = snapshot();
    EXPECT_EQ(after.value("state"), "idle");
    EXPECT_EQ(after.value("toolCallCount").toInt(), 1);
    EXPECT_FALSE(after.value("toolFeed").toArray().first().toObject().value("durationMs").isNull());
}

// Strings planted where users and models write: none may reach any byte Corvane writes.
TEST_F(ClaudeHookRun, PlantedContentReachesNoFileAndNoOutput)
{
    QDir().mkpath(home.filePath("config/Corvane"));
    TestSupport::writeFile(home.filePath("config/Corvane/Corvane.conf"), "[General]\ndebugLogRawOTel=true\n");
    startInstance();
    const QByteArray planted = "PLANTED-7c1e";
    QByteArray instanceErr;
    for (QByteArray document : recordedLines()) {
        for (const char *placeholder : {"<prompt text>", "<command>", "<description>", "<stdout>", "<assistant text>",
                                        "<displayed text>", "<file contents>", "<error text>"})
            document.replace(placeholder, planted + "-" + placeholder);
        // Every free-text field, whatever the recording held.
        QJsonObject object = QJsonDocument::fromJson(document).object();
        for (const char *key : {"prompt", "last_assistant_message", "error", "message", "compact_summary",
                                "command_args", "custom_instructions", "delta"}) {
            if (object.contains(key))
                object.insert(key, QString::fromLatin1(planted) + "-" + key);
        }
        object.insert("tool_input", QJsonObject{{"command", QString::fromLatin1(planted) + "-input"}});
        const Run hook = run({"--claude-hook"}, QJsonDocument(object).toJson(QJsonDocument::Compact));
        EXPECT_FALSE(hook.out.contains(planted) || hook.err.contains(planted));
    }
    ASSERT_TRUE(waitUntil([&] { return snapshot().value("toolCallCount").toInt() > 0; }));
    const QJsonObject last = snapshot();
    EXPECT_FALSE(QJsonDocument(last).toJson().contains(planted));
    instance->terminate();
    ASSERT_TRUE(instance->waitForFinished(10000));
    instanceErr = instance->readAllStandardError() + instance->readAllStandardOutput();
    EXPECT_FALSE(instanceErr.contains(planted));

    int files = 0;
    for (QDirIterator it(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        ++files;
        EXPECT_FALSE(TestSupport::readFile(path).contains(planted)) << path.toStdString();
    }
    EXPECT_GT(files, 0);
    EXPECT_TRUE(QFileInfo::exists(supportDir + "/events.sqlite"));
}

} // namespace
