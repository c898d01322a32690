import QtQuick
import Corvane.HUD
import QtQuick.Controls
import "Theme.js" as Theme

// What the numbers cover; a click opens the scope menu.
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

    TapHandler { onTapped: menu.popup(chip, 0, chip.height + 4) }
    Help { text: chip.hud.bar.scopeHelp }

    Menu {
        id: menu
        objectName: "scopeMenu"
        font.pixelSize: 12
        Repeater {
            model: chip.hud.bar.scopeMenu
            // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
            // qmllint disable unqualified
            delegate: MenuItem {
                required property var modelData
                required property int index
                text: (index === 0 || index === 2 ? modelData.section + ":  " : "      ") + modelData.title
                checkable: true
                checked: modelData.checked
                onTriggered: chip.hud.chooseDisplayMode(modelData.mode)
            }
            // qmllint enable unqualified
        }
    }
}
