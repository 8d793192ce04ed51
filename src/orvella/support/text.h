#pragma once
// Small Unicode helpers on UTF-8 text, enough for names and badge labels
// without a Unicode library.

#include <string>
#include <vector>

namespace orvella::text {

// Code points of UTF-8 text; malformed bytes become U+FFFD.
std::vector<char32_t> decode(const std::string& utf8);
std::string encode(const std::vector<char32_t>& codePoints);
void appendUtf8(std::string& out, char32_t codePoint);

// Lower case for ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the
// full-width Latin letters; other code points are unchanged.
char32_t toLower(char32_t c);
std::string lowercased(const std::string& utf8);

// Decimal digits of any script (the common Nd blocks).
bool isDecimalDigit(char32_t c);
// Letters, marks and digits of any script: everything that is not a
// control, space, punctuation or symbol character.
bool isAlphanumeric(char32_t c);

}  // namespace orvella::text
