#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <memory>
#include <utility>

// The named thread an adapter's sockets, files and timers live on ("corvane.otel", ...).
// Everything the adapter mutates is touched only from here, so nothing takes a lock.
class AdapterThread {
    Q_DISABLE_COPY_MOVE(AdapterThread)

public:
    explicit AdapterThread(const QString &name);
    // Quits the thread and waits for it; objects parented to context() are destroyed there.
    ~AdapterThread();

    // Lives on the thread: parent sockets and timers to it, use it as the context of connections.
    QObject *context() const { return m_context; }

    bool isCurrent() const { return QThread::currentThread() == m_thread.get(); }

    // Runs fn on the thread later.
    template <typename Fn>
    void post(Fn &&fn) const
    {
        QMetaObject::invokeMethod(m_context, std::forward<Fn>(fn), Qt::QueuedConnection);
    }

    // Runs fn on the thread and waits for it (at once when already there).
    template <typename Fn>
    void run(Fn &&fn) const
    {
        if (isCurrent())
            fn();
        else
            QMetaObject::invokeMethod(m_context, std::forward<Fn>(fn), Qt::BlockingQueuedConnection);
    }

private:
    std::unique_ptr<QThread> m_thread;
    QObject *m_context;
};
