// Changes KWin's outputs the way its display settings do, through KDE's
// output management protocol (KWin must run with
// KWIN_WAYLAND_NO_PERMISSION_CHECKS=1):
//
//   orvella-test-kwin-outputs position NAME X Y   moves an output
//   orvella-test-kwin-outputs enable NAME 0|1     turns one off or on
//   orvella-test-kwin-outputs scale NAME FACTOR   sets its scale
//
// Exits 0 once KWin has applied the change, 1 when it refused it or there
// is no such output, 2 on wrong use.

#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

namespace {

struct State {
    kde_output_management_v2* management = nullptr;
    std::map<kde_output_device_v2*, std::string> devices;
    int result = -1;  // 0 applied, 1 failed
};

// Devices and configurations send many events; only a few matter here.
// A dispatcher hears them all without a handler for each.
int deviceEvent(const void*, void* target, uint32_t, const wl_message* message, wl_argument* args) {
    auto* proxy = static_cast<wl_proxy*>(target);
    auto* state = static_cast<State*>(wl_proxy_get_user_data(proxy));
    if (std::strcmp(message->name, "name") == 0 && args[0].s)
        state->devices[reinterpret_cast<kde_output_device_v2*>(proxy)] = args[0].s;
    return 0;
}

int configurationEvent(const void*, void* target, uint32_t, const wl_message* message, wl_argument*) {
    auto* state = static_cast<State*>(wl_proxy_get_user_data(static_cast<wl_proxy*>(target)));
    if (std::strcmp(message->name, "applied") == 0) state->result = 0;
    if (std::strcmp(message->name, "failed") == 0) state->result = 1;
    return 0;
}

#ifdef KDE_OUTPUT_DEVICE_REGISTRY_V2_OUTPUT_SINCE_VERSION
// KWin 6.5 and later announce the devices through a registry object of
// their own rather than as globals.
int registryEvent(const void*, void* target, uint32_t, const wl_message* message, wl_argument* args) {
    auto* state = static_cast<State*>(wl_proxy_get_user_data(static_cast<wl_proxy*>(target)));
    if (std::strcmp(message->name, "output") == 0 && args[0].o) {
        auto* device = reinterpret_cast<wl_proxy*>(args[0].o);
        wl_proxy_add_dispatcher(device, deviceEvent, nullptr, state);
        state->devices[reinterpret_cast<kde_output_device_v2*>(device)] = "";
    }
    return 0;
}
#endif

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* state = static_cast<State*>(data);
#ifdef KDE_OUTPUT_DEVICE_REGISTRY_V2_OUTPUT_SINCE_VERSION
    if (std::strcmp(interface, kde_output_device_registry_v2_interface.name) == 0) {
        const uint32_t bound = std::min(version, static_cast<uint32_t>(kde_output_device_registry_v2_interface.version));
        auto* devices = static_cast<wl_proxy*>(
            wl_registry_bind(registry, name, &kde_output_device_registry_v2_interface, bound));
        wl_proxy_add_dispatcher(devices, registryEvent, nullptr, state);
        return;
    }
#endif
    if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0 && version >= 2) {
        auto* device = static_cast<kde_output_device_v2*>(
            wl_registry_bind(registry, name, &kde_output_device_v2_interface, 2));
        wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(device), deviceEvent, nullptr, state);
        state->devices[device] = "";
    } else if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0) {
        state->management = static_cast<kde_output_management_v2*>(
            wl_registry_bind(registry, name, &kde_output_management_v2_interface, 1));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener listener{.global = global, .global_remove = globalRemove};

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (!((verb == "position" && argc == 5) || ((verb == "enable" || verb == "scale") && argc == 4))) {
        std::fprintf(stderr, "usage: %s position NAME X Y | enable NAME 0|1 | scale NAME FACTOR\n", argv[0]);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    State state;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &state);
    // Globals, then the devices (and, through a registry, their names).
    for (int i = 0; i < 3; ++i) wl_display_roundtrip(display);
    kde_output_device_v2* device = nullptr;
    for (const auto& [d, name] : state.devices)
        if (name == argv[2]) device = d;
    if (!state.management || !device) {
        std::fprintf(stderr, "no output management, or no output %s; outputs:", argv[2]);
        for (const auto& [d, name] : state.devices) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 1;
    }
    kde_output_configuration_v2* configuration = kde_output_management_v2_create_configuration(state.management);
    wl_proxy_add_dispatcher(reinterpret_cast<wl_proxy*>(configuration), configurationEvent, nullptr, &state);
    if (verb == "position")
        kde_output_configuration_v2_position(configuration, device, std::atoi(argv[3]), std::atoi(argv[4]));
    else if (verb == "scale")
        kde_output_configuration_v2_scale(configuration, device, wl_fixed_from_double(std::atof(argv[3])));
    else
        kde_output_configuration_v2_enable(configuration, device, std::atoi(argv[3]));
    kde_output_configuration_v2_apply(configuration);
    while (state.result < 0 && wl_display_dispatch(display) >= 0) {
    }
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    if (state.result != 0) std::fprintf(stderr, "KWin did not apply the change\n");
    return state.result == 0 ? 0 : 1;
}
