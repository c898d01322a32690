import QtQuick
import Corvane.HUD
import QtQuick.Controls
import QtQuick.Layouts
import "Theme.js" as Theme

// The expanded dashboard: tiles, charts, tool calls and sessions; stacked below 760 wide.
Item {
    id: panel
    objectName: "dashboard"
    required property HUDViewModel hud
    readonly property dashboardContent d: hud.dashboard
    readonly property bool narrow: d.narrow
    onWidthChanged: panel.hud.dashboardWidth = width
    Component.onCompleted: panel.hud.dashboardWidth = width

    component Title: Text { color: Theme.color("secondary"); font.pixelSize: 9; font.bold: true }
    component NoneYet: Text { text: "none yet"; color: Theme.color("tertiary"); font.pixelSize: 10 }

    // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
    // qmllint disable unqualified
    component HistoryLine: Text {
        objectName: "historyLine"
        visible: text.length > 0
        text: panel.d.historyLine
        color: Theme.color("secondary")
        font.pixelSize: 10
        elide: Text.ElideRight
    }
    // A grid of columns at least this wide; the wide layout's tiles fit one row (the view model
    // keeps only those that do).
    component Tiles: Grid {
        id: grid
        readonly property real minimumColumn: panel.narrow ? 128 : 116
        columns: panel.narrow ? Math.max(1, Math.floor((width + 8) / (minimumColumn + 8))) : Math.max(1, panel.d.tiles.length)
        columnSpacing: 8
        rowSpacing: 8
        Repeater {
            model: panel.d.tiles
            delegate: StatTile {
                required property var modelData
                tileData: modelData
                width: (grid.width - 8 * (grid.columns - 1)) / grid.columns
            }
        }
    }

    component ToolRows: Column {
        spacing: 3
        Repeater {
            model: panel.d.toolRows
            delegate: RowLayout {
                id: toolRow
                required property var modelData
                objectName: "toolRow"
                width: parent.width
                spacing: 6
                Text { text: toolRow.modelData.name; color: Theme.color("primary"); font.family: Theme.mono; font.pixelSize: 10; elide: Text.ElideRight; Layout.fillWidth: true }
                Text { text: toolRow.modelData.duration; visible: text.length > 0; color: Theme.color("tertiary"); font.pixelSize: 9; Layout.leftMargin: 2 }
            }
        }
    }

    component ToolFeed: Column {
        id: feed
        property bool scroll
        spacing: 4
        Title { id: feedTitle; objectName: "toolTitle"; text: panel.d.toolTitle }
        NoneYet { visible: panel.d.toolRows.length === 0 }
        Loader {
            width: parent.width
            // Scrolling, it takes the height its column is given below the title.
            height: feed.scroll ? Math.max(0, feed.height - feedTitle.height - feed.spacing) : implicitHeight
            visible: panel.d.toolRows.length > 0
            sourceComponent: feed.scroll ? scrolled : direct
            Component { id: direct; ToolRows { width: parent ? parent.width : 0 } }
            Component {
                id: scrolled
                ScrollView {
                    objectName: "toolScroll"
                    clip: true
                    contentWidth: availableWidth
                    ToolRows { width: parent.width }
                }
            }
        }
    }

    component Sessions: Column {
        spacing: 4
        Title { text: "SESSIONS" }
        NoneYet { visible: panel.d.sessionRows.length === 0 }
        Repeater {
            model: panel.d.sessionRows
            delegate: RowLayout {
                id: sessionRow
                required property var modelData
                objectName: "sessionRow"
                width: parent.width
                Text { text: sessionRow.modelData.id; color: Theme.color("secondary"); font.family: Theme.mono; font.pixelSize: 9 }
                Item { Layout.fillWidth: true }
                Text {
                    text: sessionRow.modelData.value
                    color: Theme.color("primary")
                    font.family: Theme.mono
                    font.pixelSize: 9
                    font.weight: Font.Medium
                    Help { text: sessionRow.modelData.help }
                }
            }
        }
        GateDebugOverlay { hud: panel.hud; visible: panel.d.showDebugOverlay }
    }

    Loader {
        anchors.fill: parent
        sourceComponent: panel.narrow ? narrowLayout : wideLayout
    }

    Component {
        id: narrowLayout
        ScrollView {
            objectName: "narrowLayout"
            clip: true
            contentWidth: availableWidth
            ScrollBar.vertical.policy: ScrollBar.AlwaysOn
            Column {
                x: 12
                y: 12
                width: panel.width - 24
                spacing: 10
                bottomPadding: 12
                Tiles { width: parent.width }
                HistoryLine { width: parent.width }
                DayCharts { id: narrowCharts; hud: panel.hud; width: parent.width; height: narrowCharts.fixedHeight + 90 }
                Row {
                    width: parent.width
                    spacing: 12
                    ToolFeed { scroll: false; width: (parent.width - 12) / 2 }
                    Sessions { width: (parent.width - 12) / 2 }
                }
            }
        }
    }

    Component {
        id: wideLayout
        // The loader sizes its item to the panel; the margins go inside.
        Item {
            ColumnLayout {
                objectName: "wideLayout"
                anchors.fill: parent
                anchors.margins: 12
                spacing: 10
                Tiles { Layout.fillWidth: true }
                HistoryLine { Layout.fillWidth: true }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    spacing: 14
                    DayCharts {
                        hud: panel.hud
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        Layout.minimumHeight: 0
                        Layout.preferredHeight: 0
                        Layout.preferredWidth: 100
                    }
                    ToolFeed {
                        scroll: true
                        Layout.preferredWidth: 140
                        Layout.maximumWidth: 140
                        Layout.fillHeight: true
                        Layout.minimumHeight: 0
                        Layout.preferredHeight: 0
                    }
                    Sessions { Layout.preferredWidth: 175; Layout.maximumWidth: 175; Layout.alignment: Qt.AlignTop }
                }
            }
        }
    }
    // qmllint enable unqualified
}
