// A native Wayland window for the end-to-end tests, standing in for an
// application Orvella launches: it records the activation token it was
// started with and, as toolkits do, asks for the focus with it once shown.
//   orvella-test-window APP_ID TOKEN_FILE
// TOKEN_FILE gets the token (empty when there was none) once the window is
// mapped, and TOKEN_FILE.focused "1" or "0" each time the compositor says
// whether the window has the focus; the window stays until the process is
// ended.

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {
wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* wmBase = nullptr;
xdg_activation_v1* activation = nullptr;
bool configured = false;
bool activated = false;
std::string focusFile;

void writeAtomically(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    if (FILE* f = std::fopen(part.c_str(), "w")) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
        std::rename(part.c_str(), path.c_str());
    }
}

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        activation = static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener{.global = global, .global_remove = globalRemove};

const xdg_wm_base_listener wmBaseListener{
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};
const xdg_surface_listener surfaceListener{.configure = [](void*, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    configured = true;
    writeAtomically(focusFile, activated ? "1" : "0");
}};
const xdg_toplevel_listener toplevelListener{
    .configure =
        [](void*, xdg_toplevel*, int32_t, int32_t, wl_array* states) {
            activated = false;
            const auto* state = static_cast<const uint32_t*>(states->data);
            for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
                if (state[i] == XDG_TOPLEVEL_STATE_ACTIVATED) activated = true;
        },
    .close = [](void*, xdg_toplevel*) { std::exit(0); },
#ifdef XDG_TOPLEVEL_CONFIGURE_BOUNDS_SINCE_VERSION
    .configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {},
#endif
#ifdef XDG_TOPLEVEL_WM_CAPABILITIES_SINCE_VERSION
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
#endif
};

wl_buffer* solidBuffer(int width, int height) {
    const int stride = width * 4, size = stride * height;
    const int fd = memfd_create("orvella-test-window", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0) return nullptr;
    auto* pixels = static_cast<uint32_t*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (pixels == MAP_FAILED) return nullptr;
    for (int i = 0; i < width * height; ++i) pixels[i] = 0xff2060a0;
    munmap(pixels, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: orvella-test-window APP_ID TOKEN_FILE\n", stderr);
        return 2;
    }
    // Read and forgotten, as the protocol asks: children must not reuse it.
    const char* fromEnv = std::getenv("XDG_ACTIVATION_TOKEN");
    const std::string token = fromEnv ? fromEnv : "";
    focusFile = std::string(argv[2]) + ".focused";
    unsetenv("XDG_ACTIVATION_TOKEN");
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("no Wayland display\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wmBase) {
        std::fputs("the compositor offers no xdg-shell\n", stderr);
        return 1;
    }
    xdg_wm_base_add_listener(wmBase, &wmBaseListener, nullptr);
    wl_surface* surface = wl_compositor_create_surface(compositor);
    xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &surfaceListener, nullptr);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &toplevelListener, nullptr);
    xdg_toplevel_set_app_id(toplevel, argv[1]);
    xdg_toplevel_set_title(toplevel, argv[1]);
    wl_surface_commit(surface);
    while (!configured)
        if (wl_display_dispatch(display) < 0) return 1;
    wl_surface_attach(surface, solidBuffer(320, 200), 0, 0);
    wl_surface_commit(surface);
    if (activation && !token.empty()) xdg_activation_v1_activate(activation, token.c_str(), surface);
    wl_display_roundtrip(display);
    // Written once shown: the test reads it as "the window is up".
    writeAtomically(argv[2], token);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
