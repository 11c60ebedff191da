// The two expansions of script text.
//
// {name}: "{{" gives "{", "}}" gives "}", and "{name}" the variable's value (unknown names give
// nothing). An appended value is scanned again for references to known variables until none is
// left; references to unknown names inside a value stay as written. A value that refers to itself
// would never finish, so the rescan stops after a fixed number of replacements, and every text is
// cut at 2047 characters.
//
// %NAME%: each "%...%" pair is handed to the system's environment expansion (unknown names stay as
// written); "%%...%%" is an escape that gives "%...%" unexpanded; a lone '%' is copied.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

class VariableStore;

// The system's environment-string expansion (ExpandEnvironmentStrings on Windows).
class Environment {
  public:
    virtual ~Environment() = default;
    // Expands one "%NAME%" reference; an unknown name comes back as written. An empty result means
    // the system failed.
    virtual std::string expand_reference(const std::string& reference) = 0;
};

constexpr int kMaxRescanReplacements = 256;

std::string expand_variables(std::string_view text, VariableStore& vars);
std::string expand_environment(std::string_view text, Environment& env);

}  // namespace dravik
