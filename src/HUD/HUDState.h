#pragma once

#include <QObject>

// Which presentation the HUD window is in; the views choose what to draw from it.
class HUDState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool expanded READ expanded WRITE setExpanded NOTIFY expandedChanged)
    Q_PROPERTY(bool waitingForTarget READ waitingForTarget NOTIFY waitingForTargetChanged)
    Q_PROPERTY(bool accessibilityNeeded READ accessibilityNeeded NOTIFY accessibilityNeededChanged)

public:
    using QObject::QObject;

    bool expanded() const { return m_expanded; }
    bool waitingForTarget() const { return m_waitingForTarget; }
    bool accessibilityNeeded() const { return m_accessibilityNeeded; }

    void setExpanded(bool value);
    Q_INVOKABLE void toggleExpanded() { setExpanded(!m_expanded); }
    void setWaitingForTarget(bool value);
    void setAccessibilityNeeded(bool value);

Q_SIGNALS:
    void expandedChanged();
    void waitingForTargetChanged();
    void accessibilityNeededChanged();

private:
    bool m_expanded = false;
    bool m_waitingForTarget = false;
    bool m_accessibilityNeeded = false;
};
