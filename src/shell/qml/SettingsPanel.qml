import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "Theme.js" as Theme

// The settings panel: header, tabs and each tab's controls. Everything it
// shows and does goes through `adapter`.
Item {
    id: panel
    required property QtObject adapter
    width: panel.adapter.metrics.width
    height: 460
    focus: true

    Shortcut { sequence: "Esc"; onActivated: panel.adapter.close() }

    // Glass: the blurred desktop (where the compositor blurs), a material
    // that keeps the text readable without blur, and the tint.
    Rectangle {
        id: glass
        objectName: "glass"
        anchors.fill: parent
        radius: 28
        color: Qt.rgba(0.957, 0.957, 0.965, 0.9)
        border.width: 0
        antialiasing: true
        Rectangle { anchors.fill: parent; radius: 28; color: Qt.rgba(0.925, 0.925, 0.925, 0.22) }
        // Dragging the background moves the window.
        DragHandler {
            target: null
            onActiveChanged: if (active) panel.Window.window.startSystemMove()
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: 31
        anchors.leftMargin: 22
        anchors.rightMargin: 22
        anchors.bottomMargin: 22
        spacing: 16

        // Header
        RowLayout {
            spacing: 11
            Layout.fillWidth: true
            Rectangle {
                width: 34; height: 34; radius: 9
                color: "transparent"
                clip: true
                Image { anchors.fill: parent; source: "qrc:/orvella/icons/orvella.svg"; sourceSize: Qt.size(68, 68); smooth: true }
            }
            ColumnLayout {
                spacing: 2
                Text { text: "Orvella"; font.pixelSize: 16; font.weight: Font.DemiBold; color: Theme.label }
                Text { objectName: "version"; text: panel.adapter.versionText; font.pixelSize: 11; font.weight: Font.Medium; color: Theme.secondary }
            }
            Item { Layout.fillWidth: true }
        }

        // Tabs
        TabBar {
            id: tabs
            objectName: "tabs"
            Layout.fillWidth: true
            Layout.preferredHeight: 28
            currentIndex: panel.adapter.selectedTab
            onCurrentIndexChanged: panel.adapter.selectedTab = currentIndex
            background: Rectangle { radius: 8; color: Qt.rgba(0, 0, 0, 0.06) }
            Repeater {
                model: panel.adapter.tabLabels
                TabButton {
                    required property string modelData
                    required property int index
                    id: tabButton
                    objectName: "tab" + index
                    text: modelData
                    height: 28
                    font.pixelSize: 12
                    contentItem: Text {
                        text: tabButton.text
                        font: tabButton.font
                        color: Theme.label
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        anchors.fill: parent
                        anchors.margins: 2
                        radius: 6
                        color: tabs.currentIndex === index ? "white" : "transparent"
                        border.color: parent.activeFocus ? Theme.blue : "transparent"
                    }
                }
            }
        }

        // Tab content
        Item {
            id: content
            objectName: "tabArea"
            Layout.fillWidth: true
            Layout.preferredHeight: panel.adapter.scrollAreaHeight + 28
            Layout.alignment: Qt.AlignTop
            // A tab change eases out: the area takes the new tab's height
            // and the new tab fades in.
            Behavior on Layout.preferredHeight {
                NumberAnimation { duration: panel.adapter.metrics.tabChangeDuration; easing.type: Easing.BezierSpline; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1] }
            }
            CardBackground {
                anchors.fill: parent
                radius: 18; tintOpacity: 0.16; strokeOpacity: 0.16; strokeWidth: 0.6
            }
            ScrollView {
                id: scroll
                anchors.fill: parent
                anchors.margins: 14
                clip: true
                contentWidth: availableWidth
                ScrollBar.vertical.policy: panel.adapter.selectedTab === 1 ? ScrollBar.AlwaysOff : ScrollBar.AsNeeded
                StackLayout {
                    id: stack
                    objectName: "tabContent"
                    width: scroll.availableWidth
                    currentIndex: panel.adapter.selectedTab
                    onCurrentIndexChanged: tabFade.restart()
                    NumberAnimation {
                        id: tabFade
                        target: stack; property: "opacity"; from: 0; to: 1
                        duration: panel.adapter.metrics.tabChangeDuration
                        easing.type: Easing.BezierSpline; easing.bezierCurve: [0, 0, 0.58, 1, 1, 1]
                    }
                    AppsTab { adapter: panel.adapter }
                    AppearanceTab { adapter: panel.adapter }
                    ControlsTab { adapter: panel.adapter }
                    SwitchesTab { adapter: panel.adapter }
                }
            }
        }
        Item { Layout.fillHeight: true }
    }

    // Close button, top-leading.
    AbstractButton {
        id: closeButton
        objectName: "close"
        x: 14; y: 13
        width: 13; height: 13
        hoverEnabled: true
        focusPolicy: Qt.StrongFocus
        ToolTip.visible: hovered
        ToolTip.text: "关闭设置"
        ToolTip.delay: 600
        onClicked: panel.adapter.close()
        Keys.onSpacePressed: panel.adapter.close()
        background: Rectangle {
            radius: 6.5
            color: Qt.rgba(1.0, 0.37, 0.32, 1)
            border.color: closeButton.activeFocus ? Theme.blue : Qt.rgba(0, 0, 0, 0.12)
            border.width: 0.5
        }
        contentItem: Symbol {
            name: "xmark"
            color: Qt.rgba(0, 0, 0, 0.55)
            lineWidth: 3.4
            opacity: closeButton.hovered ? 1 : 0
        }
    }
}
