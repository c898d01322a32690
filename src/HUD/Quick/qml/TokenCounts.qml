import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The session total and the current context, each in half of the width the bar gives.
Row {
    id: counts
    required property HUDViewModel hud
    objectName: "tokenCounts"
    spacing: 8
    // What the two values and their captions need, however wide the bar draws them.
    readonly property real contentWidth: session.contentWidth + context.contentWidth + spacing
    readonly property real metricWidth: (width - spacing) / 2

    component Metric: Column {
        id: metric
        property string caption
        property string value
        property string help
        property string name
        readonly property real contentWidth: Math.ceil(Math.max(captionMetrics.advanceWidth, valueMetrics.advanceWidth))
        spacing: 1
        TextMetrics { id: captionMetrics; text: captionText.text; font: captionText.font }
        TextMetrics { id: valueMetrics; text: valueText.text; font: valueText.font }
        Text {
            id: captionText
            text: metric.caption.toUpperCase()
            color: Theme.color("tertiary")
            font.pixelSize: 7
            font.bold: true
        }
        Text {
            id: valueText
            objectName: metric.name
            width: metric.width
            text: metric.value
            color: Theme.color("secondary")
            font.family: Theme.mono
            font.pixelSize: 11
            font.weight: Font.DemiBold
        }
        Help { text: metric.help }
    }

    Metric {
        id: session
        width: counts.metricWidth
        name: "sessionValue"
        caption: "session"
        value: counts.hud.bar.sessionValue
        help: counts.hud.bar.sessionHelp
    }
    Metric {
        id: context
        width: counts.metricWidth
        name: "contextValue"
        caption: "context"
        value: counts.hud.bar.contextValue
        help: counts.hud.bar.contextHelp
    }
}
