import QtQuick
import "Theme.js" as Theme

// A title, a value in its tint and a detail line.
Rectangle {
    id: tile
    property var tileData
    implicitHeight: column.implicitHeight + 10
    radius: 6
    color: Qt.rgba(0.33, 0.33, 0.37, 0.4)
    Column {
        id: column
        x: 9
        y: 5
        width: tile.width - 18
        spacing: 1
        Text {
            width: parent.width
            text: tile.tileData.title
            color: Theme.color("secondary")
            font.pixelSize: 8
            font.bold: true
            font.capitalization: Font.AllUppercase
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 6
        }
        Text {
            objectName: "tileValue"
            width: parent.width
            text: tile.tileData.value
            color: Theme.color(tile.tileData.tint)
            font.family: Theme.mono
            font.pixelSize: 13
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 10
        }
        Text {
            objectName: "tileDetail"
            width: parent.width
            text: tile.tileData.detail
            color: Theme.color("tertiary")
            font.pixelSize: 8
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 6
            elide: Text.ElideRight
        }
        // Plan-limit tiles: one thin gauge per window.
        Repeater {
            model: tile.tileData.gauges !== undefined ? tile.tileData.gauges : []
            delegate: Rectangle {
                id: track
                required property var modelData
                width: parent.width
                height: 3
                radius: 1.5
                color: Theme.color("quaternary")
                Rectangle {
                    width: track.width * track.modelData
                    height: track.height
                    radius: 1.5
                    color: Theme.color(track.modelData >= 1 ? "red" : track.modelData >= 0.8 ? "orange" : "green")
                }
            }
        }
    }
}
