// Inflate (RFC 1951). Design:
// - Bits come from a 64-bit little-endian bit buffer refilled a byte at a time from a 64 KiB input
//   block (RFC 1951 3.1.1: data elements are packed starting with the least significant bit).
// - Each Huffman code is decoded through one flat table indexed by the next `max_length` stream
//   bits (the code's bits reversed, as they arrive LSB first). An entry holds the symbol and its
//   code length; length 0 marks a bit pattern that is no code at all, which makes the stream
//   invalid. Tables are built from code lengths (RFC 1951 3.2.2) after checking that the set is
//   neither over-subscribed nor incomplete (one lone code of length 1 is the only incomplete
//   set accepted, RFC 1951 3.2.7 allows a single distance code).
// - Output goes to a linear buffer that keeps the last 32 KiB as history when it is flushed.
#include "inflate.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "bounds.h"
#include "deflate_tables.h"

namespace dravik::archive {
namespace {

constexpr size_t kWindow = 32768;
constexpr size_t kOutBuffer = 4 * kWindow + 512;
constexpr int kMaxBits = 15;

struct Failure {
    InflateStatus status;
    const char* reason;
};

// Flat decoding table: entry = symbol << 4 | code length (0 = not a code).
class HuffmanTable {
  public:
    // Builds from `count` code lengths; returns nullptr on success or the reason it is invalid.
    const char* build(const uint8_t* lengths, int count) {
        int per_length[kMaxBits + 1] = {};
        for (int i = 0; i < count; ++i) per_length[lengths[i]]++;
        per_length[0] = 0;
        max_length_ = 0;
        int used = 0;
        for (int len = 1; len <= kMaxBits; ++len)
            if (per_length[len]) max_length_ = len, used += per_length[len];
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - per_length[len];
            if (left < 0) return "over-subscribed code lengths";
        }
        if (left > 0 && !(used == 1 && max_length_ == 1) && used != 0) return "incomplete code lengths";
        if (max_length_ == 0) max_length_ = 1;  // no codes: every pattern decodes as invalid
        entries_.assign(size_t(1) << max_length_, 0);
        // Canonical codes (RFC 1951 3.2.2 step 2).
        int next_code[kMaxBits + 1] = {};
        int code = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code = (code + per_length[len - 1]) << 1;
            next_code[len] = code;
        }
        for (int sym = 0; sym < count; ++sym) {
            int len = lengths[sym];
            if (!len) continue;
            uint32_t c = static_cast<uint32_t>(next_code[len]++);
            uint32_t reversed = 0;
            for (int i = 0; i < len; ++i) reversed |= ((c >> i) & 1u) << (len - 1 - i);
            for (size_t i = reversed; i < entries_.size(); i += size_t(1) << len)
                entries_[i] = static_cast<uint32_t>(sym << 4 | len);
        }
        return nullptr;
    }
    int max_length() const { return max_length_; }
    uint32_t lookup(uint32_t bits) const { return entries_[bits & ((1u << max_length_) - 1)]; }

  private:
    std::vector<uint32_t> entries_;
    int max_length_ = 0;
};

class Inflater {
  public:
    Inflater(const ReadFn& in, const WriteFn& out) : in_(in), out_(out), input_(65536), output_(kOutBuffer) {}

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
        r.produced = total_out_;
        return r;
    }

  private:
    // --- input ---------------------------------------------------------------------------------
    bool next_byte(uint8_t& b) {
        if (in_pos_ == in_len_) {
            if (in_eof_) return false;
            in_len_ = in_(input_.data(), input_.size());
            in_pos_ = 0;
            total_in_ += in_len_;
            if (in_len_ == 0) {
                in_eof_ = true;
                return false;
            }
        }
        b = input_[in_pos_++];
        return true;
    }
    // Tops the bit buffer up to at least `n` bits when the input allows.
    void refill(int n) {
        uint8_t b;
        while (bit_count_ < n && next_byte(b)) {
            bits_ |= uint64_t(b) << bit_count_;
            bit_count_ += 8;
        }
    }
    bool need(int n) {
        refill(n);
        return bit_count_ >= n;
    }
    uint32_t take(int n) {
        uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t(1) << n) - 1));
        bits_ >>= n;
        bit_count_ -= n;
        return v;
    }
    uint64_t consumed_bytes() const {
        uint64_t unread = (in_len_ - in_pos_) + static_cast<uint64_t>(bit_count_ / 8);
        return total_in_ - unread;
    }

    // Decodes one symbol; -1 for no code, -2 for lack of input.
    int decode(const HuffmanTable& table) {
        refill(table.max_length());
        uint32_t e = table.lookup(static_cast<uint32_t>(bits_));
        int len = static_cast<int>(e & 15);
        if (len == 0) return bit_count_ >= table.max_length() ? -1 : -2;
        if (len > bit_count_) return -2;
        take(len);
        return static_cast<int>(e >> 4);
    }

    // --- output --------------------------------------------------------------------------------
    bool flush(bool all) {
        size_t keep = all ? 0 : kWindow;
        if (out_pos_ <= keep) return true;
        size_t n = out_pos_ - flushed_;
        if (n && !out_(output_.data() + flushed_, n)) return false;
        if (all) {
            flushed_ = out_pos_;
            return true;
        }
        std::memmove(output_.data(), output_.data() + out_pos_ - kWindow, kWindow);
        out_pos_ = kWindow;
        flushed_ = kWindow;
        return true;
    }
    bool room(size_t n) { return out_pos_ + n <= output_.size() || flush(false); }

    // --- blocks --------------------------------------------------------------------------------
    Failure decode_all() {
        bool final_block = false;
        while (!final_block) {
            if (!need(3)) return {InflateStatus::truncated, "input ended in a block header"};
            final_block = take(1) != 0;
            uint32_t type = take(2);
            Failure f{InflateStatus::ok, ""};
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
        return {InflateStatus::ok, ""};
    }

    Failure stored_block() {
        take(bit_count_ % 8);  // RFC 1951 3.2.4: skip to the byte boundary
        if (!need(32)) return {InflateStatus::truncated, "input ended in a stored block header"};
        uint32_t len = take(16);
        uint32_t nlen = take(16);
        if ((len ^ 0xFFFF) != nlen) return {InflateStatus::invalid, "stored block length check failed"};
        while (len) {
            if (!room(1)) return {InflateStatus::output_failed, "output refused"};
            uint8_t b;
            if (bit_count_ >= 8) {
                b = static_cast<uint8_t>(take(8));
            } else if (!next_byte(b)) {
                return {InflateStatus::truncated, "input ended in a stored block"};
            }
            output_[out_pos_++] = b;
            ++total_out_;
            --len;
        }
        return {InflateStatus::ok, ""};
    }

    Failure fixed_block() {
        if (!fixed_built_) {
            uint8_t lengths[288 + 30];
            for (int i = 0; i < 144; ++i) lengths[i] = 8;
            for (int i = 144; i < 256; ++i) lengths[i] = 9;
            for (int i = 256; i < 280; ++i) lengths[i] = 7;
            for (int i = 280; i < 288; ++i) lengths[i] = 8;
            for (int i = 0; i < 30; ++i) lengths[288 + i] = 5;
            fixed_lit_.build(lengths, 288);
            // The fixed distance code has 32 codes of 5 bits; 30 and 31 never occur in valid data.
            uint8_t dist[32];
            std::memset(dist, 5, sizeof dist);
            fixed_dist_.build(dist, 32);
            fixed_built_ = true;
        }
        return codes(fixed_lit_, fixed_dist_);
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
        HuffmanTable cl;
        if (const char* why = cl.build(code_lengths, 19)) return {InflateStatus::invalid, why};
        // A lone code-length code is incomplete; RFC 1951 gives it no meaning, so refuse it.
        int cl_used = 0;
        for (uint8_t l : code_lengths) cl_used += l != 0;
        if (cl_used < 2) return {InflateStatus::invalid, "incomplete code length code"};

        uint8_t lengths[286 + 30] = {};
        int n = 0;
        while (n < nlit + ndist) {
            int sym = decode(cl);
            if (sym == -2) return {InflateStatus::truncated, "input ended in the code lengths"};
            if (sym < 0) return {InflateStatus::invalid, "invalid code length code"};
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
        HuffmanTable lit, dist;
        if (const char* why = lit.build(lengths, nlit)) return {InflateStatus::invalid, why};
        if (const char* why = dist.build(lengths + nlit, ndist)) return {InflateStatus::invalid, why};
        return codes(lit, dist);
    }

    Failure codes(const HuffmanTable& lit, const HuffmanTable& dist) {
        for (;;) {
            int sym = decode(lit);
            if (sym == -2) return {InflateStatus::truncated, "input ended in compressed data"};
            if (sym < 0) return {InflateStatus::invalid, "invalid literal/length code"};
            if (sym < 256) {
                if (!room(1)) return {InflateStatus::output_failed, "output refused"};
                output_[out_pos_++] = static_cast<uint8_t>(sym);
                ++total_out_;
                continue;
            }
            if (sym == 256) return {InflateStatus::ok, ""};
            sym -= 257;
            if (sym >= 29) return {InflateStatus::invalid, "invalid literal/length symbol"};
            if (!need(kLengthExtra[sym])) return {InflateStatus::truncated, "input ended in a length"};
            uint32_t length = kLengthBase[sym] + take(kLengthExtra[sym]);
            int dsym = decode(dist);
            if (dsym == -2) return {InflateStatus::truncated, "input ended in a distance"};
            if (dsym < 0) return {InflateStatus::invalid, "invalid distance code"};
            if (dsym >= 30) return {InflateStatus::invalid, "invalid distance symbol"};
            if (!need(kDistExtra[dsym])) return {InflateStatus::truncated, "input ended in a distance"};
            uint32_t distance = kDistBase[dsym] + take(kDistExtra[dsym]);
            if (distance > total_out_) return {InflateStatus::invalid, "distance too far back"};
            if (!room(length)) return {InflateStatus::output_failed, "output refused"};
            // The history always holds at least min(total_out_, 32 KiB) bytes before out_pos_.
            uint8_t* dst = output_.data() + out_pos_;
            const uint8_t* src = dst - distance;
            for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];  // overlapping copies repeat
            out_pos_ += length;
            total_out_ += length;
        }
    }

    const ReadFn& in_;
    const WriteFn& out_;
    std::vector<uint8_t> input_;
    size_t in_pos_ = 0, in_len_ = 0;
    bool in_eof_ = false;
    uint64_t total_in_ = 0;
    uint64_t bits_ = 0;
    int bit_count_ = 0;
    std::vector<uint8_t> output_;
    size_t out_pos_ = 0, flushed_ = 0;
    uint64_t total_out_ = 0;
    HuffmanTable fixed_lit_, fixed_dist_;
    bool fixed_built_ = false;
};

}  // namespace

InflateResult inflate_stream(const ReadFn& in, const WriteFn& out) {
    auto inflater = std::make_unique<Inflater>(in, out);
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
