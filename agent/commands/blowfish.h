// Blowfish (Schneier, 1993): a 64-bit block cipher with a key of 1 to 56 bytes. A block is taken as
// two big-endian 32-bit halves. CBC mode chains blocks through the previous cipher block; the chain
// value lives in the object, so data may be fed in pieces (multiples of 8 bytes) with the same
// result as one pass over the whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik {

class Blowfish {
  public:
    // key: 1 to 56 bytes (longer keys are cut at 56, as the key schedule only uses that many).
    explicit Blowfish(std::string_view key);
    ~Blowfish();
    Blowfish(const Blowfish&) = delete;
    Blowfish& operator=(const Blowfish&) = delete;

    void encrypt_block(uint32_t& left, uint32_t& right) const;
    void decrypt_block(uint32_t& left, uint32_t& right) const;
    // One 8-byte block in place.
    void encrypt_block(uint8_t* block) const;
    void decrypt_block(uint8_t* block) const;

    // Decrypts kLanes independent blocks (given as halves) at once.
    static constexpr int kLanes = 8;
    void decrypt_lanes(uint32_t (&left)[kLanes], uint32_t (&right)[kLanes]) const;

  private:
    uint32_t f(uint32_t x) const {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
    }

    uint32_t p_[18];
    uint32_t s_[4][256];
};

class BlowfishCbc {
  public:
    // The initial vector is all zero.
    explicit BlowfishCbc(const Blowfish& cipher) : cipher_(cipher) {}
    // `n` must be a multiple of 8.
    void encrypt(uint8_t* data, size_t n);
    void decrypt(uint8_t* data, size_t n);

  private:
    const Blowfish& cipher_;
    uint32_t chain_[2] = {0, 0};  // the previous cipher block as two halves
};

}  // namespace dravik
