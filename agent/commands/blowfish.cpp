#include "commands/blowfish.h"

#include <cstring>

#include "byte_order.h"
#include "commands/blowfish_tables.h"

namespace dravik {

namespace {

using archive::load_be32;
using archive::store_be32;

}  // namespace

Blowfish::Blowfish(std::string_view key) {
    std::memcpy(p_, kBlowfishInitialP, sizeof p_);
    std::memcpy(s_, kBlowfishInitialS, sizeof s_);
    if (key.size() > 56) key = key.substr(0, 56);
    // XOR the key, repeated cyclically, into the P-array.
    if (!key.empty()) {
        size_t k = 0;
        for (uint32_t& p : p_) {
            uint32_t word = 0;
            for (int i = 0; i < 4; ++i) {
                word = (word << 8) | static_cast<uint8_t>(key[k]);
                k = (k + 1) % key.size();
            }
            p ^= word;
        }
    }
    // Replace the subkeys with the successive encryptions of an all-zero block.
    uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        encrypt_block(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            encrypt_block(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

Blowfish::~Blowfish() {
    // The subkeys are derived from the key: do not leave them in freed memory.
    volatile uint32_t* wipe = p_;
    for (size_t i = 0; i < 18; ++i) wipe[i] = 0;
    volatile uint32_t* wipe_s = &s_[0][0];
    for (size_t i = 0; i < 4 * 256; ++i) wipe_s[i] = 0;
}

// Sixteen Feistel rounds, written out so the compiler keeps both halves in registers. Each half takes
// its subkey before the round function's result arrives (XOR is associative), which keeps the subkey
// off the chain of dependent steps from one round to the next.
#define DRAVIK_BF_ROUND(a, b, n) b ^= p_[n] ^ f(a);

void Blowfish::encrypt_block(uint32_t& left, uint32_t& right) const {
    uint32_t l = left ^ p_[0], r = right;
    DRAVIK_BF_ROUND(l, r, 1)
    DRAVIK_BF_ROUND(r, l, 2)
    DRAVIK_BF_ROUND(l, r, 3)
    DRAVIK_BF_ROUND(r, l, 4)
    DRAVIK_BF_ROUND(l, r, 5)
    DRAVIK_BF_ROUND(r, l, 6)
    DRAVIK_BF_ROUND(l, r, 7)
    DRAVIK_BF_ROUND(r, l, 8)
    DRAVIK_BF_ROUND(l, r, 9)
    DRAVIK_BF_ROUND(r, l, 10)
    DRAVIK_BF_ROUND(l, r, 11)
    DRAVIK_BF_ROUND(r, l, 12)
    DRAVIK_BF_ROUND(l, r, 13)
    DRAVIK_BF_ROUND(r, l, 14)
    DRAVIK_BF_ROUND(l, r, 15)
    DRAVIK_BF_ROUND(r, l, 16)
    left = r ^ p_[17];
    right = l;
}

void Blowfish::decrypt_block(uint32_t& left, uint32_t& right) const {
    uint32_t l = left ^ p_[17], r = right;
    DRAVIK_BF_ROUND(l, r, 16)
    DRAVIK_BF_ROUND(r, l, 15)
    DRAVIK_BF_ROUND(l, r, 14)
    DRAVIK_BF_ROUND(r, l, 13)
    DRAVIK_BF_ROUND(l, r, 12)
    DRAVIK_BF_ROUND(r, l, 11)
    DRAVIK_BF_ROUND(l, r, 10)
    DRAVIK_BF_ROUND(r, l, 9)
    DRAVIK_BF_ROUND(l, r, 8)
    DRAVIK_BF_ROUND(r, l, 7)
    DRAVIK_BF_ROUND(l, r, 6)
    DRAVIK_BF_ROUND(r, l, 5)
    DRAVIK_BF_ROUND(l, r, 4)
    DRAVIK_BF_ROUND(r, l, 3)
    DRAVIK_BF_ROUND(l, r, 2)
    DRAVIK_BF_ROUND(r, l, 1)
    left = r ^ p_[0];
    right = l;
}

#undef DRAVIK_BF_ROUND

void Blowfish::encrypt_block(uint8_t* block) const {
    uint32_t l = load_be32(block), r = load_be32(block + 4);
    encrypt_block(l, r);
    store_be32(block, l);
    store_be32(block + 4, r);
}

void Blowfish::decrypt_block(uint8_t* block) const {
    uint32_t l = load_be32(block), r = load_be32(block + 4);
    decrypt_block(l, r);
    store_be32(block, l);
    store_be32(block + 4, r);
}

void BlowfishCbc::encrypt(uint8_t* data, size_t n) {
    uint32_t cl = chain_[0], cr = chain_[1];
    for (size_t at = 0; at + 8 <= n; at += 8) {
        uint32_t l = load_be32(data + at) ^ cl, r = load_be32(data + at + 4) ^ cr;
        cipher_.encrypt_block(l, r);
        store_be32(data + at, l);
        store_be32(data + at + 4, r);
        cl = l;
        cr = r;
    }
    chain_[0] = cl;
    chain_[1] = cr;
}

void Blowfish::decrypt_lanes(uint32_t (&l)[kLanes], uint32_t (&r)[kLanes]) const {
    // The same rounds as decrypt_block on independent blocks side by side: the S-box lookups of one
    // block overlap those of the others instead of waiting on them.
    for (int round = 17; round > 1; round -= 2) {
        for (int i = 0; i < kLanes; ++i) {
            l[i] ^= p_[round];
            r[i] ^= f(l[i]);
            r[i] ^= p_[round - 1];
            l[i] ^= f(r[i]);
        }
    }
    for (int i = 0; i < kLanes; ++i) {
        const uint32_t left = r[i] ^ p_[0];
        r[i] = l[i] ^ p_[1];
        l[i] = left;
    }
}

void BlowfishCbc::decrypt(uint8_t* data, size_t n) {
    // CBC decryption does not chain through the cipher: each block needs only its own cipher text and
    // the one before, so several blocks are decrypted at once.
    constexpr int kLanes = Blowfish::kLanes;
    uint32_t cl = chain_[0], cr = chain_[1];
    size_t at = 0;
    for (; at + 8 * kLanes <= n; at += 8 * kLanes) {
        uint32_t l[kLanes], r[kLanes], in_l[kLanes], in_r[kLanes];
        for (int i = 0; i < kLanes; ++i) {
            l[i] = in_l[i] = load_be32(data + at + 8 * i);
            r[i] = in_r[i] = load_be32(data + at + 8 * i + 4);
        }
        cipher_.decrypt_lanes(l, r);
        for (int i = 0; i < kLanes; ++i) {
            store_be32(data + at + 8 * i, l[i] ^ cl);
            store_be32(data + at + 8 * i + 4, r[i] ^ cr);
            cl = in_l[i];
            cr = in_r[i];
        }
    }
    for (; at + 8 <= n; at += 8) {
        const uint32_t in_l = load_be32(data + at), in_r = load_be32(data + at + 4);
        uint32_t l = in_l, r = in_r;
        cipher_.decrypt_block(l, r);
        store_be32(data + at, l ^ cl);
        store_be32(data + at + 4, r ^ cr);
        cl = in_l;
        cr = in_r;
    }
    chain_[0] = cl;
    chain_[1] = cr;
}

}  // namespace dravik
