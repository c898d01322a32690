#include "Telemetry/Adapters/CodexOTelAdapter.h"
#include "Telemetry/MetricsEngine.h"

#include "AdapterTestSupport.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                            "Connection: keep-alive\r\n\r\n{}";

QByteArray sseBody(const char *session, const char *kind, const char *model = "gpt-5.5", const char *extra = "")
{
    return QStringLiteral(R"({"resourceLogs":[{"scopeLogs":[{"logRecords":[{"attributes":[
        {"key":"conversation.id","value":{"stringValue":"%1"}},
        {"key":"model","value":{"stringValue":"%2"}},
        {"key":"event.name","value":{"stringValue":"codex.sse_event"}},
        {"key":"event.kind","value":{"stringValue":"%3"}}%4]}]}]}]})")
        .arg(QLatin1String(session), QLatin1String(model), QLatin1String(kind), QLatin1String(extra))
        .toUtf8();
}

QByteArray request(const QByteArray &body, const QByteArray &contentType = "application/json",
                   const QByteArray &path = "/v1/logs")
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A plain client on the main thread; the receiver answers from its own thread.
class Client {
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        connected = m_socket.waitForConnected(3000);
    }
    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        while (m_socket.bytesToWrite() > 0 && m_socket.waitForBytesWritten(3000)) {
        }
    }
    // Everything received until n bytes have come or the wait ends.
    QByteArray receive(qsizetype n, std::chrono::milliseconds wait = 3s)
    {
        TestSupport::waitUntil([&] {
            m_received += m_socket.readAll();
            return m_received.size() >= n || m_socket.state() != QAbstractSocket::ConnectedState;
        }, wait);
        m_received += m_socket.readAll();
        return m_received;
    }
    bool closedByPeer()
    {
        return TestSupport::waitUntil([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; });
    }
    bool connected = false;

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

class CodexOTelAdapterTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        adapter.setOnReady([this] { ++readyCalls; });
        adapter.start();
        ASSERT_TRUE(TestSupport::waitUntil([this] { return adapter.isListening(); }));
    }
    QString logPath() const { return dir.filePath(QStringLiteral("otel-raw.log")); }

    QTemporaryDir dir;
    ManualClock clock;
    EventBus bus;
    AdapterTest::EventRecorder recorder{bus};
    CodexOTelAdapter adapter{&bus, 0, dir.filePath(QStringLiteral("otel-raw.log")), Environment{&clock}};
    std::atomic<int> readyCalls{0};
};

TEST_F(CodexOTelAdapterTest, AnyRequestGetsTheFixedResponseAndJsonBodiesArePublished)
{
    EXPECT_EQ(adapter.source(), AgentSource::codexOtel);
    EXPECT_EQ(readyCalls, 1);
    EXPECT_EQ(response.size(), 96);
    EXPECT_EQ(CodexOTelAdapter::parseHTTPRequest(request("{}"))->body, "{}");

    Client client(adapter.listeningPort());
    ASSERT_TRUE(client.connected);
    client.send(request(sseBody("s1", "response.output_text.delta"), "application/json", "/v1/metrics"));
    EXPECT_EQ(client.receive(96), response);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 2; }));
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "stateText"}));
    EXPECT_FALSE(recorder.deliveredOffMainThread());
    EXPECT_EQ(recorder.events()[1].sessionId, "s1");
    EXPECT_FALSE(QFile::exists(logPath())) << "JSON bodies are not logged unless asked";

    client.send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(client.receive(192), response + response);
}

TEST_F(CodexOTelAdapterTest, FramingOverOneKeepAliveConnection)
{
    Client client(adapter.listeningPort());
    const QByteArray whole = request(sseBody("s1", "response.created"));
    const qsizetype headerEnd = whole.indexOf("\r\n\r\n") + 4;

    // Headers first, body later: one answer, once the body is complete.
    client.send(whole.first(headerEnd));
    EXPECT_EQ(client.receive(1, 200ms), QByteArray());
    client.send(whole.sliced(headerEnd, 10));
    EXPECT_EQ(client.receive(1, 200ms), QByteArray());
    client.send(whole.sliced(headerEnd + 10));
    EXPECT_EQ(client.receive(96), response);

    // One request after the other, then two pipelined in a single write and a capitalised header.
    client.send(request("{}"));
    EXPECT_EQ(client.receive(192), response.repeated(2));
    QByteArray shouted = request(sseBody("s2", "response.created"));
    shouted.replace("Content-Length", "CONTENT-LENGTH").replace("Content-Type: ", "content-type:   ");
    client.send(request("{}") + shouted);
    EXPECT_EQ(client.receive(384), response.repeated(4));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 3; }));
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "turnStarted", "turnStarted"}));
    EXPECT_EQ(recorder.events()[2].sessionId, "s2");
}

TEST_F(CodexOTelAdapterTest, IncompleteOrOversizedRequestsGetNoAnswer)
{
    {
        Client client(adapter.listeningPort());
        client.send("POST / HTTP/1.1\r\nContent-Length: 67108865\r\n\r\n{");
        EXPECT_TRUE(client.closedByPeer());
        EXPECT_EQ(client.receive(1, 100ms), QByteArray());
    }
    {
        Client client(adapter.listeningPort());
        client.send("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n{");
        EXPECT_EQ(client.receive(1, 200ms), QByteArray());
    }
    // The receiver still serves others.
    Client client(adapter.listeningPort());
    client.send(request("{}"));
    EXPECT_EQ(client.receive(96), response);
}

TEST_F(CodexOTelAdapterTest, RequestsFramedOtherwiseAreRefusedAndClosingOnesClosedAfterTheirAnswer)
{
    const QByteArray body = sseBody("s1", "response.created");
    {
        Client chunked(adapter.listeningPort());
        chunked.send("POST / HTTP/1.1\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"
                     + QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n");
        EXPECT_TRUE(chunked.receive(1000).startsWith("HTTP/1.1 400 Bad Request\r\n"));
        EXPECT_TRUE(chunked.closedByPeer());
    }
    {
        Client closing(adapter.listeningPort());
        QByteArray once = request(body);
        once.replace("Host: 127.0.0.1\r\n", "Host: 127.0.0.1\r\nConnection: close\r\n");
        closing.send(once + request("{}"));
        EXPECT_EQ(closing.receive(192), response) << "answered once, the pipelined one not";
        EXPECT_TRUE(closing.closedByPeer());
    }
    {
        // curl's way with a larger body: the head first, the body once told to go on.
        Client waiting(adapter.listeningPort());
        QByteArray whole = request("{}");
        whole.replace("Host: 127.0.0.1\r\n", "Host: 127.0.0.1\r\nExpect: 100-continue\r\n");
        const qsizetype headerEnd = whole.indexOf("\r\n\r\n") + 4;
        waiting.send(whole.first(headerEnd));
        EXPECT_EQ(waiting.receive(25), "HTTP/1.1 100 Continue\r\n\r\n");
        waiting.send(whole.sliced(headerEnd));
        EXPECT_EQ(waiting.receive(25 + 96), "HTTP/1.1 100 Continue\r\n\r\n" + response);
    }
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 2; }));
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "turnStarted"})) << "the chunked body is never taken";
}

TEST_F(CodexOTelAdapterTest, NonJsonBodiesLeaveANoticeAndNoEvents)
{
    const QByteArray protobuf("\x0a\x8f\xff\x01 resource", 13);
    Client client(adapter.listeningPort());
    client.send(request(protobuf, "application/x-protobuf"));
    EXPECT_EQ(client.receive(96), response);
    const QByteArray notice = "[non-json payload not logged; enable raw debug logging for sanitized JSON captures]\n";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QFile::exists(logPath()); }));
    QByteArray log = TestSupport::readFile(logPath());
    EXPECT_TRUE(log.startsWith("--- ")) << log.constData();
    EXPECT_TRUE(log.contains(" [application/x-protobuf] 13 bytes\n" + notice));

    adapter.setDebugLogRawPayloads(true);
    QFile::remove(logPath());
    client.send(request(protobuf, "application/x-protobuf"));
    client.receive(192);
    log = TestSupport::readFile(logPath());
    const qsizetype placeholder = log.indexOf("13 bytes\n[unparsable payload not logged: 13 bytes, application/x-protobuf]\n");
    EXPECT_GE(placeholder, 0) << log.constData();
    EXPECT_GT(log.indexOf(notice), placeholder);
    EXPECT_TRUE(recorder.events().empty());
}

TEST_F(CodexOTelAdapterTest, DebugLogHoldsNoPromptOrIdentity)
{
    adapter.setDebugLogRawPayloads(true);
    const QByteArray body = sseBody("conv-7", "response.created", "gpt-5.5",
                                    R"(,{"key":"prompt","value":{"stringValue":"secret prompt text"}},
                                       {"key":"user.email","value":{"stringValue":"dev@example.com"}},
                                       {"key":"user.account_id","value":{"stringValue":"acct-42"}})");
    Client client(adapter.listeningPort());
    client.send(request(body));
    EXPECT_EQ(client.receive(96), response);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 2; }));
    const QByteArray log = TestSupport::readFile(logPath());
    EXPECT_TRUE(log.contains("conv-7"));
    for (const char *secret : {"secret prompt", "dev@example.com", "acct-42"})
        EXPECT_FALSE(log.contains(secret)) << secret;
}

TEST_F(CodexOTelAdapterTest, ListensOnIPv4LoopbackOnlyAndAgainAfterARestart)
{
    const quint16 port = adapter.listeningPort();
    QTcpSocket v6;
    v6.connectToHost(QHostAddress::LocalHostIPv6, port);
    EXPECT_FALSE(v6.waitForConnected(1000));

    adapter.stop();
    EXPECT_FALSE(adapter.isListening());
    EXPECT_FALSE(Client(port).connected);

    CodexOTelAdapter samePort(&bus, port, logPath());
    std::atomic<int> ready{0};
    samePort.setOnReady([&] { ++ready; });
    for (int round = 1; round <= 2; ++round) {
        samePort.start();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return ready == round; }));
        EXPECT_TRUE(samePort.isListening());
        EXPECT_TRUE(Client(port).connected);
    }
}

TEST(CodexOTelAdapter, PortAlreadyTakenNeverBecomesReady)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    EventBus bus;
    QTemporaryDir dir;
    CodexOTelAdapter adapter(&bus, taken.serverPort(), dir.filePath(QStringLiteral("log")));
    std::atomic<int> ready{0};
    adapter.setOnReady([&] { ++ready; });
    adapter.start();
    adapter.stop(); // waits on the adapter's thread, after the listen attempt
    EXPECT_EQ(ready, 0);
}

TEST_F(CodexOTelAdapterTest, ModelIsPublishedOncePerChangeAcrossPayloads)
{
    Client client(adapter.listeningPort());
    for (const char *model : {"gpt-5.5", "gpt-5.5", "o9", "o9", "gpt-5.5"})
        client.send(request(sseBody("s", "response.output_text.delta", model)));
    client.receive(5 * 96);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 8; }));
    QList<QString> models;
    for (const AgentEvent &event : recorder.events()) {
        if (const auto *info = std::get_if<ModelInfo>(&event.kind))
            models.append(info->model);
    }
    EXPECT_EQ(models, (QList<QString>{"gpt-5.5", "o9", "gpt-5.5"}));
}

TEST_F(CodexOTelAdapterTest, RecordedToolTurnPutsOneEntryInTheToolFeed)
{
    PricingTable pricing(dir.filePath(QStringLiteral("pricing.json")));
    MetricsEngine engine(pricing, nullptr);
    QObject::connect(&bus, &EventBus::eventPublished, &engine, [&](const AgentEvent &event) { engine.handle(event); });

    Client client(adapter.listeningPort());
    client.send(request(TestSupport::readFile(TestSupport::samplesDir() + "/codex/exec/otlp/0003.body.raw.json")));
    EXPECT_EQ(client.receive(96), response);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !engine.toolFeed().isEmpty(); }));
    TestSupport::spin(100ms);
    ASSERT_EQ(engine.toolFeed().size(), 1);
    EXPECT_EQ(engine.toolFeed()[0].name, "exec_command");
    EXPECT_EQ(engine.toolFeed()[0].durationMs, 153);
    EXPECT_EQ(engine.toolFeed()[0].source, AgentSource::codexOtel);
}

int turnEnds(AdapterTest::EventRecorder &recorder, const QString &session)
{
    int count = 0;
    for (const AgentEvent &event : recorder.events())
        count += std::holds_alternative<TurnEnded>(event.kind) && event.sessionId == session;
    return count;
}

TEST_F(CodexOTelAdapterTest, TurnEndIsDebouncedAndANewResponseCancelsIt)
{
    const Delays delays;
    Client client(adapter.listeningPort());
    // Each response is sent after its body was handled, so the timers are set when it arrives.
    client.send(request(sseBody("s", "response.completed")));
    client.receive(96);
    clock.advance(2s);
    client.send(request(sseBody("s", "response.created")));
    client.receive(192);
    clock.advance(500ms);
    client.send(request(sseBody("s", "response.completed")));
    client.receive(288);
    const QDateTime lastCompletion = clock.now();

    clock.advance(delays.otelTurnEnd - 1ms);
    EXPECT_EQ(turnEnds(recorder, "s"), 0) << "the first completion's timer was not cancelled";
    clock.advance(1ms);
    ASSERT_EQ(turnEnds(recorder, "s"), 1);
    const AgentEvent &end = recorder.events().back();
    EXPECT_EQ(end.source, AgentSource::codexOtel);
    EXPECT_EQ(end.timestamp, lastCompletion.addMSecs(delays.otelTurnEnd.count()));
    clock.advance(delays.otelTurnEnd);
    EXPECT_EQ(turnEnds(recorder, "s"), 1);
    EXPECT_EQ(clock.activeTimers(), 2) << "none but the listener's watch and the connection's idle timer";
}

TEST_F(CodexOTelAdapterTest, SessionsEndIndependentlyEvenAfterStop)
{
    const Delays delays;
    Client client(adapter.listeningPort());
    client.send(request(sseBody("a", "response.completed", "m", R"(,{"key":"input_token_count","value":{"intValue":"10"}})")));
    client.receive(96);
    clock.advance(500ms);
    client.send(request(sseBody("b", "response.completed")));
    client.receive(192);
    adapter.stop();

    clock.advance(delays.otelTurnEnd - 500ms);
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "tokenUsage", "modelInfo", "turnEnded"}));
    EXPECT_EQ(recorder.events()[3].sessionId, "a");
    clock.advance(500ms);
    ASSERT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "tokenUsage", "modelInfo", "turnEnded", "turnEnded"}));
    EXPECT_EQ(recorder.events()[4].sessionId, "b");
}

TEST_F(CodexOTelAdapterTest, ARequestIsAnsweredOnlyOnceItsEventsAreStored)
{
    QList<qsizetype> groups;
    bool storing = false;
    bus.setSink([&](const QList<AgentEvent> &events) {
        groups.append(events.size());
        return storing;
    });
    {
        Client client(adapter.listeningPort());
        client.send(request(sseBody("s1", "response.created")));
        EXPECT_TRUE(client.closedByPeer()) << "events the store refused are not acknowledged";
        EXPECT_EQ(client.receive(1, 100ms), QByteArray());
        EXPECT_EQ(groups, QList<qsizetype>{2});
    }
    storing = true;
    Client client(adapter.listeningPort());
    client.send(request(sseBody("s1", "response.created")));
    EXPECT_EQ(client.receive(96), response);
    EXPECT_EQ(groups.size(), 2);
    client.send(request("{}"));
    EXPECT_EQ(client.receive(192), response.repeated(2)) << "a body without events needs no store";
    EXPECT_EQ(groups.size(), 2);
}

TEST_F(CodexOTelAdapterTest, ConnectionsPastTheCapAndSilentOnesAreClosed)
{
    const quint16 port = adapter.listeningPort();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < CodexOTelAdapter::maxConnections; ++i)
        clients.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == CodexOTelAdapter::maxConnections; }));
    Client extra(port);
    EXPECT_TRUE(extra.closedByPeer());

    clients[0]->send("POST / HTTP/1.1\r\nContent-Length: 10\r\n"); // stalls in its header block
    TestSupport::spin(50ms);
    clock.advance(Delays().otelConnectionIdle - 1ms);
    TestSupport::spin(50ms);
    EXPECT_EQ(adapter.connectionCount(), CodexOTelAdapter::maxConnections);
    clock.advance(1ms);
    EXPECT_TRUE(clients[0]->closedByPeer());
    EXPECT_TRUE(clients.back()->closedByPeer());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == 0; }));

    Client fresh(port);
    fresh.send(request("{}"));
    EXPECT_EQ(fresh.receive(96), response);
}

TEST_F(CodexOTelAdapterTest, AHeaderBlockIsFoundAcrossReadsAndRefusedPastItsCap)
{
    const quint16 port = adapter.listeningPort();
    Client pieces(port);
    for (const char byte : request("{}")) // every split of the blank line, one byte per read
        pieces.send(QByteArray(1, byte));
    EXPECT_EQ(pieces.receive(96), response);

    Client large(port);
    large.send("POST / HTTP/1.1\r\nX-Pad: " + QByteArray(CodexOTelAdapter::maxHeaderBytes - 64, 'x')
               + "\r\nContent-Length: 2\r\n\r\n{}");
    EXPECT_EQ(large.receive(96), response) << "a block within the cap";

    Client endless(port);
    endless.send("POST / HTTP/1.1\r\nX-Pad: " + QByteArray(CodexOTelAdapter::maxHeaderBytes, 'x'));
    EXPECT_TRUE(endless.closedByPeer());
}

TEST_F(CodexOTelAdapterTest, AllConnectionsShareOneBufferBudget)
{
    const qsizetype declared = 60 * 1024 * 1024;
    const qsizetype part = CodexOTelAdapter::maxBufferedBytes / 2 + 1024 * 1024;
    const QByteArray head = "POST / HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: "
        + QByteArray::number(declared) + "\r\n\r\n";
    const quint16 port = adapter.listeningPort();
    Client first(port);
    first.send(head + QByteArray(part, 'a'));
    Client second(port);
    second.send(head + QByteArray(part, 'b'));
    EXPECT_TRUE(second.closedByPeer()) << "the two together pass the budget";

    first.send(QByteArray(declared - part, 'a'));
    EXPECT_EQ(first.receive(96, 10s), response) << "the bytes the closed one held were given back";
}

TEST_F(CodexOTelAdapterTest, APeerThatReadsNoAnswersIsReadNoFurtherAndClosed)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(adapter.listeningPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == 1; }));

    // Each 18-byte request earns a 96-byte answer. A receiver that kept answering would take
    // everything; one that stops reading lets the kernel's buffers fill and the sends fail.
    const QByteArray requests = QByteArray("GET / HTTP/1.1\r\n\r\n").repeated(4096);
    const qsizetype goal = qsizetype(256) * 1024 * 1024;
    qsizetype sent = 0;
    TestSupport::waitUntil([&] {
        const ssize_t n = ::send(fd, requests.constData(), size_t(requests.size()), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        return sent >= goal;
    }, 3s);
    EXPECT_LT(sent, goal / 8);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == 0; }))
        << "closed once its unread answers pass the limit, not left to the idle timer";

    Client other(adapter.listeningPort());
    other.send(request("{}"));
    EXPECT_EQ(other.receive(96), response) << "the others are served meanwhile";
    ::close(fd);
}

TEST_F(CodexOTelAdapterTest, OnlyTheOwnersProcessesAreServed)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to connect as another user";
    const QString script = QStringLiteral("exec 3<>/dev/tcp/127.0.0.1/%1 && printf 'GET / HTTP/1.1\\r\\n\\r\\n' >&3 "
                                          "&& head -c 96 <&3")
                               .arg(adapter.listeningPort());
    struct Case {
        const char *who;
        QStringList command;
        QByteArray answer;
    };
    for (const Case &c : {Case{"owner", {"bash", "-c", script}, response},
                          Case{"nobody", {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups", "bash", "-c", script}, {}}}) {
        QProcess client;
        client.start(c.command.first(), c.command.mid(1));
        ASSERT_TRUE(client.waitForFinished(10000)) << c.who;
        EXPECT_EQ(client.readAllStandardOutput(), c.answer) << c.who;
    }
}

} // namespace
