import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

// A titled choice from a menu, `pickerWidth` wide at the trailing edge.
RowLayout {
    id: row
    property string title
    property string subtitle
    property string menuTitle
    property var labels
    property int currentIndex
    property real pickerWidth
    signal activated(int index)
    Layout.fillWidth: true
    ColumnLayout {
        spacing: 2
        Layout.alignment: Qt.AlignTop
        Text { text: row.title; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label }
        Text { text: row.subtitle; font.pixelSize: 11; color: Theme.secondary }
    }
    Item { Layout.fillWidth: true }
    ComboBox {
        objectName: row.objectName + "Menu"
        Accessible.name: row.menuTitle
        Layout.preferredWidth: row.pickerWidth
        Layout.alignment: Qt.AlignTop | Qt.AlignRight
        model: row.labels
        currentIndex: row.currentIndex
        font.pixelSize: 12
        onActivated: (index) => {
            row.activated(index)
            currentIndex = Qt.binding(function() { return row.currentIndex })
        }
    }
}
