import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

ColumnLayout {
    id: tab
    required property QtObject adapter
    spacing: 16
    Layout.fillWidth: true

    PickerRow {
        pickerWidth: tab.adapter.metrics.shortcutPickerWidth
        objectName: "openModifier"
        title: "启动应用"; subtitle: "点击鱼打开对应 App"; menuTitle: "启动应用"
        labels: tab.adapter.openModifierLabels
        currentIndex: tab.adapter.fishOpenModifier
        onActivated: (i) => tab.adapter.fishOpenModifier = i
    }
    PickerRow {
        pickerWidth: tab.adapter.metrics.shortcutPickerWidth
        objectName: "attraction"
        title: "召唤鱼群"; subtitle: "游向点击位置"; menuTitle: "召唤快捷键"
        labels: tab.adapter.gestureLabels
        currentIndex: tab.adapter.attractionModifier
        onActivated: (i) => tab.adapter.attractionModifier = i
    }
    PickerRow {
        pickerWidth: tab.adapter.metrics.shortcutPickerWidth
        objectName: "dispersal"
        title: "驱散鱼群"; subtitle: "从点击处四散"; menuTitle: "驱散快捷键"
        labels: tab.adapter.gestureLabels
        currentIndex: tab.adapter.dispersalModifier
        onActivated: (i) => tab.adapter.dispersalModifier = i
    }
    Text {
        objectName: "gestureNote"
        visible: text !== ""
        text: tab.adapter.screenGestureNote
        font.pixelSize: 11; color: Theme.secondary
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    Item {
        objectName: "conflict"
        visible: tab.adapter.hasScreenGestureConflict
        Layout.fillWidth: true
        implicitHeight: warning.implicitHeight + 14
        CardBackground {
            anchors.fill: parent
            radius: 11; tintOpacity: 0.1; strokeOpacity: 0.14; strokeWidth: 0.5
        }
        RowLayout {
            id: warning
            anchors.fill: parent
            anchors.leftMargin: 9; anchors.rightMargin: 9; anchors.topMargin: 7; anchors.bottomMargin: 7
            spacing: 8
            Symbol { name: "exclamationmark.triangle.fill"; color: Theme.red; width: 13; height: 13 }
            Text { text: "召唤与驱散手势不能设置相同"; font.pixelSize: 12; font.weight: Font.Medium; color: Theme.red }
            Item { Layout.fillWidth: true }
        }
    }
}
