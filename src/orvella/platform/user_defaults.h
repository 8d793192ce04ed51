#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orvella {

// One stored value: null, boolean, integer, real, string, array or object.
class Value {
public:
    using Array = std::vector<Value>;
    using Object = std::map<std::string, Value>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : v_(b) {}
    Value(int i) : v_(std::int64_t{i}) {}
    Value(std::int64_t i) : v_(i) {}
    Value(double d) : v_(d) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(Array a) : v_(std::move(a)) {}
    Value(Object o) : v_(std::move(o)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isBool() const { return std::holds_alternative<bool>(v_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(v_); }
    bool isReal() const { return std::holds_alternative<double>(v_); }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return std::holds_alternative<std::string>(v_); }
    bool isArray() const { return std::holds_alternative<Array>(v_); }
    bool isObject() const { return std::holds_alternative<Object>(v_); }

    bool asBool() const { return std::get<bool>(v_); }
    std::int64_t asInteger() const { return std::get<std::int64_t>(v_); }
    double asNumber() const {
        return isInteger() ? static_cast<double>(std::get<std::int64_t>(v_)) : std::get<double>(v_);
    }
    const std::string& asString() const { return std::get<std::string>(v_); }
    const Array& asArray() const { return std::get<Array>(v_); }
    const Object& asObject() const { return std::get<Object>(v_); }

    friend bool operator==(const Value&, const Value&) = default;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Array, Object> v_;
};

// The user's defaults: typed reads report a value of the wrong type as absent.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    virtual std::optional<Value> object(const std::string& key) const = 0;
    virtual void set(const std::string& key, Value value) = 0;
    virtual void remove(const std::string& key) = 0;

    std::optional<double> number(const std::string& key) const {
        auto v = object(key);
        if (!v || !v->isNumber()) return std::nullopt;
        return v->asNumber();
    }
    std::optional<std::string> string(const std::string& key) const {
        auto v = object(key);
        if (!v || !v->isString()) return std::nullopt;
        return v->asString();
    }
    std::optional<bool> boolean(const std::string& key) const {
        auto v = object(key);
        if (!v || !v->isBool()) return std::nullopt;
        return v->asBool();
    }
    // Absent unless every element is a string.
    std::optional<std::vector<std::string>> stringArray(const std::string& key) const {
        auto v = object(key);
        if (!v || !v->isArray()) return std::nullopt;
        std::vector<std::string> out;
        for (const auto& e : v->asArray()) {
            if (!e.isString()) return std::nullopt;
            out.push_back(e.asString());
        }
        return out;
    }
    std::optional<Value::Object> dictionary(const std::string& key) const {
        auto v = object(key);
        if (!v || !v->isObject()) return std::nullopt;
        return v->asObject();
    }
};

}  // namespace orvella
