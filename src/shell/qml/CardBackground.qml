import QtQuick
import "Theme.js" as Theme

// A rounded card: the window colour at a tint and a faint outline.
Rectangle {
    property real tintOpacity: 0.16
    property real strokeOpacity: 0.14
    property real strokeWidth: 0.5
    color: Qt.rgba(0.925, 0.925, 0.925, tintOpacity)
    border.color: Qt.rgba(0, 0, 0, strokeOpacity * 0.35)
    border.width: strokeWidth
    antialiasing: true
}
