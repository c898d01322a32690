import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// This month's payable share, or the demo value while nothing is payable.
Item {
    id: badge
    required property HUDViewModel hud
    objectName: "earningsBadge"
    implicitHeight: row.implicitHeight
    readonly property color tint: Theme.color(badge.hud.bar.earningsColor)
    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
        spacing: 3
        Symbol {
            name: "dollarsign.circle.fill"
            size: 11
            color: badge.tint
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "earningsText"
            width: badge.width - 14
            text: badge.hud.bar.earningsText
            color: badge.tint
            font.family: Theme.mono
            font.pixelSize: 10
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 7
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    Help { text: badge.hud.bar.earningsHelp }
}
