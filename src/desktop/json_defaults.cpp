#include "desktop/json_defaults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "desktop/json.h"

namespace orvella::desktop {

namespace fs = std::filesystem;

JsonFileDefaults::JsonFileDefaults(fs::path file) : file_(std::move(file)) {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    auto parsed = parseJson(text.str());
    if (parsed && parsed->isObject()) {
        for (const auto& [k, v] : parsed->asObject()) values_.emplace(k, v);
    } else {
        loadedUnparsable_ = true;
    }
}

fs::path JsonFileDefaults::defaultLocation() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    // Relative values are invalid and ignored, as the base directory rules say.
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "orvella" / "defaults.json";
}

std::optional<Value> JsonFileDefaults::object(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void JsonFileDefaults::set(const std::string& key, Value value) {
    values_[key] = std::move(value);
    write();
}

void JsonFileDefaults::remove(const std::string& key) {
    if (values_.erase(key) == 0 && !loadedUnparsable_) return;
    write();
}

void JsonFileDefaults::write() {
    lastWriteOK_ = false;
    std::error_code ec;
    const fs::path dir = file_.parent_path();
    if (!dir.empty()) {
        fs::create_directories(dir, ec);
        if (ec) return;
    }
    // An unreadable file is kept beside the new one rather than lost.
    if (loadedUnparsable_) {
        fs::path keep = file_;
        keep += ".unreadable";
        fs::rename(file_, keep, ec);
        loadedUnparsable_ = false;
    }

    Value::Object object(values_.begin(), values_.end());
    const std::string text = serializeJson(Value(std::move(object)));

    fs::path temp = file_;
    temp += ".XXXXXX";
    std::string pattern = temp.string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return;
    ::fchmod(fd, 0600);
    size_t written = 0;
    bool ok = true;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (!ok || ::rename(pattern.c_str(), file_.c_str()) != 0) {
        ::unlink(pattern.c_str());
        return;
    }
    lastWriteOK_ = true;
}

}  // namespace orvella::desktop
