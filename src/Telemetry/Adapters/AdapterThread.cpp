#include "Telemetry/Adapters/AdapterThread.h"

AdapterThread::AdapterThread(const QString &name)
    : m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_thread->setObjectName(name);
    m_context->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
}

AdapterThread::~AdapterThread()
{
    // Children (sockets, timers) must be destroyed on the thread that owns them.
    QObject *context = m_context;
    run([context] { qDeleteAll(context->children()); });
    m_thread->quit();
    m_thread->wait();
}
