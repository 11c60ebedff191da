// libFuzzer target for DkGetVal's input parsing: the bytes up to the first zero byte are a command
// line, the rest a queue line. Checks the limits both promise: at most 20 values of 1 to 1023
// characters, each a piece of the line; command-line tokens and file names of at most 1023
// characters, and never a queue file whose lock file would be itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "command_line.h"
#include "values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t cut = input.find('\0');
    std::string_view command = input.substr(0, cut);
    std::string_view line = cut == std::string_view::npos ? input : input.substr(cut + 1);

    dkgetval::Settings settings = dkgetval::parse_command_line(command);
    if (settings.mode == dkgetval::Mode::file) {
        if (settings.queue_file.empty() || settings.queue_file.size() > dkgetval::kMaxToken) std::abort();
        if (dkgetval::lock_file_name(settings.queue_file) == settings.queue_file) std::abort();
    }
    for (const std::string& prompt : settings.prompts) {
        if (prompt.size() > dkgetval::kMaxToken) std::abort();
    }

    std::vector<std::string> values = dkgetval::split_values(line);
    if (values.size() > dkgetval::kMaxValues) std::abort();
    for (const std::string& value : values) {
        if (value.empty() || value.size() > dkgetval::kMaxValueLength) std::abort();
        if (line.find(value) == std::string_view::npos) std::abort();  // a piece of the line, cut
    }
    return 0;
}
