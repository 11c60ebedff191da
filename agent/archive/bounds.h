// The archive engine's one checking helper for values read from untrusted input (ZIP headers,
// deflate streams). Every length, offset and count taken from a file passes through `fits` or
// through a ByteReader, whose reads never leave the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

// True when the range [offset, offset + length) lies inside [0, limit). Written so that no
// addition can overflow, whatever the three values are.
constexpr bool fits(uint64_t offset, uint64_t length, uint64_t limit) {
    return offset <= limit && length <= limit - offset;
}

// Little-endian reader over a byte range. A read past the end yields 0 and sets the sticky
// `failed()` flag, so a parser can read a whole record and check once.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool failed() const { return failed_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    const uint8_t* here() const { return data_ + pos_; }

    // Moves to `pos`; false (and failed) when it lies beyond the end.
    bool seek(size_t pos) {
        if (pos > size_) return fail();
        pos_ = pos;
        return true;
    }
    bool skip(uint64_t n) {
        if (!fits(pos_, n, size_)) return fail();
        pos_ += static_cast<size_t>(n);
        return true;
    }
    // Takes n bytes and returns where they start, or nullptr (and failed) when they are not there.
    const uint8_t* take(uint64_t n) {
        if (!fits(pos_, n, size_)) {
            fail();
            return nullptr;
        }
        const uint8_t* p = data_ + pos_;
        pos_ += static_cast<size_t>(n);
        return p;
    }
    uint8_t u8() {
        const uint8_t* p = take(1);
        return p ? p[0] : 0;
    }
    uint16_t u16() {
        const uint8_t* p = take(2);
        return p ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0;
    }
    uint32_t u32() {
        const uint8_t* p = take(4);
        return p ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24)) : 0;
    }
    uint64_t u64() {
        uint64_t lo = u32();
        uint64_t hi = u32();
        return lo | (hi << 32);
    }

private:
    bool fail() {
        failed_ = true;
        return false;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Little-endian writers for building headers.
inline void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace dravik::archive
