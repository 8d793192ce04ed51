// Drives a Wayland compositor's pointer for the end-to-end tests, through
// whichever of two protocols it offers: wlroots' virtual pointer (sway; the
// device lives as long as this process, which gives a headless seat its
// pointer) or KWin's fake input (KWin with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1).
//   orvella-test-pointer WIDTH HEIGHT    the layout's size, for absolute moves
// then one command a line on stdin, each answered "ok" once the compositor
// took it:
//   move X Y | press | release | nudge (a pixel right and back)

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {
org_kde_kwin_fake_input* fakeInput = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
wl_seat* seat = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener listener{.global = global, .global_remove = globalRemove};

uint32_t now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: orvella-test-pointer WIDTH HEIGHT\n", stderr);
        return 2;
    }
    const auto width = static_cast<uint32_t>(std::atoi(argv[1]));
    const auto height = static_cast<uint32_t>(std::atoi(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("no Wayland display\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    zwlr_virtual_pointer_v1* pointer = nullptr;
    if (manager) {
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    } else if (fakeInput) {
        org_kde_kwin_fake_input_authenticate(fakeInput, "Orvella tests", "driving the pointer in tests");
    } else {
        std::fputs("the compositor offers neither a virtual pointer nor fake input\n", stderr);
        return 1;
    }
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);

    double x = 0, y = 0;
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        char command[32] = {};
        double a = 0, b = 0;
        const int n = std::sscanf(line, "%31s %lf %lf", command, &a, &b);
        if (n < 1) continue;
        const std::string c = command;
        auto moveTo = [&](double px, double py) {
            x = px;
            y = py;
            if (pointer) {
                zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), static_cast<uint32_t>(px),
                                                        static_cast<uint32_t>(py), width, height);
                zwlr_virtual_pointer_v1_frame(pointer);
            } else {
                org_kde_kwin_fake_input_pointer_motion_absolute(fakeInput, wl_fixed_from_double(px),
                                                                wl_fixed_from_double(py));
            }
        };
        auto button = [&](bool down) {
            const uint32_t state = down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
            if (pointer) {
                zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT, state);
                zwlr_virtual_pointer_v1_frame(pointer);
            } else {
                org_kde_kwin_fake_input_button(fakeInput, BTN_LEFT, state);
            }
        };
        if (c == "move" && n == 3) {
            moveTo(a, b);
        } else if (c == "press") {
            button(true);
        } else if (c == "release") {
            button(false);
        } else if (c == "nudge") {
            const double px = x, py = y;
            moveTo(px + 1, py);
            wl_display_roundtrip(display);
            moveTo(px, py);
        } else {
            std::printf("unknown command\n");
            std::fflush(stdout);
            continue;
        }
        wl_display_roundtrip(display);
        std::printf("ok\n");
        std::fflush(stdout);
    }
    if (pointer) zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
