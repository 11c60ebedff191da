// WinZip AES (AE-1, AE-2): key derivation, counter-mode encryption with WinZip's little-endian
// counter, and the truncated HMAC-SHA1 authentication code.
#include "winzip_aes.h"

#include <cstring>

#include "secure_zero.h"

namespace dravik::archive {

// The derived key material: AES key, HMAC key, verifier; wiped when the constructor is done.
struct WinZipAes::Keys {
    uint8_t bytes[2 * 32 + kVerifierSize];
    Keys(std::string_view password, int strength, const uint8_t* salt) {
        size_t ks = key_size(strength);
        pbkdf2_hmac_sha1(reinterpret_cast<const uint8_t*>(password.data()), password.size(), salt, salt_size(strength),
                         kIterations, bytes, 2 * ks + kVerifierSize);
    }
    ~Keys() { secure_zero(bytes, sizeof bytes); }
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;
};

WinZipAes::WinZipAes(std::string_view password, int strength, const uint8_t* salt)
    : WinZipAes(Keys(password, strength, salt), key_size(strength)) {}

WinZipAes::WinZipAes(const Keys& keys, size_t key_size)
    : aes_(keys.bytes, key_size), mac_(keys.bytes + key_size, key_size) {
    std::memcpy(verifier_, keys.bytes + 2 * key_size, kVerifierSize);
}

WinZipAes::~WinZipAes() {
    secure_zero(verifier_, sizeof verifier_);
    secure_zero(keystream_, sizeof keystream_);
    secure_zero(counter_, sizeof counter_);
}

bool WinZipAes::verifier_matches(const uint8_t stored[kVerifierSize]) const {
    return stored[0] == verifier_[0] && stored[1] == verifier_[1];
}

void WinZipAes::apply_keystream(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (used_ == Aes::kBlockSize) {
            for (uint8_t& b : counter_)
                if (++b != 0) break;  // little-endian increment; the first block gets 1
            aes_.encrypt_block(counter_, keystream_);
            used_ = 0;
        }
        data[i] ^= keystream_[used_++];
    }
}

void WinZipAes::encrypt(uint8_t* data, size_t size) {
    apply_keystream(data, size);
    mac_.update(data, size);
}

void WinZipAes::finish(uint8_t code[kMacSize]) {
    uint8_t full[Sha1::kDigestSize];
    mac_.finish(full);
    std::memcpy(code, full, kMacSize);
    secure_zero(full, sizeof full);
}

bool WinZipAes::codes_equal(const uint8_t a[kMacSize], const uint8_t b[kMacSize]) {
    uint8_t diff = 0;
    for (size_t i = 0; i < kMacSize; ++i) diff |= a[i] ^ b[i];
    return diff == 0;
}

}  // namespace dravik::archive
