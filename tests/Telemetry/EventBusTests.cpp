#include "Telemetry/EventBus.h"

#include "support/TestSupport.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>

namespace {

AgentEvent numbered(int n)
{
    return AgentEvent::make(AgentSource::mock, QString::number(n), TurnStarted{});
}

TEST(EventBus, PublishOnMainThreadDeliversBeforeReturning)
{
    EventBus bus;
    std::vector<QString> seen;
    QObject subscriber;
    QObject::connect(&bus, &EventBus::eventPublished, &subscriber,
                     [&](const AgentEvent &event) { seen.push_back(event.sessionId); });
    bus.publish(numbered(1));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "1");
}

TEST(EventBus, PublishFromWorkerReturnsFirstAndKeepsOrder)
{
    EventBus bus;
    std::vector<QString> seen;
    std::vector<bool> onMainThread;
    QObject subscriber;
    QObject::connect(&bus, &EventBus::eventPublished, &subscriber, [&](const AgentEvent &event) {
        seen.push_back(event.sessionId);
        onMainThread.push_back(QThread::currentThread() == bus.thread());
    });

    std::atomic<bool> deliveredBeforeReturn{false};
    QThread *worker = QThread::create([&] {
        for (int i = 0; i < 100; ++i)
            bus.publish(numbered(i));
        deliveredBeforeReturn = !seen.empty();
    });
    worker->start();
    worker->wait();
    delete worker;

    EXPECT_FALSE(deliveredBeforeReturn.load());
    EXPECT_TRUE(seen.empty()); // nothing runs until the main loop does
    ASSERT_TRUE(TestSupport::waitUntil([&] { return seen.size() == 100; }));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[static_cast<size_t>(i)], QString::number(i));
    EXPECT_TRUE(std::all_of(onMainThread.begin(), onMainThread.end(), [](bool b) { return b; }));
}

TEST(EventBus, DestroyedSubscriberIsNotCalled)
{
    EventBus bus;
    int calls = 0;
    {
        QObject subscriber;
        QObject::connect(&bus, &EventBus::eventPublished, &subscriber, [&](const AgentEvent &) { ++calls; });
    }
    bus.publish(numbered(1));
    EXPECT_EQ(calls, 0);
}

TEST(EventBus, QueuedGroupsReachTheSinkTogetherAndTheirReceiptsHearItsVerdict)
{
    EventBus bus;
    QList<qsizetype> sinkCalls;
    bool verdict = false;
    bus.setSink([&](const QList<AgentEvent> &events) {
        sinkCalls.append(events.size());
        return verdict;
    });
    std::vector<bool> receipts;
    QThread *worker = QThread::create([&] {
        bus.publish(QList<AgentEvent>{numbered(1), numbered(2)}, [&](bool stored) { receipts.push_back(stored); });
        bus.publish(numbered(3));
        bus.publish(QList<AgentEvent>{numbered(4)}, [&](bool stored) { receipts.push_back(stored); });
    });
    worker->start();
    worker->wait();
    delete worker;
    EXPECT_TRUE(receipts.empty()) << "no receipt before the sink has run";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return receipts.size() == 2; }));
    EXPECT_EQ(sinkCalls, QList<qsizetype>{4}) << "one transaction for everything queued";
    EXPECT_EQ(receipts, (std::vector<bool>{false, false}));

    verdict = true;
    bus.publish(QList<AgentEvent>{numbered(5)}, [&](bool stored) { receipts.push_back(stored); });
    EXPECT_EQ(receipts.back(), true) << "on the bus's thread the receipt comes before publish returns";
}

TEST(EventBus, AFullQueueHoldsItsPublisherUntilDrainedOrClosed)
{
    EventBus bus;
    std::atomic<int> published{0};
    QThread *worker = QThread::create([&] {
        for (int i = 0; i < EventBus::maxQueuedEvents + 10; ++i) {
            bus.publish(numbered(i));
            ++published;
        }
    });
    worker->start();
    // Without running the bus's thread: nothing is delivered meanwhile.
    for (int i = 0; i < 10000 && published < EventBus::maxQueuedEvents; ++i)
        QThread::msleep(1);
    EXPECT_FALSE(worker->wait(100)) << "the publisher waits for room";
    EXPECT_EQ(published, EventBus::maxQueuedEvents);
    int delivered = 0;
    QObject subscriber;
    QObject::connect(&bus, &EventBus::eventPublished, &subscriber, [&](const AgentEvent &) { ++delivered; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return published == EventBus::maxQueuedEvents + 10; }));
    EXPECT_TRUE(worker->wait(5000));
    delete worker;

    // Closed, a publisher neither waits nor is delivered.
    bus.close();
    const int before = delivered;
    QThread *late = QThread::create([&] {
        for (int i = 0; i < EventBus::maxQueuedEvents + 10; ++i)
            bus.publish(numbered(i));
    });
    late->start();
    EXPECT_TRUE(late->wait(5000));
    delete late;
    TestSupport::spin(std::chrono::milliseconds(20));
    EXPECT_EQ(delivered, before);
}

} // namespace
