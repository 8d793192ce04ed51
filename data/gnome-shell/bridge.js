// What Orvella needs of GNOME Shell and no Wayland client is told: where the
// pointer is, which window has the focus, and left presses on the desktop
// background. The extension offers them on the session bus. Orvella
// subscribes, which answers the state at that moment (the windows listed
// too, with whose they are, so that opening an application can bring its
// window forward, which ActivateWindow does); from then on Report
// signals go to each subscriber alone, while it is on the bus. With no
// subscriber the pointer is not watched and nothing is sent.
//
// This file is the logic alone. The build wraps it twice: as a module for
// GNOME Shell 45 and newer, and in the older style for 43 and 44; each
// wrapper gives it Gio, GLib, Meta, Clutter, Shell and Main. It imports nothing
// else of the shell's: a module the shell drops (pointerWatcher.js went
// after 51.beta) would fail the whole extension.

const ORVELLA_BUS_NAME = 'org.orvella.GnomeShell';
const ORVELLA_OBJECT_PATH = '/org/orvella/GnomeShell';
const ORVELLA_INTERFACE = `
<node>
  <interface name="org.orvella.GnomeShell">
    <method name="Subscribe">
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="GetState">
      <arg type="s" direction="out" name="json"/>
    </method>
    <method name="ActivateWindow">
      <arg type="u" direction="in" name="id"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <signal name="Report">
      <arg type="s" name="json"/>
    </signal>
  </interface>
</node>`;
// Often enough for the school to follow the pointer: a move is reported at
// most this often, and a pointer at rest reports nothing.
const ORVELLA_POINTER_INTERVAL_MS = 33;

class OrvellaBridge {
    constructor() {
        this._exported = null;
        this._nameId = 0;
        this._focusId = 0;
        this._watched = null;
        this._windowIds = [];
        this._tracker = null;
        this._trackerId = 0;
        this._pointerTimeout = 0;
        this._eventId = 0;
        this._pointer = null;
        this._subscribers = new Map();  // unique bus name -> its name watch
        this._createdId = 0;
        this._listed = new Map();  // window -> its 'unmanaged' connection
        this._windowsTimeout = 0;
    }

    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(ORVELLA_INTERFACE, this);
        this._exported.export(Gio.DBus.session, ORVELLA_OBJECT_PATH);
        this._focusId = global.display.connect('notify::focus-window', () => this._watch(global.display.focus_window));
        this._watch(global.display.focus_window);
        // The name last: whoever sees it may ask for the state at once.
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, ORVELLA_BUS_NAME,
            Gio.BusNameOwnerFlags.REPLACE | Gio.BusNameOwnerFlags.ALLOW_REPLACEMENT, null, null);
    }

    disable() {
        if (this._nameId) Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        for (const name of [...this._subscribers.keys()])
            this._unsubscribe(name);
        if (this._focusId) global.display.disconnect(this._focusId);
        this._focusId = 0;
        this._unwatch();
        if (this._exported) this._exported.unexport();
        this._exported = null;
    }

    // Bus method: the state now; reports follow to the caller until it
    // leaves the bus.
    SubscribeAsync(params, invocation) {
        const name = invocation.get_sender();
        if (name && !this._subscribers.has(name)) {
            const watch = Gio.bus_watch_name_on_connection(Gio.DBus.session, name, Gio.BusNameWatcherFlags.NONE,
                null, () => this._unsubscribe(name));
            this._subscribers.set(name, watch);
            this._listen();
        }
        invocation.return_value(new GLib.Variant('(s)', [this.GetState()]));
    }

    // Bus method: the state now, for a look.
    GetState() {
        if (!this._trackerId) {
            const [x, y] = global.get_pointer();
            this._pointer = {x, y};
        }
        return JSON.stringify({pointer: this._pointer, window: this._describe(this._watched),
            windows: this._listWindows()});
    }

    // Bus method: focuses the window of that id, as a click on it would.
    ActivateWindow(id) {
        const window = this._normalWindows().find(w => w.get_stable_sequence() === id);
        if (!window)
            return false;
        Main.activateWindow(window);
        return true;
    }

    _normalWindows() {
        return global.get_window_actors().map(a => a.meta_window)
            .filter(w => w && !w.is_skip_taskbar() && w.get_window_type() === Meta.WindowType.NORMAL);
    }

    // Bottom of the stack first, the focused one last. The application is
    // the shell's, where a desktop file names it; its class otherwise.
    _listWindows() {
        const focus = global.display.focus_window;
        const windows = this._normalWindows();
        windows.sort((a, b) => (a === focus) - (b === focus));
        return windows.map(w => {
            const app = Shell.WindowTracker.get_default().get_window_app(w);
            const id = app && app.get_app_info() ? (app.get_id() || '') : '';
            return {
                id: w.get_stable_sequence(),
                app: id.replace(/\.desktop$/, ''),
                instance: w.get_wm_class_instance() || '',
                class: w.get_wm_class() || '',
                pid: w.get_pid(),
            };
        });
    }

    // Windows come and go in bursts: one report once a burst is over.
    _windowsChanged() {
        if (this._windowsTimeout || this._subscribers.size === 0)
            return;
        this._windowsTimeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, 50, () => {
            this._windowsTimeout = 0;
            this._send({kind: 'windows', windows: this._listWindows()});
            return GLib.SOURCE_REMOVE;
        });
    }

    _track(window) {
        if (this._listed.has(window))
            return;
        this._listed.set(window, window.connect('unmanaged', () => {
            this._listed.delete(window);
            this._windowsChanged();
        }));
    }

    _unsubscribe(name) {
        const watch = this._subscribers.get(name);
        if (watch === undefined)
            return;
        Gio.bus_unwatch_name(watch);
        this._subscribers.delete(name);
        if (this._subscribers.size === 0)
            this._stopListening();
    }

    // The pointer and presses are followed only while someone listens.
    _listen() {
        if (this._trackerId)
            return;
        const [x, y] = global.get_pointer();
        this._pointer = {x, y};
        // The cursor tracker says when the pointer has moved; where it is
        // is read once the interval is over, so a fast move costs one report
        // an interval. Shell 44 and newer reach it through the backend.
        this._tracker = global.backend?.get_cursor_tracker?.() ?? Meta.CursorTracker.get_for_display(global.display);
        this._trackerId = this._tracker.connect('position-invalidated', () => this._pointerInvalidated());
        this._eventId = global.stage.connect('captured-event', (actor, event) => this._onEvent(event));
        this._createdId = global.display.connect('window-created', (display, window) => {
            this._track(window);
            this._windowsChanged();
        });
        for (const window of this._normalWindows())
            this._track(window);
    }

    _stopListening() {
        if (this._eventId)
            global.stage.disconnect(this._eventId);
        this._eventId = 0;
        if (this._trackerId)
            this._tracker.disconnect(this._trackerId);
        this._trackerId = 0;
        this._tracker = null;
        if (this._pointerTimeout)
            GLib.source_remove(this._pointerTimeout);
        this._pointerTimeout = 0;
        if (this._createdId)
            global.display.disconnect(this._createdId);
        this._createdId = 0;
        for (const [window, id] of this._listed)
            window.disconnect(id);
        this._listed.clear();
        if (this._windowsTimeout)
            GLib.source_remove(this._windowsTimeout);
        this._windowsTimeout = 0;
    }

    _pointerInvalidated() {
        if (this._pointerTimeout)
            return;
        this._pointerTimeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, ORVELLA_POINTER_INTERVAL_MS, () => {
            this._pointerTimeout = 0;
            const [x, y] = global.get_pointer();
            if (!this._pointer || this._pointer.x !== x || this._pointer.y !== y)
                this._pointerMoved(x, y);
            return GLib.SOURCE_REMOVE;
        });
    }

    _send(report) {
        if (!this._exported || this._subscribers.size === 0)
            return;
        const body = new GLib.Variant('(s)', [JSON.stringify(report)]);
        for (const name of this._subscribers.keys()) {
            try {
                Gio.DBus.session.emit_signal(name, ORVELLA_OBJECT_PATH, 'org.orvella.GnomeShell', 'Report', body);
            } catch (e) {
                // Gone between its leaving and the watch saying so.
            }
        }
    }

    _pointerMoved(x, y) {
        this._pointer = {x, y};
        this._send({kind: 'pointer', x, y});
    }

    // No title: titles can say what the user is reading, and Orvella needs
    // the frame and the owner only.
    _describe(window) {
        if (!window)
            return null;
        const frame = window.get_frame_rect();
        return {
            x: frame.x, y: frame.y, width: frame.width, height: frame.height,
            pid: window.get_pid(),
            class: window.get_wm_class() || '',
        };
    }

    _reportWindow() {
        this._send(Object.assign({kind: 'window'}, this._describe(this._watched) || {}));
    }

    _unwatch() {
        for (const id of this._windowIds)
            this._watched.disconnect(id);
        this._windowIds = [];
        this._watched = null;
    }

    _watch(window) {
        if (this._watched)
            this._unwatch();
        this._watched = window || null;
        if (this._watched) {
            this._windowIds = ['position-changed', 'size-changed'].map(
                signal => this._watched.connect(signal, () => this._reportWindow()));
            this._windowIds.push(this._watched.connect('unmanaged', () => {
                this._unwatch();
                this._reportWindow();
            }));
        }
        this._reportWindow();
        // A new focus changes which window is listed last.
        this._windowsChanged();
    }

    // The desktop is the background and the bare stage. Windows, the top
    // bar, panels, menus and the dash are not; nor is a press whose actor
    // the shell does not say.
    _isBackground(actor) {
        if (!actor)
            return false;
        if (actor === global.stage || actor === global.window_group)
            return true;
        for (let a = actor; a; a = a.get_parent()) {
            if (a instanceof Meta.BackgroundActor || a === Main.layoutManager._backgroundGroup)
                return true;
        }
        return false;
    }

    _onEvent(event) {
        if (event.type() !== Clutter.EventType.BUTTON_PRESS || event.get_button() !== 1)
            return Clutter.EVENT_PROPAGATE;
        if (Main.overview.visible || Main.modalCount > 0)
            return Clutter.EVENT_PROPAGATE;
        // Shell 45 moved the event's actor to the stage; its events still
        // have get_source, which answers null for a press.
        const actor = typeof global.stage.get_event_actor === 'function'
            ? global.stage.get_event_actor(event) : event.get_source();
        if (!this._isBackground(actor))
            return Clutter.EVENT_PROPAGATE;
        const [x, y] = event.get_coords();
        const state = event.get_state();
        const has = mask => (state & mask) !== 0;
        this._send({
            kind: 'press', x, y,
            shift: has(Clutter.ModifierType.SHIFT_MASK),
            control: has(Clutter.ModifierType.CONTROL_MASK),
            alt: has(Clutter.ModifierType.MOD1_MASK),
            super: has(Clutter.ModifierType.SUPER_MASK) || has(Clutter.ModifierType.MOD4_MASK),
        });
        return Clutter.EVENT_PROPAGATE;
    }
}
