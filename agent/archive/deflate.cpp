// Deflate (RFC 1951). Design:
// - Input collects in a buffer holding the 32 KiB window plus up to 256 KiB of new data. Each
//   round parses the new data with LZ77 against the window (hash chains over 3-byte prefixes,
//   chain length and laziness from the level table), then slides the last 32 KiB to the front.
// - Parsed symbols are collected per block (at most 16384); a block ends when that many are
//   collected or at the end of a round, so the block's raw bytes are always still in the buffer
//   and a stored block (RFC 1951 3.2.4) is possible when it is cheapest.
// - Huffman code lengths are built with a heap and limited to 15 bits (7 for the code-length
//   code) by halving the frequencies and rebuilding until the tree is shallow enough. Trees are
//   always complete: a block with fewer than two used symbols in a code gets a dummy second one.
#include "deflate.h"

#include <algorithm>
#include <cstring>
#include <queue>
#include <utility>

#include "deflate_tables.h"

namespace dravik::archive {
namespace {

constexpr size_t kWindow = 32768;
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kBufSize = kWindow + kChunk;
constexpr size_t kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr size_t kMaxSymbols = 16384;

// Per level: a match this long shortens the lazy search; no lazy search above `lazy` (0 = greedy);
// stop searching at `nice`; follow at most `chain` links.
struct Params {
    int good, lazy, nice, chain;
};
constexpr Params kParams[10] = {{0, 0, 0, 0},         {4, 0, 8, 4},        {4, 0, 16, 8},     {4, 0, 32, 32},
                                {4, 4, 16, 16},       {8, 16, 32, 32},     {8, 16, 128, 128}, {8, 32, 128, 256},
                                {32, 128, 258, 1024}, {32, 258, 258, 4096}};

struct Tables {
    uint8_t length_code[kMaxMatch + 1] = {};  // match length -> length symbol - 257
    std::vector<uint8_t> dist_code;           // distance -> distance symbol
    Tables() : dist_code(kWindow + 1) {
        for (int s = 0; s < 29; ++s)
            for (int l = kLengthBase[s]; l < kLengthBase[s] + (1 << kLengthExtra[s]) && l <= 258; ++l)
                length_code[l] = static_cast<uint8_t>(s);
        length_code[258] = 28;  // 258 has its own code, not 284 with extra bits 31
        for (int s = 0; s < 30; ++s)
            for (uint32_t d = kDistBase[s]; d < kDistBase[s] + (1u << kDistExtra[s]) && d <= kWindow; ++d)
                dist_code[d] = static_cast<uint8_t>(s);
    }
};
const Tables& tables() {
    static const Tables t;
    return t;
}

struct Symbol {
    uint16_t value;  // literal byte, or match length
    uint16_t dist;   // 0 for a literal
};

// Code lengths for `freq`, none longer than `limit`.
void build_lengths(const uint32_t* freq, int n, int limit, uint8_t* lengths) {
    std::vector<uint32_t> f(freq, freq + n);
    std::fill(lengths, lengths + n, 0);
    for (;;) {
        using Node = std::pair<uint64_t, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
        std::vector<int> parent(2 * n, -1);
        int used = 0;
        for (int i = 0; i < n; ++i)
            if (f[i]) heap.push({f[i], i}), ++used;
        if (used == 0) return;
        if (used == 1) {
            lengths[heap.top().second] = 1;
            return;
        }
        int next = n;
        while (heap.size() > 1) {
            Node a = heap.top();
            heap.pop();
            Node b = heap.top();
            heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        int deepest = 0;
        for (int i = 0; i < n; ++i) {
            if (!f[i]) continue;
            int depth = 0;
            for (int p = parent[i]; p != -1; p = parent[p]) ++depth;
            lengths[i] = static_cast<uint8_t>(std::min(depth, 255));
            deepest = std::max(deepest, depth);
        }
        if (deepest <= limit) return;
        for (auto& v : f)
            if (v) v = std::max<uint32_t>(1, v / 2);
    }
}

// Canonical codes, bit-reversed for LSB-first output.
void build_codes(const uint8_t* lengths, int n, uint16_t* codes) {
    int count[16] = {};
    for (int i = 0; i < n; ++i) count[lengths[i]]++;
    count[0] = 0;
    int next[16] = {};
    int code = 0;
    for (int len = 1; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int i = 0; i < n; ++i) {
        int len = lengths[i];
        if (!len) continue;
        uint32_t c = static_cast<uint32_t>(next[len]++), r = 0;
        for (int b = 0; b < len; ++b) r |= ((c >> b) & 1u) << (len - 1 - b);
        codes[i] = static_cast<uint16_t>(r);
    }
}

void ensure_two_symbols(uint32_t* freq, int n) {
    int used = 0;
    for (int i = 0; i < n; ++i) used += freq[i] != 0;
    for (int i = 0; i < n && used < 2; ++i)
        if (!freq[i]) freq[i] = 1, ++used;
}

class BitWriter {
  public:
    explicit BitWriter(WriteFn& out) : out_(out) { bytes_.reserve(70000); }
    void put(uint32_t value, int n) {
        bits_ |= uint64_t(value) << count_;
        count_ += n;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    void align() {
        if (count_) put(0, 8 - count_);
    }
    void raw(const uint8_t* p, size_t n) { bytes_.insert(bytes_.end(), p, p + n); }
    bool drain() {
        if (bytes_.empty()) return true;
        bool ok = out_(bytes_.data(), bytes_.size());
        bytes_.clear();
        return ok;
    }

  private:
    WriteFn& out_;
    std::vector<uint8_t> bytes_;
    uint64_t bits_ = 0;
    int count_ = 0;
};

}  // namespace

struct Deflater::Impl {
    int level;
    Params p;
    WriteFn out;
    BitWriter bw;
    std::vector<uint8_t> buf;
    size_t fill = 0, pos = 0, hashed = 0, block_start = 0;
    std::vector<int32_t> head, prev;
    std::vector<Symbol> syms;
    bool ok = true;

    Impl(int lvl, WriteFn o)
        : level(std::clamp(lvl, 0, 9)), p(kParams[level]), out(std::move(o)), bw(out), buf(kBufSize) {
        if (level > 0) {
            head.assign(size_t(1) << kHashBits, -1);
            prev.assign(kBufSize, -1);
            syms.reserve(kMaxSymbols);
        }
    }

    uint32_t hash(size_t i) const {
        uint32_t v = uint32_t(buf[i]) << 16 | uint32_t(buf[i + 1]) << 8 | buf[i + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    void advance_hash(size_t to) {
        for (; hashed < to && hashed + 2 < fill; ++hashed) {
            uint32_t h = hash(hashed);
            prev[hashed] = head[h];
            head[h] = static_cast<int32_t>(hashed);
        }
    }
    // Longest match at `at` not reaching past `end`; 0 when shorter than 3.
    size_t find(size_t at, size_t end, int chain, uint32_t& dist) {
        if (at + 3 > end) return 0;
        size_t max_len = std::min(kMaxMatch, end - at);
        size_t limit = at > kWindow ? at - kWindow : 0;
        size_t best = 2;
        advance_hash(at);
        for (int32_t cand = head[hash(at)]; cand >= 0 && size_t(cand) >= limit && chain-- > 0; cand = prev[cand]) {
            const uint8_t* a = &buf[cand];
            const uint8_t* b = &buf[at];
            if (a[best] != b[best] || a[0] != b[0] || a[1] != b[1]) continue;
            size_t len = 0;
            while (len < max_len && a[len] == b[len]) ++len;
            if (len > best) {
                best = len;
                dist = static_cast<uint32_t>(at - cand);
                if (len >= size_t(p.nice) || len == max_len) break;
            }
        }
        return best >= 3 ? best : 0;
    }

    void parse(bool final) {
        size_t end = fill;
        while (pos < end) {
            uint32_t dist = 0;
            size_t len = find(pos, end, p.chain, dist);
            if (len && p.lazy && len < size_t(p.lazy) && pos + 1 < end) {
                uint32_t dist2 = 0;
                int chain = len >= size_t(p.good) ? p.chain / 4 : p.chain;
                size_t len2 = find(pos + 1, end, std::max(chain, 1), dist2);
                if (len2 > len) len = 0;  // a literal now and the longer match next
            }
            if (len) {
                syms.push_back({static_cast<uint16_t>(len), static_cast<uint16_t>(dist)});
                pos += len;
            } else {
                syms.push_back({buf[pos], 0});
                ++pos;
            }
            if (syms.size() >= kMaxSymbols) flush_block(false);
        }
        flush_block(final);
    }

    void slide() {
        if (fill <= kWindow) return;
        size_t delta = fill - kWindow;
        std::memmove(buf.data(), buf.data() + delta, kWindow);
        fill = kWindow;
        pos -= delta;
        block_start = pos;
        hashed = hashed > delta ? hashed - delta : 0;
        if (level == 0) return;
        auto shift = [delta](int32_t v) { return v >= int32_t(delta) ? v - int32_t(delta) : -1; };
        for (auto& h : head) h = shift(h);
        for (size_t i = 0; i < kWindow; ++i) prev[i] = shift(prev[i + delta]);
        std::fill(prev.begin() + kWindow, prev.end(), -1);
    }

    void write_stored(bool final) {
        size_t n = pos - block_start;
        const uint8_t* data = buf.data() + block_start;
        do {
            size_t piece = std::min<size_t>(n, 65535);
            n -= piece;
            bw.put((final && n == 0) ? 1 : 0, 1);
            bw.put(0, 2);
            bw.align();
            bw.put(static_cast<uint32_t>(piece), 16);
            bw.put(static_cast<uint32_t>(piece) ^ 0xFFFF, 16);
            bw.raw(data, piece);
            data += piece;
        } while (n);
    }

    void write_symbols(const uint8_t* lit_len, const uint16_t* lit_code, const uint8_t* dist_len,
                       const uint16_t* dist_code) {
        const Tables& t = tables();
        for (const Symbol& s : syms) {
            if (!s.dist) {
                bw.put(lit_code[s.value], lit_len[s.value]);
                continue;
            }
            int lc = t.length_code[s.value];
            bw.put(lit_code[257 + lc], lit_len[257 + lc]);
            bw.put(s.value - kLengthBase[lc], kLengthExtra[lc]);
            int dc = t.dist_code[s.dist];
            bw.put(dist_code[dc], dist_len[dc]);
            bw.put(s.dist - kDistBase[dc], kDistExtra[dc]);
        }
        bw.put(lit_code[256], lit_len[256]);
    }

    void flush_block(bool final) {
        if (level == 0 || (syms.empty() && pos > block_start)) {
            if (pos > block_start || final) write_stored(final);
        } else if (!syms.empty() || final) {
            write_coded(final);
        }
        syms.clear();
        block_start = pos;
        if (!bw.drain()) ok = false;
    }

    void write_coded(bool final) {
        const Tables& t = tables();
        uint32_t lit_freq[286] = {}, dist_freq[30] = {};
        uint64_t extra_bits = 0;
        for (const Symbol& s : syms) {
            if (!s.dist) {
                lit_freq[s.value]++;
                continue;
            }
            int lc = t.length_code[s.value], dc = t.dist_code[s.dist];
            lit_freq[257 + lc]++;
            dist_freq[dc]++;
            extra_bits += kLengthExtra[lc] + kDistExtra[dc];
        }
        lit_freq[256] = 1;

        // Fixed codes (RFC 1951 3.2.6).
        uint8_t fixed_lit_len[288], fixed_dist_len[30];
        for (int i = 0; i < 288; ++i) fixed_lit_len[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        std::fill(fixed_dist_len, fixed_dist_len + 30, 5);
        uint64_t fixed_cost = 3 + extra_bits;
        for (int i = 0; i < 286; ++i) fixed_cost += uint64_t(lit_freq[i]) * fixed_lit_len[i];
        for (int i = 0; i < 30; ++i) fixed_cost += uint64_t(dist_freq[i]) * 5;

        // Dynamic codes (RFC 1951 3.2.7).
        ensure_two_symbols(lit_freq, 286);
        ensure_two_symbols(dist_freq, 30);
        uint8_t lengths[286 + 30] = {};
        build_lengths(lit_freq, 286, 15, lengths);
        build_lengths(dist_freq, 30, 15, lengths + 286);
        int nlit = 286, ndist = 30;
        while (nlit > 257 && lengths[nlit - 1] == 0) --nlit;
        while (ndist > 1 && lengths[286 + ndist - 1] == 0) --ndist;
        uint8_t all[286 + 30];
        std::memcpy(all, lengths, nlit);
        std::memcpy(all + nlit, lengths + 286, ndist);
        int total = nlit + ndist;
        std::vector<std::pair<uint8_t, uint8_t>> rle;  // code-length symbol, extra value
        for (int i = 0; i < total;) {
            uint8_t v = all[i];
            int run = 1;
            while (i + run < total && all[i + run] == v) ++run;
            int used = 0;
            if (v == 0) {
                while (run - used >= 11) {
                    int r = std::min(run - used, 138);
                    rle.push_back({18, static_cast<uint8_t>(r - 11)});
                    used += r;
                }
                if (run - used >= 3) {
                    rle.push_back({17, static_cast<uint8_t>(run - used - 3)});
                    used = run;
                }
            } else if (run >= 4) {
                rle.push_back({v, 0});
                used = 1;
                while (run - used >= 3) {
                    int r = std::min(run - used, 6);
                    rle.push_back({16, static_cast<uint8_t>(r - 3)});
                    used += r;
                }
            }
            for (; used < run; ++used) rle.push_back({v, 0});
            i += run;
        }
        uint32_t cl_freq[19] = {};
        for (auto& e : rle) cl_freq[e.first]++;
        ensure_two_symbols(cl_freq, 19);
        uint8_t cl_len[19];
        build_lengths(cl_freq, 19, 7, cl_len);
        int ncl = 19;
        while (ncl > 4 && cl_len[kCodeLengthOrder[ncl - 1]] == 0) --ncl;
        uint64_t dyn_cost = 3 + 14 + 3 * uint64_t(ncl) + extra_bits;
        for (auto& e : rle)
            dyn_cost += cl_len[e.first] + (e.first == 16 ? 2 : e.first == 17 ? 3 : e.first == 18 ? 7 : 0);
        for (int i = 0; i < 286; ++i) dyn_cost += uint64_t(lit_freq[i]) * lengths[i];
        for (int i = 0; i < 30; ++i) dyn_cost += uint64_t(dist_freq[i]) * lengths[286 + i];

        uint64_t raw = pos - block_start;
        uint64_t stored_cost = 8 * raw + 42 * ((raw + 65534) / 65535 + 1);
        if (stored_cost <= fixed_cost && stored_cost <= dyn_cost) {
            write_stored(final);
            return;
        }
        if (fixed_cost <= dyn_cost) {
            uint16_t lit_code[288], dist_code[30];
            build_codes(fixed_lit_len, 288, lit_code);
            build_codes(fixed_dist_len, 30, dist_code);
            bw.put(final ? 1 : 0, 1);
            bw.put(1, 2);
            write_symbols(fixed_lit_len, lit_code, fixed_dist_len, dist_code);
            return;
        }
        uint16_t cl_code[19], lit_code[286], dist_code[30];
        build_codes(cl_len, 19, cl_code);
        build_codes(lengths, 286, lit_code);
        build_codes(lengths + 286, 30, dist_code);
        bw.put(final ? 1 : 0, 1);
        bw.put(2, 2);
        bw.put(static_cast<uint32_t>(nlit - 257), 5);
        bw.put(static_cast<uint32_t>(ndist - 1), 5);
        bw.put(static_cast<uint32_t>(ncl - 4), 4);
        for (int i = 0; i < ncl; ++i) bw.put(cl_len[kCodeLengthOrder[i]], 3);
        for (auto& e : rle) {
            bw.put(cl_code[e.first], cl_len[e.first]);
            if (e.first == 16) bw.put(e.second, 2);
            if (e.first == 17) bw.put(e.second, 3);
            if (e.first == 18) bw.put(e.second, 7);
        }
        write_symbols(lengths, lit_code, lengths + 286, dist_code);
    }

    void round(bool final) {
        if (level == 0) {
            pos = fill;
            flush_block(final);
        } else {
            parse(final);
        }
        if (!final) slide();
    }
};

Deflater::Deflater(int level, WriteFn out) : impl_(std::make_unique<Impl>(level, std::move(out))) {}
Deflater::~Deflater() = default;

bool Deflater::write(const uint8_t* data, size_t size) {
    Impl& d = *impl_;
    while (size && d.ok) {
        if (d.fill == kBufSize) d.round(false);
        size_t n = std::min(size, kBufSize - d.fill);
        std::memcpy(d.buf.data() + d.fill, data, n);
        d.fill += n;
        data += n;
        size -= n;
    }
    return d.ok;
}

bool Deflater::finish() {
    Impl& d = *impl_;
    if (!d.ok) return false;
    d.round(true);
    d.bw.align();
    return d.bw.drain() && d.ok;
}

std::vector<uint8_t> deflate_buffer(const uint8_t* data, size_t size, int level) {
    std::vector<uint8_t> out;
    Deflater d(level, [&](const uint8_t* p, size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    d.write(data, size);
    d.finish();
    return out;
}

}  // namespace dravik::archive
