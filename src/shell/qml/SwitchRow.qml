import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

// A setting that is on or off: symbol, title and subtitle, and the switch;
// below it, while the setting lacks its permission, a permission row.
ColumnLayout {
    id: row
    property string symbolOff
    property string symbolOn
    property string title
    property string subtitle
    property string tip
    property bool checked
    property bool needsPermission: false
    // What this desktop withholds from the setting, if anything.
    property string note: ""
    signal toggled(bool on)
    signal requestPermission()
    signal refreshPermission()
    spacing: 8
    Layout.fillWidth: true

    Item {
        Layout.fillWidth: true
        implicitHeight: content.implicitHeight + 20
        CardBackground {
            anchors.fill: parent
            radius: 13; tintOpacity: 0.14; strokeOpacity: 0.12; strokeWidth: 0.5
        }
        RowLayout {
            id: content
            anchors.fill: parent
            anchors.margins: 10
            spacing: 10
            Symbol {
                name: row.checked ? row.symbolOn : row.symbolOff
                color: row.checked ? Theme.blue : Theme.secondary
                Layout.preferredWidth: 22
                Layout.preferredHeight: 16
                lineWidth: 2.2
            }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                Text { text: row.title; font.pixelSize: 13; font.weight: Font.DemiBold; color: Theme.label }
                Text { text: row.subtitle; font.pixelSize: 11; color: Theme.secondary
                       maximumLineCount: 2; wrapMode: Text.Wrap; elide: Text.ElideRight; Layout.fillWidth: true }
            }
            GlassSwitch {
                objectName: row.objectName + "Switch"
                isOn: row.checked
                tip: row.tip
                Accessible.name: row.title
                onClicked: row.toggled(!row.checked)
            }
        }
    }
    Text {
        objectName: row.objectName + "Note"
        visible: row.note !== ""
        text: row.note
        font.pixelSize: 11; color: Theme.secondary
        wrapMode: Text.Wrap
        Layout.fillWidth: true
        Layout.leftMargin: 10; Layout.rightMargin: 10
    }
    RowLayout {
        visible: row.needsPermission
        spacing: 8
        Layout.fillWidth: true
        PanelButton {
            text: "授权辅助功能"
            symbol: "checkmark.shield"
            Layout.fillWidth: true
            onClicked: row.requestPermission()
        }
        PanelButton {
            symbol: "arrow.clockwise"
            tip: "刷新授权状态"
            Layout.preferredWidth: 32
            onClicked: row.refreshPermission()
        }
    }
}
