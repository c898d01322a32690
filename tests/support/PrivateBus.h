#pragma once

#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

// dbus-daemon on a private address, gone with the test, and the named connections made to it.
struct PrivateBus : ::testing::Test {
    QProcess daemon;
    QString address;
    QStringList connections;

    void SetUp() override
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(daemon.waitForStarted(5000)) << "dbus-daemon is missing";
        ASSERT_TRUE(TestSupport::waitUntil([&] { return daemon.canReadLine(); }, std::chrono::seconds(5)));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    void TearDown() override
    {
        for (const QString &name : connections)
            QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished();
    }
    QDBusConnection bus(const QString &name)
    {
        connections.append(name);
        return QDBusConnection::connectToBus(address, name);
    }
};
