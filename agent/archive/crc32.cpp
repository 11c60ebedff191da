// CRC-32 (reflected polynomial 0xEDB88320) in two ways, chosen once at run time:
// - Portable: slicing-by-8. Table k holds the CRC register change caused by one byte followed by
//   k zero bytes, so eight table look-ups advance the register over eight input bytes at once.
// - x86 with PCLMULQDQ: folding with carry-less multiplication, after Intel's white paper "Fast
//   CRC Computation for Generic Polynomials Using PCLMULQDQ Instruction". Four 128-bit lanes
//   each hold 16 message bytes. In the reflected bit order, bit i of a 16-byte lane stands for
//   x^(127-i); its low 64 bits form a polynomial A worth A*x^64 and its high 64 bits one B worth
//   B*x^0. Moving a lane D bits further along the message multiplies it by x^D, which modulo P
//   is A*(x^(D+64) mod P) + B*(x^D mod P), each product at most 96 bits long. A carry-less
//   multiply of two reflected 64-bit values yields their product shifted by one bit, so the
//   constants are x^(D+63) mod P and x^(D-1) mod P. Once the lanes are folded into one, that
//   lane still has the same CRC as the message it replaced; its 16 bytes and the remaining tail
//   go through the table code. Constants are computed from the polynomial at compile time.
#include "crc32.h"

#include <array>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DRAVIK_CRC32_CLMUL 1
#include <immintrin.h>
#endif

namespace dravik::archive {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables make_tables() {
    Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr Tables kTables = make_tables();

inline uint32_t load32_le(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Advances the (inverted) CRC register over `size` bytes.
uint32_t crc32_tables(uint32_t c, const uint8_t* p, size_t size) {
    const auto& t = kTables;
    while (size && (reinterpret_cast<uintptr_t>(p) & 3)) {
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
        --size;
    }
    while (size >= 8) {
        uint32_t lo = c ^ load32_le(p);
        uint32_t hi = load32_le(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
            t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size--) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return c;
}

#ifdef DRAVIK_CRC32_CLMUL

// x^n mod P in the reflected 64-bit form the folding multiplies with: the coefficient of x^d in
// bit 63 - d (the remainder has degree below 32, so it fills the upper half).
constexpr uint64_t x_pow_mod(unsigned n) {
    uint32_t v = 1;  // normal bit order: bit d is the coefficient of x^d
    for (unsigned i = 0; i < n; ++i) v = (v << 1) ^ ((v >> 31) ? 0x04C11DB7u : 0u);
    uint64_t r = 0;
    for (int d = 0; d < 32; ++d) r |= uint64_t((v >> d) & 1u) << (63 - d);
    return r;
}

// Fold distances: 512 bits (four lanes at a time) and 128 bits (one lane into the next).
constexpr uint64_t kFold512Low = x_pow_mod(512 + 63), kFold512High = x_pow_mod(512 - 1);
constexpr uint64_t kFold128Low = x_pow_mod(128 + 63), kFold128High = x_pow_mod(128 - 1);

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Needs size >= 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32_clmul(uint32_t c, const uint8_t* p, size_t size) {
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
    // The register's value is the same as XORing it into the first four message bytes.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    size -= 64;
    while (size >= 64) {
        x0 = _mm_xor_si128(fold(x0, k512), load(p));
        x1 = _mm_xor_si128(fold(x1, k512), load(p + 16));
        x2 = _mm_xor_si128(fold(x2, k512), load(p + 32));
        x3 = _mm_xor_si128(fold(x3, k512), load(p + 48));
        p += 64;
        size -= 64;
    }
    x0 = _mm_xor_si128(fold(x0, k128), x1);
    x0 = _mm_xor_si128(fold(x0, k128), x2);
    x0 = _mm_xor_si128(fold(x0, k128), x3);
    while (size >= 16) {
        x0 = _mm_xor_si128(fold(x0, k128), load(p));
        p += 16;
        size -= 16;
    }
    uint8_t lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), x0);
    return crc32_tables(crc32_tables(0, lane, 16), p, size);
}

bool has_clmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

#endif

}  // namespace

uint32_t crc32_byte(uint32_t crc_register, uint8_t byte) {
    return (crc_register >> 8) ^ kTables[0][(crc_register ^ byte) & 0xFF];
}

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size) {
    uint32_t c = ~crc;
#ifdef DRAVIK_CRC32_CLMUL
    static const bool clmul = has_clmul();
    if (size >= 128 && clmul) return ~crc32_clmul(c, data, size);
#endif
    return ~crc32_tables(c, data, size);
}

bool crc32_uses_clmul() {
#ifdef DRAVIK_CRC32_CLMUL
    static const bool clmul = has_clmul();
    return clmul;
#else
    return false;
#endif
}

uint32_t crc32_update_portable(uint32_t crc, const uint8_t* data, size_t size) {
    return ~crc32_tables(~crc, data, size);
}

}  // namespace dravik::archive
