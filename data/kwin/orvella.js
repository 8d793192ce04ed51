// Orvella's KWin script. KWin tells Wayland clients neither where the pointer
// is nor which window has the focus; this script tells Orvella both, and
// which windows are open and whose they are, over the session bus, and
// offers two global shortcuts that call and scatter the school. It works with the scripting names of KWin 5.27 and of 6.

var service = "org.orvella.Orvella";
var path = "/org/orvella/Orvella/KWin";
var iface = "org.orvella.KWinReport";

function activeWindow() {
    if (workspace.activeWindow !== undefined) return workspace.activeWindow;  // 6.x
    return workspace.activeClient;                                             // 5.27
}

function send(report) {
    callDBus(service, path, iface, "Report", JSON.stringify(report));
}

function reportWindow() {
    var w = activeWindow();
    if (!w) {
        send({ kind: "window" });
        return;
    }
    var g = w.frameGeometry;
    send({ kind: "window", x: g.x, y: g.y, width: g.width, height: g.height, pid: w.pid,
           class: String(w.resourceClass), title: String(w.caption) });
}

function windowList() {
    if (workspace.windowList !== undefined) return workspace.windowList();  // 6.x
    return workspace.clientList();                                         // 5.27
}

// The normal windows, the focused one last; one going away is left out.
function reportWindows(gone) {
    var active = activeWindow();
    var list = windowList();
    var out = [];
    var last = null;
    for (var i = 0; i < list.length; i++) {
        var w = list[i];
        if (w === gone || !w.normalWindow || w.skipTaskbar) continue;
        var entry = { id: String(w.internalId), app: String(w.desktopFileName || ""),
                      instance: String(w.resourceName), class: String(w.resourceClass), pid: w.pid };
        if (w === active) last = entry;
        else out.push(entry);
    }
    if (last) out.push(last);
    send({ kind: "windows", windows: out });
}

function reportPointer() {
    var p = workspace.cursorPos;
    send({ kind: "pointer", x: p.x, y: p.y });
}

var watched = null;
function watch(w) {
    if (watched && watched.frameGeometryChanged) watched.frameGeometryChanged.disconnect(reportWindow);
    watched = w;
    if (watched && watched.frameGeometryChanged) watched.frameGeometryChanged.connect(reportWindow);
    reportWindow();
    reportWindows(null);
}

if (workspace.windowActivated !== undefined) workspace.windowActivated.connect(watch);  // 6.x
else workspace.clientActivated.connect(watch);                                          // 5.27
workspace.cursorPosChanged.connect(reportPointer);
if (workspace.windowAdded !== undefined) {                                     // 6.x
    workspace.windowAdded.connect(function () { reportWindows(null); });
    workspace.windowRemoved.connect(reportWindows);
} else {                                                                       // 5.27
    workspace.clientAdded.connect(function () { reportWindows(null); });
    workspace.clientRemoved.connect(reportWindows);
}

registerShortcut("Orvella: call the school", "Orvella: call the school", "", function () {
    callDBus(service, "/org/orvella/Orvella", "org.orvella.Orvella", "Attract");
});
registerShortcut("Orvella: scatter the school", "Orvella: scatter the school", "", function () {
    callDBus(service, "/org/orvella/Orvella", "org.orvella.Orvella", "Disperse");
});

send({ kind: "hello" });
watch(activeWindow());
reportPointer();
