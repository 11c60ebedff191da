// The argument reader every statement and command reads its arguments with. Arguments are
// blank-separated, or enclosed in double or single quotes (no escape for the quote inside); at most
// 2048 characters are taken. With `expand` the argument gets {name} and then %NAME% expansion,
// without it %NAME% only.
#pragma once

#include <string>

namespace dravik {

class VariableStore;
class Environment;

constexpr size_t kMaxArgument = 2048;

// One statement line and the position of the next argument in it; the statement kinds and the
// command parser share it while a statement runs.
struct StatementCursor {
    std::string text;
    size_t pos = 0;

    void reset(std::string line) {
        text = std::move(line);
        pos = 0;
    }
    bool at_end() const;
};

std::string ReadArgument(StatementCursor& st, bool expand, VariableStore& vars, Environment& env);

}  // namespace dravik
