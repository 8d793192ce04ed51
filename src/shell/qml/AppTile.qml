import QtQuick
import QtQuick.Controls.Basic
import "Theme.js" as Theme

// One application of the grid: its icon, its unread pill, and a remove
// button that shows while the pointer is over the tile.
Item {
    id: tile
    property var app
    objectName: "tile-" + app.name
    signal remove()
    width: 46; height: 46
    property bool hovering: hover.hovered

    HoverHandler { id: hover }
    ToolTip.visible: hover.hovered && !removeButton.hovered
    ToolTip.text: app.name + "：悬浮后点击右上角 × 可移除"
    ToolTip.delay: 700

    CardBackground {
        x: 0; y: 0; width: 38; height: 38
        radius: 10; tintOpacity: 0.16; strokeOpacity: 0.1; strokeWidth: 0.5
        Image {
            x: 3; y: 3; width: 32; height: 32
            source: tile.app.icon
            sourceSize: Qt.size(64, 64)
            smooth: true
            fillMode: Image.PreserveAspectFit
        }
    }

    // The unread pill, offset (5, -5) from the top-right corner.
    Rectangle {
        id: pill
        objectName: "pill-" + tile.app.name
        visible: tile.app.unread >= 1
        opacity: tile.hovering ? 0 : 1
        Behavior on opacity { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
        height: 17
        width: Math.max(17, pillText.implicitWidth + 2 * tile.app.unreadPadding)
        radius: height / 2
        color: Theme.red
        border.color: Qt.rgba(1, 1, 1, 0.82)
        border.width: 1
        x: tile.width - width + 5
        y: -5
        Text {
            id: pillText
            anchors.centerIn: parent
            text: tile.app.unreadLabel
            color: "white"
            font.pixelSize: 9
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 7
        }
    }

    // Remove: visible and clickable only while hovering.
    AbstractButton {
        id: removeButton
        objectName: "remove-" + tile.app.name
        width: 15; height: 15
        x: tile.width - width; y: 0
        enabled: tile.hovering
        opacity: tile.hovering ? 1 : 0
        scale: tile.hovering ? 1 : 0.82
        Behavior on opacity { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
        Behavior on scale { NumberAnimation { duration: 140; easing.type: Easing.OutQuad } }
        hoverEnabled: true
        ToolTip.visible: hovered
        ToolTip.text: "移除 " + tile.app.name
        ToolTip.delay: 500
        background: Rectangle {
            radius: 7.5
            color: Qt.rgba(1, 0.23, 0.19, 0.92)
            border.color: Qt.rgba(1, 1, 1, 0.72)
            border.width: 1
        }
        contentItem: Symbol { name: "xmark"; color: "white"; lineWidth: 3.2 }
        onClicked: tile.remove()
    }

    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: menu.popup()
    }
    Menu {
        id: menu
        MenuItem { text: tile.app.name; enabled: false }
        MenuItem { text: "移除"; onTriggered: tile.remove() }
    }
}
