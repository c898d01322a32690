import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The plan-limits figure with a thin gauge under it.
Item {
    id: gauge
    objectName: "limitsGauge"
    required property HUDViewModel hud
    readonly property compactBarContent content: hud.bar
    // The bar's layout gives it at least this: the figure is never cut.
    implicitWidth: Math.ceil(metrics.advanceWidth)
    implicitHeight: 24
    Text {
        id: label
        objectName: "limitsText"
        anchors.top: parent.top
        anchors.topMargin: 3
        width: parent.width
        text: gauge.content.limitsText
        color: Theme.color(gauge.content.limitsColor)
        font.family: Theme.mono
        font.pixelSize: 10
        font.weight: Font.Medium
    }
    TextMetrics { id: metrics; text: label.text; font: label.font }
    Rectangle {
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 3
        width: parent.width
        height: 2
        radius: 1
        color: Theme.color("quaternary")
        Rectangle {
            width: parent.width * gauge.content.limitsFraction
            height: parent.height
            radius: 1
            color: Theme.color(gauge.content.limitsColor === "secondary" ? "green" : gauge.content.limitsColor)
        }
    }
    Help { text: gauge.content.limitsHelp }
}
