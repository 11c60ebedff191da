// SHA-1, FIPS 180-4 section 6.1: 512-bit blocks, an 80-word message schedule, four groups of
// twenty rounds; the message is padded with 0x80, zeros and its length in bits (big-endian) to a
// whole number of blocks. HMAC per RFC 2104 with B = 64; PBKDF2 per RFC 2898 section 5.2.
#include "sha1.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "secure_zero.h"

namespace dravik::archive {
namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }


}  // namespace

Sha1::Sha1() : h_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}, buffer_{} {}

Sha1::~Sha1() {
    secure_zero(h_, sizeof h_);
    secure_zero(buffer_, sizeof buffer_);
}

void Sha1::compress(const uint8_t block[kBlockSize]) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = load_be32(block + 4 * t);
    for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        uint32_t temp = rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
    secure_zero(w, sizeof w);
}

void Sha1::update(const uint8_t* data, size_t size) {
    total_ += size;
    if (buffered_) {
        size_t n = std::min(size, kBlockSize - buffered_);
        std::memcpy(buffer_ + buffered_, data, n);
        buffered_ += n;
        data += n;
        size -= n;
        if (buffered_ < kBlockSize) return;
        compress(buffer_);
        buffered_ = 0;
    }
    for (; size >= kBlockSize; data += kBlockSize, size -= kBlockSize) compress(data);
    if (size) {
        std::memcpy(buffer_, data, size);
        buffered_ = size;
    }
}

void Sha1::finish(uint8_t digest[kDigestSize]) {
    const uint64_t bits = total_ * 8;
    // 0x80, then zeros up to 56 bytes into a block, then the 64-bit length.
    uint8_t pad[kBlockSize + 8] = {0x80};
    size_t pad_size = (buffered_ < 56 ? 56 : 56 + kBlockSize) - buffered_;
    for (int i = 0; i < 8; ++i) pad[pad_size + i] = uint8_t(bits >> (56 - 8 * i));
    update(pad, pad_size + 8);
    for (int i = 0; i < 5; ++i) store_be32(digest + 4 * i, h_[i]);
}

HmacSha1::HmacSha1(const uint8_t* key, size_t key_size) {
    // A key longer than the block is replaced by its digest (RFC 2104 section 2).
    uint8_t k[Sha1::kBlockSize] = {};
    if (key_size > Sha1::kBlockSize) {
        Sha1 h;
        h.update(key, key_size);
        h.finish(k);
    } else if (key_size) {
        std::memcpy(k, key, key_size);
    }
    uint8_t pad[Sha1::kBlockSize];
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = k[i] ^ 0x36;
    inner_.update(pad, sizeof pad);
    for (size_t i = 0; i < sizeof pad; ++i) pad[i] = k[i] ^ 0x5C;
    outer_.update(pad, sizeof pad);
    secure_zero(k, sizeof k);
    secure_zero(pad, sizeof pad);
}

HmacSha1::~HmacSha1() = default;  // the two Sha1 members wipe themselves

void HmacSha1::finish(uint8_t mac[Sha1::kDigestSize]) {
    uint8_t inner_digest[Sha1::kDigestSize];
    inner_.finish(inner_digest);
    outer_.update(inner_digest, sizeof inner_digest);
    outer_.finish(mac);
    secure_zero(inner_digest, sizeof inner_digest);
}

void pbkdf2_hmac_sha1(const uint8_t* password, size_t password_size, const uint8_t* salt, size_t salt_size,
                      uint32_t iterations, uint8_t* out, size_t out_size) {
    // The keyed state is computed once and copied for every HMAC, which saves two of the four
    // compressions per iteration.
    const HmacSha1 keyed(password, password_size);
    uint8_t u[Sha1::kDigestSize], t[Sha1::kDigestSize];
    for (uint32_t block = 1; out_size; ++block) {
        // T_i = U_1 ^ U_2 ^ ... ^ U_c, U_1 = PRF(P, S || INT(i)), U_j = PRF(P, U_{j-1}).
        uint8_t index[4];
        store_be32(index, block);
        HmacSha1 first = keyed;
        first.update(salt, salt_size);
        first.update(index, sizeof index);
        first.finish(u);
        std::memcpy(t, u, sizeof t);
        for (uint32_t j = 1; j < iterations; ++j) {
            HmacSha1 next = keyed;
            next.update(u, sizeof u);
            next.finish(u);
            for (size_t k = 0; k < sizeof t; ++k) t[k] ^= u[k];
        }
        size_t n = std::min(out_size, sizeof t);
        std::memcpy(out, t, n);
        out += n;
        out_size -= n;
    }
    secure_zero(u, sizeof u);
    secure_zero(t, sizeof t);
}

}  // namespace dravik::archive
