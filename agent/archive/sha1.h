// SHA-1 (FIPS 180-4), HMAC-SHA1 (RFC 2104) and PBKDF2 with HMAC-SHA1 as its pseudorandom
// function (RFC 2898 section 5.2), as the WinZip AES format uses them: PBKDF2 turns the password
// and a salt into the AES key, the authentication key and the password verifier, and HMAC-SHA1
// over the encrypted data is the entry's authentication code.
//
// Order of calls: Sha1 and HmacSha1 take any number of update() calls and one finish(); after
// finish() the object is spent. Every object wipes its state when it is destroyed, because the
// HMAC states are as secret as the key they were made from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

class Sha1 {
public:
    static constexpr size_t kDigestSize = 20;
    static constexpr size_t kBlockSize = 64;

    Sha1();
    ~Sha1();
    Sha1(const Sha1&) = default;
    Sha1& operator=(const Sha1&) = default;

    void update(const uint8_t* data, size_t size);
    void finish(uint8_t digest[kDigestSize]);

private:
    void compress(const uint8_t block[kBlockSize]);
    uint32_t h_[5];
    uint8_t buffer_[kBlockSize];
    size_t buffered_ = 0;
    uint64_t total_ = 0;  // bytes hashed so far
};

class HmacSha1 {
public:
    HmacSha1(const uint8_t* key, size_t key_size);
    ~HmacSha1();
    HmacSha1(const HmacSha1&) = default;
    HmacSha1& operator=(const HmacSha1&) = default;

    void update(const uint8_t* data, size_t size) { inner_.update(data, size); }
    void finish(uint8_t mac[Sha1::kDigestSize]);

private:
    Sha1 inner_, outer_;  // already fed with the key XOR ipad and the key XOR opad
};

// PBKDF2-HMAC-SHA1: fills `out` with `out_size` bytes derived from the password and salt.
void pbkdf2_hmac_sha1(const uint8_t* password, size_t password_size, const uint8_t* salt, size_t salt_size,
                      uint32_t iterations, uint8_t* out, size_t out_size);

}  // namespace dravik::archive
