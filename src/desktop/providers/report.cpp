#include "desktop/providers/report.h"

#include <cmath>

#include "desktop/json.h"

namespace orvella::desktop {

namespace {
std::optional<double> number(const Value& o, const char* key) {
    const Value* v = jsonMember(o, key);
    if (!v || !v->isNumber() || !std::isfinite(v->asNumber())) return std::nullopt;
    return v->asNumber();
}
std::string text(const Value& o, const char* key) {
    const Value* v = jsonMember(o, key);
    return v && v->isString() ? v->asString() : std::string();
}
bool flag(const Value& o, const char* key) {
    const Value* v = jsonMember(o, key);
    return v && v->isBool() && v->asBool();
}
}  // namespace

std::optional<QPointF> parseProviderPoint(const Value& object) {
    const auto x = number(object, "x"), y = number(object, "y");
    if (!x || !y) return std::nullopt;
    return QPointF(*x, *y);
}

std::optional<ProviderWindow> parseProviderWindow(const Value& object) {
    const auto at = parseProviderPoint(object);
    const auto w = number(object, "width"), h = number(object, "height");
    if (!at || !w || !h || *w < 0 || *h < 0) return std::nullopt;
    ProviderWindow window;
    window.frame = QRectF(at->x(), at->y(), *w, *h);
    const double pid = number(object, "pid").value_or(0);
    window.processID = pid > 0 && pid < 1e9 ? static_cast<int>(pid) : 0;
    window.windowClass = text(object, "class");
    window.title = text(object, "title");
    return window;
}

std::vector<ListedWindow> parseListedWindows(const Value& list) {
    std::vector<ListedWindow> out;
    if (!list.isArray()) return out;
    for (const Value& entry : list.asArray()) {
        ListedWindow w;
        if (const std::string handle = text(entry, "id"); !handle.empty()) {
            w.handle = handle;
        } else {
            const auto id = number(entry, "id");
            if (!id || *id < 0 || *id > 4294967295.0 || *id != std::floor(*id)) continue;
            w.id = static_cast<unsigned long>(*id);
        }
        w.listedByCompositor = true;
        // The desktop's own name for the application where it has one.
        w.instance = text(entry, "app");
        if (w.instance.empty()) w.instance = text(entry, "instance");
        w.className = text(entry, "class");
        const double pid = number(entry, "pid").value_or(0);
        w.processID = pid > 0 && pid < 1e9 ? static_cast<int>(pid) : 0;
        out.push_back(std::move(w));
    }
    return out;
}

std::optional<ProviderReport> parseProviderReport(const std::string& json) {
    const auto parsed = parseJson(json);
    if (!parsed || !parsed->isObject()) return std::nullopt;
    ProviderReport report;
    const std::string kind = text(*parsed, "kind");
    if (kind == "pointer" || kind == "press") {
        const auto at = parseProviderPoint(*parsed);
        if (!at) return std::nullopt;
        report.at = *at;
        report.kind = kind == "pointer" ? ProviderReport::Kind::pointer : ProviderReport::Kind::press;
        if (report.kind == ProviderReport::Kind::press) {
            report.modifiers.shift = flag(*parsed, "shift");
            report.modifiers.control = flag(*parsed, "control");
            report.modifiers.option = flag(*parsed, "alt");
            report.modifiers.command = flag(*parsed, "super");
        }
    } else if (kind == "window") {
        report.kind = ProviderReport::Kind::window;
        report.window = parseProviderWindow(*parsed);
    } else if (kind == "windows") {
        const Value* list = jsonMember(*parsed, "windows");
        if (!list || !list->isArray()) return std::nullopt;
        report.kind = ProviderReport::Kind::windows;
        report.windows = parseListedWindows(*list);
    }
    return report;
}

void ReportedProvider::apply(const ProviderReport& report) {
    switch (report.kind) {
        case ProviderReport::Kind::pointer:
            pointer_ = report.at;
            Q_EMIT pointerMoved(*pointer_);
            break;
        case ProviderReport::Kind::window: window_ = report.window; break;
        case ProviderReport::Kind::press: Q_EMIT pressed(report.at, report.modifiers); break;
        case ProviderReport::Kind::windows: windows_ = report.windows; break;
        case ProviderReport::Kind::other: break;
    }
}

}  // namespace orvella::desktop
