import QtQuick
import QtQuick.Controls
import "Theme.js" as Theme

// Says that the target is not there, or that window access is needed.
Item {
    id: pill
    objectName: "waitingPill"
    property string text
    property bool permissionNeeded

    Row {
        anchors.centerIn: parent
        spacing: 8
        width: Math.min(implicitWidth, pill.width - 16)
        Symbol {
            visible: pill.permissionNeeded
            name: "accessibility"
            size: 14
            color: Theme.color("orange")
            anchors.verticalCenter: parent.verticalCenter
        }
        BusyIndicator {
            visible: !pill.permissionNeeded
            running: visible
            width: 16
            height: 16
            padding: 0
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "pillText"
            text: pill.text
            color: Theme.color("secondary")
            font.pixelSize: 12
            font.weight: Font.Medium
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 10
            elide: Text.ElideRight
            width: Math.min(implicitWidth, pill.width - 48)
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}
