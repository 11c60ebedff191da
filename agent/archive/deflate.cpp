// Deflate (RFC 1951). Design:
// - Input collects in a buffer holding up to 32 KiB of history plus 256 KiB of new data (it
//   starts at 64 KiB and grows only for larger inputs). Each round parses the new data (all of
//   it at the end of the stream, otherwise all but the last 258 + 4 bytes, so every match can
//   reach its full length), ends the current block, and slides the last 32 KiB of history and
//   the unparsed bytes to the front. A block's bytes are still in the buffer when it is written,
//   so a stored block is always possible.
// - Match finding: hash chains over 5-byte prefixes. `head5` holds the latest position of each
//   hash; `chain` holds, per position, the distance back to the previous position with the same
//   hash. Two single-entry tables keyed by 4- and 3-byte prefixes (`head4`, `head3`) supply the
//   nearest 4- and 3-byte matches, the latter only when near (a far length-3 match usually costs
//   more than three literals). Positions are stored as stream positions modulo 64 Ki and chain
//   entries as distances, so sliding touches no table; since a stale entry can point anywhere in
//   the window, every candidate is verified against the data. Candidates are checked 4 bytes at
//   a time, first where a longer match than the best so far would end; match lengths are counted
//   a word at a time. The next position's table entries are prefetched.
// - Parsing per level (table below): levels 1-3 take the longest match found (greedy) and leave
//   the inside of longer matches out of the tables; levels 4-9 look one position ahead and
//   prefer a literal and the next position's match when that match is longer (lazy). The chain
//   depth, the length at which the search stops ("nice"), the length from which no lazy look is
//   made, and the length from which the lazy look searches a quarter of the chain ("good") rise
//   with the level; the lazy look otherwise searches half of it. In a long run of literals
//   (incompressible data) only some positions are searched. Right after a match, a match at its
//   distance is tried first, which follows long repeats cheaply.
// - Block splitting: symbols are counted per block and per segment of 1024 symbols. At each
//   segment end the entropy of the block with the segment is compared with that of the block
//   and the segment apart; when apart is cheaper by more than about a block header (which grows
//   with the symbols the block uses), the block ends before the segment. Blocks also end at
//   64 Ki symbols and at the end of each round.
#include "deflate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec_buffer.h"
#include "deflate_block.h"

namespace dravik::archive {
namespace {

using deflate_block::BitWriter;
using deflate_block::Frequencies;
using deflate_block::kMaxMatch;
using deflate_block::Symbol;

constexpr size_t kWindow = 32768;
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kLookahead = kMaxMatch + 4;
constexpr size_t kBufSize = kWindow + kChunk + kLookahead;
constexpr size_t kInitialBuf = 64 * 1024;
constexpr int kHash5Bits = 15;
constexpr int kHash4Bits = 14;
constexpr int kHash3Bits = 12;
constexpr size_t kChainSize = 32768;  // indexed by stream position modulo this
constexpr uint32_t kMaxDist = 32767;  // so that a chain entry is never overwritten while in reach
constexpr uint32_t kFar3 = 4096;      // length-3 matches further back than this are not used
constexpr size_t kSegment = 1024;
// Long literal runs: after kSkipAfter literals in a row, positions are passed over (below).
constexpr size_t kSkipAfter = 256;
constexpr size_t kMaxBlockSymbols = 65535;  // so that a block of literals alone fits one stored block
// A new block must save more than its header costs. A header describes each symbol its block
// uses, so the bar rises with the symbols the current block uses. Every block also costs the
// reader a table build, which a bar this high keeps from being paid for a few bytes.
constexpr float kSplitBits = 300, kSplitBitsPerSymbol = 2.5f;

struct Params {
    int depth;       // chain positions examined
    int nice;        // stop searching at a match this long
    int lazy;        // no lazy look at a match this long (0 = greedy)
    int good;        // the lazy look searches depth / 4 after a match this long
    int max_insert;  // positions inside a match are added to the tables only up to this length
};
constexpr Params kParams[10] = {
    {0, 0, 0, 0, 0},         {2, 16, 0, 0, 4},         {4, 24, 0, 0, 8},     {6, 32, 0, 0, 16},
    {6, 32, 12, 4, 258},     {8, 40, 16, 4, 258},      {16, 64, 32, 8, 258}, {32, 128, 64, 16, 258},
    {96, 258, 128, 32, 258}, {256, 258, 258, 64, 258},
};

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

// Hashes of the 5, 4 and 3 bytes at p (v holds the first four).
inline uint32_t hash5(const uint8_t* p, uint32_t v, int shift) {
    return ((v * 2654435761u) ^ (uint32_t(p[4]) * 0x9E3779B9u)) >> shift;
}
inline uint32_t hash4(uint32_t v, int shift) { return (v * 0x85EBCA6Bu) >> shift; }
inline uint32_t hash3(uint32_t v, int shift) { return ((v << 8) * 2654435761u) >> shift; }

// Bytes in common at a and b, from `start` up to `max`.
inline size_t match_length(const uint8_t* a, const uint8_t* b, size_t start, size_t max) {
    size_t len = start;
    while (len + sizeof(size_t) <= max) {
        size_t x, y;
        std::memcpy(&x, a + len, sizeof x);
        std::memcpy(&y, b + len, sizeof y);
        if (x != y) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            return len + static_cast<size_t>(__builtin_clzll(static_cast<unsigned long long>(x ^ y)) -
                                             (64 - 8 * sizeof(size_t))) /
                             8;
#else
            return len + static_cast<size_t>(__builtin_ctzll(static_cast<unsigned long long>(x ^ y))) / 8;
#endif
        }
        len += sizeof(size_t);
    }
    while (len < max && a[len] == b[len]) ++len;
    return len;
}

struct Match {
    uint32_t len = 0;
    uint32_t dist = 0;
};

// log2 of 0..4095, for entropy estimates.
struct Log2Table {
    float v[4096];
    Log2Table() {
        v[0] = 0;
        for (int i = 1; i < 4096; ++i) v[i] = static_cast<float>(std::log2(i));
    }
};
const Log2Table& log2_table() {
    static const Log2Table t;
    return t;
}
// log2(x) within about 0.001 for larger x: the top 12 bits through the table.
inline float approx_log2(uint32_t x, const Log2Table& t) {
    int shift = 0;
    while (x >= 4096) x >>= 1, ++shift;
    return t.v[x] + static_cast<float>(shift);
}

// Entropy of a histogram in bits: sum of f * log2(total / f).
float entropy_bits(const uint32_t* f, int n, const Log2Table& t) {
    uint32_t total = 0;
    float sum = 0;
    for (int i = 0; i < n; ++i) {
        if (!f[i]) continue;
        total += f[i];
        sum += static_cast<float>(f[i]) * approx_log2(f[i], t);
    }
    return total ? static_cast<float>(total) * approx_log2(total, t) - sum : 0.0f;
}
float entropy_bits(const Frequencies& f) {
    const Log2Table& t = log2_table();
    return entropy_bits(f.lit, deflate_block::kLitLenSymbols, t) + entropy_bits(f.dist, deflate_block::kDistSymbols, t);
}

}  // namespace

struct Deflater::Impl {
    int level;
    Params p;
    WriteFn out;
    BitWriter bw;
    CodecBuffer<uint8_t> buf;
    size_t fill = 0;         // bytes in buf
    size_t pos = 0;          // next byte to parse
    size_t block_start = 0;  // first byte of the current block
    size_t stream_base = 0;  // stream position of buf[0] (only its low 16 bits matter)
    // Positions in the tables are stream positions modulo 64 Ki; every candidate is verified.
    CodecBuffer<uint16_t> head5{size_t(1) << kHash5Bits}, head4{size_t(1) << kHash4Bits},
        head3{size_t(1) << kHash3Bits}, chain{kChainSize};
    int hash5_shift = 32 - kHash5Bits, hash4_shift = 32 - kHash4Bits, hash3_shift = 32 - kHash3Bits;
    bool tables_ready = false;
    CodecBuffer<Symbol> syms{0};
    size_t nsyms = 0;
    Frequencies freq{}, before_segment{};     // the block's counts, and those up to its last segment
    float before_bits = 0;                    // entropy of before_segment
    size_t segment_sym = 0, segment_pos = 0;  // where the last segment starts (symbols, bytes)
    size_t literal_run = 0;                   // literals since the last match
    bool ok = true;

    Impl(int lvl, WriteFn o) : level(std::clamp(lvl, 0, 9)), p(kParams[level]), out(std::move(o)), buf(kInitialBuf) {}

    // The state of a new stream; the buffers keep their size and contents, which are never read
    // before they are written again (the head tables are cleared before the first parse).
    void restart(int lvl, WriteFn o) {
        level = std::clamp(lvl, 0, 9);
        p = kParams[level];
        out = std::move(o);
        bw.clear();
        fill = pos = block_start = stream_base = 0;
        tables_ready = false;
        nsyms = 0;
        freq.clear();
        before_segment.clear();
        before_bits = 0;
        segment_sym = segment_pos = 0;
        literal_run = 0;
        ok = true;
    }

    // Clears the head tables before the first parse; when the whole input is already known and
    // small, only as much of them as its size calls for, so that small files cost little to set up.
    // The chain needs no clearing: only positions already added are ever looked up in it.
    void prepare_tables(bool whole_input) {
        int bits = kHash5Bits;
        if (whole_input)
            while (bits > 9 && (size_t(1) << bits) >= fill) --bits;
        const int bits4 = std::min(kHash4Bits, bits - 1), bits3 = std::min(kHash3Bits, bits - 2);
        hash5_shift = 32 - bits;
        hash4_shift = 32 - bits4;
        hash3_shift = 32 - bits3;
        std::fill(head5.data(), head5.data() + (size_t(1) << bits), uint16_t(0));
        std::fill(head4.data(), head4.data() + (size_t(1) << bits4), uint16_t(0));
        std::fill(head3.data(), head3.data() + (size_t(1) << bits3), uint16_t(0));
        tables_ready = true;
    }

    // --- symbols and blocks ----------------------------------------------------------------------
    // Called when nsyms reaches check_at(): segment checks and the block size limit. `next` is
    // the byte position after the last symbol.
    size_t check_at() const { return std::min(segment_sym + kSegment, kMaxBlockSymbols); }
    void checkpoint(size_t next) {
        if (nsyms - segment_sym >= kSegment) end_segment(next);
        if (nsyms >= kMaxBlockSymbols) flush_block(next, false);
    }
    void end_segment(size_t next) {
        if (segment_sym > 0) {
            Frequencies seg;
            int used = 0;
            for (int i = 0; i < deflate_block::kLitLenSymbols; ++i) {
                seg.lit[i] = freq.lit[i] - before_segment.lit[i];
                used += freq.lit[i] != 0;
            }
            for (int i = 0; i < deflate_block::kDistSymbols; ++i) {
                seg.dist[i] = freq.dist[i] - before_segment.dist[i];
                used += freq.dist[i] != 0;
            }
            const float seg_bits = entropy_bits(seg), whole_bits = entropy_bits(freq);
            if (whole_bits - (before_bits + seg_bits) > kSplitBits + kSplitBitsPerSymbol * static_cast<float>(used)) {
                // End the block before the segment; the segment starts the next one.
                const size_t moved = nsyms - segment_sym;
                nsyms = segment_sym;
                freq = before_segment;
                write_block(segment_pos, false);
                if (!bw.drain(out)) ok = false;
                std::memmove(syms.data(), syms.data() + segment_sym, moved * sizeof(Symbol));
                nsyms = moved;
                freq = seg;
                block_start = segment_pos;
                before_bits = seg_bits;
            } else {
                before_bits = whole_bits;
            }
        } else {
            before_bits = entropy_bits(freq);
        }
        before_segment = freq;
        segment_sym = nsyms;
        segment_pos = next;
    }
    // Writes the symbols collected so far as one block covering bytes [block_start, end).
    void write_block(size_t end, bool final) {
        deflate_block::write_block(bw, syms.data(), nsyms, freq, &buf[block_start], end - block_start, final);
    }
    // Ends the current block at byte `end` (all symbols collected so far).
    void flush_block(size_t end, bool final) {
        if (level == 0) {
            if (end > block_start || final)
                deflate_block::write_stored(bw, &buf[block_start], end - block_start, final);
        } else if (nsyms || final) {
            write_block(end, final);
        }
        nsyms = 0;
        freq.clear();
        before_segment.clear();
        before_bits = 0;
        segment_sym = 0;
        segment_pos = end;
        block_start = end;
        if (!bw.drain(out)) ok = false;
    }

    // --- parsing ---------------------------------------------------------------------------------
    // Parses from `pos` up to `limit`, greedy or lazy. The hot state lives in locals; positions
    // below `ins` are in the tables (or deliberately left out).
    template <bool kLazy>
    void parse(size_t limit) {
        const uint8_t* const b = buf.data();
        uint16_t* const h5 = head5.data();
        uint16_t* const h4 = head4.data();
        uint16_t* const h3 = head3.data();
        uint16_t* const ch = chain.data();
        const int shift5 = hash5_shift, shift4 = hash4_shift, shift3 = hash3_shift;
        Symbol* const out_syms = syms.data();
        const size_t base = stream_base;
        const size_t end = fill;
        const size_t hash_end = end >= 5 ? end - 4 : 0;  // positions below have 5 bytes to hash
        const int depth = p.depth, half_depth = std::max(p.depth >> 1, 1), lazy_depth = std::max(p.depth >> 2, 1);
        const uint32_t nice = static_cast<uint32_t>(p.nice), lazy = static_cast<uint32_t>(p.lazy),
                       good = static_cast<uint32_t>(p.good), max_insert = static_cast<uint32_t>(p.max_insert);
        size_t i = pos, ins = pos, n = nsyms, check = check_at();
        uint32_t last_dist = 0;  // of the last match, 0 for none
        size_t last_end = 0;     // where it ended

        auto insert = [&](size_t at) {
            const uint32_t v = load32(b + at);
            const uint16_t p16 = static_cast<uint16_t>(base + at);
            uint16_t& head = h5[hash5(b + at, v, shift5)];
            ch[p16 & (kChainSize - 1)] = static_cast<uint16_t>(p16 - head);
            head = p16;
            h4[hash4(v, shift4)] = p16;
            h3[hash3(v, shift3)] = p16;
        };
        auto insert_to = [&](size_t to) {
            for (size_t k = ins, e = std::min(to, hash_end); k < e; ++k) insert(k);
            ins = to;
        };
        // The longest match at `at` longer than `best` (len 0 when there is none), examining at
        // most `budget` chain positions; adds `at` to the tables.
        auto search = [&](size_t at, int budget, uint32_t best) __attribute__((always_inline)) {
            Match m;
            ins = at + 1;
            if (at >= hash_end) return m;
            const uint8_t* const cur = b + at;
            const uint32_t v = load32(cur);
            uint16_t& head = h5[hash5(cur, v, shift5)];
            uint16_t& head_4 = h4[hash4(v, shift4)];
            uint16_t& head_3 = h3[hash3(v, shift3)];
            if (at + 1 < hash_end) {  // the next position's entries, which the next search wants
                const uint32_t next = load32(cur + 1);
                __builtin_prefetch(&h5[hash5(cur + 1, next, shift5)]);
                __builtin_prefetch(&h4[hash4(next, shift4)]);
                __builtin_prefetch(&h3[hash3(next, shift3)]);
            }
            const uint16_t p16 = static_cast<uint16_t>(base + at);
            uint32_t dist = static_cast<uint16_t>(p16 - head);
            const uint32_t dist4 = static_cast<uint16_t>(p16 - head_4);
            const uint32_t dist3 = static_cast<uint16_t>(p16 - head_3);
            ch[p16 & (kChainSize - 1)] = static_cast<uint16_t>(dist);
            head = p16;
            head_4 = p16;
            head_3 = p16;
            const uint32_t max_len = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, end - at));
            if (best >= max_len) return m;
            const uint32_t first_best = best;
            // Right after a match, its distance first: a long repeat continues at it, even through
            // data whose positions were passed over.
            if (at == last_end && last_dist - 1 < std::min<size_t>(kMaxDist, at) && load32(cur - last_dist) == v) {
                const uint32_t len = static_cast<uint32_t>(match_length(cur - last_dist, cur, 4, max_len));
                if (len > best) {
                    best = len;
                    m.dist = last_dist;
                    if (len >= nice || len == max_len) dist = 0;  // no need to search further
                }
            }
            // A longer match must agree at `tail` .. best: checked first, it rejects most.
            size_t tail = best >= 4 ? best - 3 : 0;
            while (dist - 1 < kMaxDist) {
                const uint8_t* const c = cur - dist;
                if (load32(c + tail) == load32(cur + tail) && load32(c) == v) {
                    const uint32_t len = static_cast<uint32_t>(match_length(c, cur, 4, max_len));
                    if (len > best) {
                        best = len;
                        tail = best - 3;
                        m.dist = dist;
                        if (len >= nice || len == max_len) break;
                    }
                }
                if (--budget <= 0) break;
                dist += ch[static_cast<uint16_t>(p16 - dist) & (kChainSize - 1)];
            }
            // The single 4- and 3-byte candidates, when the chain gave nothing as long. The byte
            // comparisons come first: they nearly always fail, which keeps the branches predictable.
            const uint32_t d4 = std::min(dist4, static_cast<uint32_t>(at));
            if (load32(cur - d4) == v && d4 - 1 < kMaxDist && best < 4) {
                best = static_cast<uint32_t>(match_length(cur - d4, cur, 4, max_len));
                m.dist = d4;
            }
            const uint32_t d3 = std::min(dist3, static_cast<uint32_t>(at));
            if (((load32(cur - d3) ^ v) & 0xFFFFFF) == 0 && d3 - 1 < kFar3 && best < 3) {
                best = static_cast<uint32_t>(match_length(cur - d3, cur, 3, max_len));
                m.dist = d3;
            }
            if (best > first_best && best >= 3) m.len = best;
            return m;
        };
        auto after_symbol = [&](size_t next) {
            if (n < check) return;
            nsyms = n;
            checkpoint(next);
            n = nsyms;
            check = check_at();
        };
        auto emit_literal = [&](size_t at) {
            out_syms[n++] = Symbol{b[at], 0};
            freq.lit[b[at]]++;
            after_symbol(at + 1);
        };
        auto emit_match = [&](const Match& m, size_t at) {
            last_dist = m.dist;
            last_end = at + m.len;
            out_syms[n++] = Symbol{static_cast<uint16_t>(m.len), static_cast<uint16_t>(m.dist)};
            freq.lit[257 + deflate_block::kLengthSymbol[m.len]]++;
            freq.dist[deflate_block::dist_symbol(m.dist)]++;
            after_symbol(at + m.len);
            literal_run = 0;
        };
        // After a literal: in a long run without matches (incompressible data) most positions are
        // passed over as literals without being searched or added. How many depends on the data at
        // hand (24 to 39 once the run is long), so that the positions searched in two copies of the
        // same data soon fall into step, and a later repeat of passed-over data is still found.
        auto after_literal = [&] {
            if (++literal_run <= kSkipAfter || i >= hash_end) return;
            const size_t by_data = 24 + ((load32(b + i) * 0x9E3779B1u) >> 28);
            const size_t skip = std::min({(literal_run - kSkipAfter) >> 4, by_data, limit - i, check - n});
            for (const size_t stop = i + skip; i < stop; ++i) {
                out_syms[n++] = Symbol{b[i], 0};
                freq.lit[b[i]]++;
            }
            after_symbol(i);
            ins = std::max(ins, i);
        };

        while (i < limit) {
            Match m = search(i, depth, 2);
            if (!m.len) {
                emit_literal(i++);
                after_literal();
                continue;
            }
            if (kLazy) {
                while (m.len < lazy && i + 1 < limit) {
                    Match next = search(i + 1, m.len >= good ? lazy_depth : half_depth, m.len);
                    // One byte longer but much further back is usually not worth a literal.
                    if (!next.len || (next.len == m.len + 1 && next.dist > 4 * m.dist && next.dist > 4096)) break;
                    emit_literal(i++);
                    m = next;
                }
            }
            emit_match(m, i);
            if (m.len <= max_insert)
                insert_to(i + m.len);
            else
                ins = i + m.len;  // fast levels leave out the inside of long matches
            i += m.len;
        }
        pos = i;
        nsyms = n;
    }

    // Parses what the buffer allows, ends the block, and slides unless this is the end.
    void round(bool final) {
        size_t limit = final ? fill : (fill > kLookahead ? fill - kLookahead : 0);
        if (level == 0) {
            pos = fill;
        } else {
            if (!tables_ready) prepare_tables(final);
            // A block never holds more symbols than the buffer has bytes.
            const size_t want = std::min(kMaxBlockSymbols, buf.size());
            if (syms.size() < want) syms.resize(want, nsyms);
            if (p.lazy)
                parse<true>(limit);
            else
                parse<false>(limit);
        }
        flush_block(pos, final);
        if (!final) slide();
    }

    void slide() {
        if (pos <= kWindow) return;
        const size_t delta = pos - kWindow;
        std::memmove(buf.data(), buf.data() + delta, fill - delta);
        fill -= delta;
        pos -= delta;
        block_start -= delta;
        segment_pos -= delta;
        stream_base += delta;
    }
};

Deflater::Deflater(int level, WriteFn out) : impl_(std::make_unique<Impl>(level, std::move(out))) {}
Deflater::~Deflater() = default;

bool Deflater::write(const uint8_t* data, size_t size) {
    Impl& d = *impl_;
    while (size && d.ok) {
        if (d.fill == kBufSize) d.round(false);
        size_t n = std::min(size, kBufSize - d.fill);
        if (d.fill + n > d.buf.size()) d.buf.resize(kBufSize, d.fill);  // it starts small for small inputs
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
    return d.bw.drain(d.out) && d.ok;
}

void Deflater::reset(int level, WriteFn out) { impl_->restart(level, std::move(out)); }

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
