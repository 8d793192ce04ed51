// Moves KWin's pointer for the end-to-end tests, through KWin's fake-input
// protocol (KWin must run with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1):
//   orvella-test-fake-input X Y     the pointer to (X, Y) of the layout

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fake-input-client-protocol.h"

namespace {
org_kde_kwin_fake_input* fakeInput = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener listener{global, globalRemove};
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: orvella-test-fake-input X Y\n", stderr);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("no Wayland display\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        std::fputs("the compositor offers no fake input (version 3)\n", stderr);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "Orvella tests", "moving the pointer in tests");
    org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, wl_fixed_from_double(std::atof(argv[1])),
                                                    wl_fixed_from_double(std::atof(argv[2])));
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
