#include "support/TestSupport.h"

#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "App/Core/ControlServer.h"
#include "App/Core/InstanceLock.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <future>

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
    ControlServer server{path, [this](QByteArrayView line) {
                             requests << line.toByteArray();
                             return "answer to " + line.toByteArray() + '\n';
                         }};
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

    QLocalSocket silent;
    silent.connectToServer(path);
    ASSERT_TRUE(silent.waitForConnected(1000));
    silent.write("no newline");
    EXPECT_TRUE(waitUntil([&] { return silent.state() == QLocalSocket::UnconnectedState; },
                          std::chrono::milliseconds(ControlServer::idleTimeoutMs + 2000)));
    EXPECT_TRUE(requests.isEmpty());
}

TEST(ControlRequestTest, LinesRoundTripAndMalformedOnesAreRefused)
{
    for (const ControlRequest &request :
         {ControlRequest::raise(), ControlRequest::snapshot(std::nullopt, false),
          ControlRequest::snapshot(MetricsScope::of(DisplayAgent::claudeCode), true),
          ControlRequest::snapshot(MetricsScope::aggregate(), false)}) {
        const QByteArray line = request.toLine();
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(ControlRequest::parse(line), request) << line.toStdString();
    }
    for (const char *bad : {"", "raise", "{}", R"({"command":"quit"})", R"({"command":"snapshot","scope":"Codex"})",
                            R"(["raise"])"})
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
