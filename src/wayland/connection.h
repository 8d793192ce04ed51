#pragma once
// Orvella's own connection to the Wayland compositor, beside Qt's: the
// fish, their pills and the water live on layer surfaces above every
// window, which Qt has no words for. Dispatched from the Qt event loop.

#include <QObject>
#include <QRect>
#include <QSocketNotifier>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_subcompositor;
struct wl_shm;
struct wl_seat;
struct wl_pointer;
struct wl_output;
struct wl_surface;
struct wl_region;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;
struct xdg_activation_v1;
struct zwlr_foreign_toplevel_manager_v1;

namespace orvella::wayland {

struct Output {
    std::uint32_t globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    QString name;          // "HEADLESS-1", "DP-2"
    QRect logical;         // in the compositor's layout, logical pixels
    int scale = 1;         // wl_output's integer scale
    // wl_output's own account, for compositors without xdg-output: the
    // current mode in pixels and the transform it is shown with.
    QSize modePixels;
    int transform = 0;
    bool ready = false;    // geometry known
    // A layer surface anchored to all four edges and never shown: the
    // compositor configures it with what panels leave of the output.
    wl_surface* probeSurface = nullptr;
    zwlr_layer_surface_v1* probe = nullptr;
    QRect usable;          // output-relative; empty until configured
};

// Pointer events on one of our surfaces, in the surface's logical pixels
// (top-left origin).
struct PointerEvent {
    enum class Type { enter, leave, motion, press, release } type = Type::motion;
    wl_surface* surface = nullptr;
    double x = 0, y = 0;
    std::uint32_t button = 0;
    std::uint32_t timeMs = 0;
    std::uint32_t serial = 0;  // the compositor's, for presses and releases
};

class ForeignToplevels;

class WaylandConnection : public QObject {
public:
    // Null without a compositor, or when it offers no layer shell.
    static std::unique_ptr<WaylandConnection> open(const char* name = nullptr);
    // Whether the session's compositor offers layer surfaces.
    static bool offersLayerShell();
    ~WaylandConnection() override;

    wl_display* display() const { return display_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_subcompositor* subcompositor() const { return subcompositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    wp_viewporter* viewporter() const { return viewporter_; }
    wp_fractional_scale_manager_v1* fractionalScale() const { return fractionalScale_; }
    int layerShellVersion() const { return layerShellVersion_; }
    const std::vector<std::unique_ptr<Output>>& outputs() const { return outputs_; }
    Output* outputFor(wl_output* output) const;

    // An empty input region: the surface lets every click through.
    wl_region* emptyRegion();
    // Sends what was asked; called after each turn of the event loop.
    void flush();
    // Waits for the compositor to answer everything sent so far.
    void roundtrip();
    // Whether what the compositor sends is read as it arrives. Off, it waits
    // for the next readArrived(): most of it is buffers the compositor has
    // done with, and reading each batch as it comes costs a wake-up.
    void setReadOnArrival(bool onArrival);
    // Reads and handles whatever has arrived, without waiting for more.
    void readArrived();
    // Whether the pointer is over one of our surfaces.
    bool pointerOnUs() const { return pointerSurface_ != nullptr; }
    wl_seat* seat() const { return seat_; }
    // Other clients' windows, where the compositor lists them to us; null
    // elsewhere.
    ForeignToplevels* toplevels() const { return toplevels_.get(); }
    // A token for a program launched now to take the focus with, asked
    // with the last left press on one of our surfaces; empty where the
    // compositor offers no activation or no press is known.
    std::string activationToken(const std::string& appId);
    // One of our surfaces is about to go: nothing may name it after.
    void surfaceDestroyed(wl_surface* surface);

    std::function<void()> onOutputsChanged;
    // Told before an output goes: nothing may keep it after this returns.
    std::function<void(Output*)> onOutputRemoved;
    std::function<void(const PointerEvent&)> onPointer;

    // Listener entry points (C callbacks forward here).
    void global(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version);
    void globalRemove(std::uint32_t name);
    void outputChanged(Output& output);
    // wl_output's account is done: without xdg-output it gives the size.
    void outputDone(Output& output);
    // A host covering the whole output was given this size: without
    // xdg-output, that is the output's logical size.
    void hostSized(Output& output, QSize size);
    void probeConfigured(Output& output, std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void seatCapabilities(std::uint32_t capabilities);
    void releasePointer();
    void pointerEvent(const PointerEvent& event);

private:
    explicit WaylandConnection(wl_display* display);
    void lost();
    void watchOutput(Output& output);
    void probe(Output& output);
    void outputsChangedSoon();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_subcompositor* subcompositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    int layerShellVersion_ = 0;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
    xdg_activation_v1* activation_ = nullptr;
    std::unique_ptr<ForeignToplevels> toplevels_;
    std::uint32_t pressSerial_ = 0;
    wl_surface* pressSurface_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool lost_ = false;
    bool changeQueued_ = false;
    wl_surface* pointerSurface_ = nullptr;
    double pointerX_ = 0, pointerY_ = 0;
};

}  // namespace orvella::wayland
