#pragma once
// JSON for the defaults file: integers and reals stay apart, so a count
// written as 3 reads back as an integer and an opacity of 1.0 as a real.

#include <optional>
#include <string>

#include "orvella/platform/user_defaults.h"

namespace orvella::desktop {

// Absent when the text is not one well-formed JSON value (trailing text,
// bad escapes, invalid UTF-8 in escapes, or nesting deeper than 256).
std::optional<Value> parseJson(const std::string& text);
std::string serializeJson(const Value& value, bool pretty = true);
// The member `key` of an object; null when `object` is no object or lacks it.
const Value* jsonMember(const Value& object, const char* key);

}  // namespace orvella::desktop
