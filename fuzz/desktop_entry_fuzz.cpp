// Arbitrary bytes as a desktop entry in the catalogue: reading its name,
// identifier, metadata names and icon copes with anything.

// GLib first: its headers use names that Qt's keywords would replace.
#include <gio/gio.h>

#include <unistd.h>

#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "desktop/gio_workspace.h"

using namespace orvella::desktop;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static int argc = 1;
    static char arg0[] = "desktop_entry_fuzz";
    static char* argv[] = {arg0, nullptr};
    static QGuiApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    static const std::filesystem::path dir = [] {
        char name[] = "/tmp/orvella-fuzz-entry-XXXXXX";
        return std::filesystem::path(::mkdtemp(name));
    }();
    static GioWorkspace workspace;
    const auto path = (dir / "fuzzed.desktop").string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    (void)workspace.displayName(path);
    (void)workspace.bundleIdentifier(path);
    (void)workspace.bundleNames(path);
    (void)workspace.canonicalPath(path);
    if (!workspace.iconForFile(path)) __builtin_trap();  // never null: a generic icon
    return 0;
}
