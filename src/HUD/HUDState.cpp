#include "HUD/HUDState.h"

void HUDState::setExpanded(bool value)
{
    if (m_expanded == value)
        return;
    m_expanded = value;
    Q_EMIT expandedChanged();
}

void HUDState::setWaitingForTarget(bool value)
{
    if (m_waitingForTarget == value)
        return;
    m_waitingForTarget = value;
    Q_EMIT waitingForTargetChanged();
}

void HUDState::setAccessibilityNeeded(bool value)
{
    if (m_accessibilityNeeded == value)
        return;
    m_accessibilityNeeded = value;
    Q_EMIT accessibilityNeededChanged();
}
