// Small text helpers shared by the script engine: the "blank" test, ASCII-only case folding,
// and decimal reading with the C library's atoi rules (leading blanks, sign, digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

// A blank is what isspace() accepts in the C locale: space, tab, CR, LF, VT, FF.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Case folding touches A to Z only, so 8-bit code-page letters compare as they are.
inline char to_lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string to_lower_ascii(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view s, std::string_view prefix);
bool icontains(std::string_view haystack, std::string_view needle);

// Index of the first non-blank character at or after `from` (s.size() when none).
size_t skip_blanks(std::string_view s, size_t from = 0);
std::string_view trim_right_blanks(std::string_view s);

// atoi-style: leading blanks, optional sign, then digits up to the first non-digit. Empty or
// non-numeric text gives 0. Values beyond the 32-bit range are clamped to it.
int32_t parse_int32(std::string_view s);

// Decimal text of a 32-bit value, '-' when negative, no leading zeros.
std::string format_int32(int32_t v);

}  // namespace dravik
