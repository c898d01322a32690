#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <stdexcept>

namespace TestSupport {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

void scrambleAfterFirstPage(const QString &path)
{
    constexpr qint64 pageSize = 4096;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || file.size() <= pageSize)
        throw std::runtime_error("no pages after the first in " + path.toStdString());
    QByteArray garbage((file.size() - pageSize) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    if (!file.seek(pageSize) || file.write(garbage) != garbage.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void spin(std::chrono::milliseconds duration)
{
    QDeadlineTimer deadline(duration);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

ChildRun runTestInChild(const QString &testName, const QProcessEnvironment &environment,
                        std::chrono::milliseconds timeout)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + testName});
    ChildRun run;
    run.finished = child.waitForFinished(int(timeout.count()));
    if (!run.finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    run.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    run.output = QString::fromUtf8(child.readAll());
    return run;
}

} // namespace TestSupport
