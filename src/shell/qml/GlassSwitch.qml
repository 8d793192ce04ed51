import QtQuick
import QtQuick.Controls.Basic
import "Theme.js" as Theme

// The panel's switch: a rounded track and a white knob.
AbstractButton {
    id: control
    property string tip: ""
    // Shows the setting; a click asks for the change, the setting answers.
    property bool isOn: false
    implicitWidth: 48
    implicitHeight: 28
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    ToolTip.visible: tip !== "" && hovered
    ToolTip.text: tip
    ToolTip.delay: 600
    background: Rectangle {
        radius: 16
        color: control.isOn ? Theme.blue : Qt.rgba(0.56, 0.56, 0.58, 0.28)
        border.color: control.activeFocus ? Qt.rgba(0.04, 0.48, 1, 0.5) : "transparent"
        border.width: 2
        Behavior on color { ColorAnimation { duration: 180; easing.type: Easing.OutQuad } }
    }
    contentItem: Item {
        Rectangle {
            id: shadow
            x: knob.x; y: knob.y + 2
            width: 22; height: 22; radius: 11
            color: Qt.rgba(0, 0, 0, 0.12)
        }
        Rectangle {
            id: knob
            width: 22; height: 22; radius: 11
            color: "white"
            y: 3
            x: control.isOn ? control.width - width - 3 : 3
            Behavior on x { NumberAnimation { duration: 180; easing.type: Easing.OutQuad } }
        }
    }
    padding: 0
}
