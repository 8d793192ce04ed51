#pragma once

#include <array>
#include <optional>
#include <string>

#include "orvella/platform/mouse.h"

namespace orvella {

// How a click on a fish must be made to open its application.
enum class FishOpenModifier { none, doubleClick, command, option, control, shift };

// The desktop gesture that attracts or disperses the school: always a triple
// click, distinguished by the modifier held.
enum class FishScreenGesture {
    tripleClick,
    commandTripleClick,
    optionTripleClick,
    controlTripleClick,
    shiftTripleClick,
};

constexpr std::array<FishOpenModifier, 6> allFishOpenModifiers = {
    FishOpenModifier::none,   FishOpenModifier::doubleClick, FishOpenModifier::command,
    FishOpenModifier::option, FishOpenModifier::control,     FishOpenModifier::shift,
};

constexpr std::array<FishScreenGesture, 5> allFishScreenGestures = {
    FishScreenGesture::tripleClick,        FishScreenGesture::commandTripleClick,
    FishScreenGesture::optionTripleClick,  FishScreenGesture::controlTripleClick,
    FishScreenGesture::shiftTripleClick,
};

std::string rawValue(FishOpenModifier m);
std::string label(FishOpenModifier m);
std::optional<FishOpenModifier> fishOpenModifierFromRaw(const std::string& raw);

std::string rawValue(FishScreenGesture g);
std::string label(FishScreenGesture g);
std::optional<FishScreenGesture> fishScreenGestureFromRaw(const std::string& raw);

}  // namespace orvella
