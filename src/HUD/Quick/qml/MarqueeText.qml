import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// One line that scrolls in a loop when it does not fit, a second copy following the first.
Item {
    id: marquee
    required property HUDViewModel hud
    property string text
    property real pointsPerSecond: 28
    property real gap: 28
    readonly property real textWidth: metrics.advanceWidth
    readonly property bool overflow: marquee.hud.marqueeOverflows(textWidth, width)
    property bool scrolling: false

    // As wide as the slot gives it.
    implicitWidth: textWidth
    height: 13
    clip: true

    TextMetrics { id: metrics; text: marquee.text; font: first.font }

    Row {
        id: strip
        spacing: marquee.gap
        anchors.verticalCenter: parent.verticalCenter
        Text {
            id: first
            objectName: "marqueeFirst"
            text: marquee.text
            color: Theme.color("primary")
            font.pixelSize: 10
            font.weight: Font.Medium
        }
        Text {
            objectName: "marqueeSecond"
            visible: marquee.overflow
            text: marquee.text
            color: first.color
            font: first.font
        }
    }

    NumberAnimation {
        target: strip
        property: "x"
        from: 0
        to: -(marquee.gap + marquee.textWidth)
        duration: 1000 * (marquee.gap + marquee.textWidth) / marquee.pointsPerSecond
        loops: Animation.Infinite
        running: marquee.overflow && marquee.scrolling
        onRunningChanged: if (!running) strip.x = 0
    }

    Component.onCompleted: scrolling = true
}
