import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

// A titled value with a slider under it.
ColumnLayout {
    id: row
    property string title
    property string subtitle
    property string valueText
    property alias from: slider.from
    property alias to: slider.to
    property real value
    signal moved(real value)
    spacing: 8
    Layout.fillWidth: true
    RowLayout {
        Layout.fillWidth: true
        ColumnLayout {
            spacing: 2
            Text { text: row.title; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label }
            Text { text: row.subtitle; font.pixelSize: 11; color: Theme.secondary }
        }
        Item { Layout.fillWidth: true }
        Text {
            text: row.valueText
            font.pixelSize: 13; font.weight: Font.Medium; color: Theme.secondary
            Layout.alignment: Qt.AlignTop
        }
    }
    Slider {
        id: slider
        objectName: "slider"
        Layout.fillWidth: true
        live: true
        value: row.value
        onMoved: {
            row.moved(value)
            value = Qt.binding(function() { return row.value })
        }
        background: Rectangle {
            x: slider.leftPadding
            y: slider.topPadding + slider.availableHeight / 2 - height / 2
            width: slider.availableWidth; height: 4; radius: 2
            color: Qt.rgba(0, 0, 0, 0.12)
            Rectangle { width: slider.visualPosition * parent.width; height: parent.height; radius: 2; color: Theme.blue }
        }
        handle: Rectangle {
            x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
            y: slider.topPadding + slider.availableHeight / 2 - height / 2
            width: 18; height: 18; radius: 9
            color: "white"
            border.color: slider.activeFocus ? Theme.blue : Qt.rgba(0, 0, 0, 0.18)
            border.width: slider.activeFocus ? 2 : 1
        }
    }
}
