// The variable store: named text values, names compared without regard to case (A to Z), kept in
// creation order and never deleted. Values are text; the arithmetic operators read and write 32-bit
// decimal integers. DateStamp and TimeStamp always hold the moment they were last set, whatever
// value a statement gives them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "clock.h"

namespace dravik {

constexpr size_t kMaxVariableText = 2047;

class VariableStore {
  public:
    explicit VariableStore(Clock& clock) : clock_(clock) {}

    // op is one of '=', '+', '-', '*', '/'. A name written "{x}" names x. A division by zero leaves
    // the value as it was. Names and values are cut at 2047 characters.
    void set_variable(std::string_view name, std::string_view value, char op = '=');

    // Null when there is no such variable.
    const std::string* find(std::string_view name) const;
    std::string value_or_empty(std::string_view name) const;

    struct Variable {
        std::string name;
        std::string value;
    };
    const std::vector<Variable>& all() const { return vars_; }

    // Sets DateStamp or TimeStamp anew when `text` mentions them, so an expansion that follows
    // gives the current moment.
    void refresh_stamps(std::string_view text);

  private:
    Variable* lookup(std::string_view name);

    Clock& clock_;
    std::vector<Variable> vars_;
};

std::string date_stamp(const LocalTime& t);  // "%u%02u%02u"
std::string time_stamp(const LocalTime& t);  // "%.2u:%.2u:%.2u"

}  // namespace dravik
