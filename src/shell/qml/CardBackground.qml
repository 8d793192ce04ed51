import QtQuick
import "Theme.js" as Theme

// A rounded card: the window colour at its tint and the separator colour
// (itself a faint black) as its outline.
Rectangle {
    property real tintOpacity: 0.16
    property real strokeOpacity: 0.14
    property real strokeWidth: 0.5
    // Keyboard focus shows as a blue outline.
    property bool focusRing: false
    objectName: "card"
    color: Qt.rgba(0.925, 0.925, 0.925, tintOpacity)
    border.color: focusRing ? Theme.blue : Qt.rgba(0, 0, 0, strokeOpacity * 0.35)
    border.width: strokeWidth
    antialiasing: true
}
