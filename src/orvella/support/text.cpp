#include "orvella/support/text.h"

namespace orvella::text {

std::vector<char32_t> decode(const std::string& s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || (extra > 0 && i + static_cast<size_t>(extra) >= s.size())) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string encode(const std::vector<char32_t>& cps) {
    std::string out;
    for (char32_t c : cps) appendUtf8(out, c);
    return out;
}

char32_t toLower(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;               // Latin-1
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs: upper case first, except in 0x139...0x148
        // and 0x179...0x17E where the pairs start on an odd code point.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddPairs ? (c % 2 == 1) : (c % 2 == 0)) return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;              // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                             // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;                           // full-width Latin
    return c;
}

std::string lowercased(const std::string& utf8) {
    auto cps = decode(utf8);
    for (auto& c : cps) c = toLower(c);
    return encode(cps);
}

bool isDecimalDigit(char32_t c) {
    // The first code point of each block of ten decimal digits.
    static constexpr char32_t zeros[] = {
        0x30,   0x660,  0x6F0,  0x7C0,  0x966,  0x9E6,  0xA66,  0xAE6,  0xB66,  0xBE6,  0xC66,  0xCE6,
        0xD66,  0xDE6,  0xE50,  0xED0,  0xF20,  0x1040, 0x1090, 0x17E0, 0x1810, 0x1946, 0x19D0, 0x1A80,
        0x1A90, 0x1B50, 0x1BB0, 0x1C40, 0x1C50, 0xA620, 0xA8D0, 0xA900, 0xA9D0, 0xA9F0, 0xAA50, 0xABF0,
        0xFF10, 0x104A0, 0x1D7CE, 0x1D7D8, 0x1D7E2, 0x1D7EC, 0x1D7F6};
    for (char32_t z : zeros)
        if (c >= z && c < z + 10) return true;
    return false;
}

bool isAlphanumeric(char32_t c) {
    if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c < 0xA0) return false;                                  // C1 controls
    if (c <= 0xBF) return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA ||
                          (c >= 0xBC && c <= 0xBE);            // Latin-1 punctuation and symbols
    if (c == 0xD7 || c == 0xF7) return false;                     // multiplication and division signs
    struct Range {
        char32_t first, last;
    };
    // Punctuation, spaces and symbols outside Latin-1.
    static constexpr Range notAlphanumeric[] = {
        {0x2000, 0x206F},   // general punctuation and spaces
        {0x20A0, 0x20CF},   // currency
        {0x2100, 0x214F},   // letterlike symbols (treated as symbols)
        {0x2190, 0x23FF},   // arrows, mathematical and technical symbols
        {0x2500, 0x27BF},   // box drawing, shapes, dingbats
        {0x27C0, 0x2BFF},   // more arrows and symbols
        {0x2E00, 0x2E7F},   // supplemental punctuation
        {0x3000, 0x3004},   // CJK space and punctuation
        {0x3008, 0x3020},   // CJK brackets and marks
        {0x3030, 0x3030},
        {0x303D, 0x303F},
        {0x30FB, 0x30FB},   // katakana middle dot
        {0xFE10, 0xFE1F},   // vertical forms
        {0xFE30, 0xFE6F},   // compatibility and small forms
        {0xFEFF, 0xFEFF},   // byte order mark
        {0xFF00, 0xFF0F},   // full-width punctuation
        {0xFF1A, 0xFF20},
        {0xFF3B, 0xFF40},
        {0xFF5B, 0xFF65},
        {0xFFE0, 0xFFEE},
        {0xFFF0, 0xFFFF},
        {0x1F000, 0x1FAFF}, // emoji and pictographs
    };
    for (const auto& r : notAlphanumeric)
        if (c >= r.first && c <= r.last) return false;
    return true;
}

}  // namespace orvella::text
