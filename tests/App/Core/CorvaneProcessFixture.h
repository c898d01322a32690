#pragma once

#include "support/TestSupport.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// The real corvane binary in a home of its own and no display: one-shot commands, and an instance
// that can be stopped and started again on the same files.
class CorvaneProcessFixture : public testing::Test {
protected:
    QTemporaryDir home;
    QString supportDir = home.filePath("data/Corvane");
    std::unique_ptr<QProcess> instance;

    ~CorvaneProcessFixture() override
    {
        if (instance && instance->state() != QProcess::NotRunning) {
            instance->kill();
            instance->waitForFinished(5000);
        }
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        env.insert("CORVANE_OTEL_PORT", QString::number(probe.serverPort()));
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }

    void startInstance()
    {
        instance = std::make_unique<QProcess>();
        instance->setProcessEnvironment(environment());
        instance->start(TestSupport::corvaneBinary(), {"--headless"});
        ASSERT_TRUE(instance->waitForStarted(5000));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return QFileInfo::exists(supportDir + "/control.sock"); },
                                           std::chrono::seconds(10)));
    }

    // Ends the instance as a logout does; its socket goes with it.
    void stopInstance()
    {
        instance->terminate();
        ASSERT_TRUE(instance->waitForFinished(10000));
        EXPECT_EQ(instance->exitCode(), 0);
    }

    struct Run {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    Run run(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(TestSupport::corvaneBinary(), arguments);
        EXPECT_TRUE(process.waitForStarted(5000));
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(10000));
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QJsonObject snapshot(const QString &scope = QStringLiteral("claudeCode"))
    {
        return QJsonDocument::fromJson(run({"--snapshot", "--json", "--scope", scope}).out).object();
    }
};
