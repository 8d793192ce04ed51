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
        Layout.preferredHeight: Math.min(tab.adapter.metrics.gridMaximumHeight, grid.implicitHeight)
        CardBackground {
            anchors.fill: parent
            radius: 13; tintOpacity: 0.13; strokeOpacity: 0.12; strokeWidth: 0.5
        }
        // The grid's padding lies inside the clipped area: the pills that
        // reach past a tile's corner show in the last column and row too.
        Flickable {
            id: gridScroll
            objectName: "grid"
            anchors.fill: parent
            clip: true
            contentHeight: grid.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {
                objectName: "gridScrollBar"
                policy: tab.adapter.appCount > tab.adapter.metrics.gridScrollIndicatorThreshold ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
            }
            Grid {
                id: grid
                objectName: "gridTiles"
                columns: tab.adapter.metrics.gridColumns
                columnSpacing: tab.adapter.metrics.gridSpacing
                rowSpacing: tab.adapter.metrics.gridSpacing
                padding: tab.adapter.metrics.gridPadding
                Repeater {
                    model: tab.adapter.apps
                    AppTile {
                        required property var modelData
                        app: modelData
                        width: tab.adapter.metrics.gridColumnWidth
                        height: tab.adapter.metrics.gridColumnWidth
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
