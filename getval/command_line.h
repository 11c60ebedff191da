// The value-queue tool's command line: which mode, which queue file, how many wait rounds, which
// prompts. Platform-neutral; the program hands it the text after its own name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dkgetval {

constexpr std::size_t kMaxToken = 1023;  // longest command-line token (and queue file name)
constexpr int kDefaultRounds = 60;       // wait rounds of about a second each

enum class Mode { none, file, entry };

struct Settings {
    Mode mode = Mode::none;            // none: nothing to do, the program ends at once
    std::string queue_file;            // file mode
    int rounds = kDefaultRounds;       // file mode
    std::vector<std::string> prompts;  // entry mode
};

// Forms accepted (option letters without regard to case):
//   /e<prompts> or -e<prompts>   entry mode; the prompts are the tokens after the two characters
//   /f <file> [/w<n>]            file mode; the file may follow /f directly; /w alone gives 0 rounds
//   "<file>" or '<file>' ...     file mode with the quoted first token
//   <anything else>              file mode; the whole line is the file name
// Tokens are blank-separated or enclosed in double or single quotes. A token longer than kMaxToken,
// a file name ending in '@' (its lock file would be itself) or an empty line give Mode::none.
Settings parse_command_line(std::string_view line);

// The lock file beside a queue file: its name with the last character replaced by '@'.
std::string lock_file_name(const std::string& queue_file);

}  // namespace dkgetval
