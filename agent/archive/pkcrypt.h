// Traditional PKWARE encryption (APPNOTE 6.1): three 32-bit keys updated with CRC-32 steps per
// plaintext byte, a 12-byte encryption header in front of the entry data whose last byte is a
// check byte (the high byte of the CRC-32, or of the DOS time when a data descriptor is used).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik::archive {

class TraditionalCipher {
public:
    static constexpr size_t kHeaderSize = 12;

    explicit TraditionalCipher(std::string_view password);
    ~TraditionalCipher();
    TraditionalCipher(const TraditionalCipher&) = delete;
    TraditionalCipher& operator=(const TraditionalCipher&) = delete;

    void encrypt(uint8_t* data, size_t size);
    void decrypt(uint8_t* data, size_t size);

    // Encrypts the 11 random bytes given plus `check` into `header`.
    void make_header(const uint8_t random[11], uint8_t check, uint8_t header[kHeaderSize]);
    // Decrypts `header` and tells whether its last byte equals `check`.
    bool check_header(const uint8_t header[kHeaderSize], uint8_t check);

private:
    uint8_t stream_byte() const;
    void update(uint8_t plain);
    uint32_t k0_, k1_, k2_;
};

}  // namespace dravik::archive
