#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "orvella/platform/user_defaults.h"

namespace orvella::desktop {

// The user's defaults as one JSON object in a file, read once at start and
// rewritten whole, atomically, on every change. A missing or unparsable file
// is an empty store and is not touched until a setting changes.
class JsonFileDefaults : public UserDefaults {
public:
    explicit JsonFileDefaults(std::filesystem::path file);

    // $XDG_CONFIG_HOME/orvella/defaults.json, else ~/.config/orvella/defaults.json.
    static std::filesystem::path defaultLocation();

    std::optional<Value> object(const std::string& key) const override;
    void set(const std::string& key, Value value) override;
    void remove(const std::string& key) override;

    const std::filesystem::path& file() const { return file_; }
    // False when the last write could not be completed (the old file stays).
    bool lastWriteSucceeded() const { return lastWriteOK_; }

private:
    void write();

    std::filesystem::path file_;
    std::map<std::string, Value> values_;
    bool loadedUnparsable_ = false;
    bool lastWriteOK_ = true;
};

}  // namespace orvella::desktop
