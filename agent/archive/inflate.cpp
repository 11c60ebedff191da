// Inflate (RFC 1951). Design:
// - Input is read in 64 KiB pieces. Bits are taken LSB first (RFC 1951 3.1.1) from a bit buffer
//   the width of a machine word (64 bits, or 32 on 32-bit targets). The fast loop refills it a
//   whole word at a time without a branch: it ORs the next word-sized load in above the bits it
//   holds and advances the input by the whole bytes that fit, so the buffer then holds at least
//   word - 8 valid bits. Bits above the valid count are always the stream's own next bits (or
//   zero), so refilling them again is harmless. The symbol-at-a-time path refills the same way
//   while a word of input is buffered; near the end of the input it takes one byte at a time and
//   tells a stream that ends too early from one that is invalid.
// - Huffman codes decode through tables indexed by the next stream bits: a primary table of
//   11 bits (literal/length), 8 bits (distance) or 7 bits (code-length code), and for longer
//   codes a subtable per primary pattern, indexed by the bits after the primary ones. An entry
//   holds the code length and what the symbol means: a literal, a length or distance base with
//   its count of extra bits (and their sum with the code length, so that the fast loop takes
//   both in one shift), the end of the block, a pointer to a subtable, or a mark for a bit
//   pattern that is no code or a symbol the format forbids (286/287, 30/31). Tables are built
//   from code lengths (RFC 1951 3.2.2) after checking that the set is neither over-subscribed
//   nor incomplete (one lone code of length 1 is the only incomplete set accepted; RFC 1951
//   3.2.7 allows a single distance code). The primary table is filled by doubling: it starts
//   as large as the shortest code needs and grows a bit at a time by copying itself, so that
//   most entries are written by block copies. The fixed code's tables are built once.
// - Output goes to a buffer (64 KiB, grown to 288 KiB when more output comes) that keeps the last
//   32 KiB as history when it is flushed. While at least 16 input bytes and 40 bytes of output
//   room remain, the fast loop decodes with one refill per match or per up to three literals,
//   and one more when a match follows one or two literals (on 32-bit targets three per match
//   and one per literal). It copies matches in pieces of 8 bytes, or of 16 or 32 past a long
//   match's first 32 bytes when the distance allows, writing at least 32 bytes and up to 31
//   past the match's end; a match without that much room after it is left to the
//   symbol-at-a-time path. Stored blocks are copied straight from the input.
#include "inflate.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <type_traits>

#include "bounds.h"
#include "codec_buffer.h"
#include "deflate_tables.h"

namespace dravik::archive {
namespace {

constexpr size_t kWindow = 32768;
constexpr size_t kInBuffer = 65536;
constexpr size_t kOutBuffer = kWindow + 256 * 1024;
constexpr size_t kInitialOut = 2 * kWindow;
// The fast loop runs while this much input is buffered and this much output room is left.
constexpr size_t kFastInput = 16;
constexpr size_t kFastOutput = 40;
constexpr int kMaxBits = 15;

struct Failure {
    InflateStatus status;
    const char* reason;
};
constexpr Failure kOk{InflateStatus::ok, ""};

// Table entry: bits 0-4 the step, the bits the fast loop consumes for it at once (the code
// length, plus the extra bits for a length or distance base; for a subtable pointer the
// subtable's index bits), bit 5 always clear, bits 8-11 the code length, bit 12 clear, bits
// 6-7, 13-15 and 31 the kind, bits 16-30 the value (literal, base, or subtable offset). With
// bit 5 clear the low six bits are the step, the bits a 64-bit shift instruction takes its count
// from, so that the fast loop can shift by the entry itself; a base entry (bit 31 clear) gives
// its value by one shift.
constexpr uint32_t kLiteral = 0x80000000;  // value = literal byte (or code-length symbol)
constexpr uint32_t kBase = 0x8000;         // value = length or distance base, extra bits follow
constexpr uint32_t kEndOfBlock = 0x4000;
constexpr uint32_t kSubtable = 0x2000;  // value = offset of the subtable, step = its index bits
constexpr uint32_t kNoCode = 0x40;      // no code has these bits (incomplete sets only)
constexpr uint32_t kBadSymbol = 0x80;   // a code for a symbol that must not occur

inline int step_bits(uint32_t e) { return static_cast<int>(e & 31); }
inline int code_length(uint32_t e) { return static_cast<int>((e >> 8) & 15); }
inline int extra_bits(uint32_t e) { return step_bits(e) - code_length(e); }
// The extra bits of a length or distance entry, from the bits its code started at. Bit 12 is
// clear, so the code length needs no mask before the shift (which takes five bits of its
// count, as the instruction does).
inline uint32_t extra_value(uint32_t bits, uint32_t e) { return (bits & ((1u << (e & 31)) - 1)) >> ((e >> 8) & 31); }
inline uint32_t value_of(uint32_t e) { return (e >> 16) & 0x7FFF; }
// Completes an entry with its code length: the step adds the code length to the extra bits.
inline uint32_t with_length(uint32_t e, int len) {
    return e + static_cast<uint32_t>(len) + (static_cast<uint32_t>(len) << 8);
}

enum class Alphabet { literal_length, distance, code_length };

// Most entries a table can need: the primary table plus, at most, one subtable of the largest
// size per symbol with a code longer than the primary bits.
constexpr size_t table_capacity(int symbols, int primary_bits) {
    return (size_t(1) << primary_bits) + size_t(symbols) * (size_t(1) << (kMaxBits - primary_bits));
}
constexpr int kLitBits = 11, kDistBits = 8, kPrecodeBits = 7;

class DecodeTable {
  public:
    DecodeTable(const DecodeTable&) = delete;
    DecodeTable& operator=(const DecodeTable&) = delete;

    // Builds from `count` code lengths; returns nullptr on success or the reason it is invalid.
    const char* build(const uint8_t* lengths, int count, int primary_bits, Alphabet alphabet) {
        // The symbols are counted and sorted in four interleaved lanes of consecutive symbols:
        // with one counter per length, symbols of equal length in a row would each wait for the
        // previous count to be stored.
        constexpr int kLanes = 4;
        const int lane_size = (count + kLanes - 1) / kLanes;
        uint8_t padded[288 + kLanes];
        std::memcpy(padded, lengths, static_cast<size_t>(count));
        std::memset(padded + count, 0, static_cast<size_t>(lane_size * kLanes - count));
        int lane_count[kLanes][kMaxBits + 1] = {};
        for (int i = 0; i < lane_size; ++i)
            for (int k = 0; k < kLanes; ++k) lane_count[k][padded[k * lane_size + i]]++;
        int per_length[kMaxBits + 1] = {};
        for (int len = 1; len <= kMaxBits; ++len)
            for (int k = 0; k < kLanes; ++k) per_length[len] += lane_count[k][len];
        int min_length = 0, max_length = 0, used = 0;
        for (int len = 1; len <= kMaxBits; ++len)
            if (per_length[len]) {
                if (!min_length) min_length = len;
                max_length = len, used += per_length[len];
            }
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - per_length[len];
            if (left < 0) return "over-subscribed code lengths";
        }
        if (left > 0 && !(used == 1 && max_length == 1) && used != 0) return "incomplete code lengths";

        // The primary table always has its full width, so that the fast loop indexes it with a
        // constant mask; short codes just fill it with more copies.
        const int bits = primary_bits;
        const uint32_t primary_size = 1u << bits;
        bits_ = bits;
        uint32_t* const table = entries_;
        // No-code entries carry length 1 so that one available bit is enough to call them invalid.
        const uint32_t no_code = with_length(kNoCode, 1);
        if (used == 0 || left > 0) {
            // No code at all, or one code of one bit: the other patterns are no code.
            std::fill(table, table + primary_size, no_code);
            for (int sym = 0; sym < count; ++sym)
                if (lengths[sym]) table[reverse_bits(0, 1)] = with_length(entries_of(alphabet)[sym], 1);
            return nullptr;
        }

        const uint32_t* const symbol_entry = entries_of(alphabet);
        // Symbols in canonical order: by code length, then by symbol (RFC 1951 3.2.2).
        int offset[kLanes][kMaxBits + 1];
        for (int len = 1, start = 0; len <= kMaxBits; ++len)
            for (int k = 0; k < kLanes; ++k) {
                offset[k][len] = start;
                start += lane_count[k][len];
            }
        // Unused symbols (length 0) go past the sorted ones, each lane's over the same slots,
        // so that the loop needs no branch.
        uint16_t sorted[288 + (288 + kLanes - 1) / kLanes];
        for (int k = 0; k < kLanes; ++k) offset[k][0] = 288;
        for (int i = 0; i < lane_size; ++i)
            for (int k = 0; k < kLanes; ++k) {
                const int sym = k * lane_size + i;
                sorted[offset[k][padded[sym]]++] = static_cast<uint16_t>(sym);
            }

        // Codes up to the primary bits: the table grows one bit at a time from the shortest code
        // length. Growing copies the entries already there into the new upper half, which is
        // where the patterns that continue a shorter code with a 1 bit lie; the codes of the new
        // length then go into the patterns no shorter code starts. A complete code fills every
        // pattern this way, with block copies doing most of the work.
        uint32_t code = 0;  // the next canonical code, most significant bit first
        int i = 0;
        int len = min_length;
        uint32_t size = 1u << std::min(min_length, bits);
        for (; len <= bits; ++len) {
            if (len > min_length) {
                std::memcpy(table + size, table, size * sizeof(uint32_t));
                size <<= 1;
            }
            for (int n = per_length[len]; n > 0; --n, ++i, ++code)
                table[reverse_bits(code, len)] = with_length(symbol_entry[sorted[i]], len);
            code <<= 1;
        }
        for (; size < primary_size; size <<= 1) std::memcpy(table + size, table, size * sizeof(uint32_t));

        // Longer codes: a subtable per primary pattern they start, indexed by the bits after it
        // and as large as that pattern's longest code needs. The codes of one pattern follow one
        // another in canonical order, shortest first; the pattern's longest code is the one that
        // completes its share of the code space.
        size_t used_entries = primary_size;
        uint32_t pattern = primary_size;  // no pattern yet
        uint32_t pointer = 0;
        for (; len <= max_length; ++len) {
            for (int n = per_length[len]; n > 0; --n, ++i, ++code) {
                const uint32_t r = reverse_bits(code, len);
                if ((r & (primary_size - 1)) != pattern) {
                    pattern = r & (primary_size - 1);
                    const uint32_t whole = 1u << (kMaxBits - bits);  // in units of 2^-15
                    uint32_t share = 1u << (kMaxBits - len);
                    int l = len, left_at_l = n;
                    while (share < whole) {
                        if (--left_at_l == 0) {
                            do ++l;
                            while (l <= max_length && per_length[l] == 0);
                            if (l > max_length) break;
                            left_at_l = per_length[l];
                        }
                        share += 1u << (kMaxBits - l);
                    }
                    const int sub = std::min(l, max_length) - bits;
                    const size_t sub_size = size_t(1) << sub;
                    if (used_entries + sub_size > capacity_) return "code lengths too long";
                    pointer = static_cast<uint32_t>(used_entries) << 16 | kSubtable | uint32_t(sub);
                    table[pattern] = pointer;
                    used_entries += sub_size;
                }
                const uint32_t base = value_of(pointer), sub_size = 1u << step_bits(pointer);
                const uint32_t e = with_length(symbol_entry[sorted[i]], len);
                for (uint32_t at = r >> bits; at < sub_size; at += 1u << (len - bits)) table[base + at] = e;
            }
            code <<= 1;
        }
        return nullptr;
    }

    const uint32_t* entries() const { return entries_; }
    int bits() const { return bits_; }

  protected:
    DecodeTable(uint32_t* entries, size_t capacity) : entries_(entries), capacity_(capacity) {}

  private:
    // A symbol's entry without its code length, from a table made once per alphabet, so that
    // filling a table takes no branch on the kind of symbol.
    static const uint32_t* entries_of(Alphabet alphabet) {
        struct Entries {
            uint32_t of[3][288];
            Entries() {
                for (int a = 0; a < 3; ++a)
                    for (int s = 0; s < 288; ++s) of[a][s] = make_entry(s, static_cast<Alphabet>(a));
            }
        };
        static const Entries entries;
        return entries.of[static_cast<int>(alphabet)];
    }
    static uint32_t make_entry(int sym, Alphabet alphabet) {
        uint32_t s = static_cast<uint32_t>(sym);
        switch (alphabet) {
            case Alphabet::literal_length:
                if (sym < 256) return kLiteral | s << 16;
                if (sym == 256) return kEndOfBlock;
                if (sym < 286)
                    return kBase | uint32_t(kLengthBase[sym - 257]) << 16 | uint32_t(kLengthExtra[sym - 257]);
                return kBadSymbol;
            case Alphabet::distance:
                if (sym < 30) return kBase | uint32_t(kDistBase[sym]) << 16 | uint32_t(kDistExtra[sym]);
                return kBadSymbol;
            case Alphabet::code_length:
                return kLiteral | s << 16;
        }
        return kBadSymbol;
    }

    uint32_t* entries_;
    size_t capacity_;
    int bits_ = 1;
};

// A table holding its entries itself: a decoder's tables come with it in one allocation, which
// matters when an archive holds many small files.
template <size_t Capacity>
class DecodeTableOf : public DecodeTable {
  public:
    DecodeTableOf() : DecodeTable(storage_, Capacity) {}

  private:
    uint32_t storage_[Capacity];
};

// The fixed codes of RFC 1951 3.2.6, built once for every decoder.
struct FixedTables {
    DecodeTableOf<table_capacity(288, kLitBits)> lit;
    DecodeTableOf<table_capacity(32, kDistBits)> dist;
    FixedTables() {
        uint8_t lengths[288];
        for (int i = 0; i < 144; ++i) lengths[i] = 8;
        for (int i = 144; i < 256; ++i) lengths[i] = 9;
        for (int i = 256; i < 280; ++i) lengths[i] = 7;
        for (int i = 280; i < 288; ++i) lengths[i] = 8;
        lit.build(lengths, 288, kLitBits, Alphabet::literal_length);
        // The fixed distance code has 32 codes of 5 bits; 30 and 31 never occur in valid data.
        uint8_t dist_lengths[32];
        std::memset(dist_lengths, 5, sizeof dist_lengths);
        dist.build(dist_lengths, 32, kDistBits, Alphabet::distance);
    }
};
const FixedTables& fixed_tables() {
    static const FixedTables tables;
    return tables;
}

// The entry a subtable pointer `e` leads to, for the stream bits in `buffer` (those of the
// primary table's `bits` included).
template <typename Word>
inline uint32_t subtable_entry(const uint32_t* table, int bits, uint32_t e, Word buffer) {
    return table[value_of(e) + (static_cast<uint32_t>(buffer >> bits) & ((1u << step_bits(e)) - 1))];
}

template <typename Word>
inline uint32_t lookup(const uint32_t* table, int bits, Word buffer) {
    uint32_t e = table[static_cast<uint32_t>(buffer) & ((1u << bits) - 1)];
    if (e & kSubtable) e = subtable_entry(table, bits, e, buffer);
    return e;
}

template <typename Word>
inline Word load_word(const uint8_t* p) {
    Word w = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (size_t i = 0; i < sizeof(Word); ++i) w |= Word(p[i]) << (8 * i);
#else
    std::memcpy(&w, p, sizeof w);
#endif
    return w;
}

inline void store_word(uint8_t* p, uint64_t w) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (size_t i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(w >> (8 * i));
#else
    std::memcpy(p, &w, 8);
#endif
}

// Copies `Piece` bytes at a time until `end`, writing up to Piece - 1 bytes past it.
template <size_t Piece>
inline void copy_pieces(uint8_t* dst, const uint8_t* src, const uint8_t* end) {
    do {
        std::memcpy(dst, src, Piece);
        dst += Piece;
        src += Piece;
    } while (dst < end);
}

// Copies a match of `length` bytes from `distance` bytes back, writing up to 31 bytes past its
// end (and, for distances of 8 or more, 32 bytes at least). Overlapping copies repeat the
// pattern, as RFC 1951 3.2.3 requires: each piece is copied from bytes before its own start,
// so it is no longer than the distance. Most matches are short, so the first 32 bytes are
// copied without a loop (whose exit would be hard to predict); the rest of a long match goes
// in pieces as wide as the distance allows.
inline void copy_match(uint8_t* dst, uint32_t distance, uint32_t length) {
    const uint8_t* src = dst - distance;
    uint8_t* const end = dst + length;
    if (distance >= 8) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + 8, src + 8, 8);
        std::memcpy(dst + 16, src + 16, 8);
        std::memcpy(dst + 24, src + 24, 8);
        if (length <= 32) return;
        if (distance >= 32)
            copy_pieces<32>(dst + 32, src + 32, end);
        else if (distance >= 16)
            copy_pieces<16>(dst + 32, src + 32, end);
        else
            copy_pieces<8>(dst + 32, src + 32, end);
    } else if (distance == 1) {
        const uint64_t run = 0x0101010101010101ull * *src;
        store_word(dst, run);
        store_word(dst + 8, run);
        store_word(dst + 16, run);
        store_word(dst + 24, run);
        if (length <= 32) return;
        dst += 32;
        do {
            store_word(dst, run);
            dst += 8;
        } while (dst < end);
    } else {
        // A period of 2 to 7 bytes: one word holds the pattern from its first byte on, and is
        // stored at steps of the largest multiple of the period that fits in it. No piece is
        // read back from what the copy itself has just written. Only the period's own bytes
        // of the first load are kept.
        uint64_t pattern = load_word<uint64_t>(src) & (~uint64_t(0) >> (64 - 8 * distance));
        pattern |= pattern << (8 * distance);
        pattern |= pattern << (8 * distance) << (8 * distance);        // two shifts: each under 64 bits
        static constexpr uint8_t kStep[8] = {0, 0, 8, 6, 8, 5, 6, 7};  // 8 - 8 % period
        const uint32_t step = kStep[distance];
        store_word(dst, pattern);
        store_word(dst + step, pattern);
        store_word(dst + 2 * step, pattern);
        dst += 3 * step;
        if (dst >= end) return;
        do {
            store_word(dst, pattern);
            dst += step;
        } while (dst < end);
    }
}

std::atomic<bool> bmi2_allowed{true};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DRAVIK_INFLATE_BMI2 1
bool cpu_has_bmi2() {
    static const bool has = __builtin_cpu_supports("bmi2");
    return has && bmi2_allowed.load(std::memory_order_relaxed);
}
#else
#define DRAVIK_INFLATE_BMI2 0
#endif

template <typename Word>
class Inflater {
    static constexpr int kWordBits = 8 * sizeof(Word);
    // Valid bits after a word refill; the fast loop's bit budget.
    static constexpr int kRefilled = kWordBits - 8;
    // With a 64-bit buffer one refill covers a whole match (15 + 5 + 15 + 13 bits).
    static constexpr bool kOneRefillPerMatch = kRefilled >= 48;

  public:
    Inflater(const ReadFn& in, const WriteFn& out) : in_(in), out_(out), input_(kInBuffer), output_(kInitialOut) {
        in_data_ = input_.data();
        out_data_ = output_.data();
        out_cap_ = output_.size();
    }
    // Whole input in memory, decoded straight into the caller's buffer, which must take the
    // whole output: no copies in or out and no history to move.
    Inflater(const uint8_t* data, size_t size, uint8_t* output, size_t capacity)
        : in_(no_read()), out_(no_write()), input_(0), output_(0), direct_(true) {
        in_data_ = data;
        in_len_ = size;
        total_in_ = size;
        in_eof_ = true;
        out_data_ = output;
        out_cap_ = capacity;
    }

    InflateResult run() {
        InflateResult r;
        Failure f = decode_all();
        r.status = f.status;
        r.reason = f.reason;
        r.consumed = consumed_bytes();
        if (f.status == InflateStatus::ok && !flush(true)) {
            r.status = InflateStatus::output_failed;
            r.reason = "output refused";
        }
        r.produced = out_base_ + out_pos_;
        return r;
    }

  private:
    // --- input ---------------------------------------------------------------------------------
    size_t available() const { return in_len_ - in_pos_; }

    // Moves the unread input to the front and reads until kFastInput bytes are buffered or the
    // input ends.
    void top_up() {
        if (in_eof_ || available() >= kFastInput) return;
        if (in_pos_) {
            std::memmove(input_.data(), input_.data() + in_pos_, available());
            in_len_ -= in_pos_;
            in_pos_ = 0;
        }
        while (in_len_ < kFastInput) {
            size_t n = in_(input_.data() + in_len_, input_.size() - in_len_);
            if (n == 0) {
                in_eof_ = true;
                break;
            }
            n = std::min(n, input_.size() - in_len_);
            in_len_ += n;
            total_in_ += n;
        }
    }
    bool next_byte(uint8_t& b) {
        if (in_pos_ == in_len_) {
            top_up();
            if (in_pos_ == in_len_) return false;
        }
        b = in_data_[in_pos_++];
        return true;
    }
    // Tops the bit buffer up to at least `n` (at most 16) bits when the input allows: a word at
    // a time while a word is buffered, as in the fast loop, else byte by byte.
    void refill(int n) {
        if (bit_count_ >= n) return;
        if (available() >= sizeof(Word)) {
            bits_ |= load_word<Word>(in_data_ + in_pos_) << bit_count_;
            const int bytes = (kWordBits - 1 - bit_count_) >> 3;
            in_pos_ += static_cast<size_t>(bytes);
            bit_count_ += 8 * bytes;
            return;
        }
        uint8_t b;
        while (bit_count_ < n && next_byte(b)) {
            bits_ |= Word(b) << bit_count_;
            bit_count_ += 8;
        }
    }
    bool need(int n) {
        refill(n);
        return bit_count_ >= n;
    }
    uint32_t take(int n) {
        uint32_t v = static_cast<uint32_t>(bits_ & ((Word(1) << n) - 1));
        bits_ >>= n;
        bit_count_ -= n;
        return v;
    }
    uint64_t consumed_bytes() const { return total_in_ - available() - static_cast<uint64_t>(bit_count_ / 8); }

    // Decodes one table entry; 0 when the input ends inside the code.
    uint32_t decode(const DecodeTable& table) {
        refill(kMaxBits);
        uint32_t e = lookup(table.entries(), table.bits(), bits_);
        if (code_length(e) > bit_count_) return 0;
        if (!(e & (kNoCode | kBadSymbol))) take(code_length(e));
        return e;
    }

    // --- output --------------------------------------------------------------------------------
    bool flush(bool all) {
        // The caller's buffer is full: more output does not fit.
        if (direct_) return all;
        if (!all && output_.size() < kOutBuffer) {  // the buffer starts small for small outputs
            output_.resize(kOutBuffer, out_pos_);
            out_data_ = output_.data();
            out_cap_ = output_.size();
            return true;
        }
        size_t keep = all ? 0 : kWindow;
        if (out_pos_ <= keep) return true;
        size_t n = out_pos_ - flushed_;
        if (n && !out_(output_.data() + flushed_, n)) return false;
        if (all) {
            flushed_ = out_pos_;
            return true;
        }
        std::memmove(output_.data(), output_.data() + out_pos_ - kWindow, kWindow);
        out_base_ += out_pos_ - kWindow;
        out_pos_ = kWindow;
        flushed_ = kWindow;
        return true;
    }
    bool room(size_t n) { return out_pos_ + n <= out_cap_ || flush(false); }

    // --- blocks --------------------------------------------------------------------------------
    Failure decode_all() {
        bool final_block = false;
        while (!final_block) {
            if (!need(3)) return {InflateStatus::truncated, "input ended in a block header"};
            final_block = take(1) != 0;
            uint32_t type = take(2);
            Failure f = kOk;
            if (type == 0)
                f = stored_block();
            else if (type == 1)
                f = fixed_block();
            else if (type == 2)
                f = dynamic_block();
            else
                return {InflateStatus::invalid, "reserved block type"};
            if (f.status != InflateStatus::ok) return f;
        }
        return kOk;
    }

    Failure stored_block() {
        take(bit_count_ % 8);  // RFC 1951 3.2.4: skip to the byte boundary
        if (!need(16)) return {InflateStatus::truncated, "input ended in a stored block header"};
        uint32_t len = take(16);
        if (!need(16)) return {InflateStatus::truncated, "input ended in a stored block header"};
        uint32_t nlen = take(16);
        if ((len ^ 0xFFFF) != nlen) return {InflateStatus::invalid, "stored block length check failed"};
        while (len) {
            if (!room(1)) return {InflateStatus::output_failed, "output refused"};
            if (bit_count_ >= 8) {
                out_data_[out_pos_++] = static_cast<uint8_t>(take(8));
                --len;
                continue;
            }
            // The bit buffer is empty: copy straight from the input. Its look-ahead bits stand
            // for bytes copied here, so they go.
            bits_ = 0;
            if (available() == 0) top_up();
            if (available() == 0) return {InflateStatus::truncated, "input ended in a stored block"};
            size_t n = std::min({size_t(len), available(), out_cap_ - out_pos_});
            std::memcpy(out_data_ + out_pos_, in_data_ + in_pos_, n);
            in_pos_ += n;
            out_pos_ += n;
            len -= static_cast<uint32_t>(n);
        }
        return kOk;
    }

    Failure fixed_block() {
        const FixedTables& fixed = fixed_tables();
        return codes(fixed.lit, fixed.dist);
    }

    Failure dynamic_block() {
        if (!need(14)) return {InflateStatus::truncated, "input ended in a dynamic block header"};
        int nlit = static_cast<int>(take(5)) + 257;
        int ndist = static_cast<int>(take(5)) + 1;
        int ncode = static_cast<int>(take(4)) + 4;
        if (nlit > 286 || ndist > 30) return {InflateStatus::invalid, "too many length or distance codes"};
        uint8_t code_lengths[19] = {};
        for (int i = 0; i < ncode; ++i) {
            if (!need(3)) return {InflateStatus::truncated, "input ended in the code length code"};
            code_lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(take(3));
        }
        if (const char* why = precode_.build(code_lengths, 19, kPrecodeBits, Alphabet::code_length))
            return {InflateStatus::invalid, why};
        // A lone code-length code is incomplete; RFC 1951 gives it no meaning, so refuse it.
        int cl_used = 0;
        for (uint8_t l : code_lengths) cl_used += l != 0;
        if (cl_used < 2) return {InflateStatus::invalid, "incomplete code length code"};

        uint8_t lengths[286 + 30 + 7] = {};
        const char* bad = nullptr;
        int n = fast_code_lengths(lengths, nlit + ndist, bad);
        if (bad) return {InflateStatus::invalid, bad};
        while (n < nlit + ndist) {
            uint32_t e = decode(precode_);
            if (e == 0) return {InflateStatus::truncated, "input ended in the code lengths"};
            if (e & (kNoCode | kBadSymbol)) return {InflateStatus::invalid, "invalid code length code"};
            int sym = static_cast<int>(value_of(e));
            if (sym < 16) {
                lengths[n++] = static_cast<uint8_t>(sym);
                continue;
            }
            int repeat = 0;
            uint8_t value = 0;
            if (sym == 16) {
                if (n == 0) return {InflateStatus::invalid, "repeat with no previous length"};
                if (!need(2)) return {InflateStatus::truncated, "input ended in the code lengths"};
                value = lengths[n - 1];
                repeat = 3 + static_cast<int>(take(2));
            } else if (sym == 17) {
                if (!need(3)) return {InflateStatus::truncated, "input ended in the code lengths"};
                repeat = 3 + static_cast<int>(take(3));
            } else {
                if (!need(7)) return {InflateStatus::truncated, "input ended in the code lengths"};
                repeat = 11 + static_cast<int>(take(7));
            }
            if (!fits(static_cast<uint64_t>(n), static_cast<uint64_t>(repeat), static_cast<uint64_t>(nlit + ndist)))
                return {InflateStatus::invalid, "code lengths repeat past the end"};
            while (repeat--) lengths[n++] = value;
        }
        if (lengths[256] == 0) return {InflateStatus::invalid, "no end-of-block code"};
        if (const char* why = lit_.build(lengths, nlit, kLitBits, Alphabet::literal_length))
            return {InflateStatus::invalid, why};
        if (const char* why = dist_.build(lengths + nlit, ndist, kDistBits, Alphabet::distance))
            return {InflateStatus::invalid, why};
        return codes(lit_, dist_);
    }

    // Reads code lengths while a whole word of input is buffered, with the bit buffer in locals
    // and one refill per code (a code and its extra bits take at most 14 bits). Returns how many
    // it read, for the careful loop to go on from there, or sets `why` when the lengths are
    // invalid.
    int fast_code_lengths(uint8_t* lengths, int total, const char*& why) {
        Word bits = bits_;
        int count = bit_count_;
        size_t pos = in_pos_;
        const uint32_t* const table = precode_.entries();
        int n = 0;
        while (n < total && in_len_ - pos >= sizeof(Word)) {
            // A refill every round: it costs less than the branch that would skip it.
            bits |= load_word<Word>(in_data_ + pos) << count;
            const int bytes = (kWordBits - 1 - count) >> 3;
            pos += static_cast<size_t>(bytes);
            count += 8 * bytes;
            const uint32_t e = table[static_cast<uint32_t>(bits) & ((1u << kPrecodeBits) - 1)];
            if (e & (kNoCode | kBadSymbol)) {
                why = "invalid code length code";
                break;
            }
            // The step is the code length here (no extra bits in it), and the low bits of the
            // entry, which the shift takes without masking them out first.
            bits >>= (e & (kWordBits - 1));
            count -= step_bits(e);
            const uint32_t sym = value_of(e);
            if (sym < 16) {
                lengths[n++] = static_cast<uint8_t>(sym);
                continue;
            }
            uint32_t repeat;
            uint8_t value = 0;
            if (sym == 16) {
                if (n == 0) {
                    why = "repeat with no previous length";
                    break;
                }
                value = lengths[n - 1];
                repeat = 3 + static_cast<uint32_t>(bits & 3);
                bits >>= 2;
                count -= 2;
            } else if (sym == 17) {
                repeat = 3 + static_cast<uint32_t>(bits & 7);
                bits >>= 3;
                count -= 3;
            } else {
                repeat = 11 + static_cast<uint32_t>(bits & 127);
                bits >>= 7;
                count -= 7;
            }
            if (repeat > static_cast<uint32_t>(total - n)) {
                why = "code lengths repeat past the end";
                break;
            }
            // Whole words, up to 7 bytes past the run (the array has room): most runs are short,
            // and a call or a string store costs more than the few bytes they write.
            const uint64_t run = 0x0101010101010101ull * value;
            for (uint8_t *p = lengths + n, *end = p + repeat; p < end; p += 8) std::memcpy(p, &run, 8);
            n += static_cast<int>(repeat);
        }
        bits_ = bits;
        bit_count_ = count;
        in_pos_ = pos;
        return n;
    }

    // Decodes a block's symbols up to its end-of-block code: in the fast loop while input and
    // output room allow, otherwise one symbol at a time.
    Failure codes(const DecodeTable& lit, const DecodeTable& dist) {
        for (;;) {
            top_up();
            if (out_cap_ - out_pos_ < kFastOutput && !direct_ && !flush(false))
                return {InflateStatus::output_failed, "output refused"};
            bool done = false;
            if (available() >= kFastInput && out_cap_ - out_pos_ >= kFastOutput) {
                Failure f = fast_codes(lit, dist, done);
                if (done) return f;
            }
            // The fast loop stopped short (or could not start): one symbol the careful way, which
            // also takes the match the fast loop leaves when it does not fit the output room.

            Failure f = one_symbol(lit, dist, done);
            if (done) return f;
        }
    }

    Failure one_symbol(const DecodeTable& lit, const DecodeTable& dist, bool& done) {
        done = true;
        uint32_t e = decode(lit);
        if (e == 0) return {InflateStatus::truncated, "input ended in compressed data"};
        if (e & kNoCode) return {InflateStatus::invalid, "invalid literal/length code"};
        if (e & kBadSymbol) return {InflateStatus::invalid, "invalid literal/length symbol"};
        if (e & kEndOfBlock) return kOk;
        if (e & kLiteral) {
            if (!room(1)) return {InflateStatus::output_failed, "output refused"};
            out_data_[out_pos_++] = static_cast<uint8_t>(value_of(e));
            done = false;
            return kOk;
        }
        if (!need(extra_bits(e))) return {InflateStatus::truncated, "input ended in a length"};
        uint32_t length = value_of(e) + take(extra_bits(e));
        uint32_t d = decode(dist);
        if (d == 0) return {InflateStatus::truncated, "input ended in a distance"};
        if (d & kNoCode) return {InflateStatus::invalid, "invalid distance code"};
        if (d & kBadSymbol) return {InflateStatus::invalid, "invalid distance symbol"};
        if (!need(extra_bits(d))) return {InflateStatus::truncated, "input ended in a distance"};
        uint32_t distance = value_of(d) + take(extra_bits(d));
        if (distance > out_base_ + out_pos_) return {InflateStatus::invalid, "distance too far back"};
        if (!room(length)) return {InflateStatus::output_failed, "output refused"};
        // The history always holds at least min(total output, 32 KiB) bytes before out_pos_.
        uint8_t* dst = out_data_ + out_pos_;
        const uint8_t* src = dst - distance;
        for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
        out_pos_ += length;
        done = false;
        return kOk;
    }

    // The fast loop. Returns with `done` set at the end of the block or on an error, and with
    // `done` clear when the input or the output room runs short. On x86 processors with BMI2 a
    // copy of it compiled for those instructions runs instead (shifts by a register amount
    // without the count register, the loop's most frequent operation).
    Failure fast_codes(const DecodeTable& lit, const DecodeTable& dist, bool& done) {
#if DRAVIK_INFLATE_BMI2
        if (cpu_has_bmi2()) return fast_codes_bmi2(lit, dist, done);
#endif
        return fast_codes_body(lit, dist, done);
    }
#if DRAVIK_INFLATE_BMI2
    __attribute__((target("bmi2"))) Failure fast_codes_bmi2(const DecodeTable& lit, const DecodeTable& dist,
                                                            bool& done) {
        return fast_codes_body(lit, dist, done);
    }
#endif

    __attribute__((always_inline)) inline Failure fast_codes_body(const DecodeTable& lit, const DecodeTable& dist,
                                                                  bool& done) {
        const uint8_t* in = in_data_ + in_pos_;
        const uint8_t* const in_limit = in_data_ + in_len_ - kFastInput;
        uint8_t* const out_begin = out_data_;
        uint8_t* out = out_begin + out_pos_;
        uint8_t* const out_limit = out_begin + out_cap_ - kFastOutput;
        // A match copy writes up to 31 bytes past its end (and up to 32 bytes from its start,
        // which the loop's output limit leaves room for).
        uint8_t* const copy_limit = out_begin + out_cap_ - 31;
        Word bits = bits_;
        // The valid bit count is the low bits of `count` (six for a 64-bit buffer, five for a
        // 32-bit one); steps are taken off it as whole table entries, whose higher bits only
        // change the higher bits of `count`, so no mask is needed there.
        uint32_t count = static_cast<uint32_t>(bit_count_);
        const uint32_t* const lt = lit.entries();
        const uint32_t* const dt = dist.entries();
        constexpr int lbits = kLitBits, dbits = kDistBits;
        constexpr uint32_t lmask = (1u << lbits) - 1;
        Failure result = kOk;

#define DRAVIK_REFILL()                                           \
    do {                                                          \
        bits |= load_word<Word>(in) << (count & (kWordBits - 1)); \
        in += (~count & (kWordBits - 1)) >> 3;                    \
        count |= kRefilled;                                       \
    } while (0)
#define DRAVIK_CONSUME(n) \
    do {                  \
        bits >>= (n);     \
        count -= (n);     \
    } while (0)
// Consumes an entry's step. The shift count is masked as the shift instruction itself does, so
// that the compiler can leave the mask out; bit 5 is clear, so this is the step.
#define DRAVIK_CONSUME_STEP(e)            \
    do {                                  \
        bits >>= ((e) & (kWordBits - 1)); \
        count -= (e);                     \
    } while (0)

        // A refill leaves the whole word holding stream bits, and one round of the loop takes at
        // most 48 of them after its last refill (37 for three literals, 48 for a match; with a
        // 32-bit buffer, at most 13), so at least 16 are left: enough for the next code. Its
        // table entry is therefore looked up as soon as the bits before it are consumed, ahead
        // of the refill and of the match copy, which then no longer delay it.
        DRAVIK_REFILL();
        uint32_t e = lookup(lt, lbits, bits);
        while (in <= in_limit && out <= out_limit) {
            DRAVIK_REFILL();
            // The entry's step is taken before its kind is known (every kind takes it), so
            // that the next lookup need not wait for the branch; a length's extra bits are
            // then read from the bits saved before.
            Word saved = bits;
            DRAVIK_CONSUME_STEP(e);
            if (e & kLiteral) {
                *out++ = static_cast<uint8_t>(e >> 16);
                if (kOneRefillPerMatch) {
                    // At least 56 bits came with the refill: room for three literal codes in
                    // all. Only primary entries are taken here.
                    e = lt[static_cast<uint32_t>(bits) & lmask];
                    if (e & kLiteral) {
                        DRAVIK_CONSUME_STEP(e);
                        *out++ = static_cast<uint8_t>(e >> 16);
                        e = lt[static_cast<uint32_t>(bits) & lmask];
                        if (e & kLiteral) {
                            DRAVIK_CONSUME_STEP(e);
                            *out++ = static_cast<uint8_t>(e >> 16);
                            e = lt[static_cast<uint32_t>(bits) & lmask];
                            if (e & kSubtable) e = subtable_entry(lt, lbits, e, bits);
                            continue;
                        }
                    }
                    // What follows one or two literals is taken at once, after a refill,
                    // without going round the loop: mostly a length. The output room the loop
                    // keeps covers the two literals before the match's copy.
                    if (e & kSubtable) e = subtable_entry(lt, lbits, e, bits);
                    DRAVIK_REFILL();
                    saved = bits;
                    DRAVIK_CONSUME_STEP(e);
                    if (e & kLiteral) {
                        *out++ = static_cast<uint8_t>(e >> 16);
                        e = lookup(lt, lbits, bits);
                        continue;
                    }
                } else {
                    e = lookup(lt, lbits, bits);
                    continue;
                }
            }
            if (!(e & kBase)) {
                done = true;
                if (!(e & kEndOfBlock))
                    result = {InflateStatus::invalid,
                              (e & kNoCode) ? "invalid literal/length code" : "invalid literal/length symbol"};
                break;
            }
            // A length code and its extra bits go in one step; the extra bits are the ones
            // after the code in the bits it took.
            const uint32_t length = (e >> 16) + extra_value(static_cast<uint32_t>(saved), e);
            if (__builtin_expect(static_cast<size_t>(copy_limit - out) < length, 0)) {
                // Too near the end of the output for the fast copy: the match is left unread.
                bits = saved;
                count += e;
                break;
            }
            if (!kOneRefillPerMatch) DRAVIK_REFILL();
            const uint32_t d = lookup(dt, dbits, bits);
            uint32_t distance;
            if (kOneRefillPerMatch) {
                saved = bits;
                DRAVIK_CONSUME_STEP(d);
                distance = (d >> 16) + extra_value(static_cast<uint32_t>(saved), d);
            } else {
                // A distance code and its extra bits may need up to 28 bits: a refill between.
                DRAVIK_CONSUME(code_length(d));
                DRAVIK_REFILL();
                const int extra = extra_bits(d);
                distance = value_of(d) + (static_cast<uint32_t>(bits) & ((1u << extra) - 1));
                DRAVIK_CONSUME(extra);
            }
            e = lookup(lt, lbits, bits);
            // After the first flush the buffer holds 32 KiB of history, the longest distance,
            // so this is the same as comparing with the whole output.
            // One branch for both checks of the distance: an invalid code's entry gives some
            // distance, which is not used.
            if (__builtin_expect((distance > static_cast<size_t>(out - out_begin)) | !(d & kBase), 0)) {
                done = true;
                if (!(d & kBase))
                    result = {InflateStatus::invalid,
                              (d & kNoCode) ? "invalid distance code" : "invalid distance symbol"};
                else
                    result = {InflateStatus::invalid, "distance too far back"};
                break;
            }
            copy_match(out, distance, length);
            out += length;
        }
#undef DRAVIK_REFILL
#undef DRAVIK_CONSUME
#undef DRAVIK_CONSUME_STEP
        in_pos_ = static_cast<size_t>(in - in_data_);
        out_pos_ = static_cast<size_t>(out - out_begin);
        bits_ = bits;
        bit_count_ = static_cast<int>(count & (kWordBits - 1));
        return result;
    }

    const ReadFn& in_;
    const WriteFn& out_;
    static const ReadFn& no_read() {
        static const ReadFn none = [](uint8_t*, size_t) -> size_t { return 0; };
        return none;
    }
    static const WriteFn& no_write() {
        static const WriteFn none = [](const uint8_t*, size_t) { return false; };
        return none;
    }

    CodecBuffer<uint8_t> input_;
    const uint8_t* in_data_ = nullptr;  // input_, or the caller's whole input
    size_t in_pos_ = 0, in_len_ = 0;
    bool in_eof_ = false;
    uint64_t total_in_ = 0;
    Word bits_ = 0;
    int bit_count_ = 0;
    CodecBuffer<uint8_t> output_;
    bool direct_ = false;
    uint8_t* out_data_ = nullptr;  // output_, or the caller's buffer
    size_t out_cap_ = 0;
    size_t out_pos_ = 0, flushed_ = 0;
    uint64_t out_base_ = 0;  // output bytes before output_[0]
    DecodeTableOf<table_capacity(286, kLitBits)> lit_;
    DecodeTableOf<table_capacity(30, kDistBits)> dist_;
    // Code-length codes are at most 7 bits long: the primary table is the whole table.
    DecodeTableOf<size_t(1) << kPrecodeBits> precode_;
};

}  // namespace

void inflate_allow_bmi2(bool allowed) { bmi2_allowed.store(allowed, std::memory_order_relaxed); }

InflateResult inflate_stream(const ReadFn& in, const WriteFn& out) {
    using Word = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
    auto inflater = std::make_unique<Inflater<Word>>(in, out);
    return inflater->run();
}

InflateResult inflate_stream_narrow(const ReadFn& in, const WriteFn& out) {
    auto inflater = std::make_unique<Inflater<uint32_t>>(in, out);
    return inflater->run();
}

InflateResult inflate_into(const uint8_t* data, size_t size, uint8_t* output, size_t capacity) {
    using Word = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
    auto inflater = std::make_unique<Inflater<Word>>(data, size, output, capacity);
    return inflater->run();
}

InflateResult inflate_buffer(const uint8_t* data, size_t size, std::vector<uint8_t>& output, size_t max_output) {
    size_t offset = 0;
    ReadFn in = [&](uint8_t* buf, size_t cap) -> size_t {
        size_t n = std::min(cap, size - offset);
        if (n) std::memcpy(buf, data + offset, n);
        offset += n;
        return n;
    };
    output.clear();
    WriteFn out = [&](const uint8_t* p, size_t n) -> bool {
        if (!fits(output.size(), n, max_output)) return false;
        output.insert(output.end(), p, p + n);
        return true;
    };
    InflateResult r = inflate_stream(in, out);
    if (r.status == InflateStatus::output_failed) {
        r.status = InflateStatus::invalid;
        r.reason = "output larger than allowed";
    }
    return r;
}

}  // namespace dravik::archive
