import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts

ColumnLayout {
    id: tab
    required property QtObject adapter
    spacing: 16
    Layout.fillWidth: true

    SwitchRow {
        objectName: "stillWater"
        symbolOff: "drop"; symbolOn: "drop.fill"
        title: "静水模式"; subtitle: "鱼停止游动，安静待在角落"; tip: "游到边缘并逐渐静止"
        checked: tab.adapter.stillWaterModeEnabled
        onToggled: (on) => tab.adapter.stillWaterModeEnabled = on
    }
    SwitchRow {
        objectName: "unread"
        symbolOff: "bell"; symbolOn: "bell.badge.fill"
        title: "消息感应"; subtitle: "有新消息时鱼会主动靠近"; tip: "有新消息时会主动靠近"
        checked: tab.adapter.unreadBadgeMonitoringEnabled
        needsPermission: tab.adapter.unreadBadgeMonitoringEnabled && !tab.adapter.hasUnreadBadgeAccessibilityPermission
        onToggled: (on) => tab.adapter.unreadBadgeMonitoringEnabled = on
        onRequestPermission: tab.adapter.requestUnreadBadgePermission()
        onRefreshPermission: tab.adapter.refreshUnreadBadgePermission()
    }
    SwitchRow {
        objectName: "avoidance"
        symbolOff: "macwindow"; symbolOn: "macwindow"
        title: "窗口避让"; subtitle: "自动避开前台窗口"; tip: "主动绕开主窗口避免干扰"
        checked: tab.adapter.windowAvoidanceEnabled
        note: tab.adapter.windowAvoidanceNote
        needsPermission: tab.adapter.windowAvoidanceEnabled && !tab.adapter.hasWindowAvoidanceAccessibilityPermission
        onToggled: (on) => tab.adapter.windowAvoidanceEnabled = on
        onRequestPermission: tab.adapter.requestWindowAvoidancePermission()
        onRefreshPermission: tab.adapter.refreshWindowAvoidancePermission()
    }
}
