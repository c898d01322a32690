// The OTel receiver under load: keep-alive connections posting a recorded ~2 KB OTLP body
// (Codex's own completed-response record), and the latency from a request's last byte to the
// delivery of its token event on the bus thread.
#include "Telemetry/Adapters/CodexOTelAdapter.h"
#include "Telemetry/EventBus.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const QByteArray seqMarker = "SEQ0000000";

// The last record of a recorded body (the response with its token counts), alone in its export;
// its input count becomes a ten-digit marker so each request can be told apart.
QByteArray recordedBodyTemplate()
{
    QFile file(QStringLiteral(CORVANE_SAMPLES_DIR "/codex/exec/otlp/0002.body.raw.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing recording");
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray resourceLogs = root[QStringLiteral("resourceLogs")].toArray();
    QJsonObject resource = resourceLogs[0].toObject();
    QJsonArray scopeLogs = resource[QStringLiteral("scopeLogs")].toArray();
    QJsonObject scope = scopeLogs[0].toObject();
    const QJsonArray records = scope[QStringLiteral("logRecords")].toArray();
    scope[QStringLiteral("logRecords")] = QJsonArray{records.last()};
    scopeLogs[0] = scope;
    resource[QStringLiteral("scopeLogs")] = scopeLogs;
    resourceLogs[0] = resource;
    root[QStringLiteral("resourceLogs")] = resourceLogs;
    QByteArray body = QJsonDocument(root).toJson(QJsonDocument::Compact);
    body.replace("\"1002\"", "\"" + seqMarker + "\"");
    return body;
}

QByteArray requestFor(const QByteArray &body)
{
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1:4318\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray withSeq(QByteArray request, qint64 seq)
{
    const qsizetype at = request.indexOf(seqMarker);
    request.replace(at, seqMarker.size(), QByteArray::number(seq).rightJustified(seqMarker.size(), '0'));
    return request;
}

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        qFatal("connect failed");
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool readResponse(int fd)
{
    char buffer[96];
    for (size_t got = 0; got < sizeof buffer;) {
        const ssize_t n = ::recv(fd, buffer + got, sizeof buffer - got, 0);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

// The receiver with its bus on a thread of its own standing in for the main thread.
struct Receiver {
    Receiver()
    {
        busThread.setObjectName(QStringLiteral("bus"));
        busThread.start();
        bus.moveToThread(&busThread);
        adapter.start();
        while (!adapter.isListening())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Receiver()
    {
        adapter.stop();
        busThread.quit();
        busThread.wait();
    }
    QTemporaryDir dir;
    QThread busThread;
    EventBus bus;
    CodexOTelAdapter adapter{&bus, 0, dir.filePath(QStringLiteral("otel-raw.log"))};
};

void BM_Throughput(benchmark::State &state)
{
    const int connections = int(state.range(0));
    Receiver receiver;
    std::atomic<qint64> delivered{0};
    QObject::connect(&receiver.bus, &EventBus::eventPublished, &receiver.bus, [&](const AgentEvent &event) {
        if (std::holds_alternative<TokenUsage>(event.kind))
            ++delivered;
    });
    const QByteArray request = withSeq(requestFor(recordedBodyTemplate()), 1002);
    const auto duration = std::chrono::seconds(3);

    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<qint64> answered{0};
        std::vector<std::thread> clients;
        const auto start = Clock::now();
        for (int c = 0; c < connections; ++c) {
            clients.emplace_back([&] {
                const int fd = connectTo(receiver.adapter.listeningPort());
                qint64 mine = 0;
                while (!stop.load(std::memory_order_relaxed) && sendAll(fd, request) && readResponse(fd))
                    ++mine;
                answered += mine;
                ::close(fd);
            });
        }
        std::this_thread::sleep_for(duration);
        stop = true;
        for (std::thread &client : clients)
            client.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["requests_per_s"] = double(answered) / seconds;
        state.counters["MB_per_s"] = double(answered) * double(request.size()) / seconds / 1e6;
        state.counters["request_bytes"] = double(request.size());
        // Every answered request's token event reaches the bus thread.
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (delivered < answered && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        state.counters["delivered_fraction"] = double(delivered) / double(std::max<qint64>(answered, 1));
    }
}
BENCHMARK(BM_Throughput)->Arg(1)->Arg(4)->Arg(16)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_DeliveryLatency(benchmark::State &state)
{
    const int rate = int(state.range(0));
    const int count = 5 * rate;
    Receiver receiver;
    std::vector<Clock::time_point> sentAt(size_t(count) + 1);
    std::vector<double> latencyMs;
    latencyMs.reserve(size_t(count));
    std::mutex mutex;
    QObject::connect(&receiver.bus, &EventBus::eventPublished, &receiver.bus, [&](const AgentEvent &event) {
        const auto now = Clock::now();
        if (const auto *usage = std::get_if<TokenUsage>(&event.kind)) {
            std::lock_guard lock(mutex);
            latencyMs.push_back(std::chrono::duration<double, std::milli>(now - sentAt[size_t(usage->inputTokens)]).count());
        }
    });
    const QByteArray request = requestFor(recordedBodyTemplate());
    std::vector<QByteArray> requests;
    for (int i = 1; i <= count; ++i)
        requests.push_back(withSeq(request, i));

    for (auto _ : state) {
        const int fd = connectTo(receiver.adapter.listeningPort());
        const auto interval = std::chrono::nanoseconds(1'000'000'000 / rate);
        auto next = Clock::now();
        for (int i = 1; i <= count; ++i) {
            std::this_thread::sleep_until(next);
            next += interval;
            {
                // Stamped just before the write (a few microseconds before its last byte), so the
                // figure errs on the long side and the event cannot arrive before its stamp.
                std::lock_guard lock(mutex);
                sentAt[size_t(i)] = Clock::now();
            }
            sendAll(fd, requests[size_t(i - 1)]);
            readResponse(fd);
        }
        ::close(fd);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            std::lock_guard lock(mutex);
            if (latencyMs.size() >= size_t(count) || Clock::now() > deadline)
                break;
        }
    }
    std::lock_guard lock(mutex);
    std::sort(latencyMs.begin(), latencyMs.end());
    auto percentile = [&](double p) { return latencyMs[size_t(p * double(latencyMs.size() - 1))]; };
    state.counters["p50_ms"] = percentile(0.50);
    state.counters["p99_ms"] = percentile(0.99);
    state.counters["max_ms"] = latencyMs.back();
    state.counters["delivered"] = double(latencyMs.size());
}
BENCHMARK(BM_DeliveryLatency)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

// The receiver's own work per request, without sockets: framing, then mapping.
void BM_FrameAndMapRecordedRequest(benchmark::State &state)
{
    const QByteArray request = withSeq(requestFor(recordedBodyTemplate()), 1002);
    for (auto _ : state) {
        const std::optional<HTTPRequest> framed = CodexOTelAdapter::parseHTTPRequest(request);
        benchmark::DoNotOptimize(CodexOTelAdapter::events(framed->body));
    }
    state.SetBytesProcessed(qint64(state.iterations()) * request.size());
}
BENCHMARK(BM_FrameAndMapRecordedRequest)->Unit(benchmark::kMicrosecond);

// The floor under the mapping: Qt's JSON parse of the same body.
void BM_QtJsonParseOfRecordedBody(benchmark::State &state)
{
    const QByteArray body = recordedBodyTemplate();
    for (auto _ : state)
        benchmark::DoNotOptimize(QJsonDocument::fromJson(body));
}
BENCHMARK(BM_QtJsonParseOfRecordedBody)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
