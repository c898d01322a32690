import QtQuick
import Corvane.HUD
import "Theme.js" as Theme

// Output tokens per second over the recent history, and the current rate.
Item {
    id: spark
    required property HUDViewModel hud
    objectName: "sparkline"
    readonly property var points: spark.hud.bar.sparkPoints

    Canvas {
        id: canvas
        anchors.left: parent.left
        anchors.right: label.left
        anchors.rightMargin: 4
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        onWidthChanged: requestPaint()
        Connections { target: spark; function onPointsChanged() { canvas.requestPaint() } }
        onPaint: {
            const c = getContext("2d");
            c.reset();
            const p = spark.points;
            if (p.length < 2)
                return;
            // Inset by half the stroke so a flat line on an edge stays visible.
            const inset = 0.75, w = width, h = height - 2 * inset;
            c.strokeStyle = Theme.color("accent");
            c.lineWidth = 1.5;
            c.lineJoin = "round";
            c.beginPath();
            for (let i = 0; i < p.length; ++i) {
                const x = p[i].x * w, y = inset + p[i].y * h;
                if (i === 0) c.moveTo(x, y); else c.lineTo(x, y);
            }
            c.stroke();
        }
    }
    Text {
        id: label
        objectName: "tpsLabel"
        width: 44
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        horizontalAlignment: Text.AlignRight
        text: spark.hud.bar.tpsLabel
        color: Theme.color("secondary")
        font.family: Theme.mono
        font.pixelSize: 9
        font.weight: Font.Medium
    }
    Help { text: spark.hud.bar.sparkHelp }
}
