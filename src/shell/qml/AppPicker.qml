import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

// Choosing applications to add: desktop entries by icon and name.
Rectangle {
    id: root
    required property QtObject model
    required property QtObject picker
    width: 560
    height: 480
    color: "#f4f4f6"
    focus: true

    Shortcut { sequence: "Esc"; onActivated: root.picker.cancel() }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        Text {
            text: "选择一个 .app，它会变成桌面上游动的图标。"
            font.pixelSize: 13
            color: Theme.label
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            PanelButton { objectName: "systemFolder"; text: "系统应用"; onClicked: root.model.folder = "/usr/share/applications" }
            PanelButton { objectName: "userFolder"; text: "我的应用"; onClicked: root.model.folder = root.model.userFolder() }
            PanelButton { objectName: "up"; text: "上一级"; onClicked: root.model.up() }
            TextField {
                id: path
                objectName: "path"
                Layout.fillWidth: true
                text: root.model.folder
                font.pixelSize: 12
                selectByMouse: true
                onAccepted: root.model.folder = text
            }
        }
        Text {
            visible: root.model.error !== ""
            text: root.model.error
            color: Theme.red
            font.pixelSize: 12
        }
        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 10
            color: "white"
            border.color: Qt.rgba(0, 0, 0, 0.1)
            GridView {
                id: grid
                objectName: "entries"
                anchors.fill: parent
                anchors.margins: 8
                clip: true
                cellWidth: 104
                cellHeight: 92
                model: root.model
                focus: true
                keyNavigationEnabled: true
                ScrollBar.vertical: ScrollBar {}
                Keys.onSpacePressed: root.model.toggle(currentIndex)
                Keys.onReturnPressed: if (root.model.selectedCount() > 0) root.picker.accept()
                delegate: Rectangle {
                    required property int index
                    required property string name
                    required property string iconSource
                    required property bool isFolder
                    required property bool selected
                    objectName: "entry-" + name
                    width: 100; height: 88
                    radius: 8
                    color: selected ? Qt.rgba(0.04, 0.48, 1, 0.18) : "transparent"
                    border.color: grid.currentIndex === index && grid.activeFocus ? Theme.blue : "transparent"
                    Column {
                        anchors.centerIn: parent
                        spacing: 4
                        Item {
                            width: 48; height: 48
                            anchors.horizontalCenter: parent.horizontalCenter
                            Image { anchors.fill: parent; visible: !isFolder; source: iconSource; sourceSize: Qt.size(96, 96); asynchronous: true }
                            Rectangle { anchors.fill: parent; anchors.margins: 6; visible: isFolder; radius: 6; color: "#7fb4ef"
                                        Rectangle { width: 16; height: 6; radius: 2; color: "#7fb4ef"; y: -4; x: 2 } }
                        }
                        Text {
                            width: 96
                            text: name
                            horizontalAlignment: Text.AlignHCenter
                            elide: Text.ElideRight
                            maximumLineCount: 2
                            wrapMode: Text.Wrap
                            font.pixelSize: 11
                            color: Theme.label
                        }
                    }
                    MouseArea {
                        anchors.fill: parent
                        onClicked: { grid.currentIndex = index; grid.forceActiveFocus(); if (!isFolder) root.model.toggle(index) }
                        onDoubleClicked: if (isFolder) root.model.toggle(index)
                    }
                }
            }
        }
        RowLayout {
            Layout.fillWidth: true
            Text {
                id: count
                text: "已选择 " + selection.count + " 个"
                font.pixelSize: 12
                color: Theme.secondary
                QtObject { id: selection; property int count: 0 }
                Connections { target: root.model; function onSelectionChanged() { selection.count = root.model.selectedCount() } }
            }
            Item { Layout.fillWidth: true }
            PanelButton { objectName: "cancel"; text: "取消"; onClicked: root.picker.cancel() }
            PanelButton { objectName: "confirm"; text: "加入"; enabled: selection.count > 0; onClicked: root.picker.accept() }
        }
    }
}
