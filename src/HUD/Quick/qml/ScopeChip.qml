import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// What the numbers cover; a click (taken by the bar) opens the scope menu.
Rectangle {
    id: chip
    required property HUDViewModel hud
    objectName: "scopeChip"
    implicitWidth: row.implicitWidth + 14
    implicitHeight: row.implicitHeight + 8
    radius: height / 2
    color: Qt.rgba(0.04, 0.52, 1.0, 0.15)

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 4
        Symbol {
            name: chip.hud.bar.scopeIcon
            size: 9
            color: Theme.color("accent")
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "scopeLabel"
            text: chip.hud.bar.scopeLabel
            color: Theme.color("primary")
            font.pixelSize: 10
            font.weight: Font.DemiBold
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    Help { text: chip.hud.bar.scopeHelp }

    // The menu is a window of its own: the bar's 44-point window would clip one drawn inside it.
    function openMenu() {
        const below = chip.mapToGlobal(0, chip.height + 4)
        chip.hud.requestScopeMenu(below.x, below.y)
    }
}
