// Names in archives and on disk: item lists, wildcard patterns, the name an added file is
// stored under, and the check that an entry's name cannot lead extraction outside its
// destination.
#pragma once

#include <string>
#include <vector>

namespace dravik::archive {

// Splits a blank-separated list; double quotes enclose names with blanks. `balanced` is false
// when a quote is left open.
std::vector<std::string> split_item_list(const std::string& list, bool& balanced);

bool has_wildcard(const std::string& s);
// `*` and `?` patterns, letters compared without regard to case, '/' and '\' equal. Unless
// `cross_dirs`, the wildcards do not match a separator.
bool wildcard_match(const std::string& pattern, const std::string& name, bool cross_dirs);

// The stored form of a path on disk: '/' separators, no drive, server or leading separators,
// no "." or ".." components; with `relative_to` (the current directory) stripped from its
// front when it is there; only the last component when `no_dirs`.
std::string stored_name(const std::string& path, const std::string& relative_to, bool no_dirs);

// Why an entry name may not be extracted (absolute, "..", ':', device name), or nullptr.
const char* unsafe_name_reason(const std::string& name);

}  // namespace dravik::archive
