import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// Seven days of metered tokens (stacked input and output) and of estimated cost, each with its
// top value as a light scale. The token chart takes the height the titles, legend and cost chart
// leave.
Column {
    id: charts
    spacing: 4
    required property HUDViewModel hud
    readonly property var days: hud.dashboard.days
    // The scales stand in a gutter at the right, clear of the marks.
    readonly property real scaleGutter: 38
    readonly property real plotWidth: Math.max(0, width - scaleGutter)
    readonly property real slotWidth: days.length > 0 ? plotWidth / days.length : plotWidth
    readonly property real fixedHeight: tokensTitle.height + legend.height + costTitle.height + cost.height + 4 * spacing
    readonly property real chartHeight: Math.max(0, height - fixedHeight)

    component Title: Text { color: Theme.color("secondary"); font.pixelSize: 9; font.bold: true }
    component Swatch: Row {
        property color swatch
        property string label
        spacing: 3
        Rectangle { width: 7; height: 7; radius: 2; color: parent.swatch; anchors.verticalCenter: parent.verticalCenter }
        Text { text: parent.label; color: Theme.color("secondary"); font.pixelSize: 8 }
    }
    // The top value at the chart's top right, over a faint line.
    component Scale: Item {
        property string text
        anchors.left: parent.left
        anchors.right: parent.right
        Rectangle { width: charts.plotWidth; height: 1; color: Qt.rgba(0.33, 0.33, 0.37, 0.5) }
        Text {
            objectName: "chartScale"
            anchors.right: parent.right
            y: -4
            text: parent.text
            color: Theme.color("tertiary")
            font.family: Theme.mono
            font.pixelSize: 8
        }
    }

    Title { id: tokensTitle; text: "METERED TOKENS \u00b7 7 DAYS" }
    Row {
        id: legend
        spacing: 10
        Swatch { swatch: Qt.rgba(0.04, 0.52, 1.0, 0.65); label: "Input metered" }
        Swatch { swatch: Qt.rgba(0.19, 0.82, 0.35, 0.75); label: "Output" }
    }
    // Read ids of this file from inside a component (valid QML, unseen by Qt 6.4's qmllint).
    // qmllint disable unqualified
    Item {
        objectName: "tokenChart"
        width: charts.width
        height: charts.chartHeight
        Rectangle { anchors.bottom: bars.bottom; width: charts.plotWidth; height: 1; color: Theme.color("quaternary") }
        Scale { y: 0; text: charts.hud.dashboard.tokenScale }
        Row {
            id: bars
            width: charts.plotWidth
            height: parent.height - 11
            Repeater {
                model: charts.days
                delegate: Item {
                    required property var modelData
                    width: charts.slotWidth
                    height: bars.height
                    readonly property real scale: charts.hud.dashboard.maxDayTokens > 0 ? height / charts.hud.dashboard.maxDayTokens : 0
                    Rectangle {
                        id: input
                        anchors.bottom: parent.bottom
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: Math.max(4, Math.min(parent.width * 0.55, 28))
                        height: modelData.input * parent.scale
                        color: Qt.rgba(0.04, 0.52, 1.0, 0.65)
                    }
                    Rectangle {
                        anchors.bottom: input.top
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: input.width
                        height: modelData.output * parent.scale
                        color: Qt.rgba(0.19, 0.82, 0.35, 0.75)
                    }
                }
            }
        }
        Row {
            anchors.bottom: parent.bottom
            Repeater {
                model: charts.days
                delegate: Text {
                    required property var modelData
                    objectName: "weekdayLabel"
                    width: charts.slotWidth
                    horizontalAlignment: Text.AlignHCenter
                    text: modelData.label
                    color: Theme.color("tertiary")
                    font.pixelSize: 8
                }
            }
        }
    }
    // qmllint enable unqualified
    Title { id: costTitle; text: "COST \u00b7 7 DAYS (EST.)"; topPadding: 2 }
    Canvas {
        id: cost
        objectName: "costChart"
        width: charts.width
        height: 36
        onWidthChanged: requestPaint()
        Connections { target: charts; function onDaysChanged() { cost.requestPaint() } }
        Scale { y: 0; text: charts.hud.dashboard.costScale }
        onPaint: {
            const c = getContext("2d");
            c.reset();
            const d = charts.days, top = charts.hud.dashboard.maxDayCost;
            if (d.length === 0)
                return;
            const x = i => charts.slotWidth * (i + 0.5);
            const y = v => 1 + (height - 2) * (1 - (top > 0 ? v / top : 0));
            c.beginPath();
            c.moveTo(x(0), height);
            for (let i = 0; i < d.length; ++i) c.lineTo(x(i), y(d[i].cost));
            c.lineTo(x(d.length - 1), height);
            c.closePath();
            c.fillStyle = Qt.rgba(1.0, 0.62, 0.04, 0.12);
            c.fill();
            c.beginPath();
            for (let i = 0; i < d.length; ++i) { if (i === 0) c.moveTo(x(i), y(d[i].cost)); else c.lineTo(x(i), y(d[i].cost)); }
            c.strokeStyle = Theme.color("orange");
            c.lineWidth = 1.5;
            c.stroke();
        }
    }
}
