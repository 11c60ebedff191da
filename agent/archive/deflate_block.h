// The deflate encoder's back end (RFC 1951 3.2): a bit writer and the block writer that turns a
// block's parsed symbols into a stored, fixed-code or dynamic-code block, whichever is shortest.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec_buffer.h"
#include "deflate_tables.h"
#include "inflate.h"

namespace dravik::archive::deflate_block {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr int kLitLenSymbols = 286;  // 0-255 literals, 256 end of block, 257-285 lengths
constexpr int kDistSymbols = 30;

// One parsed symbol: a literal (dist 0, value = the byte) or a match (value = its length).
struct Symbol {
    uint16_t value;
    uint16_t dist;
};

// Symbol counts of one block, without the end-of-block code.
struct Frequencies {
    uint32_t lit[kLitLenSymbols];
    uint32_t dist[kDistSymbols];
    void clear() { std::memset(this, 0, sizeof *this); }
};

constexpr std::array<uint8_t, kMaxMatch + 1> make_length_symbols() {
    std::array<uint8_t, kMaxMatch + 1> t{};
    for (int s = 0; s < 28; ++s)
        for (int l = kLengthBase[s]; l < kLengthBase[s] + (1 << kLengthExtra[s]); ++l) t[l] = static_cast<uint8_t>(s);
    t[kMaxMatch] = 28;  // 258 has its own symbol, not 284 with extra bits 31
    return t;
}
constexpr std::array<uint8_t, 512> make_dist_symbols() {
    std::array<uint8_t, 512> t{};
    for (uint32_t i = 0; i < 512; ++i) {
        uint32_t d = i < 256 ? i + 1 : ((i - 256) << 7) + 1;
        int s = 0;
        while (s + 1 < kDistSymbols && kDistBase[s + 1] <= d) ++s;
        t[i] = static_cast<uint8_t>(s);
    }
    return t;
}

// Length 3..258 -> length symbol - 257.
inline constexpr std::array<uint8_t, kMaxMatch + 1> kLengthSymbol = make_length_symbols();
// Distance 1..32768 -> distance symbol, through a 512-entry table: distances up to 256 have
// their own entry, longer ones share one per 128 (those symbols' ranges start at 128k + 1).
inline constexpr std::array<uint8_t, 512> kDistSymbolTable = make_dist_symbols();
inline int dist_symbol(uint32_t dist) { return kDistSymbolTable[dist <= 256 ? dist - 1 : 256 + ((dist - 1) >> 7)]; }

// LSB-first bit writer (RFC 1951 3.1.1) over a 64-bit accumulator. put() adds bits without
// storing; the caller keeps the accumulator below 64 bits by calling flush() at least every 56
// bits. flush() stores 8 bytes at once and advances by the whole bytes, so the buffer keeps 8
// bytes of slack, which reserve() provides.
class BitWriter {
public:
    void reserve(size_t more) {
        if (buf_.size() < pos_ + more + 16) buf_.resize(std::max(2 * buf_.size(), pos_ + more + 16), pos_);
    }
    void put(uint64_t value, int n) {
        acc_ |= value << count_;
        count_ += n;
    }
    void flush() {
        uint64_t v = acc_;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        v = __builtin_bswap64(v);
#endif
        std::memcpy(buf_.data() + pos_, &v, 8);
        pos_ += static_cast<size_t>(count_ >> 3);
        acc_ >>= (count_ & ~7);
        count_ &= 7;
    }
    void write(uint32_t value, int n) {
        put(value, n);
        flush();
    }
    // Pads with zero bits to a byte boundary.
    void align() {
        count_ = (count_ + 7) & ~7;
        flush();
    }
    // Appends bytes; only at a byte boundary.
    void raw(const uint8_t* p, size_t n) {
        std::memcpy(buf_.data() + pos_, p, n);
        pos_ += n;
    }
    // Forgets everything written; the buffer stays.
    void clear() {
        pos_ = 0;
        acc_ = 0;
        count_ = 0;
    }
    // Hands the whole bytes written so far to `out`; the bits of a partial byte stay.
    bool drain(const WriteFn& out) {
        if (pos_ == 0) return true;
        bool ok = out(buf_.data(), pos_);
        pos_ = 0;
        return ok;
    }

private:
    CodecBuffer<uint8_t> buf_{0};
    size_t pos_ = 0;
    uint64_t acc_ = 0;
    int count_ = 0;
};

// Writes one block holding `syms` (counted in `freq`), whose input bytes are `raw`; `final`
// sets BFINAL. With `raw` null the block is never stored.
void write_block(BitWriter& bw, const Symbol* syms, size_t nsyms, const Frequencies& freq, const uint8_t* raw,
                 size_t raw_size, bool final);

// Writes stored blocks (RFC 1951 3.2.4) holding `raw`, as many as 65535-byte pieces need.
void write_stored(BitWriter& bw, const uint8_t* raw, size_t raw_size, bool final);

// Optimal code lengths of at most `limit` bits for the symbols with non-zero frequency
// (package-merge); lengths of unused symbols are 0. One used symbol gets length 1.
void build_lengths(const uint32_t* freq, int n, int limit, uint8_t* lengths);

}  // namespace dravik::archive::deflate_block
