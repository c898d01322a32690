import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The sponsored slot: the creative while a turn is in flight, else a placeholder.
Item {
    id: slot
    required property HUDViewModel hud
    objectName: "adSlot"
    readonly property bool showsCreative: slot.hud.bar.slotShowsCreative
    // The padding, the icon and its spacing around the caption or the text, whichever is wider.
    readonly property real chrome: 8 + 12 + 6 + 8
    readonly property real contentWidth: showsCreative
        ? chrome + Math.ceil(Math.max(captionMetrics.advanceWidth, textMetrics.advanceWidth))
        : Math.ceil(placeholder.implicitWidth) + 16
    implicitHeight: 30

    TextMetrics { id: captionMetrics; text: "SPONSORED"; font.pixelSize: 8; font.bold: true }
    TextMetrics { id: textMetrics; text: slot.hud.bar.slotText; font.pixelSize: 10; font.weight: Font.Medium }

    Text {
        id: placeholder
        objectName: "slotPlaceholder"
        visible: !slot.showsCreative
        anchors.verticalCenter: parent.verticalCenter
        x: 8
        text: "Sponsored slot"
        color: Theme.color("quaternary")
        font.pixelSize: 9
    }

    // A new creative id builds a new marquee, which restarts its scrolling.
    Loader {
        id: creative
        active: slot.showsCreative
        anchors.fill: parent
        property string creativeId: slot.hud.bar.slotId
        onCreativeIdChanged: { active = false; active = Qt.binding(() => slot.showsCreative) }
        // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
        // qmllint disable unqualified
        sourceComponent: Rectangle {
            objectName: "slotCreative"
            radius: 6
            color: Qt.rgba(1.0, 0.84, 0.04, 0.12)
            border.width: 1
            border.color: Qt.rgba(1.0, 0.84, 0.04, 0.4)
            Row {
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
                        objectName: "slotCaption"
                        text: "Sponsored"
                        color: Theme.color("tertiary")
                        font.pixelSize: 8
                        font.bold: true
                        font.capitalization: Font.AllUppercase
                    }
                    MarqueeText {
                        hud: slot.hud
                        objectName: "slotMarquee"
                        width: Math.max(0, slot.width - slot.chrome)
                        text: slot.hud.bar.slotText
                        pointsPerSecond: 28
                        gap: 28
                    }
                }
            }
        }
        // qmllint enable unqualified
    }
}
