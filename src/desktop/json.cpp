#include "desktop/json.h"

#include "orvella/support/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace orvella::desktop {

namespace {

constexpr int kMaxDepth = 256;

class Parser {
public:
    explicit Parser(const std::string& text) : s_(text) {}

    std::optional<Value> parseDocument() {
        auto v = parseValue(0);
        if (!v) return std::nullopt;
        skipSpace();
        if (pos_ != s_.size()) return std::nullopt;
        return v;
    }

private:
    void skipSpace() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
            ++pos_;
    }
    bool consume(char c) {
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool literal(const char* word) {
        const std::string w(word);
        if (s_.compare(pos_, w.size(), w) != 0) return false;
        pos_ += w.size();
        return true;
    }

    std::optional<Value> parseValue(int depth) {
        if (depth > kMaxDepth) return std::nullopt;
        skipSpace();
        if (pos_ >= s_.size()) return std::nullopt;
        const char c = s_[pos_];
        if (c == '{') return parseObject(depth);
        if (c == '[') return parseArray(depth);
        if (c == '"') {
            auto str = parseString();
            if (!str) return std::nullopt;
            return Value(std::move(*str));
        }
        if (literal("true")) return Value(true);
        if (literal("false")) return Value(false);
        if (literal("null")) return Value(nullptr);
        return parseNumber();
    }

    std::optional<Value> parseObject(int depth) {
        ++pos_;
        Value::Object object;
        if (consume('}')) return Value(std::move(object));
        while (true) {
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '"') return std::nullopt;
            auto key = parseString();
            if (!key || !consume(':')) return std::nullopt;
            auto v = parseValue(depth + 1);
            if (!v) return std::nullopt;
            object.insert_or_assign(std::move(*key), std::move(*v));
            if (consume(',')) continue;
            if (consume('}')) return Value(std::move(object));
            return std::nullopt;
        }
    }

    std::optional<Value> parseArray(int depth) {
        ++pos_;
        Value::Array array;
        if (consume(']')) return Value(std::move(array));
        while (true) {
            auto v = parseValue(depth + 1);
            if (!v) return std::nullopt;
            array.push_back(std::move(*v));
            if (consume(',')) continue;
            if (consume(']')) return Value(std::move(array));
            return std::nullopt;
        }
    }

    std::optional<unsigned> hex4() {
        if (pos_ + 4 > s_.size()) return std::nullopt;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[pos_++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
            else return std::nullopt;
        }
        return v;
    }

    std::optional<std::string> parseString() {
        ++pos_;  // opening quote
        std::string out;
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) return std::nullopt;
            const char e = s_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    auto hi = hex4();
                    if (!hi) return std::nullopt;
                    char32_t cp = *hi;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        if (!literal("\\u")) return std::nullopt;
                        auto lo = hex4();
                        if (!lo || *lo < 0xDC00 || *lo > 0xDFFF) return std::nullopt;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (*lo - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return std::nullopt;
                    }
                    text::appendUtf8(out, cp);
                    break;
                }
                default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<Value> parseNumber() {
        const size_t start = pos_;
        if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
        auto digits = [&] {
            const size_t from = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
            return pos_ - from;
        };
        const size_t intStart = pos_;
        if (digits() == 0) return std::nullopt;
        if (s_[intStart] == '0' && pos_ - intStart > 1) return std::nullopt;  // no leading zeros
        bool real = false;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            real = true;
            if (digits() == 0) return std::nullopt;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            real = true;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (digits() == 0) return std::nullopt;
        }
        const char* first = s_.data() + start;
        const char* last = s_.data() + pos_;
        if (!real) {
            std::int64_t i = 0;
            auto r = std::from_chars(first, last, i);
            if (r.ec == std::errc() && r.ptr == last) return Value(i);
            // Too large for an integer: keep it as a real.
        }
        double d = 0;
        auto r = std::from_chars(first, last, d);
        if (r.ec != std::errc() || r.ptr != last || !std::isfinite(d)) return std::nullopt;
        return Value(d);
    }

    const std::string& s_;
    size_t pos_ = 0;
};

void writeString(std::string& out, const std::string& s) {
    out += '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void write(std::string& out, const Value& v, bool pretty, int indent) {
    auto newline = [&](int level) {
        if (!pretty) return;
        out += '\n';
        out.append(static_cast<size_t>(level) * 2, ' ');
    };
    if (v.isNull()) {
        out += "null";
    } else if (v.isBool()) {
        out += v.asBool() ? "true" : "false";
    } else if (v.isInteger()) {
        out += std::to_string(v.asInteger());
    } else if (v.isReal()) {
        const double d = v.asNumber();
        if (!std::isfinite(d)) {
            out += "null";  // JSON has no infinities
            return;
        }
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, d);
        std::string text(buf, r.ptr);
        // Keep reals recognisable as reals when read back.
        if (text.find_first_of(".eE") == std::string::npos) text += ".0";
        out += text;
    } else if (v.isString()) {
        writeString(out, v.asString());
    } else if (v.isArray()) {
        const auto& a = v.asArray();
        out += '[';
        for (size_t i = 0; i < a.size(); ++i) {
            if (i) out += ',';
            newline(indent + 1);
            write(out, a[i], pretty, indent + 1);
        }
        if (!a.empty()) newline(indent);
        out += ']';
    } else {
        const auto& o = v.asObject();
        out += '{';
        bool first = true;
        for (const auto& [key, value] : o) {
            if (!first) out += ',';
            first = false;
            newline(indent + 1);
            writeString(out, key);
            out += pretty ? ": " : ":";
            write(out, value, pretty, indent + 1);
        }
        if (!o.empty()) newline(indent);
        out += '}';
    }
}

}  // namespace

std::optional<Value> parseJson(const std::string& text) { return Parser(text).parseDocument(); }

std::string serializeJson(const Value& value, bool pretty) {
    std::string out;
    write(out, value, pretty, 0);
    if (pretty) out += '\n';
    return out;
}

const Value* jsonMember(const Value& object, const char* key) {
    if (!object.isObject()) return nullptr;
    const auto& members = object.asObject();
    auto it = members.find(key);
    return it == members.end() ? nullptr : &it->second;
}

}  // namespace orvella::desktop
