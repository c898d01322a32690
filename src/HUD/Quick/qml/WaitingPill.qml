import QtQuick
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
        // Drawn in the pill's text colour: the style's indicator is dark on the dark pill.
        Symbol {
            objectName: "waitingSpinner"
            visible: !pill.permissionNeeded
            name: "progress.arc"
            size: 14
            color: Theme.color("secondary")
            anchors.verticalCenter: parent.verticalCenter
            RotationAnimator on rotation {
                running: pill.visible && !pill.permissionNeeded
                from: 0
                to: 360
                duration: 1000
                loops: Animation.Infinite
            }
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
