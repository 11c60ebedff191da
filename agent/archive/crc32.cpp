// CRC-32 with slice-by-4 tables: four table look-ups per 32-bit word of input. The tables are
// computed once at start-up from the reflected polynomial.
#include "crc32.h"

#include <array>

namespace dravik::archive {
namespace {

struct Tables {
    std::array<std::array<uint32_t, 256>, 4> t{};
    Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 4; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

}  // namespace

uint32_t crc32_byte(uint32_t crc_register, uint8_t byte) {
    return (crc_register >> 8) ^ tables().t[0][(crc_register ^ byte) & 0xFF];
}

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size) {
    const auto& t = tables().t;
    uint32_t c = ~crc;
    while (size >= 4) {
        c ^= uint32_t(data[0]) | (uint32_t(data[1]) << 8) | (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
        c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][(c >> 16) & 0xFF] ^ t[0][c >> 24];
        data += 4;
        size -= 4;
    }
    while (size--) c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFF];
    return ~c;
}

}  // namespace dravik::archive
