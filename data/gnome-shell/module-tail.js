
export default class OrvellaExtension extends Extension {
    enable() {
        this._bridge = new OrvellaBridge();
        this._bridge.enable();
    }

    disable() {
        this._bridge?.disable();
        this._bridge = null;
    }
}
