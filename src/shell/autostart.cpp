#include "shell/autostart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace orvella::shell {

namespace fs = std::filesystem;

std::string autostartEntryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home ? home : "/") / ".config";
    }
    return (base / "autostart" / "orvella.desktop").string();
}

bool setAutostart(bool on, std::string& error) {
    const fs::path entry = autostartEntryPath();
    std::error_code ec;
    if (!on) {
        fs::remove(entry, ec);
        if (ec) error = "could not remove " + entry.string() + ": " + ec.message();
        return !ec;
    }
    fs::create_directories(entry.parent_path(), ec);
    if (ec) {
        error = "could not create " + entry.parent_path().string() + ": " + ec.message();
        return false;
    }
    // This binary, wherever it was installed; an Exec value is quoted when
    // the path holds a space or a quote.
    fs::path binary = fs::read_symlink("/proc/self/exe", ec);
    if (ec) binary = "orvella";
    std::string exec;
    for (char c : binary.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
        exec += c;
    }
    const fs::path temporary = entry.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Orvella\n"
               "Comment=Applications swimming over the desktop\n"
               "Exec=\""
            << exec
            << "\"\n"
               "Icon=orvella\n"
               "X-GNOME-Autostart-enabled=true\n"
               "NoDisplay=true\n";
        if (!out.flush()) {
            error = "could not write " + temporary.string();
            fs::remove(temporary, ec);
            return false;
        }
    }
    fs::rename(temporary, entry, ec);
    if (ec) {
        error = "could not write " + entry.string() + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace orvella::shell
