// MD5 message digest (RFC 1321). Used to turn the container key text into a 16-byte cipher key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik {

class Md5 {
  public:
    Md5();
    void update(const void* data, size_t n);
    std::array<uint8_t, 16> finish();

    static std::array<uint8_t, 16> digest(std::string_view text);

  private:
    void block(const uint8_t* p);

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes so far
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

}  // namespace dravik
