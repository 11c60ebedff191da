// WinZip AES entry encryption (the AE-1 and AE-2 formats of WinZip's "AES Encryption
// Information" document). An encrypted entry's data is
//
//     salt (8, 12 or 16 bytes for strength 1, 2, 3) | password verifier (2) | encrypted data |
//     authentication code (10)
//
// PBKDF2-HMAC-SHA1 with 1000 iterations turns the password and the salt into the AES key, an
// HMAC-SHA1 key of the same length and the 2-byte verifier, in that order. The data is encrypted
// with AES in counter mode: the counter is a 16-byte little-endian number that starts at 1 for
// the entry's first block. The authentication code is the first 10 bytes of HMAC-SHA1 over the
// encrypted data. The header carries compression method 99 and extra field 0x9901 with the
// format version (AE-1 keeps the real CRC-32, AE-2 stores 0), the vendor "AE", the strength and
// the real compression method.
//
// Order of calls: construct with the password, strength and salt (this runs the key
// derivation); compare or write verifier(); then either encrypt() the data piece by piece, or
// authenticate() the encrypted data and apply_keystream() to it; finish() gives the code once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "aes.h"
#include "sha1.h"

namespace dravik::archive {

class WinZipAes {
public:
    static constexpr size_t kVerifierSize = 2;
    static constexpr size_t kMacSize = 10;
    static constexpr size_t kMaxSaltSize = 16;
    static constexpr uint32_t kIterations = 1000;
    static constexpr uint16_t kExtraFieldId = 0x9901;
    static constexpr uint16_t kVendorId = 0x4541;  // "AE" little-endian
    static constexpr uint16_t kMethod = 99;        // the compression method of an AES entry

    static constexpr bool valid_strength(int strength) { return strength >= 1 && strength <= 3; }
    // 16, 24, 32 bytes of key and 8, 12, 16 bytes of salt for strengths 1, 2, 3; 0 for others.
    static constexpr size_t key_size(int strength) { return valid_strength(strength) ? 8 + 8 * size_t(strength) : 0; }
    static constexpr size_t salt_size(int strength) { return key_size(strength) / 2; }
    // What the format adds to the compressed data: salt, verifier and authentication code.
    static constexpr size_t overhead(int strength) { return salt_size(strength) + kVerifierSize + kMacSize; }

    // `strength` must be valid; `salt` holds salt_size(strength) bytes.
    WinZipAes(std::string_view password, int strength, const uint8_t* salt);
    ~WinZipAes();
    WinZipAes(const WinZipAes&) = delete;
    WinZipAes& operator=(const WinZipAes&) = delete;

    const uint8_t* verifier() const { return verifier_; }
    bool verifier_matches(const uint8_t stored[kVerifierSize]) const;

    // Encrypts in place and adds the result to the authentication code.
    void encrypt(uint8_t* data, size_t size);
    // Adds encrypted data to the authentication code without decrypting it.
    void authenticate(const uint8_t* data, size_t size) { mac_.update(data, size); }
    // XORs the key stream into `data`: decrypts what encrypt() produced (no authentication).
    void apply_keystream(uint8_t* data, size_t size);
    void finish(uint8_t code[kMacSize]);

    // Compares two authentication codes in time independent of where they differ.
    static bool codes_equal(const uint8_t a[kMacSize], const uint8_t b[kMacSize]);

private:
    struct Keys;
    WinZipAes(const Keys& keys, size_t key_size);

    Aes aes_;
    HmacSha1 mac_;
    uint8_t verifier_[kVerifierSize];
    uint8_t counter_[Aes::kBlockSize] = {};
    uint8_t keystream_[Aes::kBlockSize] = {};
    size_t used_ = Aes::kBlockSize;  // key-stream bytes of the current block already used
};

}  // namespace dravik::archive
