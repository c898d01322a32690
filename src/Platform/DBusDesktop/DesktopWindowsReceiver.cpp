#include "Platform/DBusDesktop/DesktopWindowsReceiver.h"

DesktopWindowsReceiver::DesktopWindowsReceiver(QDBusConnection bus, const Environment &env, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    // D-Bus calls time out after 25 s by default: a waiting request is answered before that.
    , m_hold(env.clock->createTimer(env.delays.placementRequestHold, Clock::Repeat::once, this,
                                    [this] { answerWaiting(); }))
{
}

void DesktopWindowsReceiver::setPlacement(qint64 pid, const QString &title, const QRectF &frame)
{
    m_placement = {m_placement.generation + 1, pid, title, frame};
    answerWaiting();
}

void DesktopWindowsReceiver::Hello(const QVariantMap &session)
{
    m_peer = message().service();
    Q_EMIT helloReceived(m_peer, session);
}

void DesktopWindowsReceiver::WindowAdded(const QVariantMap &window)
{
    if (!fromPeer())
        return;
    if (const auto parsed = DesktopWindows::windowFrom(window))
        Q_EMIT windowAdded(*parsed);
    else
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("a window needs an id, x, y, width and height"));
}

void DesktopWindowsReceiver::WindowRemoved(const QString &id)
{
    if (fromPeer())
        Q_EMIT windowRemoved(id);
}

void DesktopWindowsReceiver::WindowChanged(const QVariantMap &change)
{
    if (fromPeer())
        Q_EMIT windowChanged(change.value(QStringLiteral("id")).toString(), change);
}

void DesktopWindowsReceiver::Activated(const QString &id)
{
    if (fromPeer())
        Q_EMIT activated(id);
}

QVariantMap DesktopWindowsReceiver::NextPlacement(const QVariantMap &request)
{
    if (request.value(QStringLiteral("seen")).toUInt() == m_placement.generation) {
        setDelayedReply(true);
        m_waiting.push_back(message());
        if (!m_hold->isActive())
            m_hold->start();
        return {};
    }
    return DesktopWindows::toMap(m_placement);
}

bool DesktopWindowsReceiver::fromPeer() const { return !m_peer.isEmpty() && message().service() == m_peer; }

void DesktopWindowsReceiver::answerWaiting()
{
    m_hold->stop();
    const QVariantMap answer = DesktopWindows::toMap(m_placement);
    for (const QDBusMessage &request : std::exchange(m_waiting, {}))
        m_bus.send(request.createReply(QVariant(answer)));
}
