import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

ColumnLayout {
    id: tab
    required property QtObject adapter
    spacing: 16
    Layout.fillWidth: true

    ValueRow {
        objectName: "opacity"
        title: "鱼身透明度"
        subtitle: "数值越高鱼越透明"
        valueText: tab.adapter.opacityLabel
        from: 0.1; to: 0.9
        value: tab.adapter.transparency
        onMoved: (v) => tab.adapter.transparency = v
    }
    ValueRow {
        objectName: "speed"
        title: "游动速度"
        subtitle: "影响所有鱼的移动节奏"
        valueText: tab.adapter.speedLabel
        from: 0.3; to: 2.4
        value: tab.adapter.swimSpeed
        onMoved: (v) => tab.adapter.swimSpeed = v
    }
    RowLayout {
        Layout.fillWidth: true
        ColumnLayout {
            spacing: 2
            Text { text: "鱼的大小"; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label }
            Text { text: "随打开次数自然变大"; font.pixelSize: 11; color: Theme.secondary }
        }
        Item { Layout.fillWidth: true }
        PanelButton {
            objectName: "reset"
            text: "重置"
            tip: "清空打开次数，恢复初始大小"
            Layout.preferredWidth: 54
            onClicked: tab.adapter.resetFishSizes()
        }
    }
}
