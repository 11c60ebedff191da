// Splitting a queue line into the values the tool stores. Platform-neutral.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dkgetval {

constexpr std::size_t kMaxValues = 20;         // values stored per line
constexpr std::size_t kMaxValueLength = 1023;  // characters kept per value

// Fields are separated by commas; blanks before a field are skipped. A field beginning with a
// double quote holds everything up to the next double quote (commas and blanks included, no
// escapes) and the rest of the field after that quote is ignored; any other field runs to the next
// comma with its trailing blanks removed. Values are cut to kMaxValueLength; empty values are
// dropped without taking a place; at most kMaxValues are returned.
std::vector<std::string> split_values(std::string_view line);

}  // namespace dkgetval
