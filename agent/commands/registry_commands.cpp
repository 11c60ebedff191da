#include <cstdio>

#include "commands/registry.h"
#include "engine/run_state.h"
#include "engine/text.h"

namespace dravik {

namespace {

constexpr size_t kMaxBinaryTextBytes = 81;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;  // anything else counts as 0
}

void log_error(RunState& run, Registry& registry, std::string_view what, long code) {
    run.log.write(std::string(what) + registry.error_text(code) + "\n");
}

std::string value_as_text(uint32_t type, const std::string& bytes) {
    if (type == kRegDword) return RegistryDwordToText(bytes);
    if (type == kRegBinary) return RegistryBinaryToText(bytes);
    return bytes.substr(0, bytes.find('\0'));
}

void set_value(RunState& run, const ParsedCommand& cmd, RegistryKey& key, Registry& registry,
               const std::string& name) {
    long result = 0;
    switch (cmd.valueType) {
        case kTypeSz:
            result = key.set_value(name, kRegSz, cmd.valueData);
            break;
        case kTypeBinary:
            result = key.set_value(name, kRegBinary, TextToRegistryBinary(cmd.valueData));
            break;
        case kTypeDword: {
            uint32_t v = static_cast<uint32_t>(parse_int32(cmd.valueData));
            std::string bytes;
            for (int i = 0; i < 4; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
            result = key.set_value(name, kRegDword, bytes);
            break;
        }
        default:
            // "NO" (and no type at all): nothing is written.
            break;
    }
    if (result == 0) {
        run.log.write("Value set.\n");
    } else {
        log_error(run, registry, "Error setting registry value: ", result);
    }
}

void read_value(RunState& run, const ParsedCommand& cmd, RegistryKey& key, Registry& registry,
                const std::string& name) {
    uint32_t type = 0;
    std::string bytes;
    long result = key.query_value(name, type, bytes, kRegistryValueBuffer);
    if (result != 0) {
        run.vars.set_variable(cmd.resultVariable, "");
        log_error(run, registry, "Error querying registry value: ", result);
        return;
    }
    std::string text = value_as_text(type, bytes);
    run.log.write("Setting {" + cmd.resultVariable + "} equal to " + text + ".\n");
    run.vars.set_variable(cmd.resultVariable, text);
}

}  // namespace

std::string RegistryDwordToText(std::string_view bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) {
        sum |= uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    }
    // "%u" of the sum: the value as an unsigned 32-bit number.
    return std::to_string(static_cast<uint32_t>(sum));
}

std::string RegistryBinaryToText(std::string_view bytes) {
    if (bytes.size() > kMaxBinaryTextBytes) return "Long binary values not supported.";
    std::string text;
    char hex[4];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%.2X ", b);
        text += hex;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

std::string TextToRegistryBinary(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 3) {
        int high = hex_digit(text[i]);
        int low = i + 1 < text.size() ? hex_digit(text[i + 1]) : 0;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

void ExecuteRegistrySubcommand(RunState& run, const ParsedCommand& cmd, Registry& registry) {
    if (cmd.createKey) {
        long result = registry.create_key(cmd.rootKey, cmd.keyPath);
        if (result == 0) {
            run.log.write("Created registry key.\n");
        } else {
            log_error(run, registry, "Error creating registry key: ", result);
        }
        return;
    }
    if (cmd.deleteKey) {
        long result = registry.delete_key(cmd.rootKey, cmd.keyPath);
        if (result == 0) {
            run.log.write("Deleted registry key.\n");
        } else {
            log_error(run, registry, "Error deleting registry key: ", result);
        }
        return;
    }

    const bool reading = !cmd.deleteValue && !cmd.resultVariable.empty();
    std::unique_ptr<RegistryKey> key;
    // A read needs read access only, so values a standard user may read can be read.
    long opened = registry.open_key(cmd.rootKey, cmd.keyPath,
                                    reading ? Registry::Access::kRead : Registry::Access::kReadWrite, key);
    if (opened != 0) {
        if (reading) run.vars.set_variable(cmd.resultVariable, "");
        log_error(run, registry, "Error opening registry key: ", opened);
        return;
    }
    if (cmd.deleteValue) {
        // The name is used as written: "(Default)" deletes a value of that very name.
        long result = key->delete_value(cmd.valueName);
        if (result == 0) {
            run.log.write("Deleted registry value.\n");
        } else {
            log_error(run, registry, "Error deleting registry value: ", result);
        }
        return;
    }
    const std::string name = iequals(cmd.valueName, "(Default)") ? std::string() : cmd.valueName;
    if (reading) {
        read_value(run, cmd, *key, registry, name);
    } else {
        set_value(run, cmd, *key, registry, name);
    }
}

}  // namespace dravik
