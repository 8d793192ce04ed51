import QtQuick
import QtQuick.Controls.Basic
import "Theme.js" as Theme

// The panel's buttons: a label, maybe a symbol, on a small card.
AbstractButton {
    id: button
    property string symbol: ""
    property string tip: ""
    property real fontSize: 12
    padding: 0
    topPadding: 8; bottomPadding: 8; leftPadding: 10; rightPadding: 10
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    scale: down ? 0.97 : 1
    Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    ToolTip.visible: tip !== "" && hovered
    ToolTip.text: tip
    ToolTip.delay: 600
    Keys.onSpacePressed: clicked()

    background: CardBackground {
        radius: 11
        tintOpacity: button.down ? 0.22 : 0.16
        strokeOpacity: 0.14
        strokeWidth: 0.5
        focusRing: button.activeFocus
    }
    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: row.implicitHeight
        Row {
            id: row
            anchors.centerIn: parent
            spacing: 5
            Symbol { name: button.symbol; visible: button.symbol !== ""; color: Theme.label
                     width: button.fontSize + 2; height: width; anchors.verticalCenter: parent.verticalCenter }
            Text { text: button.text; visible: button.text !== ""; color: Theme.label
                   font.pixelSize: button.fontSize; font.weight: Font.DemiBold; anchors.verticalCenter: parent.verticalCenter }
        }
    }
}
