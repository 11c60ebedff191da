// The fixed tables of the deflate format shared by the compressor and the decompressor
// (RFC 1951 3.2.5 and 3.2.7).
#pragma once

#include <array>
#include <cstdint>

namespace dravik::archive {

// Bases and extra bits of the length codes 257..285 and the distance codes 0..29.
inline constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                           33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Huffman codes are packed starting with their most significant bit (RFC 1951 3.1.1), while the
// bit buffers work LSB first, so codes are kept bit-reversed. Reverses the low `len` (<= 16) bits.
inline constexpr std::array<uint8_t, 256> kReversedByte = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 8; ++b) t[i] = static_cast<uint8_t>(t[i] | (((i >> b) & 1) << (7 - b)));
    return t;
}();
inline uint32_t reverse_bits(uint32_t code, int len) {
    return (uint32_t(kReversedByte[code & 0xFF]) << 8 | kReversedByte[(code >> 8) & 0xFF]) >> (16 - len);
}

// The order in which the code-length code lengths are stored.
inline constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

}  // namespace dravik::archive
