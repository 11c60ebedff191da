// Builds small stored ZIP archives byte by byte, so tests can make archives with names and
// fields no well-behaved tool would write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crc32.h"

namespace dravik::archive::test {

struct RawEntry {
    std::string name;
    std::string data;
    uint16_t flags = 0;
};

inline void le(std::string& s, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string build_stored_zip(const std::vector<RawEntry>& entries, const std::string& preamble = "") {
    std::string out = preamble, central;
    for (const RawEntry& e : entries) {
        uint32_t crc = crc32_update(0, reinterpret_cast<const uint8_t*>(e.data.data()), e.data.size());
        uint64_t offset = out.size() - preamble.size();
        std::string common;
        le(common, 20, 2);
        le(common, e.flags, 2);
        le(common, 0, 2);       // stored
        le(common, 0x6000, 2);  // 12:00:00
        le(common, 0x5821, 2);  // 2024-01-01
        le(common, crc, 4);
        le(common, e.data.size(), 4);
        le(common, e.data.size(), 4);
        le(common, e.name.size(), 2);
        le(common, 0, 2);
        out += "PK\x03\x04" + common + e.name + e.data;
        central += std::string("PK\x01\x02") + std::string("\x14\x00", 2) + common;
        le(central, 0, 2);  // comment
        le(central, 0, 2);  // disk
        le(central, 0, 2);
        le(central, 0x20, 4);
        le(central, offset, 4);
        central += e.name;
    }
    uint64_t cd_offset = out.size() - preamble.size();
    out += central;
    out += std::string("PK\x05\x06", 4);
    le(out, 0, 4);
    le(out, entries.size(), 2);
    le(out, entries.size(), 2);
    le(out, central.size(), 4);
    le(out, cd_offset, 4);
    le(out, 0, 2);
    return out;
}

}  // namespace dravik::archive::test
