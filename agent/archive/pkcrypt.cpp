// Traditional PKWARE encryption, APPNOTE 6.1.5 to 6.1.7.
#include "pkcrypt.h"

#include <cstring>

#include "crc32.h"
#include "secure_zero.h"

namespace dravik::archive {

TraditionalCipher::TraditionalCipher(std::string_view password) : k0_(0x12345678u), k1_(0x23456789u), k2_(0x34567890u) {
    for (char c : password) update(static_cast<uint8_t>(c));
}

TraditionalCipher::~TraditionalCipher() {
    // The keys are as good as the password; do not leave them in freed memory.
    secure_zero(&k0_, sizeof k0_);
    secure_zero(&k1_, sizeof k1_);
    secure_zero(&k2_, sizeof k2_);
}

void TraditionalCipher::update(uint8_t plain) {
    k0_ = crc32_byte(k0_, plain);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = crc32_byte(k2_, static_cast<uint8_t>(k1_ >> 24));
}

uint8_t TraditionalCipher::stream_byte() const {
    uint32_t temp = (k2_ | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TraditionalCipher::encrypt(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        uint8_t plain = data[i];
        data[i] = plain ^ stream_byte();
        update(plain);
    }
}

void TraditionalCipher::decrypt(uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        uint8_t plain = data[i] ^ stream_byte();
        data[i] = plain;
        update(plain);
    }
}

void TraditionalCipher::make_header(const uint8_t random[11], uint8_t check, uint8_t header[kHeaderSize]) {
    std::memcpy(header, random, 11);
    header[11] = check;
    encrypt(header, kHeaderSize);
}

bool TraditionalCipher::check_header(const uint8_t header[kHeaderSize], uint8_t check) {
    uint8_t plain[kHeaderSize];
    std::memcpy(plain, header, kHeaderSize);
    decrypt(plain, kHeaderSize);
    return plain[11] == check;
}

}  // namespace dravik::archive
