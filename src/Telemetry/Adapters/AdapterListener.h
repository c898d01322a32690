#pragma once

#include "Platform/Clock.h"
#include "Telemetry/Adapters/AdapterThread.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <type_traits>
#include <utility>

// The listener of an adapter that serves a socket (QTcpServer or QLocalServer). start() (re)opens
// it on the adapter's thread and returns at once; stop() closes it there. Accepted connections
// are handed on and outlive the listener. A started listener that stops listening on its own
// (QLocalServer closes itself, and removes its file, after a failed accept) or could not be
// opened is opened again every `retry` until it listens. Declare it before the adapter's thread.
template <typename Server>
class AdapterListener {
    Q_DISABLE_COPY_MOVE(AdapterListener)

public:
    using Socket = std::remove_pointer_t<decltype(std::declval<Server &>().nextPendingConnection())>;
    // Makes a new server listen; false when it cannot. Runs on the adapter's thread.
    using Bind = std::function<bool(Server &)>;
    // Takes over one accepted connection. Runs on the adapter's thread.
    using Accept = std::function<void(Socket *)>;

    AdapterListener(const AdapterThread &thread, Clock &clock, std::chrono::milliseconds retry, Bind bind,
                    Accept accept)
        : m_thread(thread)
        , m_clock(clock)
        , m_retry(retry)
        , m_bind(std::move(bind))
        , m_accept(std::move(accept))
    {
    }

    void start()
    {
        m_isListening = false;
        m_thread.post([this] { listen(); });
    }
    void stop()
    {
        m_thread.run([this] {
            if (m_watch)
                m_watch->stop();
            close();
        });
    }
    bool isListening() const { return m_isListening; }
    // Called on the adapter's thread each time the listener becomes ready; set before start().
    void setOnReady(std::function<void()> onReady)
    {
        m_thread.run([this, &onReady] { m_onReady = std::move(onReady); });
    }

private:
    void listen()
    {
        close();
        // Made here, on the thread, which does not exist yet when the listener is constructed.
        if (!m_watch) {
            m_watch = m_clock.createTimer(m_retry, Clock::Repeat::everyInterval, m_thread.context(), [this] {
                if (!m_server || !m_server->isListening())
                    listen();
            });
        }
        m_watch->start();
        auto *server = new Server(m_thread.context());
        if (!m_bind(*server)) {
            delete server;
            return;
        }
        m_server = server;
        QObject::connect(server, &Server::newConnection, server, [this] {
            while (Socket *socket = m_server->nextPendingConnection())
                m_accept(socket);
        });
        m_isListening = true;
        if (m_onReady)
            m_onReady();
    }
    void close()
    {
        // Open connections belong to the thread's context, not the server, so they outlive it.
        delete m_server;
        m_server = nullptr;
        m_isListening = false;
    }

    const AdapterThread &m_thread;
    Clock &m_clock;
    const std::chrono::milliseconds m_retry;
    const Bind m_bind;
    const Accept m_accept;
    std::atomic<bool> m_isListening{false};

    // Touched only on the adapter's thread.
    std::function<void()> m_onReady;
    Server *m_server = nullptr;
    Timer *m_watch = nullptr;
};
