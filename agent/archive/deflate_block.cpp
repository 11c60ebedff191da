// Deflate block writer (RFC 1951 3.2.4 to 3.2.7). Design:
// - Code lengths come from Huffman's construction (two queues over the symbols sorted by
//   frequency). When that code is deeper than the limit (15 bits for literal/length and distance
//   codes, 7 for the code-length code), package-merge gives the optimal code within the limit:
//   each of the `limit` levels merges the sorted leaves with the pairs ("packages") of the level
//   below; the first 2n - 2 items of the top level are taken, and a symbol's code length is the
//   number of levels where it is among the taken leaves (a taken package takes its two items one
//   level down). Either way the code is complete.
// - A code with fewer than two used symbols gets dummy ones, so every written code is complete.
// - The exact size of the block is computed for the stored, fixed and dynamic forms, and the
//   smallest is written.
#include "deflate_block.h"

#include <algorithm>

namespace dravik::archive::deflate_block {
namespace {

constexpr int kCodeLengthSymbols = 19;

// Canonical codes (RFC 1951 3.2.2), bit-reversed for LSB-first output.
void build_codes(const uint8_t* lengths, int n, uint16_t* codes) {
    int count[16] = {};
    for (int i = 0; i < n; ++i) count[lengths[i]]++;
    count[0] = 0;
    int next[16] = {};
    for (int len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int i = 0; i < n; ++i) {
        int len = lengths[i];
        codes[i] = 0;
        if (!len) continue;
        codes[i] = static_cast<uint16_t>(reverse_bits(static_cast<uint32_t>(next[len]++), len));
    }
}

void ensure_two_symbols(uint32_t* freq, int n) {
    int used = 0;
    for (int i = 0; i < n; ++i) used += freq[i] != 0;
    for (int i = 0; i < n && used < 2; ++i)
        if (!freq[i]) freq[i] = 1, ++used;
}

uint8_t fixed_lit_length(int sym) { return sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8; }

// The run-length coded code lengths of a dynamic header (RFC 1951 3.2.7).
struct LengthRuns {
    uint8_t sym[kLitLenSymbols + kDistSymbols];
    uint8_t extra[kLitLenSymbols + kDistSymbols];
    int n = 0;
    void add(int s, int e) {
        sym[n] = static_cast<uint8_t>(s);
        extra[n++] = static_cast<uint8_t>(e);
    }
};

void run_length_code(const uint8_t* all, int total, LengthRuns& rle) {
    for (int i = 0; i < total;) {
        uint8_t v = all[i];
        int run = 1;
        while (i + run < total && all[i + run] == v) ++run;
        int used = 0;
        if (v == 0) {
            while (run - used >= 11) {
                int r = std::min(run - used, 138);
                rle.add(18, r - 11);
                used += r;
            }
            if (run - used >= 3) {
                rle.add(17, run - used - 3);
                used = run;
            }
        } else if (run >= 4) {
            rle.add(v, 0);
            used = 1;
            while (run - used >= 3) {
                int r = std::min(run - used, 6);
                rle.add(16, r - 3);
                used += r;
            }
        }
        for (; used < run; ++used) rle.add(v, 0);
        i += run;
    }
}

int run_extra_bits(int sym) { return sym == 16 ? 2 : sym == 17 ? 3 : sym == 18 ? 7 : 0; }

// Writes the symbols and the end-of-block code with the given codes.
void write_symbols(BitWriter& bw, const Symbol* syms, size_t nsyms, const uint8_t* lit_len, const uint16_t* lit_code,
                   const uint8_t* dist_len, const uint16_t* dist_code) {
    // One table for the first part of every symbol: literals 0-255 as themselves, match lengths
    // 3-258 at 256 + length with the length code and its extra bits in one value.
    uint32_t first_bits[256 + kMaxMatch + 1];
    uint8_t first_count[256 + kMaxMatch + 1];
    for (int v = 0; v < 256; ++v) {
        first_bits[v] = lit_code[v];
        first_count[v] = lit_len[v];
    }
    for (int l = kMinMatch; l <= kMaxMatch; ++l) {
        int s = kLengthSymbol[l];
        first_bits[256 + l] = lit_code[257 + s] | uint32_t(l - kLengthBase[s]) << lit_len[257 + s];
        first_count[256 + l] = static_cast<uint8_t>(lit_len[257 + s] + kLengthExtra[s]);
    }
    for (size_t i = 0; i < nsyms; ++i) {
        const Symbol s = syms[i];
        const unsigned first = s.value + (s.dist ? 256u : 0u);
        bw.put(first_bits[first], first_count[first]);
        if (s.dist) {
            int d = dist_symbol(s.dist);
            bw.put(dist_code[d] | uint32_t(s.dist - kDistBase[d]) << dist_len[d], dist_len[d] + kDistExtra[d]);
        }
        bw.flush();
    }
    bw.write(lit_code[256], lit_len[256]);
}

}  // namespace

namespace {

// Package-merge over the used symbols `order` (sorted by frequency).
void package_merge(const uint32_t* freq, const uint16_t* order, size_t m, int limit, uint8_t* lengths) {
    // Level `limit` holds the leaves alone; each level above merges the leaves with the packages
    // of the one below. Only whether each item is a leaf is kept per level.
    const size_t cap = 2 * m;
    std::vector<uint8_t> is_leaf(size_t(limit + 1) * cap);
    std::vector<size_t> size(size_t(limit + 1));
    std::vector<uint64_t> below(cap), here(cap);
    for (size_t i = 0; i < m; ++i) {
        below[i] = freq[order[i]];
        is_leaf[size_t(limit) * cap + i] = 1;
    }
    size[size_t(limit)] = m;
    for (int level = limit - 1; level >= 1; --level) {
        const size_t packages = size[size_t(level + 1)] / 2;
        uint8_t* flags = &is_leaf[size_t(level) * cap];
        size_t leaf = 0, package = 0, k = 0;
        while (leaf < m || package < packages) {
            uint64_t pw = package < packages ? below[2 * package] + below[2 * package + 1] : UINT64_MAX;
            if (leaf < m && freq[order[leaf]] <= pw) {
                here[k] = freq[order[leaf++]];
                flags[k++] = 1;
            } else {
                here[k] = pw;
                flags[k++] = 0;
                ++package;
            }
        }
        size[size_t(level)] = k;
        std::swap(below, here);
    }
    size_t take = 2 * m - 2;
    for (int level = 1; level <= limit && take; ++level) {
        take = std::min(take, size[size_t(level)]);
        const uint8_t* flags = &is_leaf[size_t(level) * cap];
        size_t leaves = 0;
        for (size_t i = 0; i < take; ++i) leaves += flags[i];
        for (size_t i = 0; i < leaves; ++i) lengths[order[i]]++;
        take = 2 * (take - leaves);
    }
}

}  // namespace

void build_lengths(const uint32_t* freq, int n, int limit, uint8_t* lengths) {
    std::fill(lengths, lengths + n, 0);
    // Sorted by frequency, then symbol: both packed in one key (a block has under 2^22 symbols).
    uint32_t keys[kLitLenSymbols];
    size_t m = 0;
    for (int i = 0; i < n && i < kLitLenSymbols; ++i)
        if (freq[i]) keys[m++] = std::min(freq[i], (1u << 22) - 1) << 9 | static_cast<uint32_t>(i);
    if (m == 0) return;
    std::sort(keys, keys + m);
    uint16_t order[kLitLenSymbols];
    for (size_t i = 0; i < m; ++i) order[i] = static_cast<uint16_t>(keys[i] & 511);
    if (m == 1) {
        lengths[order[0]] = 1;
        return;
    }
    // Huffman's construction with two queues: the sorted leaves and the internal nodes, which
    // are made in order of rising weight. Nodes 0..m-1 are the leaves, m..2m-2 internal.
    uint64_t weight[2 * kLitLenSymbols];
    uint16_t parent[2 * kLitLenSymbols];
    uint8_t depth[2 * kLitLenSymbols];
    for (size_t i = 0; i < m; ++i) weight[i] = freq[order[i]];
    size_t leaf = 0, inner = m, made = m;
    auto smallest = [&]() {
        if (leaf < m && (inner == made || weight[leaf] <= weight[inner])) return leaf++;
        return inner++;
    };
    for (; made < 2 * m - 1; ++made) {
        size_t a = smallest(), b = smallest();
        weight[made] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<uint16_t>(made);
    }
    depth[2 * m - 2] = 0;
    int deepest = 0;
    for (size_t i = 2 * m - 2; i-- > 0;) {
        depth[i] = static_cast<uint8_t>(std::min(depth[parent[i]] + 1, 255));
        if (i < m) deepest = std::max(deepest, int(depth[i]));
    }
    if (deepest <= limit) {
        for (size_t i = 0; i < m; ++i) lengths[order[i]] = depth[i];
        return;
    }
    package_merge(freq, order, m, limit, lengths);
}

void write_stored(BitWriter& bw, const uint8_t* raw, size_t raw_size, bool final) {
    bw.reserve(raw_size + 8 * (raw_size / 65535 + 1));
    do {
        size_t piece = std::min<size_t>(raw_size, 65535);
        raw_size -= piece;
        bw.write((final && raw_size == 0) ? 1 : 0, 3);  // BFINAL, BTYPE 00
        bw.align();
        bw.write(static_cast<uint32_t>(piece), 16);
        bw.write(static_cast<uint32_t>(piece) ^ 0xFFFF, 16);
        bw.raw(raw, piece);
        raw += piece;
    } while (raw_size);
}

void write_block(BitWriter& bw, const Symbol* syms, size_t nsyms, const Frequencies& freq, const uint8_t* raw,
                 size_t raw_size, bool final) {
    uint32_t lit_freq[kLitLenSymbols], dist_freq[kDistSymbols];
    std::copy(freq.lit, freq.lit + kLitLenSymbols, lit_freq);
    std::copy(freq.dist, freq.dist + kDistSymbols, dist_freq);
    lit_freq[256] = 1;
    uint64_t extra_bits = 0;
    for (int i = 0; i < 29; ++i) extra_bits += uint64_t(lit_freq[257 + i]) * kLengthExtra[i];
    for (int i = 0; i < kDistSymbols; ++i) extra_bits += uint64_t(dist_freq[i]) * kDistExtra[i];

    // Fixed codes (RFC 1951 3.2.6).
    uint64_t fixed_cost = 3 + extra_bits;
    for (int i = 0; i < kLitLenSymbols; ++i) fixed_cost += uint64_t(lit_freq[i]) * fixed_lit_length(i);
    for (int i = 0; i < kDistSymbols; ++i) fixed_cost += uint64_t(dist_freq[i]) * 5;

    // Dynamic codes (RFC 1951 3.2.7).
    ensure_two_symbols(lit_freq, kLitLenSymbols);
    ensure_two_symbols(dist_freq, kDistSymbols);
    uint8_t lengths[kLitLenSymbols + kDistSymbols];
    build_lengths(lit_freq, kLitLenSymbols, 15, lengths);
    build_lengths(dist_freq, kDistSymbols, 15, lengths + kLitLenSymbols);
    int nlit = kLitLenSymbols, ndist = kDistSymbols;
    while (nlit > 257 && lengths[nlit - 1] == 0) --nlit;
    while (ndist > 1 && lengths[kLitLenSymbols + ndist - 1] == 0) --ndist;
    uint8_t all[kLitLenSymbols + kDistSymbols];
    std::copy(lengths, lengths + nlit, all);
    std::copy(lengths + kLitLenSymbols, lengths + kLitLenSymbols + ndist, all + nlit);
    LengthRuns rle;
    run_length_code(all, nlit + ndist, rle);
    uint32_t cl_freq[kCodeLengthSymbols] = {};
    for (int i = 0; i < rle.n; ++i) cl_freq[rle.sym[i]]++;
    ensure_two_symbols(cl_freq, kCodeLengthSymbols);
    uint8_t cl_len[kCodeLengthSymbols];
    build_lengths(cl_freq, kCodeLengthSymbols, 7, cl_len);
    int ncl = kCodeLengthSymbols;
    while (ncl > 4 && cl_len[kCodeLengthOrder[ncl - 1]] == 0) --ncl;
    uint64_t dyn_cost = 3 + 14 + 3 * uint64_t(ncl) + extra_bits;
    for (int i = 0; i < rle.n; ++i) dyn_cost += cl_len[rle.sym[i]] + run_extra_bits(rle.sym[i]);
    for (int i = 0; i < kLitLenSymbols; ++i) dyn_cost += uint64_t(lit_freq[i]) * lengths[i];
    for (int i = 0; i < kDistSymbols; ++i) dyn_cost += uint64_t(dist_freq[i]) * lengths[kLitLenSymbols + i];

    if (raw) {
        uint64_t stored_cost = 8 * uint64_t(raw_size) + 42 * (uint64_t(raw_size) / 65535 + 1);
        if (stored_cost <= fixed_cost && stored_cost <= dyn_cost) {
            write_stored(bw, raw, raw_size, final);
            return;
        }
    }
    bw.reserve(std::min(fixed_cost, dyn_cost) / 8 + 64);
    if (fixed_cost <= dyn_cost) {
        uint8_t lit_len[288], dist_len[kDistSymbols];
        for (int i = 0; i < 288; ++i) lit_len[i] = fixed_lit_length(i);
        std::fill(dist_len, dist_len + kDistSymbols, uint8_t(5));
        uint16_t lit_code[288], dist_code[kDistSymbols];
        build_codes(lit_len, 288, lit_code);
        build_codes(dist_len, kDistSymbols, dist_code);
        bw.write(final ? 3 : 2, 3);  // BFINAL, BTYPE 01
        write_symbols(bw, syms, nsyms, lit_len, lit_code, dist_len, dist_code);
        return;
    }
    uint16_t cl_code[kCodeLengthSymbols], lit_code[kLitLenSymbols], dist_code[kDistSymbols];
    build_codes(cl_len, kCodeLengthSymbols, cl_code);
    build_codes(lengths, kLitLenSymbols, lit_code);
    build_codes(lengths + kLitLenSymbols, kDistSymbols, dist_code);
    bw.write(final ? 5 : 4, 3);  // BFINAL, BTYPE 10
    bw.write(static_cast<uint32_t>(nlit - 257), 5);
    bw.write(static_cast<uint32_t>(ndist - 1), 5);
    bw.write(static_cast<uint32_t>(ncl - 4), 4);
    for (int i = 0; i < ncl; ++i) bw.write(cl_len[kCodeLengthOrder[i]], 3);
    for (int i = 0; i < rle.n; ++i) {
        int s = rle.sym[i];
        bw.put(cl_code[s], cl_len[s]);
        bw.write(rle.extra[i], run_extra_bits(s));
    }
    write_symbols(bw, syms, nsyms, lengths, lit_code, lengths + kLitLenSymbols, dist_code);
}

}  // namespace dravik::archive::deflate_block
