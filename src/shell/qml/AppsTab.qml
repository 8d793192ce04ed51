import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

ColumnLayout {
    id: tab
    required property QtObject adapter
    spacing: 10
    Layout.fillWidth: true

    Text {
        objectName: "appCount"
        text: "已添加 " + tab.adapter.appCount + " 个应用"
        font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label
    }
    Item {
        Layout.fillWidth: true
        Layout.preferredHeight: Math.min(172, grid.implicitHeight + 16)
        CardBackground {
            anchors.fill: parent
            radius: 13; tintOpacity: 0.13; strokeOpacity: 0.12; strokeWidth: 0.5
            color: Qt.rgba(1, 1, 1, 0.45)
        }
        Flickable {
            id: gridScroll
            objectName: "grid"
            anchors.fill: parent
            anchors.margins: 8
            anchors.topMargin: 8
            clip: true
            contentHeight: grid.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                objectName: "gridScrollBar"
                policy: tab.adapter.appCount > 12 ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }
            Grid {
                id: grid
                columns: 6
                columnSpacing: 8
                rowSpacing: 8
                topPadding: 5
                Repeater {
                    model: tab.adapter.apps
                    AppTile {
                        required property var modelData
                        app: modelData
                        onRemove: tab.adapter.removeApplication(modelData.path)
                    }
                }
            }
        }
    }
    PanelButton {
        objectName: "add"
        text: "添加应用"
        symbol: "plus"
        tip: "添加应用"
        Layout.fillWidth: true
        onClicked: tab.adapter.add()
    }
}
