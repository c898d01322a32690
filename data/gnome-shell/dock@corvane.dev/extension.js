// Reports every window to Corvane over D-Bus (dev.corvane.Corvane.Windows1) and keeps Corvane's
// HUD where Corvane asks. Frames are Mutter's stage coordinates: logical pixels on Wayland.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const SERVICE = 'dev.corvane.Corvane';
const PATH = '/dev/corvane/Corvane/Windows';
const IFACE = 'dev.corvane.Corvane.Windows1';
const PLACEMENT_TIMEOUT_MS = 30000; // Corvane answers within 20 s

const s = v => new GLib.Variant('s', String(v ?? ''));
const d = v => new GLib.Variant('d', v);

function frameOf(w) {
    const r = w.get_frame_rect();
    return {x: d(r.x), y: d(r.y), width: d(r.width), height: d(r.height)};
}

export default class CorvaneDock extends Extension {
    enable() {
        this._windows = new Map(); // MetaWindow → its signal ids
        this._placement = null;
        this._lastOther = null;
        this._cancel = new Gio.Cancellable();
        this._watch = Gio.bus_watch_name(Gio.BusType.SESSION, SERVICE, Gio.BusNameWatcherFlags.NONE,
            () => this._greet(), () => {});
        this._displaySignals = [
            global.display.connect('window-created', (_, w) => this._follow(w, true)),
            global.display.connect('notify::focus-window', () => this._focused()),
        ];
    }

    disable() {
        this._cancel.cancel();
        Gio.bus_unwatch_name(this._watch);
        this._displaySignals.forEach(id => global.display.disconnect(id));
        for (const [w, ids] of this._windows)
            ids.forEach(id => w.disconnect(id));
        this._windows = null;
        this._placement = null;
        this._lastOther = null;
    }

    _call(method, args, onReply = null, timeout = -1) {
        Gio.DBus.session.call(SERVICE, PATH, IFACE, method, args, null, Gio.DBusCallFlags.NONE, timeout,
            this._cancel, (connection, result) => {
                try {
                    const reply = connection.call_finish(result);
                    if (onReply)
                        onReply(reply.recursiveUnpack()[0]);
                } catch (e) {
                    if (!e.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED) && onReply)
                        onReply(null);
                }
            });
    }

    // Corvane appeared (or came back): it learns everything from the start.
    _greet() {
        const [width, height] = global.display.get_size();
        this._call('Hello', new GLib.Variant('(a{sv})', [{compositor: s('GNOME Shell'), screenWidth: d(width), screenHeight: d(height)}]));
        for (const actor of global.get_window_actors())
            this._follow(actor.meta_window, false);
        this._askPlacement(0);
    }

    _describe(w) {
        return Object.assign(frameOf(w), {
            id: s(w.get_id()), appId: s(w.get_wm_class()), pid: new GLib.Variant('x', w.get_pid()),
            title: s(w.get_title()), focused: new GLib.Variant('b', w.has_focus()),
            minimized: new GLib.Variant('b', w.minimized),
        });
    }

    _change(w, fields) {
        this._call('WindowChanged', new GLib.Variant('(a{sv})', [Object.assign({id: s(w.get_id())}, fields)]));
    }

    _follow(w, connect) {
        const type = w.get_window_type();
        if (type !== Meta.WindowType.NORMAL && type !== Meta.WindowType.DIALOG && type !== Meta.WindowType.UTILITY)
            return;
        this._call('WindowAdded', new GLib.Variant('(a{sv})', [this._describe(w)]));
        if (!connect && this._windows.has(w))
            return;
        const geometry = () => { this._change(w, frameOf(w)); this._keepHud(w); };
        this._windows.set(w, [
            w.connect('position-changed', geometry),
            w.connect('size-changed', geometry),
            w.connect('notify::title', () => this._change(w, {title: s(w.get_title())})),
            w.connect('notify::minimized', () => this._change(w, {minimized: new GLib.Variant('b', w.minimized)})),
            w.connect('unmanaged', () => {
                this._windows.get(w)?.forEach(id => w.disconnect(id));
                this._windows.delete(w);
                if (this._lastOther === w)
                    this._lastOther = null;
                this._call('WindowRemoved', new GLib.Variant('(s)', [String(w.get_id())]));
            }),
        ]);
        this._keepHud(w);
    }

    _isHud(w) {
        const p = this._placement;
        return p !== null && w.get_pid() === p.pid && w.get_title() === p.title;
    }

    _keepHud(w) {
        if (!this._isHud(w))
            return;
        const p = this._placement;
        if (!w.is_above())
            w.make_above();
        if (!w.is_on_all_workspaces())
            w.stick();
        const r = w.get_frame_rect();
        if (r.x !== p.x || r.y !== p.y || r.width !== p.width || r.height !== p.height)
            w.move_resize_frame(false, p.x, p.y, p.width, p.height);
    }

    _focused() {
        const w = global.display.focus_window;
        if (w && this._isHud(w) && this._lastOther) {
            this._lastOther.activate(global.get_current_time()); // the HUD is never to keep the focus
            return;
        }
        this._lastOther = w;
        this._call('Activated', new GLib.Variant('(s)', [w ? String(w.get_id()) : '']));
    }

    _askPlacement(seen) {
        this._call('NextPlacement', new GLib.Variant('(a{sv})', [{seen: new GLib.Variant('u', seen)}]), answer => {
            if (answer === null) // Corvane is gone; _greet starts again when it is back
                return;
            this._placement = answer.pid ? answer : null;
            if (this._placement !== null)
                global.get_window_actors().forEach(a => this._keepHud(a.meta_window));
            this._askPlacement(answer.generation);
        }, PLACEMENT_TIMEOUT_MS);
    }
}
