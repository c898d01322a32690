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

    // What shows and how wide is decided by the view model's layout table; the view measures
    // what each element's content needs and draws what the layout gives it.
    readonly property var placed: hud.barLayout
    function shows(name: string): bool { return bar.placed[name] !== undefined }
    function widthOf(name: string): real { return bar.placed[name] !== undefined ? bar.placed[name] : 0 }
    Binding { target: bar.hud; property: "barWidth"; value: bar.width }
    Binding {
        target: bar.hud
        property: "barContentWidths"
        value: ({
            state: badge.implicitWidth,
            tokens: tokens.contentWidth,
            cost: costMetrics.advanceWidth,
            slot: slot.contentWidth,
            limits: limits.implicitWidth,
            chip: chip.implicitWidth,
            earnings: earnings.contentWidth,
            expand: 22,
            model: modelMetrics.advanceWidth,
            sparkline: 86
        })
    }
    // The slot's own rectangle in the window, for the gate that bills its views.
    Binding {
        target: bar.hud
        property: "slotRect"
        value: {
            if (!slot.visible || slot.width <= 0)
                return Qt.rect(0, 0, 0, 0)
            const at = bar.mapToItem(null, row.x + slot.x, row.y + slot.y)
            return Qt.rect(at.x, at.y, slot.width, slot.height)
        }
    }
    TextMetrics { id: costMetrics; text: cost.text; font: cost.font }
    TextMetrics { id: modelMetrics; text: model.text; font: model.font }

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 10

        ScopeChip {
            id: chip
            hud: bar.hud
            visible: bar.shows("chip")
            Layout.alignment: Qt.AlignVCenter
            Layout.preferredWidth: bar.widthOf("chip")
            Layout.minimumWidth: bar.widthOf("chip")
        }

        Item {
            objectName: "expandButton"
            visible: bar.shows("expand")
            Layout.preferredWidth: 22
            Layout.minimumWidth: 22
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
            id: badge
            hud: bar.hud
            Layout.preferredWidth: bar.widthOf("state")
            Layout.minimumWidth: bar.widthOf("state")
        }

        Rectangle { Layout.preferredWidth: 1; Layout.preferredHeight: 20; color: Theme.color("quaternary") }

        TokenCounts {
            id: tokens
            hud: bar.hud
            Layout.preferredWidth: bar.widthOf("tokens")
            Layout.minimumWidth: bar.widthOf("tokens")
        }

        SparklineView {
            hud: bar.hud
            visible: bar.shows("sparkline")
            Layout.preferredWidth: 86
            Layout.minimumWidth: 86
            Layout.preferredHeight: 24
        }

        Text {
            id: cost
            objectName: "costLabel"
            Layout.preferredWidth: bar.widthOf("cost")
            Layout.minimumWidth: bar.widthOf("cost")
            horizontalAlignment: Text.AlignRight
            text: bar.content.costText
            color: Theme.color("primary")
            font.family: Theme.mono
            font.pixelSize: 11
            font.weight: Font.DemiBold
            Help { text: bar.content.costHelp }
        }

        // Plan limits: after the cost, before the model, and only once a plan reported them.
        LimitsGauge {
            id: limits
            hud: bar.hud
            visible: bar.shows("limits")
            Layout.preferredWidth: bar.widthOf("limits")
            Layout.minimumWidth: bar.widthOf("limits")
        }

        Text {
            id: model
            objectName: "modelName"
            visible: bar.shows("model")
            Layout.preferredWidth: bar.widthOf("model")
            Layout.minimumWidth: bar.widthOf("model")
            text: bar.content.modelText
            color: Theme.color("secondary")
            font.family: Theme.mono
            font.pixelSize: 10
            font.weight: Font.Medium
        }

        Item { objectName: "barSpacer"; Layout.fillWidth: true; Layout.minimumWidth: 4 }

        EarningsBadge {
            id: earnings
            hud: bar.hud
            visible: bar.shows("earnings")
            Layout.preferredWidth: bar.widthOf("earnings")
            Layout.minimumWidth: bar.widthOf("earnings")
        }

        Rectangle {
            visible: slot.visible
            Layout.preferredWidth: 1
            Layout.minimumWidth: 1
            Layout.preferredHeight: 24
            color: Theme.color("quaternary")
        }

        AdSlotView {
            id: slot
            hud: bar.hud
            visible: bar.shows("slot")
            Layout.preferredWidth: bar.widthOf("slot")
            Layout.minimumWidth: bar.widthOf("slot")
            clip: true
        }
    }
}
