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

} // namespace
