import QtQuick
import Corvane.HUD
import QtQuick.Layouts
import "Theme.js" as Theme

// The 44-point bar: scope, expand, state, tokens, throughput, cost, limits, model, earnings, slot.
Item {
    id: bar
    objectName: "compactBar"
    required property HUDViewModel hud
    readonly property compactBarContent content: hud.bar

    // One handler for the whole bar, so each click does exactly one thing: the chip opens its
    // menu, a shown creative takes the click, anywhere else (the chevron too) toggles the
    // dashboard. Dragging moves the window.
    TapHandler { onTapped: eventPoint => bar.tapAt(eventPoint.position) }
    function tapAt(position: point) {
        if (bar.hits(chip, position))
            chip.openMenu()
        else if (bar.content.slotShowsCreative && bar.hits(slot, position))
            bar.hud.clickSlot()
        else
            bar.hud.toggleExpanded()
    }
    function hits(item: Item, position: point): bool {
        const local = item.mapFromItem(bar, position.x, position.y)
        return item.visible && item.contains(local)
    }
    DragHandler {
        target: null
        onActiveChanged: if (active) bar.Window.window.startSystemMove()
    }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 10

        ScopeChip { id: chip; hud: bar.hud; Layout.alignment: Qt.AlignVCenter; Layout.minimumWidth: implicitWidth }

        Item {
            objectName: "expandButton"
            Layout.preferredWidth: 22
            Layout.preferredHeight: 22
            Symbol {
                anchors.centerIn: parent
                name: bar.content.expandSymbol
                size: 10
                color: Theme.color("secondary")
            }
            Help { text: bar.content.expandHelp }
        }

        StateBadge {
            hud: bar.hud
            Layout.minimumWidth: Math.max(100, implicitWidth)
            Layout.preferredWidth: Math.max(100, implicitWidth)
            Layout.maximumWidth: Layout.preferredWidth
            Layout.fillWidth: true
        }

        Rectangle { Layout.preferredWidth: 1; Layout.preferredHeight: 20; color: Theme.color("quaternary") }

        TokenCounts {
            hud: bar.hud
            Layout.preferredWidth: 166
            Layout.minimumWidth: 166
        }

        SparklineView {
            hud: bar.hud
            Layout.preferredWidth: 86
            Layout.minimumWidth: 70
            Layout.maximumWidth: 86
            Layout.fillWidth: true
            Layout.preferredHeight: 24
        }

        Text {
            objectName: "costLabel"
            Layout.preferredWidth: 94
            Layout.minimumWidth: 94
            horizontalAlignment: Text.AlignRight
            text: bar.content.costText
            color: Theme.color("primary")
            font.family: Theme.mono
            font.pixelSize: 11
            font.weight: Font.DemiBold
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 8
            Help { text: bar.content.costHelp }
        }

        // Plan limits: after the cost, before the model, and only once a plan reported them.
        LimitsGauge {
            hud: bar.hud
            visible: bar.content.limitsVisible
            Layout.preferredWidth: 118
            Layout.minimumWidth: 84
            Layout.maximumWidth: 132
            Layout.fillWidth: true
        }

        Text {
            objectName: "modelName"
            visible: bar.content.modelVisible
            Layout.preferredWidth: 58
            Layout.minimumWidth: 0
            Layout.maximumWidth: 58
            Layout.fillWidth: true
            text: bar.content.modelText
            color: Theme.color("secondary")
            font.family: Theme.mono
            font.pixelSize: 10
            font.weight: Font.Medium
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 8
            elide: Text.ElideRight
        }

        Item { Layout.fillWidth: true; Layout.minimumWidth: 4 }

        EarningsBadge {
            hud: bar.hud
            Layout.preferredWidth: 86
            Layout.minimumWidth: 70
            Layout.maximumWidth: 86
            Layout.fillWidth: true
        }

        Rectangle {
            visible: bar.content.showAds
            Layout.preferredWidth: 1
            Layout.preferredHeight: 24
            color: Theme.color("quaternary")
        }

        AdSlotView {
            id: slot
            hud: bar.hud
            visible: bar.content.showAds
            Layout.maximumWidth: Math.min(230, implicitWidth)
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            Layout.preferredWidth: Math.min(230, implicitWidth)
            clip: true
            // How much of the slot lies inside the bar: a narrow bar pushes it past the edge.
            readonly property real shownWidth: visible ? Math.max(0, Math.min(x + width, row.width) - x) : 0
            onShownWidthChanged: bar.hud.slotShownWidth = shownWidth
            Component.onCompleted: bar.hud.slotShownWidth = shownWidth
        }
    }
}
