import QtQuick

// Drawn vector symbols, named after the icons the HUD uses.
Canvas {
    id: symbol
    property string name
    property color color: "white"
    property real size: 10
    width: size
    height: size
    onNameChanged: requestPaint()
    onColorChanged: requestPaint()

    onPaint: {
        const c = getContext("2d");
        const w = width, h = height;
        c.reset();
        c.strokeStyle = color;
        c.fillStyle = color;
        c.lineWidth = Math.max(1.2, w / 7);
        c.lineCap = "round";
        c.lineJoin = "round";
        const disc = function() { c.beginPath(); c.arc(w / 2, h / 2, w / 2, 0, Math.PI * 2); c.fill(); };
        switch (name) {
        case "chevron.down":
            c.beginPath(); c.moveTo(w * 0.15, h * 0.35); c.lineTo(w * 0.5, h * 0.7); c.lineTo(w * 0.85, h * 0.35); c.stroke();
            break;
        case "chevron.up":
            c.beginPath(); c.moveTo(w * 0.15, h * 0.65); c.lineTo(w * 0.5, h * 0.3); c.lineTo(w * 0.85, h * 0.65); c.stroke();
            break;
        case "sum":
            c.beginPath(); c.moveTo(w * 0.8, h * 0.15); c.lineTo(w * 0.2, h * 0.15); c.lineTo(w * 0.55, h * 0.5);
            c.lineTo(w * 0.2, h * 0.85); c.lineTo(w * 0.8, h * 0.85); c.stroke();
            break;
        case "scope":
            c.beginPath(); c.arc(w / 2, h / 2, w * 0.36, 0, Math.PI * 2); c.stroke();
            c.beginPath(); c.arc(w / 2, h / 2, w * 0.12, 0, Math.PI * 2); c.fill();
            break;
        case "pin.fill":
            c.beginPath(); c.arc(w / 2, h * 0.3, w * 0.26, 0, Math.PI * 2); c.fill();
            c.beginPath(); c.moveTo(w / 2, h * 0.5); c.lineTo(w / 2, h * 0.95); c.stroke();
            break;
        case "checkmark":
            c.beginPath(); c.moveTo(w * 0.15, h * 0.55); c.lineTo(w * 0.4, h * 0.8); c.lineTo(w * 0.85, h * 0.2); c.stroke();
            break;
        case "checkmark.circle.fill":
            disc(); c.strokeStyle = "#1c1c1e"; c.lineWidth = w / 8;
            c.beginPath(); c.moveTo(w * 0.28, h * 0.52); c.lineTo(w * 0.44, h * 0.68); c.lineTo(w * 0.72, h * 0.34); c.stroke();
            break;
        case "xmark.circle.fill":
            disc(); c.strokeStyle = "#1c1c1e"; c.lineWidth = w / 8;
            c.beginPath(); c.moveTo(w * 0.33, h * 0.33); c.lineTo(w * 0.67, h * 0.67);
            c.moveTo(w * 0.67, h * 0.33); c.lineTo(w * 0.33, h * 0.67); c.stroke();
            break;
        case "dollarsign.circle.fill":
            disc(); c.fillStyle = "#1c1c1e";
            c.font = "bold " + Math.round(h * 0.78) + "px sans-serif";
            c.textAlign = "center"; c.textBaseline = "middle";
            c.fillText("$", w / 2, h * 0.54);
            break;
        case "accessibility":
            c.beginPath(); c.arc(w / 2, h / 2, w / 2 - c.lineWidth / 2, 0, Math.PI * 2); c.stroke();
            c.beginPath(); c.arc(w / 2, h * 0.28, w * 0.08, 0, Math.PI * 2); c.fill();
            c.lineWidth = w / 10;
            c.beginPath(); c.moveTo(w * 0.28, h * 0.42); c.lineTo(w * 0.72, h * 0.42);
            c.moveTo(w / 2, h * 0.42); c.lineTo(w / 2, h * 0.6);
            c.lineTo(w * 0.36, h * 0.78); c.moveTo(w / 2, h * 0.6); c.lineTo(w * 0.64, h * 0.78); c.stroke();
            break;
        case "bolt":
        case "bolt.fill":
            c.beginPath(); c.moveTo(w * 0.58, 0); c.lineTo(w * 0.2, h * 0.56); c.lineTo(w * 0.48, h * 0.56);
            c.lineTo(w * 0.38, h); c.lineTo(w * 0.8, h * 0.4); c.lineTo(w * 0.52, h * 0.4); c.closePath(); c.fill();
            break;
        case "sparkles":
            c.beginPath(); c.moveTo(w * 0.4, 0); c.quadraticCurveTo(w * 0.4, h * 0.4, w * 0.8, h * 0.4);
            c.quadraticCurveTo(w * 0.4, h * 0.4, w * 0.4, h * 0.8); c.quadraticCurveTo(w * 0.4, h * 0.4, 0, h * 0.4);
            c.quadraticCurveTo(w * 0.4, h * 0.4, w * 0.4, 0); c.fill();
            c.beginPath(); c.arc(w * 0.82, h * 0.82, w * 0.14, 0, Math.PI * 2); c.fill();
            break;
        case "textformat":
            c.font = "bold " + Math.round(h * 0.8) + "px sans-serif";
            c.textAlign = "center"; c.textBaseline = "middle";
            c.fillText("Aa", w / 2, h * 0.55);
            break;
        case "checkmark.seal":
            c.lineWidth = Math.max(1, w / 10);
            c.beginPath();
            for (let i = 0; i <= 16; ++i) {
                const r = (i % 2 === 0 ? 0.48 : 0.38) * w, a = Math.PI * i / 8;
                c.lineTo(w / 2 + r * Math.cos(a), h / 2 + r * Math.sin(a));
            }
            c.stroke();
            c.beginPath(); c.moveTo(w * 0.32, h * 0.52); c.lineTo(w * 0.45, h * 0.65); c.lineTo(w * 0.68, h * 0.36); c.stroke();
            break;
        case "progress.arc": // the waiting spinner, turned by its user
            c.beginPath(); c.arc(w / 2, h / 2, w / 2 - c.lineWidth / 2, 0, Math.PI * 1.5); c.stroke();
            break;
        default: // a neutral mark for names this set does not draw, so no creative shows a gap
            c.lineWidth = Math.max(1, w / 10);
            c.beginPath(); c.arc(w / 2, h / 2, w * 0.42, 0, Math.PI * 2); c.stroke();
            c.beginPath(); c.arc(w / 2, h / 2, w * 0.14, 0, Math.PI * 2); c.fill();
            break;
        }
    }
}
