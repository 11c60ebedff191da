// AES encryption, FIPS-197. The state is kept as four big-endian column words; SubBytes,
// ShiftRows and MixColumns of one round are merged into four 256-entry word tables (each entry
// the S-box value times the MixColumns column {2,1,1,3}, rotated per row), so a round is sixteen
// table look-ups and the round-key XOR. The last round has no MixColumns and uses the S-box
// alone. Look-ups are indexed by single bytes, so no index can leave its table; the timing
// depends on the data through the caches, which this engine accepts (it encrypts local files,
// not secrets served to an attacker who can measure it).
//
// The S-box and the tables are computed at compile time from their definition (FIPS-197
// section 5.1.1: the multiplicative inverse in GF(2^8) followed by the affine transformation),
// using powers of the generator 3 to find inverses.
#include "aes.h"

#include <array>
#include <cstring>

#include "byte_order.h"
#include "secure_zero.h"

namespace dravik::archive {
namespace {

constexpr uint8_t xtime(uint8_t a) { return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0)); }
constexpr uint8_t rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }
constexpr uint32_t rotr32(uint32_t x, int n) { return n == 0 ? x : (x >> n) | (x << (32 - n)); }

constexpr std::array<uint8_t, 256> make_sbox() {
    // exp[i] = 3^i and log[3^i] = i in GF(2^8) with the polynomial x^8 + x^4 + x^3 + x + 1.
    std::array<uint8_t, 256> exp{}, log{}, sbox{};
    uint8_t p = 1;
    for (int i = 0; i < 255; ++i) {
        exp[i] = p;
        log[p] = static_cast<uint8_t>(i);
        p = static_cast<uint8_t>(p ^ xtime(p));  // times 3
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t inv = x == 0 ? 0 : exp[(255 - log[x]) % 255];
        sbox[x] = static_cast<uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
    }
    return sbox;
}

constexpr std::array<uint8_t, 256> kSbox = make_sbox();

using Table = std::array<uint32_t, 256>;

constexpr std::array<Table, 4> make_tables() {
    std::array<Table, 4> t{};
    for (int x = 0; x < 256; ++x) {
        uint8_t s = kSbox[x], s2 = xtime(s), s3 = static_cast<uint8_t>(s2 ^ s);
        uint32_t w = uint32_t(s2) << 24 | uint32_t(s) << 16 | uint32_t(s) << 8 | s3;
        for (int r = 0; r < 4; ++r) t[r][x] = rotr32(w, 8 * r);
    }
    return t;
}

constexpr std::array<Table, 4> kTables = make_tables();

// Spot checks against FIPS-197 Figure 7, so a mistake in the generation fails the build.
static_assert(kSbox[0x00] == 0x63 && kSbox[0x01] == 0x7c && kSbox[0x53] == 0xed && kSbox[0xff] == 0x16);


inline uint32_t sub_word(uint32_t w) {
    return uint32_t(kSbox[w >> 24]) << 24 | uint32_t(kSbox[(w >> 16) & 0xFF]) << 16 |
           uint32_t(kSbox[(w >> 8) & 0xFF]) << 8 | kSbox[w & 0xFF];
}

}  // namespace

Aes::Aes(const uint8_t* key, size_t key_size) {
    if (!valid_key_size(key_size)) return;
    const int nk = static_cast<int>(key_size / 4);
    rounds_ = nk + 6;
    const int total = 4 * (rounds_ + 1);
    for (int i = 0; i < nk; ++i) w_[i] = load_be32(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < total; ++i) {
        uint32_t temp = w_[i - 1];
        if (i % nk == 0) {
            temp = sub_word(rotr32(temp, 24)) ^ (uint32_t(rcon) << 24);  // RotWord is a left rotation
            rcon = xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = sub_word(temp);
        }
        w_[i] = w_[i - nk] ^ temp;
    }
}

Aes::~Aes() { secure_zero(w_, sizeof w_); }

void Aes::encrypt_block(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const {
    const Table &t0 = kTables[0], &t1 = kTables[1], &t2 = kTables[2], &t3 = kTables[3];
    const uint32_t* rk = w_;
    uint32_t s0 = load_be32(in) ^ rk[0], s1 = load_be32(in + 4) ^ rk[1];
    uint32_t s2 = load_be32(in + 8) ^ rk[2], s3 = load_be32(in + 12) ^ rk[3];
    for (int round = 1; round < rounds_; ++round) {
        rk += 4;
        uint32_t n0 = t0[s0 >> 24] ^ t1[(s1 >> 16) & 0xFF] ^ t2[(s2 >> 8) & 0xFF] ^ t3[s3 & 0xFF] ^ rk[0];
        uint32_t n1 = t0[s1 >> 24] ^ t1[(s2 >> 16) & 0xFF] ^ t2[(s3 >> 8) & 0xFF] ^ t3[s0 & 0xFF] ^ rk[1];
        uint32_t n2 = t0[s2 >> 24] ^ t1[(s3 >> 16) & 0xFF] ^ t2[(s0 >> 8) & 0xFF] ^ t3[s1 & 0xFF] ^ rk[2];
        uint32_t n3 = t0[s3 >> 24] ^ t1[(s0 >> 16) & 0xFF] ^ t2[(s1 >> 8) & 0xFF] ^ t3[s2 & 0xFF] ^ rk[3];
        s0 = n0, s1 = n1, s2 = n2, s3 = n3;
    }
    if (rounds_ > 0) {
        // Final round: SubBytes and ShiftRows only.
        rk += 4;
        auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
            return uint32_t(kSbox[a >> 24]) << 24 | uint32_t(kSbox[(b >> 16) & 0xFF]) << 16 |
                   uint32_t(kSbox[(c >> 8) & 0xFF]) << 8 | kSbox[d & 0xFF];
        };
        uint32_t n0 = last(s0, s1, s2, s3) ^ rk[0], n1 = last(s1, s2, s3, s0) ^ rk[1];
        uint32_t n2 = last(s2, s3, s0, s1) ^ rk[2], n3 = last(s3, s0, s1, s2) ^ rk[3];
        s0 = n0, s1 = n1, s2 = n2, s3 = n3;
    }
    store_be32(out, s0);
    store_be32(out + 4, s1);
    store_be32(out + 8, s2);
    store_be32(out + 12, s3);
}

}  // namespace dravik::archive
