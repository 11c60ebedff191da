// The "-reg" command's executor and the registry it works on.
//
// The registry is a small interface (create and delete keys; open a key and delete, set or query
// its values) with one Win32 implementation (registry_win32.h) and a fake in the tests. Results are
// the system's error codes (0 for success); error_text gives the system's description of one.
//
// Value texts: a DWORD reads as its unsigned decimal number; binary data as two upper-case hex
// digits per byte separated by blanks ("0A FF 10"), up to 81 bytes; every other type as its bytes up
// to the first zero byte. "(Default)" names the key's unnamed value when setting or reading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "commands/parsed_command.h"

namespace dravik {

struct RunState;

// The registry's value types as the system numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// Reads of values go through a buffer of this many bytes; larger values cannot be read.
constexpr size_t kRegistryValueBuffer = 2048;

class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual long delete_value(const std::string& name) = 0;
    virtual long set_value(const std::string& name, uint32_t type, const std::string& data) = 0;
    // Reads at most `capacity` bytes; a larger value fails.
    virtual long query_value(const std::string& name, uint32_t& type, std::string& data, size_t capacity) = 0;
};

class Registry {
public:
    enum class Access { kRead, kReadWrite };
    virtual ~Registry() = default;
    // `root` is one of the RootKey codes.
    virtual long create_key(int root, const std::string& path) = 0;
    virtual long delete_key(int root, const std::string& path) = 0;
    virtual long open_key(int root, const std::string& path, Access access, std::unique_ptr<RegistryKey>& key) = 0;
    // The system's text for an error code, without a line end.
    virtual std::string error_text(long code) = 0;
};

// Value texts.
std::string RegistryDwordToText(std::string_view bytes);
std::string RegistryBinaryToText(std::string_view bytes);
std::string TextToRegistryBinary(std::string_view text);

// Runs the registry sub-command in `cmd`: logs its outcome and, for a read, sets the variable.
void ExecuteRegistrySubcommand(RunState& run, const ParsedCommand& cmd, Registry& registry);

}  // namespace dravik
