import QtQuick
import "Theme.js" as Theme

// The HUD's root: a pill while the target is missing, else the compact bar and, expanded, the dashboard.
Item {
    id: root
    objectName: "hudView"
    readonly property var state: hud.hudState

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
            visible: root.state.waitingForTarget
            text: hud.bar.pillText
            permissionNeeded: root.state.accessibilityNeeded
        }

        Column {
            anchors.fill: parent
            visible: !root.state.waitingForTarget
            spacing: 0
            CompactBar {
                width: parent.width
                height: 44
            }
            Rectangle {
                visible: root.state.expanded
                width: parent.width
                height: 1
                color: Theme.color("quaternary")
            }
            Loader {
                active: root.state.expanded
                width: parent.width
                height: 245
                sourceComponent: DashboardPanel {}
            }
        }
    }

    // Right-clicks only: left clicks fall through to the bar and the slot.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.RightButton
        onClicked: mouse => {
            const at = mapToGlobal(mouse.x, mouse.y)
            hud.requestContextMenu(at.x, at.y)
        }
    }
}
