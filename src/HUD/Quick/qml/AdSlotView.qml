import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The sponsored slot: the creative while a turn is in flight, else a placeholder.
Item {
    id: slot
    required property HUDViewModel hud
    objectName: "adSlot"
    implicitWidth: slot.hud.bar.slotShowsCreative ? creative.implicitWidth : placeholder.implicitWidth + 16
    implicitHeight: 30

    Text {
        id: placeholder
        objectName: "slotPlaceholder"
        visible: !slot.hud.bar.slotShowsCreative
        anchors.verticalCenter: parent.verticalCenter
        x: 8
        text: "Sponsored slot"
        color: Theme.color("quaternary")
        font.pixelSize: 9
    }

    // A new creative id builds a new marquee, which restarts its scrolling.
    Loader {
        id: creative
        active: slot.hud.bar.slotShowsCreative
        anchors.fill: parent
        property string creativeId: slot.hud.bar.slotId
        onCreativeIdChanged: { active = false; active = Qt.binding(() => slot.hud.bar.slotShowsCreative) }
        // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
        // qmllint disable unqualified
        sourceComponent: Rectangle {
            implicitWidth: content.implicitWidth + 16
            radius: 6
            color: Qt.rgba(1.0, 0.84, 0.04, 0.12)
            border.width: 1
            border.color: Qt.rgba(1.0, 0.84, 0.04, 0.4)
            Row {
                id: content
                anchors.verticalCenter: parent.verticalCenter
                x: 8
                spacing: 6
                Symbol {
                    objectName: "slotIcon"
                    name: slot.hud.bar.slotIcon
                    size: 12
                    color: Theme.color("yellow")
                    anchors.verticalCenter: parent.verticalCenter
                }
                Column {
                    spacing: 0
                    Text {
                        text: "Sponsored"
                        color: Theme.color("tertiary")
                        font.pixelSize: 8
                        font.bold: true
                        font.capitalization: Font.AllUppercase
                    }
                    MarqueeText {
                        hud: slot.hud
                        objectName: "slotMarquee"
                        text: slot.hud.bar.slotText
                        maximumWidth: 230 - 16 - 12 - 6
                        pointsPerSecond: 28
                        gap: 28
                    }
                }
            }
        }
        // qmllint enable unqualified
    }
}
