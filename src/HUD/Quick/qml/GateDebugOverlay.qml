import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The slot's four gates, its streak and its tick count.
Rectangle {
    id: overlay
    required property HUDViewModel hud
    objectName: "gateOverlay"
    implicitWidth: column.implicitWidth + 12
    implicitHeight: column.implicitHeight + 12
    radius: 4
    color: Qt.rgba(0, 0, 0, 0.15)
    Column {
        id: column
        x: 6
        y: 6
        spacing: 2
        Repeater {
            model: overlay.hud.dashboard.gateRows
            delegate: Row {
                id: gate
                required property var modelData
                spacing: 4
                Symbol {
                    name: gate.modelData.passes ? "checkmark.circle.fill" : "xmark.circle.fill"
                    color: Theme.color(gate.modelData.passes ? "green" : "red")
                    size: 9
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text { text: gate.modelData.text; color: Theme.color("primary"); font.family: Theme.mono; font.pixelSize: 9 }
            }
        }
        Text { text: overlay.hud.dashboard.streakLine; color: Theme.color("secondary"); font.family: Theme.mono; font.pixelSize: 9 }
    }
}
