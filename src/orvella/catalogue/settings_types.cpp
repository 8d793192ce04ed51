#include "orvella/catalogue/settings_types.h"

namespace orvella {

std::string rawValue(FishOpenModifier m) {
    switch (m) {
        case FishOpenModifier::none: return "none";
        case FishOpenModifier::doubleClick: return "doubleClick";
        case FishOpenModifier::command: return "command";
        case FishOpenModifier::option: return "option";
        case FishOpenModifier::control: return "control";
        case FishOpenModifier::shift: return "shift";
    }
    return "none";
}

std::string label(FishOpenModifier m) {
    switch (m) {
        case FishOpenModifier::none: return "单击";
        case FishOpenModifier::doubleClick: return "双击";
        case FishOpenModifier::command: return "⌘ Command + 单击";
        case FishOpenModifier::option: return "⌥ Option + 单击";
        case FishOpenModifier::control: return "⌃ Control + 单击";
        case FishOpenModifier::shift: return "⇧ Shift + 单击";
    }
    return "单击";
}

std::optional<FishOpenModifier> fishOpenModifierFromRaw(const std::string& raw) {
    for (auto m : allFishOpenModifiers)
        if (rawValue(m) == raw) return m;
    return std::nullopt;
}

// The stored string names only the modifier: plain triple click is "none".
std::string rawValue(FishScreenGesture g) {
    switch (g) {
        case FishScreenGesture::tripleClick: return "none";
        case FishScreenGesture::commandTripleClick: return "command";
        case FishScreenGesture::optionTripleClick: return "option";
        case FishScreenGesture::controlTripleClick: return "control";
        case FishScreenGesture::shiftTripleClick: return "shift";
    }
    return "none";
}

std::string label(FishScreenGesture g) {
    switch (g) {
        case FishScreenGesture::tripleClick: return "三连点击";
        case FishScreenGesture::commandTripleClick: return "⌘ Command + 三连点击";
        case FishScreenGesture::optionTripleClick: return "⌥ Option + 三连点击";
        case FishScreenGesture::controlTripleClick: return "⌃ Control + 三连点击";
        case FishScreenGesture::shiftTripleClick: return "⇧ Shift + 三连点击";
    }
    return "三连点击";
}

std::optional<FishScreenGesture> fishScreenGestureFromRaw(const std::string& raw) {
    for (auto g : allFishScreenGestures)
        if (rawValue(g) == raw) return g;
    return std::nullopt;
}

}  // namespace orvella
