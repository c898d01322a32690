import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// The session total and the current context.
Row {
    id: counts
    required property HUDViewModel hud
    objectName: "tokenCounts"
    spacing: 8

    component Metric: Column {
        property string caption
        property string value
        property string help
        property string name
        width: 79
        spacing: 1
        Text {
            text: parent.caption
            color: Theme.color("tertiary")
            font.pixelSize: 7
            font.bold: true
            font.capitalization: Font.AllUppercase
        }
        Text {
            objectName: parent.name
            width: 79
            text: parent.value
            color: Theme.color("secondary")
            font.family: Theme.mono
            font.pixelSize: 11
            font.weight: Font.DemiBold
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 8
        }
        Help { text: parent.help }
    }

    Metric { name: "sessionValue"; caption: "session"; value: counts.hud.bar.sessionValue; help: counts.hud.bar.sessionHelp }
    Metric { name: "contextValue"; caption: "context"; value: counts.hud.bar.contextValue; help: counts.hud.bar.contextHelp }
}
