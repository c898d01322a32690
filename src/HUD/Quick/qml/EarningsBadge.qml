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
    // The symbol, its spacing and the whole text.
    readonly property real contentWidth: icon.width + row.spacing + Math.ceil(textMetrics.advanceWidth)
    TextMetrics { id: textMetrics; text: label.text; font: label.font }
    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
        spacing: 3
        Symbol {
            id: icon
            name: "dollarsign.circle.fill"
            size: 11
            color: badge.tint
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            id: label
            objectName: "earningsText"
            width: badge.width - icon.width - row.spacing
            text: badge.hud.bar.earningsText
            color: badge.tint
            font.family: Theme.mono
            font.pixelSize: 10
            font.bold: true
            anchors.verticalCenter: parent.verticalCenter
        }
    }
    Help { text: badge.hud.bar.earningsHelp }
}
