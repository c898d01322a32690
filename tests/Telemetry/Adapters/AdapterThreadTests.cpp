#include "Telemetry/Adapters/AdapterThread.h"

#include "support/TestSupport.h"

#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>

namespace {

TEST(AdapterThread, RunsWorkOnItsOwnNamedThread)
{
    AdapterThread thread(QStringLiteral("corvane.test"));
    QString name;
    bool current = false;
    thread.run([&] {
        name = QThread::currentThread()->objectName();
        current = thread.isCurrent();
    });
    EXPECT_EQ(name, "corvane.test");
    EXPECT_TRUE(current);
    EXPECT_FALSE(thread.isCurrent());

    std::atomic<int> posted{0};
    for (int i = 0; i < 10; ++i)
        thread.post([&posted, i] { if (posted == i) ++posted; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return posted == 10; })); // in order
}

TEST(AdapterThread, DestroysChildrenOnItsThreadWhenDestroyed)
{
    QPointer<QTimer> timer;
    std::atomic<bool> destroyedOnThread{false};
    {
        AdapterThread thread(QStringLiteral("corvane.test"));
        thread.run([&] {
            timer = new QTimer(thread.context());
            timer->start(10);
            QObject::connect(timer, &QObject::destroyed, [&] {
                destroyedOnThread = QThread::currentThread()->objectName() == QLatin1String("corvane.test");
            });
        });
    }
    EXPECT_TRUE(timer.isNull());
    EXPECT_TRUE(destroyedOnThread.load());
}

} // namespace
