import QtQuick

// A small monochrome symbol drawn from path data in a 24-point box.
Canvas {
    id: symbol
    property string name: ""
    property color color: "black"
    property real lineWidth: 2
    implicitWidth: 14
    implicitHeight: 14

    readonly property var shapes: ({
        "drop": { d: "M12 2.5 C12 2.5 5.5 10 5.5 14.5 A6.5 6.5 0 0 0 18.5 14.5 C18.5 10 12 2.5 12 2.5 Z", fill: false },
        "drop.fill": { d: "M12 2.5 C12 2.5 5.5 10 5.5 14.5 A6.5 6.5 0 0 0 18.5 14.5 C18.5 10 12 2.5 12 2.5 Z", fill: true },
        "bell": { d: "M12 3 C8.6 3 6.5 5.7 6.5 9 L6.5 13.5 L4.5 16.5 L19.5 16.5 L17.5 13.5 L17.5 9 C17.5 5.7 15.4 3 12 3 Z M10 18.5 L14 18.5", fill: false },
        "bell.badge.fill": { d: "M12 3 C8.6 3 6.5 5.7 6.5 9 L6.5 13.5 L4.5 16.5 L19.5 16.5 L17.5 13.5 L17.5 9 C17.5 5.7 15.4 3 12 3 Z M10 18 L14 18 L14 19 A2 2 0 0 1 10 19 Z M19.5 1 A3 3 0 1 1 19.49 1 Z", fill: true },
        "macwindow": { d: "M3.5 5 L20.5 5 L20.5 19 L3.5 19 Z M3.5 9 L20.5 9", fill: false },
        "xmark": { d: "M6.5 6.5 L17.5 17.5 M17.5 6.5 L6.5 17.5", fill: false },
        "plus": { d: "M12 5 L12 19 M5 12 L19 12", fill: false },
        "exclamationmark.triangle.fill": { d: "M12 2.5 L22.5 20.5 L1.5 20.5 Z", fill: true,
                                           cut: "M10.9 8.5 L13.1 8.5 L12.7 14.5 L11.3 14.5 Z M10.9 16.2 L13.1 16.2 L13.1 18.4 L10.9 18.4 Z" },
        "checkmark.shield": { d: "M12 2.5 L19.5 5.3 L19.5 11 C19.5 15.8 16.4 19.6 12 21.5 C7.6 19.6 4.5 15.8 4.5 11 L4.5 5.3 Z M8.5 11.8 L11 14.3 L15.5 9.3", fill: false },
        "arrow.clockwise": { d: "M18.5 12.5 A6.5 6.5 0 1 1 16.6 7.6 M17.5 3.5 L17.5 8 L13 8", fill: false }
    })

    onNameChanged: requestPaint()
    onColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        var ctx = getContext("2d");
        ctx.reset();
        var shape = shapes[name];
        if (!shape) return;
        var s = Math.min(width, height) / 24;
        ctx.save();
        ctx.translate((width - 24 * s) / 2, (height - 24 * s) / 2);
        ctx.scale(s, s);
        ctx.fillStyle = color;
        ctx.strokeStyle = color;
        ctx.lineWidth = lineWidth;
        ctx.lineCap = "round";
        ctx.lineJoin = "round";
        ctx.path = shape.d;
        if (shape.fill) ctx.fill(); else ctx.stroke();
        if (shape.cut) {
            ctx.globalCompositeOperation = "destination-out";
            ctx.path = shape.cut;
            ctx.fill();
        }
        ctx.restore();
    }
}
