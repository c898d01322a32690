#pragma once

#include "Platform/DBusDesktop/DesktopWindowsContract.h"
#include "Platform/Environment.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>

#include <vector>

// The object Corvane exports for the compositor side (DesktopWindowsContract.h): turns its calls
// into signals and answers its placement requests. Calls from anyone but the peer that said Hello
// last are ignored, so a stale script cannot mix its windows into the new one's.
class DesktopWindowsReceiver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.corvane.Corvane.Windows1")

public:
    // Answers waiting requests on bus, the connection it is exported on.
    DesktopWindowsReceiver(QDBusConnection bus, const Environment &env, QObject *parent = nullptr);

    // The unique bus name of the peer that said Hello last; empty before.
    QString peer() const { return m_peer; }
    void forgetPeer() { m_peer.clear(); }
    // Replaces the placement asked for and answers every request that waits for one.
    void setPlacement(qint64 pid, const QString &title, const QRectF &frame);

public Q_SLOTS:
    void Hello(const QVariantMap &session);
    void WindowAdded(const QVariantMap &window);
    void WindowRemoved(const QString &id);
    void WindowChanged(const QVariantMap &change);
    void Activated(const QString &id);
    QVariantMap NextPlacement(const QVariantMap &request);

Q_SIGNALS:
    void helloReceived(const QString &peer, const QVariantMap &session);
    void windowAdded(const DesktopWindows::Window &window);
    void windowRemoved(const QString &id);
    void windowChanged(const QString &id, const QVariantMap &change);
    void activated(const QString &id);

private:
    bool fromPeer() const;
    void answerWaiting();

    QDBusConnection m_bus;
    QString m_peer;
    DesktopWindows::Placement m_placement;
    std::vector<QDBusMessage> m_waiting;
    Timer *m_hold = nullptr;
};
