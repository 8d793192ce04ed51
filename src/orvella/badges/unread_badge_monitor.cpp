#include "orvella/badges/unread_badge_monitor.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <string_view>

#include "orvella/support/text.h"

namespace orvella {

namespace {

constexpr const char* kDockItemRole = "AXDockItem";

std::string standardized(const std::string& path) {
    if (path.empty()) return path;
    std::string out = std::filesystem::path(path).lexically_normal().string();
    // A trailing separator is not part of a file's path.
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The path of a "file://" URL, percent escapes decoded; absent for any
// other text or a URL naming another host.
std::optional<std::string> fileURLPath(const std::string& value) {
    constexpr std::string_view scheme = "file://";
    if (value.size() < scheme.size()) return std::nullopt;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(value[i])) != scheme[i]) return std::nullopt;
    std::string rest = value.substr(scheme.size());
    if (rest.starts_with("localhost/")) rest = rest.substr(9);
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') break;
        if (rest[i] == '%' && i + 2 < rest.size()) {
            const int hi = hexValue(rest[i + 1]), lo = hexValue(rest[i + 2]);
            if (hi >= 0 && lo >= 0) {
                path += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        path += rest[i];
    }
    return path;
}

// Removes every ".app", compared without regard to ASCII case.
std::string withoutAppSuffixes(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (i + 4 <= name.size() && name[i] == '.' && std::tolower(static_cast<unsigned char>(name[i + 1])) == 'a' &&
            std::tolower(static_cast<unsigned char>(name[i + 2])) == 'p' &&
            std::tolower(static_cast<unsigned char>(name[i + 3])) == 'p') {
            i += 4;
            continue;
        }
        out += name[i++];
    }
    return out;
}

}  // namespace

UnreadBadgeMonitor::UnreadBadgeMonitor(Platform& platform)
    : platform_(platform), queue_(platform.scheduler.makeWorkQueue("Orvella.UnreadBadgeMonitor")) {}

UnreadBadgeMonitor::~UnreadBadgeMonitor() = default;

void UnreadBadgeMonitor::start(const std::vector<OrvellaApp>& apps, double interval,
                               std::function<void(const UnreadBadgeSnapshot&)> onSnapshot) {
    auto descriptors = descriptorsFor(apps);
    queue_->async([this, descriptors = std::move(descriptors), interval, onSnapshot = std::move(onSnapshot)]() mutable {
        descriptors_ = std::move(descriptors);
        onSnapshot_ = std::move(onSnapshot);
        if (timer_) queue_->cancel(*timer_);
        timer_ = queue_->scheduleRepeating(interval, 1.0, [this] { poll(); });
    });
}

void UnreadBadgeMonitor::updateApps(const std::vector<OrvellaApp>& apps) {
    auto descriptors = descriptorsFor(apps);
    queue_->async([this, descriptors = std::move(descriptors)]() mutable {
        descriptors_ = std::move(descriptors);
        if (timer_) poll();
    });
}

void UnreadBadgeMonitor::stop() {
    queue_->async([this] {
        if (timer_) queue_->cancel(*timer_);
        timer_.reset();
        onSnapshot_ = nullptr;
        descriptors_.clear();
    });
}

std::vector<AppDescriptor> UnreadBadgeMonitor::descriptorsFor(const std::vector<OrvellaApp>& apps) const {
    std::vector<AppDescriptor> out;
    out.reserve(apps.size());
    for (const auto& app : apps) out.push_back(makeDescriptor(app));
    return out;
}

void UnreadBadgeMonitor::poll() {
    UnreadBadgeSnapshot snapshot;
    if (!platform_.accessibility.isProcessTrusted()) {
        emit(std::move(snapshot));
        return;
    }
    snapshot.hasAccessibilityPermission = true;
    if (auto counts = readDockBadgeCounts(descriptors_)) {
        snapshot.counts = std::move(*counts);
        snapshot.didReadDock = true;
    }
    emit(std::move(snapshot));
}

void UnreadBadgeMonitor::emit(UnreadBadgeSnapshot snapshot) {
    auto callback = onSnapshot_;
    if (!callback) return;
    platform_.scheduler.dispatchMain(
        [callback = std::move(callback), snapshot = std::move(snapshot)] { callback(snapshot); });
}

AppDescriptor UnreadBadgeMonitor::makeDescriptor(const OrvellaApp& app) const {
    std::vector<std::string> raw{app.name, std::filesystem::path(app.url).stem().string()};
    const std::string std = standardized(app.url);
    AppDescriptor d;
    d.id = app.url;
    d.paths.insert(std);
    if (auto canonical = platform_.workspace.canonicalPath(app.url); canonical && !canonical->empty())
        d.paths.insert(standardized(*canonical));
    for (const auto& running : platform_.workspace.runningApplications())
        if (running.location && standardized(*running.location) == std && !running.localizedName.empty())
            raw.push_back(running.localizedName);
    for (auto& name : platform_.workspace.bundleNames(app.url)) raw.push_back(std::move(name));
    for (const auto& name : raw)
        if (auto n = normalizedName(name); !n.empty()) d.normalizedNames.insert(std::move(n));
    return d;
}

std::optional<std::map<std::string, int>> UnreadBadgeMonitor::readDockBadgeCounts(
    const std::vector<AppDescriptor>& descriptors) const {
    if (descriptors.empty()) return std::nullopt;
    const auto dock = platform_.accessibility.dockItems();
    if (!dock) return std::nullopt;
    std::vector<const DockItem*> items;
    for (const auto& item : *dock)
        if (item.role == kDockItemRole) items.push_back(&item);
    if (items.empty()) return std::nullopt;

    std::map<std::string, int> result;
    for (const auto& d : descriptors) result[d.id] = 0;
    for (const DockItem* item : items) {
        const std::string title = item->title ? stringAttribute(*item->title)
                                  : item->description ? stringAttribute(*item->description)
                                                      : std::string();
        std::optional<std::string> location;
        if (item->url) location = stringAttribute(*item->url);
        const std::string t = normalizedName(title);
        const AppDescriptor* match = nullptr;
        for (const auto& d : descriptors) {
            if (location && !location->empty() && d.paths.contains(standardized(*location))) {
                match = &d;
                break;
            }
            const bool byName = !t.empty() && std::any_of(d.normalizedNames.begin(), d.normalizedNames.end(),
                                                          [&](const std::string& n) {
                                                              return t == n || (t.size() > n.size() &&
                                                                                t.starts_with(n) && t[n.size()] == ' ');
                                                          });
            if (byName) {
                match = &d;
                break;
            }
        }
        if (match) result[match->id] = badgeCount(*item);
    }
    return result;
}

std::string UnreadBadgeMonitor::stringAttribute(const std::string& value) {
    if (auto path = fileURLPath(value)) return *path;
    return value;
}

std::string UnreadBadgeMonitor::normalizedName(const std::string& name) {
    const auto cps = text::decode(withoutAppSuffixes(name));
    std::vector<std::string> pieces;
    std::vector<char32_t> piece;
    auto flush = [&] {
        if (!piece.empty()) pieces.push_back(text::encode(piece));
        piece.clear();
    };
    for (char32_t c : cps) {
        const char32_t lower = text::toLower(c);
        if (text::isAlphanumeric(lower) || lower == '.' || lower == '_' || lower == '-') {
            piece.push_back(lower);
        } else {
            flush();
        }
    }
    flush();
    std::string out;
    for (const auto& p : pieces) {
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out;
}

bool UnreadBadgeMonitor::containsNotificationCue(const std::string& value) {
    static const char* const cues[] = {"unread", "notification", "notifications", "message", "messages",
                                       "badge", "new", "未读", "通知", "消息", "提醒", "項目", "项目", "条", "條"};
    const std::string lower = text::lowercased(value);
    return std::any_of(std::begin(cues), std::end(cues),
                       [&](const char* cue) { return lower.find(cue) != std::string::npos; });
}

std::optional<int> UnreadBadgeMonitor::numericBadgeCount(const std::optional<std::string>& value,
                                                         bool requiresNotificationCue) {
    if (!value || value->empty()) return std::nullopt;
    if (requiresNotificationCue && !containsNotificationCue(*value)) return std::nullopt;
    // The first run of a decimal digit followed by digits and commas
    // (ASCII or full-width).
    const auto cps = text::decode(*value);
    auto start = std::find_if(cps.begin(), cps.end(), text::isDecimalDigit);
    if (start == cps.end()) return std::nullopt;
    long long n = 0;
    for (auto it = start; it != cps.end(); ++it) {
        const char32_t c = *it;
        if (c == ',' || c == U'\uFF0C') continue;
        if (!text::isDecimalDigit(c)) break;
        // Only ASCII digits parse; a run holding any other digit is no number.
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = static_cast<int>(c - '0');
        if (n > (std::numeric_limits<long long>::max() - digit) / 10) return std::nullopt;
        n = n * 10 + digit;
    }
    return static_cast<int>(std::clamp(n, 0LL, 999LL));
}

int UnreadBadgeMonitor::badgeCount(const DockItem& item) {
    auto read = [](const std::optional<std::string>& v) -> std::optional<std::string> {
        if (!v) return std::nullopt;
        return stringAttribute(*v);
    };
    if (auto n = numericBadgeCount(read(item.statusLabel), false)) return *n;
    for (const auto* field : {&item.title, &item.description, &item.help})
        if (auto n = numericBadgeCount(read(*field), true)) return *n;
    return 0;
}

}  // namespace orvella
