import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The HUD's root: a pill while the target is missing, else the compact bar and, expanded, the dashboard.
Item {
    id: root
    objectName: "hudView"
    required property HUDViewModel hud
    readonly property HUDState hudState: hud.hudState

    Rectangle {
        id: surface
        anchors.fill: parent
        radius: 10
        color: "#e01c1c21"
        border.width: 1
        border.color: Theme.color("quaternary")
        clip: true

        WaitingPill {
            anchors.fill: parent
            visible: root.hudState.waitingForTarget
            text: root.hud.bar.pillText
            permissionNeeded: root.hudState.accessibilityNeeded
        }

        Column {
            anchors.fill: parent
            visible: !root.hudState.waitingForTarget
            spacing: 0
            CompactBar {
                hud: root.hud
                width: parent.width
                height: 44
            }
            Rectangle {
                visible: root.hudState.expanded
                width: parent.width
                height: 1
                color: Theme.color("quaternary")
            }
            Loader {
                active: root.hudState.expanded
                width: parent.width
                height: 245
                // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
                // qmllint disable unqualified
                sourceComponent: DashboardPanel { hud: root.hud }
                // qmllint enable unqualified
            }
        }
    }
}
