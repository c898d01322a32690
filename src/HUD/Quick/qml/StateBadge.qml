import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// A coloured dot and what the agent is doing, with the turn clock while it works.
Item {
    id: badge
    required property HUDViewModel hud
    objectName: "stateBadge"
    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        Rectangle {
            width: 8
            height: 8
            radius: 4
            color: Theme.color(badge.hud.bar.stateColor)
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "stateLabel"
            text: badge.hud.bar.stateLabel
            color: Theme.color("primary")
            font.pixelSize: 12
            font.weight: Font.DemiBold
        }
    }
    Help { text: badge.hud.bar.stateHelp }
}
