import QtQuick
import QtQuick.Controls

// A hover tooltip over its parent.
HoverHandler {
    id: hover
    property string text
    readonly property ToolTip tip: ToolTip {
        parent: hover.parent
        visible: hover.hovered && hover.text.length > 0
        delay: 500
        text: hover.text
        font.pixelSize: 11
    }
}
