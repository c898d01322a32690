#include "support/FileDescriptorsTaken.h"
#include "support/TestSupport.h"

#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "App/Core/ControlServer.h"
#include "App/Core/InstanceLock.h"
#include "Platform/ManualClock.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <vector>

namespace {

using TestSupport::waitUntil;

// The blocking client runs on its own thread while this one serves.
std::optional<QByteArray> ask(const QString &path, const QByteArray &line)
{
    auto answer = std::async(std::launch::async, [&] { return ControlClient::send(path, line, 2000); });
    EXPECT_TRUE(waitUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return answer.get();
}

class ControlSocketTest : public testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("control.sock");
    QList<QByteArray> requests;
    ManualClock clock;
    const Delays delays;
    ControlServer server{path,
                         [this](QByteArrayView line) {
                             requests << line.toByteArray();
                             return "answer to " + line.toByteArray() + '\n';
                         },
                         Environment{&clock}};
};

TEST_F(ControlSocketTest, AnswersOneLinePerConnectionOnAnOwnerOnlySocket)
{
    TestSupport::writeFile(path, "left behind by a crash");
    ASSERT_TRUE(server.listen()) << server.errorString().toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0077, 0);

    EXPECT_EQ(ask(path, "first\n"), "answer to first\n");
    EXPECT_EQ(ask(path, "second\n"), "answer to second\n");
    EXPECT_EQ(requests, (QList<QByteArray>{"first", "second"}));
}

TEST_F(ControlSocketTest, NoServerMeansNoAnswer)
{
    EXPECT_EQ(ControlClient::send(path, "hello\n", 500), std::nullopt);
    TestSupport::writeFile(path, ""); // a stale file is not a server
    EXPECT_EQ(ControlClient::send(path, "hello\n", 500), std::nullopt);
}

TEST_F(ControlSocketTest, OversizedOrUnfinishedRequestsAreDroppedUnanswered)
{
    ASSERT_TRUE(server.listen());
    QLocalSocket flood;
    flood.connectToServer(path);
    ASSERT_TRUE(flood.waitForConnected(1000));
    flood.write(QByteArray(ControlServer::maxRequestBytes + 100, 'x'));
    EXPECT_TRUE(waitUntil([&] { return flood.state() == QLocalSocket::UnconnectedState; }));
    // The same with its newline in the one write: not answered as its first part either.
    QLocalSocket longLine;
    longLine.connectToServer(path);
    ASSERT_TRUE(longLine.waitForConnected(1000));
    longLine.write("{\"command\":\"snapshot\"}" + QByteArray(ControlServer::maxRequestBytes, ' ') + "x\n");
    EXPECT_TRUE(waitUntil([&] { return longLine.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(longLine.readAll(), QByteArray());

    QLocalSocket silent;
    silent.connectToServer(path);
    ASSERT_TRUE(silent.waitForConnected(1000));
    silent.write("no newline");
    ASSERT_TRUE(waitUntil([&] { return server.connectionCount() == 1; }));
    clock.advance(delays.controlConnectionIdle - std::chrono::milliseconds(1));
    TestSupport::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(silent.state(), QLocalSocket::ConnectedState);
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(waitUntil([&] { return silent.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_TRUE(requests.isEmpty());
}

TEST_F(ControlSocketTest, ConnectionsPastTheCapAreClosedAndOthersServedAfter)
{
    ASSERT_TRUE(server.listen());
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < ControlServer::maxConnections; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(path);
        ASSERT_TRUE(idle.back()->waitForConnected(1000));
    }
    ASSERT_TRUE(waitUntil([&] { return server.connectionCount() == ControlServer::maxConnections; }));
    QLocalSocket extra;
    extra.connectToServer(path);
    EXPECT_TRUE(waitUntil([&] { return extra.state() == QLocalSocket::UnconnectedState; }));
    clock.advance(delays.controlConnectionIdle);
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // no exec() here to run them
        return server.connectionCount() == 0;
    }));
    EXPECT_EQ(ask(path, "after\n"), "answer to after\n");
}

TEST_F(ControlSocketTest, AListenerClosedByAFailedAcceptListensAgain)
{
    ASSERT_TRUE(server.listen());
    QLocalSocket refused;
    {
        const TestSupport::FileDescriptorsTaken taken(1);
        refused.connectToServer(path);
        ASSERT_TRUE(waitUntil([&] { return !server.isListening(); })) << "the failed accept did not close the listener";
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    refused.abort();
    clock.advance(delays.listenerRetry);
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0077, 0);
    EXPECT_EQ(ask(path, "again\n"), "answer to again\n");
}

TEST(ControlRequestTest, LinesRoundTripAndMalformedOnesAreRefused)
{
    for (const ControlRequest &request :
         {ControlRequest::raise(), ControlRequest::snapshot(std::nullopt, false),
          ControlRequest::snapshot(MetricsScope::of(DisplayAgent::claudeCode), true),
          ControlRequest::snapshot(MetricsScope::aggregate(), false), ControlRequest::importHistory(std::nullopt),
          ControlRequest::importHistory(7), ControlRequest::importStatus()}) {
        const QByteArray line = request.toLine();
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(ControlRequest::parse(line), request) << line.toStdString();
    }
    for (const char *bad : {"", "raise", "{}", R"({"command":"quit"})", R"({"command":"snapshot","scope":"Codex"})",
                            R"(["raise"])", R"({"command":"importHistory","days":0})", R"({"command":"importHistory","days":"7"})"})
        EXPECT_EQ(ControlRequest::parse(bad), std::nullopt) << bad;
}

TEST(InstanceLockTest, OneHolderPerDirectoryUntilReleased)
{
    QTemporaryDir dir;
    auto first = InstanceLock::acquire(dir.path());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(InstanceLock::acquire(dir.path()), nullptr);
    first.reset();
    EXPECT_NE(InstanceLock::acquire(dir.path()), nullptr);
    EXPECT_EQ(InstanceLock::acquire(dir.filePath("missing")), nullptr);
}

} // namespace
