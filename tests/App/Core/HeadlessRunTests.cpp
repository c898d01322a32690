#include "support/TestSupport.h"

#include "App/Core/InstanceLock.h"
#include "Persistence/EventStore.h"
#include "Telemetry/Adapters/CodexRollout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <set>

namespace {

using TestSupport::readFile;
using TestSupport::waitUntil;

// A port nobody listens on right now, so no test ever contends for 4318.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool acceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

QByteArray otlpRequest(const QByteArray &body)
{
    return "POST /v1/logs HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The real corvane binary with an empty home, data and config directory of its own and no display.
class HeadlessRunTest : public testing::Test {
protected:
    QTemporaryDir home;
    QString supportDir = home.filePath("data/Corvane");
    quint16 port = freePort();
    std::vector<std::unique_ptr<QProcess>> running;

    ~HeadlessRunTest() override
    {
        for (auto &process : running) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("CORVANE_OTEL_PORT", QString::number(port));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        return env;
    }

    QProcess &launch(const QStringList &arguments, const QString &display = {})
    {
        running.push_back(std::make_unique<QProcess>());
        QProcess &process = *running.back();
        QProcessEnvironment env = environment();
        if (display.startsWith("wayland"))
            env.insert("WAYLAND_DISPLAY", display);
        else if (!display.isEmpty())
            env.insert("DISPLAY", display);
        process.setProcessEnvironment(env);
        process.start(TestSupport::corvaneBinary(), arguments);
        EXPECT_TRUE(process.waitForStarted(5000));
        return process;
    }

    // Listening on both sockets and answering on the control socket.
    bool waitUntilServing(QProcess &process)
    {
        return waitUntil([&] {
            return process.state() == QProcess::Running && acceptsConnections(port)
                && QFileInfo::exists(supportDir + "/notify.sock") && QFileInfo::exists(supportDir + "/control.sock");
        }, std::chrono::seconds(10));
    }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    Run runToEnd(const QStringList &arguments)
    {
        QProcess &process = launch(arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QJsonObject snapshotJson(const QString &scope)
    {
        const Run run = runToEnd({"--snapshot", "--json", "--scope", scope});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
        return QJsonDocument::fromJson(run.out).object();
    }

    static int stop(QProcess &process, int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by signal " << signal;
        return process.exitCode();
    }

    void postOTLP(const QString &sample)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(otlpRequest(readFile(TestSupport::samplesDir() + sample)));
        ASSERT_TRUE(waitUntil([&] { return socket.bytesAvailable() > 0 || socket.waitForReadyRead(10); }));
        EXPECT_TRUE(socket.readAll().startsWith("HTTP/1.1 200"));
    }

    void sendNotifyLine(const QByteArray &line)
    {
        QLocalSocket socket;
        socket.connectToServer(supportDir + "/notify.sock");
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(line + '\n');
        socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
    }

    std::set<QString> storedSources() const
    {
        std::set<QString> sources;
        const auto store = EventStore::open(supportDir + "/events.sqlite");
        if (store) {
            for (const StoredAgentEvent &stored : store->recentEvents(1000))
                sources.insert(rawValue(stored.event.source));
        }
        return sources;
    }
};

TEST_F(HeadlessRunTest, EmptyHomeLaunchesEveryListenerAndSeedsTheSupportDirectory)
{
    QProcess &corvane = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(corvane)) << corvane.readAllStandardError().toStdString();

    EXPECT_EQ(QFileInfo(supportDir).permissions() & 0x0077, 0) << "support directory is owner-only";
    for (const char *name : {"pricing.json", "campaigns.json", "events.sqlite"})
        EXPECT_TRUE(QFileInfo(supportDir + '/' + name).isFile()) << name;
    EXPECT_FALSE(readFile(supportDir + "/pricing.json").isEmpty());
    const QByteArray maps = readFile(QStringLiteral("/proc/%1/maps").arg(corvane.processId()));
    for (const char *library : {"libQt6Gui", "libQt6Widgets", "libQt6Qml", "libQt6Quick", "libxcb", "libQt6DBus"})
        EXPECT_FALSE(maps.contains(library)) << "the headless run maps " << library;
    EXPECT_TRUE(maps.contains("libQt6Core")) << "the maps were read";
    for (const char *name : {"notify.sock", "control.sock"}) {
        const QFileInfo socket(supportDir + '/' + name);
        EXPECT_EQ(socket.permissions() & 0x0077, 0) << name << " is owner-only";
    }
    EXPECT_EQ(stop(corvane, SIGTERM), 0);
    EXPECT_FALSE(QFileInfo::exists(supportDir + "/control.sock")) << "the control socket goes with the instance";
}

TEST_F(HeadlessRunTest, SecondLaunchDefersToTheFirstAndExitsZero)
{
    QProcess &first = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(first));

    for (const QStringList &arguments : {QStringList{"--headless"}, QStringList{}}) {
        const Run second = runToEnd(arguments);
        EXPECT_EQ(second.exitCode, 0);
        EXPECT_EQ(second.out, "Corvane is already running.\n") << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(acceptsConnections(port)) << "the first keeps its port";
    EXPECT_EQ(stop(first, SIGINT), 0);
}

TEST_F(HeadlessRunTest, PlainLaunchWithoutDisplayRunsHeadlessAndEndsCleanlyOnEitherSignal)
{
    // No display; one on which no X server answers; a Wayland display without its socket.
    // SIGHUP is the SSH terminal closing: the same clean end, sockets removed.
    for (const auto &[signal, display] : {std::pair{SIGINT, QString()}, std::pair{SIGTERM, QString(":4097")},
                                          std::pair{SIGTERM, QString("wayland-4097")}, std::pair{SIGHUP, QString()}}) {
        QProcess &corvane = launch({}, display);
        ASSERT_TRUE(waitUntilServing(corvane));
        EXPECT_EQ(stop(corvane, signal), 0) << "signal " << signal << " display " << display.toStdString();
        EXPECT_EQ(corvane.readAllStandardError(), "corvane: no display available; running headless\n");
        for (const char *socket : {"notify.sock", "control.sock"})
            EXPECT_FALSE(QFileInfo::exists(supportDir + '/' + socket)) << socket << " after signal " << signal;
    }
}

TEST_F(HeadlessRunTest, AnOTelPortInUseIsSaidOnceAndTheOtherChannelsRun)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port));
    ASSERT_EQ(runToEnd({"--install-codex-config"}).exitCode, 0);
    QProcess &corvane = launch({"--headless"});
    // The notify socket and the control socket are there without the receiver.
    ASSERT_TRUE(waitUntil([&] {
        return QFileInfo::exists(supportDir + "/control.sock") && QFileInfo::exists(supportDir + "/notify.sock");
    }, std::chrono::seconds(10)));
    const QString status = runToEnd({"--codex-status"}).out;
    EXPECT_TRUE(status.contains("\nhealth: listenerDown \u2014 ")) << status.toStdString();
    EXPECT_EQ(stop(corvane, SIGTERM), 0);
    EXPECT_EQ(QString::fromUtf8(corvane.readAllStandardError()),
              QString("corvane: cannot receive Codex telemetry on 127.0.0.1:%1: The bound address is already in use\n")
                  .arg(port));
}

TEST_F(HeadlessRunTest, ASecondLaunchThatCannotReachTheInstanceSaysSo)
{
    // The support directory is held, but nobody answers on its control socket.
    QDir().mkpath(supportDir);
    const std::unique_ptr<InstanceLock> held = InstanceLock::acquire(supportDir);
    ASSERT_TRUE(held);
    const Run second = runToEnd({"--headless"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.out, "error: an instance is running but does not answer\n");
}

TEST_F(HeadlessRunTest, SettingsAreReadFromTheConfFileInTheConfigHome)
{
    TestSupport::writeFile(home.filePath("config/Corvane/Corvane.conf"),
                           "[General]\nuseMockDataV2=true\n");
    QProcess &corvane = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(corvane));
    // The mock agent runs only when the file was read.
    EXPECT_TRUE(waitUntil([&] { return storedSources().count("mock") == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(stop(corvane, SIGTERM), 0);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("config/Corvane/Corvane.ini")));
}

TEST_F(HeadlessRunTest, SnapshotsOfAnInstanceDefaultToTheDisplayModesScope)
{
    const QString conf = home.filePath("config/Corvane/Corvane.conf");
    TestSupport::writeFile(conf, "[General]\ndisplayMode=pin:claudeCode\n");
    QProcess &corvane = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(corvane));
    const auto scope = [&] {
        const Run run = runToEnd({"--snapshot", "--json"});
        return QJsonDocument::fromJson(run.out).object()["scope"].toString();
    };
    EXPECT_EQ(scope(), "claudeCode");
    // An edit of the file moves the scope, as a choice in the menu would.
    TestSupport::writeFile(conf, "[General]\ndisplayMode=aggregate\n");
    EXPECT_TRUE(waitUntil([&] { return scope() == "aggregate"; }, std::chrono::seconds(10)));
    EXPECT_EQ(stop(corvane, SIGTERM), 0);
}

TEST_F(HeadlessRunTest, EventsFromEverySourceReachTheStoreAndTheSnapshot)
{
    const QString transcript = home.filePath(".claude/projects/-home-dev-project/session-1.jsonl");
    QDir().mkpath(QFileInfo(transcript).absolutePath());
    QProcess &corvane = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(corvane));

    postOTLP("/codex/exec/otlp/0003.body.raw.json");
    const QList<QByteArray> notifyLines = readFile(TestSupport::samplesDir() + "/codex/exec/notify.jsonl").split('\n');
    sendNotifyLine(notifyLines.first());
    const QList<QByteArray> claudeLines =
        readFile(TestSupport::samplesDir()
                 + "/claude/projects/-home-dev-projects-alpha/38a6d5d9-3a46-4d9a-95e1-831121a6193a.jsonl")
            .split('\n');
    // Lines stamped before the launch would be history; this one is written now.
    QString claudeLine = QString::fromUtf8(claudeLines.at(19));
    claudeLine.replace(QRegularExpression(R"("timestamp":"[^"]*")"),
                       R"("timestamp":")" + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + '"');
    TestSupport::writeFile(transcript, claudeLine.toUtf8() + '\n');

    const std::set<QString> expected{"codexOtel", "codexNotify", "claudeCodeJsonl"};
    EXPECT_TRUE(waitUntil([&] {
        const std::set<QString> stored = storedSources();
        return std::includes(stored.begin(), stored.end(), expected.begin(), expected.end());
    }, std::chrono::seconds(10)));

    const QJsonObject codex = snapshotJson("codex");
    EXPECT_GT(codex["sessionTotalTokens"].toInteger(), 0);
    EXPECT_EQ(codex["model"].toString(), "gpt-5.5");
    const QJsonObject claude = snapshotJson("claudeCode");
    EXPECT_GT(claude["sessionTotalTokens"].toInteger(), 0);
    EXPECT_EQ(claude["model"].toString(), "claude-opus-5-5");
    const QJsonObject all = snapshotJson("aggregate");
    EXPECT_EQ(all["sessionTotalTokens"].toInteger(),
              codex["sessionTotalTokens"].toInteger() + claude["sessionTotalTokens"].toInteger());
    EXPECT_GT(all["todayTokens"].toInteger(), 0) << "the day totals come from the store";

    const Run line = runToEnd({"--snapshot", "--scope", "codex"});
    EXPECT_TRUE(line.out.startsWith("Codex \xc2\xb7 ")) << line.out.toStdString();
    // Codex reached Corvane without its config installed: the line ends in what to do about it.
    EXPECT_TRUE(QString::fromUtf8(line.out).contains(QRegularExpression(" (live|\\d+ tps) \xc2\xb7 gpt-5.5 \xc2\xb7 configure Codex\n$")))
        << line.out.toStdString();
    EXPECT_EQ(codex["codexHealth"]["status"].toString(), "setupNeeded");

    // With no instance the same numbers are rebuilt from the store.
    EXPECT_EQ(stop(corvane, SIGTERM), 0);
    const QJsonObject rebuilt = snapshotJson("codex");
    EXPECT_EQ(rebuilt["sessionTotalTokens"], codex["sessionTotalTokens"]);
    EXPECT_EQ(rebuilt["sessionCost"], codex["sessionCost"]);
    EXPECT_EQ(snapshotJson("aggregate")["todayTokens"], all["todayTokens"]);
}

TEST_F(HeadlessRunTest, SnapshotWithoutInstanceOrHistoryCreatesNothing)
{
    const Run run = runToEnd({"--snapshot"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "All Agents \xc2\xb7 Idle \xc2\xb7 session 0 \xc2\xb7 context 0 \xc2\xb7 $0.000 est. \xc2\xb7 0 tps\n");
    EXPECT_FALSE(QFileInfo::exists(supportDir));

    const QJsonObject json = snapshotJson("mock");
    EXPECT_EQ(json["scope"], "mock");
    EXPECT_EQ(json["daily"].toArray().size(), 7);
    EXPECT_EQ(json["todayTokens"], 0);
}

TEST_F(HeadlessRunTest, SnapshotRejectsBadScopesAsAUsageError)
{
    for (const QStringList &arguments : {QStringList{"--snapshot", "--scope", "Codex"}, QStringList{"--snapshot", "--scope"}}) {
        const Run run = runToEnd(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.startsWith("error: ")) << run.out.toStdString();
    }
}

} // namespace

namespace {

struct TokenSums {
    qint64 input = 0;
    qint64 output = 0;
    bool operator==(const TokenSums &) const = default;
};

TokenSums storedTokens(const QString &database, AgentSource source)
{
    TokenSums sums;
    const auto store = EventStore::open(database);
    // What each row added to the totals: its counted share when it has one (a snapshot), else a
    // usage's own counts.
    for (const StoredAgentEvent &stored : store->recentEvents(100000)) {
        if (stored.event.source != source)
            continue;
        if (stored.counted) {
            sums.input += stored.counted->input;
            sums.output += stored.counted->output;
        } else if (const auto *usage = std::get_if<TokenUsage>(&stored.event.kind)) {
            sums.input += usage->inputTokens;
            sums.output += usage->outputTokens;
        }
    }
    return sums;
}

} // namespace

// A first launch on a home holding the recorded transcripts and rollouts stores their history;
// the half of a transcript written while Corvane was stopped is counted after a restart, so the
// Claude Code totals equal ccusage's and the Codex totals the rollouts' own; --import-history
// asks the running instance and, like a run without one, finds nothing left to add.
TEST_F(HeadlessRunTest, FirstLaunchImportsHistoryAndARestartCatchesUp)
{
    const QString samples = TestSupport::samplesDir();
    const QString claudeRoot = home.filePath(".claude/projects");
    QDirIterator it(samples + "/claude/projects", QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        TestSupport::writeFile(claudeRoot + file.mid(samples.size() + 16), readFile(file));
    }
    const QString halfWritten = claudeRoot + "/-home-dev-projects-beta/e73b8745-8420-4147-9784-5013bfceb75f.jsonl";
    const QByteArray whole = readFile(halfWritten);
    const qsizetype half = whole.indexOf('\n', whole.size() / 2) + 1;
    TestSupport::writeFile(halfWritten, whole.left(half));
    TokenSums rollouts;
    for (const QString run : {"exec", "tui"}) {
        const QFileInfo rollout = QDir(samples + "/codex/" + run).entryInfoList({"rollout-*.jsonl"}).first();
        TestSupport::writeFile(home.filePath(".codex/sessions/2026/12/09/" + rollout.fileName()), readFile(rollout.filePath()));
        const auto last = CodexRollout::latestSnapshot(readFile(rollout.filePath()), "x", QDateTime::currentDateTimeUtc());
        rollouts.input += last->inputTokens;
        rollouts.output += last->outputTokens;
    }
    const QString database = supportDir + "/events.sqlite";
    const auto allCounted = [&] {
        const auto store = EventStore::open(database);
        const FilePositions positions = store ? store->filePositions() : FilePositions();
        return positions.size() == 7 && std::all_of(positions.cbegin(), positions.cend(), [](const FilePosition &p) { return p.complete; });
    };

    QProcess &first = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(first));
    ASSERT_TRUE(waitUntil(allCounted, std::chrono::seconds(10)));
    EXPECT_EQ(stop(first, SIGTERM), 0);
    const TokenSums partial = storedTokens(database, AgentSource::claudeCodeJsonl);
    QFile appended(halfWritten);
    ASSERT_TRUE(appended.open(QIODevice::Append));
    appended.write(whole.mid(half));
    appended.close();

    const QJsonObject ccusage = QJsonDocument::fromJson(readFile(samples + "/claude/ccusage-daily.json")).object()["totals"].toObject();
    const TokenSums expected{ccusage["inputTokens"].toInteger() + ccusage["cacheCreationTokens"].toInteger()
                                 + ccusage["cacheReadTokens"].toInteger(),
                             ccusage["outputTokens"].toInteger()};
    EXPECT_NE(partial, expected);
    QProcess &second = launch({"--headless"});
    ASSERT_TRUE(waitUntilServing(second));
    EXPECT_TRUE(waitUntil([&] { return storedTokens(database, AgentSource::claudeCodeJsonl) == expected; }, std::chrono::seconds(10)));
    EXPECT_EQ(storedTokens(database, AgentSource::codexDesktopSession), rollouts);

    const Run asked = runToEnd({"--import-history"});
    EXPECT_EQ(asked.exitCode, 0) << asked.out.toStdString();
    EXPECT_TRUE(asked.out.endsWith("imported 0 events from 0 files\n")) << asked.out.toStdString();
    EXPECT_EQ(stop(second, SIGTERM), 0);
    const Run alone = runToEnd({"--import-history", "--days", "30"});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_TRUE(alone.out.endsWith("imported 0 events from 0 files\n")) << alone.out.toStdString();
    EXPECT_EQ(storedTokens(database, AgentSource::claudeCodeJsonl), expected);
    EXPECT_EQ(runToEnd({"--import-history", "--days", "x"}).exitCode, 2);
}
