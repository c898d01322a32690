import QtQuick
import QtQuick.Controls
import "Theme.js" as Theme

// What the numbers cover; a click opens the scope menu.
Rectangle {
    id: chip
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
            name: hud.bar.scopeIcon
            size: 9
            color: Theme.color("accent")
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "scopeLabel"
            text: hud.bar.scopeLabel
            color: Theme.color("primary")
            font.pixelSize: 10
            font.weight: Font.DemiBold
            anchors.verticalCenter: parent.verticalCenter
        }
    }

    TapHandler { onTapped: menu.popup(chip, 0, chip.height + 4) }
    Help { text: hud.bar.scopeHelp }

    Menu {
        id: menu
        objectName: "scopeMenu"
        font.pixelSize: 12
        Repeater {
            model: hud.bar.scopeMenu
            delegate: MenuItem {
                required property var modelData
                required property int index
                text: (index === 0 || index === 2 ? modelData.section + ":  " : "      ") + modelData.title
                checkable: true
                checked: modelData.checked
                onTriggered: hud.chooseDisplayMode(modelData.mode)
            }
        }
    }
}
