// CRC-32, traditional encryption, inflate against hand-built streams, deflate round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crc32.h"
#include "deflate.h"
#include "deflate_tables.h"
#include "inflate.h"
#include "pkcrypt.h"

namespace dravik::archive {
namespace {

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Builds deflate streams bit by bit, LSB first (RFC 1951 3.1.1). Huffman codes are given
// MSB-first as the RFC writes them and reversed here.
struct StreamBuilder {
    std::vector<uint8_t> out;
    int bit = 0;
    void bits(uint32_t value, int n) {
        for (int i = 0; i < n; ++i) {
            if (bit == 0) out.push_back(0);
            if ((value >> i) & 1) out.back() |= uint8_t(1u << bit);
            bit = (bit + 1) % 8;
        }
    }
    void code(uint32_t c, int n) {
        for (int i = n - 1; i >= 0; --i) bits((c >> i) & 1, 1);
    }
    void align() { bit = 0; }
    // Fixed-code literal (RFC 1951 3.2.6).
    void fixed_literal(int v) {
        if (v < 144)
            code(0x30 + v, 8);
        else if (v < 256)
            code(0x190 + v - 144, 9);
        else if (v < 280)
            code(v - 256, 7);
        else
            code(0xC0 + v - 280, 8);
    }
};

InflateResult inflate_vec(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    return inflate_buffer(in.data(), in.size(), out);
}

// Runs `body` with the decoder's BMI2 fast loop allowed and then with the plain one, so that
// both are covered on processors with BMI2.
template <typename Body>
void with_each_fast_loop(Body body) {
    for (bool bmi2 : {true, false}) {
        SCOPED_TRACE(bmi2 ? "BMI2 fast loop allowed" : "plain fast loop");
        inflate_allow_bmi2(bmi2);
        body();
    }
    inflate_allow_bmi2(true);
}

TEST(Crc32, KnownAnswers) {
    auto check = bytes("123456789");
    EXPECT_EQ(crc32_update(0, check.data(), check.size()), 0xCBF43926u);
    EXPECT_EQ(crc32_update(0, nullptr, 0), 0u);
    auto fox = bytes("The quick brown fox jumps over the lazy dog");
    EXPECT_EQ(crc32_update(0, fox.data(), fox.size()), 0x414FA339u);
    // Incremental updates in odd pieces give the same value as one call.
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 + 3);
    uint32_t whole = crc32_update(0, data.data(), data.size());
    uint32_t parts = 0;
    for (size_t off = 0, step = 1; off < data.size(); off += step, step = step * 3 % 17 + 1)
        parts = crc32_update(parts, data.data() + off, std::min(step, data.size() - off));
    EXPECT_EQ(whole, parts);
}

// The CRC one bit at a time, straight from its definition.
uint32_t crc32_bitwise(uint32_t crc, const uint8_t* data, size_t size) {
    uint32_t c = ~crc;
    for (size_t i = 0; i < size; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return ~c;
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

TEST(Crc32, EveryLengthAndAlignmentMatchesTheBitwiseDefinition) {
    // Lengths 0..300 at start offsets 0..15, from a fresh start and continuing another value:
    // covers the table path's head and tail bytes and the folding path's lane and tail handling.
    auto data = random_bytes(300 + 16, 11);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t n = 0; n <= 300; ++n) {
            const uint8_t* p = data.data() + offset;
            for (uint32_t start : {0u, 0x9AB1C3D5u}) {
                uint32_t expected = crc32_bitwise(start, p, n);
                ASSERT_EQ(crc32_update(start, p, n), expected) << "offset " << offset << " length " << n;
                ASSERT_EQ(crc32_update_portable(start, p, n), expected) << "offset " << offset << " length " << n;
            }
        }
    }
}

TEST(Crc32, LargeBuffersInArbitraryPieces) {
    auto data = random_bytes(3 * 1024 * 1024 + 13, 12);
    const uint32_t expected = crc32_bitwise(0, data.data(), data.size());
    EXPECT_EQ(crc32_update(0, data.data(), data.size()), expected);
    EXPECT_EQ(crc32_update_portable(0, data.data(), data.size()), expected);
    // The same in pieces of irregular sizes, small and large, at odd offsets.
    std::mt19937 rng(13);
    uint32_t crc = 0;
    for (size_t off = 0; off < data.size();) {
        size_t n = rng() % 4 == 0 ? rng() % 200000 : rng() % 300;
        n = std::min(n, data.size() - off);
        crc = crc32_update(crc, data.data() + off, n);
        off += n;
    }
    EXPECT_EQ(crc, expected);
    // Runs of one value and all-ones data give the same as the definition too.
    std::vector<uint8_t> ones(100000, 0xFF), zeros(100003, 0);
    EXPECT_EQ(crc32_update(0, ones.data(), ones.size()), crc32_bitwise(0, ones.data(), ones.size()));
    EXPECT_EQ(crc32_update(0, zeros.data(), zeros.size()), crc32_bitwise(0, zeros.data(), zeros.size()));
}

TEST(TraditionalEncryption, RoundTripAndHeaderCheck) {
    auto plain = bytes("Secret archive contents, repeated. Secret archive contents, repeated.");
    uint8_t random[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    uint8_t header[12];
    std::vector<uint8_t> data = plain;
    {
        TraditionalCipher enc("pass word");
        enc.make_header(random, 0xA7, header);
        enc.encrypt(data.data(), data.size());
    }
    EXPECT_NE(data, plain);
    {
        TraditionalCipher dec("pass word");
        EXPECT_TRUE(dec.check_header(header, 0xA7));
        dec.decrypt(data.data(), data.size());
        EXPECT_EQ(data, plain);
    }
    TraditionalCipher wrong("pass worD");
    EXPECT_FALSE(wrong.check_header(header, 0xA7));
    // The first key after the password "a" follows the CRC step of APPNOTE 6.1.5: a known value
    // of the keystream for the empty password: k2 = 0x34567890 -> temp = 0x7892 -> byte.
    TraditionalCipher empty("");
    uint8_t zero = 0;
    empty.encrypt(&zero, 1);
    uint32_t temp = 0x7890 | 2;
    EXPECT_EQ(zero, uint8_t((temp * (temp ^ 1)) >> 8));
}

TEST(Inflate, StoredBlocks) {
    StreamBuilder s;
    s.bits(0, 1);  // not final
    s.bits(0, 2);  // stored
    s.align();
    s.bits(3, 16);
    s.bits(0xFFFC, 16);
    for (char c : std::string("abc")) s.bits(uint8_t(c), 8);
    s.bits(1, 1);
    s.bits(0, 2);
    s.align();
    s.bits(0, 16);
    s.bits(0xFFFF, 16);
    std::vector<uint8_t> out;
    auto r = inflate_vec(s.out, out);
    EXPECT_EQ(r.status, InflateStatus::ok);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
    EXPECT_EQ(r.consumed, s.out.size());

    // LEN and NLEN disagree.
    auto bad = s.out;
    bad[3] ^= 1;
    EXPECT_EQ(inflate_vec(bad, out).status, InflateStatus::invalid);
    // Cut inside the data.
    auto cut = std::vector<uint8_t>(s.out.begin(), s.out.begin() + 6);
    EXPECT_EQ(inflate_vec(cut, out).status, InflateStatus::truncated);
}

TEST(Inflate, FixedBlockWithBackReference) {
    StreamBuilder s;
    s.bits(1, 1);
    s.bits(1, 2);
    s.fixed_literal('a');
    s.fixed_literal('b');
    s.fixed_literal(258);  // length 4
    s.code(1, 5);          // distance 2
    s.fixed_literal(256);
    std::vector<uint8_t> out;
    auto r = inflate_vec(s.out, out);
    ASSERT_EQ(r.status, InflateStatus::ok) << r.reason;
    EXPECT_EQ(std::string(out.begin(), out.end()), "ababab");
    // Trailing bytes after the final block are not consumed.
    auto more = s.out;
    more.push_back(0x55);
    r = inflate_vec(more, out);
    EXPECT_EQ(r.status, InflateStatus::ok);
    EXPECT_EQ(r.consumed, s.out.size());
}

TEST(Inflate, FixedBlockInvalidInputs) {
    std::vector<uint8_t> out;
    {  // distance 3 with only two bytes of output
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(1, 2);
        s.fixed_literal('a');
        s.fixed_literal('b');
        s.fixed_literal(257);
        s.code(2, 5);
        s.fixed_literal(256);
        auto r = inflate_vec(s.out, out);
        EXPECT_EQ(r.status, InflateStatus::invalid);
        EXPECT_STREQ(r.reason, "distance too far back");
    }
    {  // a back reference with no output at all
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(1, 2);
        s.fixed_literal(257);
        s.code(0, 5);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid);
    }
    for (int sym : {286, 287}) {  // literal/length symbols that do not exist
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(1, 2);
        s.fixed_literal('x');
        s.fixed_literal(sym);
        s.bits(0, 16);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid) << sym;
    }
    for (int d : {30, 31}) {  // distance symbols that do not exist
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(1, 2);
        s.fixed_literal('x');
        s.fixed_literal(257);
        s.code(d, 5);
        s.bits(0, 16);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid) << d;
    }
    {  // reserved block type 3
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(3, 2);
        s.bits(0, 8);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid);
    }
    {  // no end of block
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(1, 2);
        s.fixed_literal('x');
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::truncated);
    }
    EXPECT_EQ(inflate_vec({}, out).status, InflateStatus::truncated);
}

// A dynamic block whose code-length code gives lengths 1..3 and whose literal/length code has
// 'a' 'b' and end-of-block with lengths 1, 2, 2; one distance code of length 1.
StreamBuilder dynamic_ab(int length_of_256 = 2) {
    StreamBuilder s;
    s.bits(1, 1);
    s.bits(2, 2);
    s.bits(0, 5);   // HLIT: 257 codes
    s.bits(0, 5);   // HDIST: 1 code
    s.bits(14, 4);  // HCLEN: 18 code-length codes (up to symbol 1 in the order)
    // Code-length code lengths in order 16,17,18,0,8,7,9,6,10,5,11,4,12,3,13,2,14,1:
    // symbols 0:2, 1:2, 2:2, 18:2 -> complete set of four 2-bit codes.
    const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (int sym : order) s.bits((sym == 0 || sym == 1 || sym == 2 || sym == 18) ? 2 : 0, 3);
    // Canonical 2-bit codes: 0->00, 1->01, 2->10, 18->11.
    auto cl = [&](int sym) { s.code(sym == 0 ? 0 : sym == 1 ? 1 : sym == 2 ? 2 : 3, 2); };
    // lengths: 0..96 zero, 97 'a' = 1, 98 'b' = 2, 99..255 zero, 256 = 2, then distance 0 = 1.
    cl(18);
    s.bits(97 - 11, 7);
    cl(1);
    cl(2);
    cl(18);
    s.bits(138 - 11, 7);  // 99..236
    cl(18);
    s.bits(19 - 11, 7);  // 237..255
    cl(length_of_256);
    cl(1);  // distance code 0, length 1
    return s;
}

TEST(Inflate, DynamicBlock) {
    StreamBuilder s = dynamic_ab();
    // Codes: 'a' = 0, 'b' = 10, end = 11.
    s.code(0, 1);
    s.code(2, 2);
    s.code(0, 1);
    s.code(3, 2);
    std::vector<uint8_t> out;
    auto r = inflate_vec(s.out, out);
    ASSERT_EQ(r.status, InflateStatus::ok) << r.reason;
    EXPECT_EQ(std::string(out.begin(), out.end()), "aba");
}

TEST(Inflate, DynamicBlockInvalidTables) {
    std::vector<uint8_t> out;
    {  // 256 given length 1 as well as 'a': 'a'=1,'b'=2,end=1 is over-subscribed
        StreamBuilder s = dynamic_ab(1);
        s.bits(0, 16);
        auto r = inflate_vec(s.out, out);
        EXPECT_EQ(r.status, InflateStatus::invalid);
        EXPECT_STREQ(r.reason, "over-subscribed code lengths");
    }
    {  // end-of-block without a code: lengths of 256 = 0 makes the literal code incomplete too
        StreamBuilder s = dynamic_ab(0);
        s.bits(0, 16);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid);
    }
    {  // repeat code 16 as the very first length
        StreamBuilder u;
        u.bits(1, 1);
        u.bits(2, 2);
        u.bits(0, 5);
        u.bits(0, 5);
        u.bits(0, 4);  // four code-length codes: 16, 17, 18, 0
        u.bits(1, 3);  // 16: length 1
        u.bits(0, 3);
        u.bits(0, 3);
        u.bits(1, 3);  // 0: length 1; canonical codes 0 -> '0', 16 -> '1'
        u.code(1, 1);  // symbol 16 with nothing to repeat
        u.bits(0, 2);
        u.bits(0, 16);
        auto r = inflate_vec(u.out, out);
        EXPECT_EQ(r.status, InflateStatus::invalid);
        EXPECT_STREQ(r.reason, "repeat with no previous length");
    }
    {  // HLIT of 30 (287 codes) is beyond the 286 allowed
        StreamBuilder s;
        s.bits(1, 1);
        s.bits(2, 2);
        s.bits(30, 5);
        s.bits(0, 5);
        s.bits(0, 4);
        s.bits(0, 16);
        EXPECT_EQ(inflate_vec(s.out, out).status, InflateStatus::invalid);
    }
}

// Code lengths of a random complete prefix code with `leaves` codes of at most 15 bits, leaning
// towards deep trees so that codes beyond the decoder's first table level come up often.
std::vector<int> random_complete_lengths(std::mt19937& rng, size_t leaves) {
    std::vector<int> depth{0};
    while (depth.size() < leaves) {
        size_t pick = rng() % depth.size();
        if (rng() % 2) pick = static_cast<size_t>(std::max_element(depth.begin(), depth.end()) - depth.begin());
        if (depth[pick] == 15) pick = static_cast<size_t>(std::min_element(depth.begin(), depth.end()) - depth.begin());
        int d = ++depth[pick];
        depth.push_back(d);
    }
    return depth;
}

// Canonical codes from code lengths (RFC 1951 3.2.2), MSB first.
std::vector<uint32_t> canonical_codes(const std::vector<int>& lengths) {
    int count[16] = {}, next[16] = {};
    for (int l : lengths) count[l]++;
    count[0] = 0;
    for (int len = 1, code = 0; len < 16; ++len) next[len] = code = (code + count[len - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i]) codes[i] = static_cast<uint32_t>(next[lengths[i]]++);
    return codes;
}

void random_complete_code_trials();

// Dynamic blocks whose literal/length and distance codes are random complete codes of up to 15
// bits, each symbol used at least once, after 32 KiB of stored history; checked against a
// reference decoding done here.
TEST(Inflate, RandomCompleteCodesUpToFifteenBits) {
    with_each_fast_loop([] { random_complete_code_trials(); });
}

void random_complete_code_trials() {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 300; ++trial) {
        // Symbols: a random set of literal/length symbols that includes end-of-block, and of
        // distance symbols.
        std::vector<int> lit_symbols(286), dist_symbols(30);
        for (int i = 0; i < 286; ++i) lit_symbols[i] = i;
        for (int i = 0; i < 30; ++i) dist_symbols[i] = i;
        std::shuffle(lit_symbols.begin(), lit_symbols.end(), rng);
        std::shuffle(dist_symbols.begin(), dist_symbols.end(), rng);
        lit_symbols.resize(2 + rng() % 285);
        if (std::find(lit_symbols.begin(), lit_symbols.end(), 256) == lit_symbols.end()) lit_symbols[0] = 256;
        dist_symbols.resize(2 + rng() % 29);
        std::vector<int> lit_len(286, 0), dist_len(30, 0);
        auto lit_depths = random_complete_lengths(rng, lit_symbols.size());
        auto dist_depths = random_complete_lengths(rng, dist_symbols.size());
        for (size_t i = 0; i < lit_symbols.size(); ++i) lit_len[lit_symbols[i]] = lit_depths[i];
        for (size_t i = 0; i < dist_symbols.size(); ++i) dist_len[dist_symbols[i]] = dist_depths[i];
        const int nlit = 1 + *std::max_element(lit_symbols.begin(), lit_symbols.end());
        const int ndist = 1 + *std::max_element(dist_symbols.begin(), dist_symbols.end());
        lit_len.resize(nlit);
        dist_len.resize(ndist);
        const auto lit_code = canonical_codes(lit_len), dist_code = canonical_codes(dist_len);

        StreamBuilder s;
        std::vector<uint8_t> expected = random_bytes(32768, static_cast<uint32_t>(trial));
        s.bits(0, 1);
        s.bits(0, 2);
        s.align();
        s.bits(32768, 16);
        s.bits(32767, 16);
        s.out.insert(s.out.end(), expected.begin(), expected.end());
        s.bits(1, 1);
        s.bits(2, 2);
        s.bits(static_cast<uint32_t>(nlit - 257), 5);
        s.bits(static_cast<uint32_t>(ndist - 1), 5);
        s.bits(15, 4);  // all 19 code-length codes: 0..15 get 4 bits each (code = the length), 16-18 none
        for (int sym : kCodeLengthOrder) s.bits(sym < 16 ? 4 : 0, 3);
        for (int l : lit_len) s.code(static_cast<uint32_t>(l), 4);
        for (int l : dist_len) s.code(static_cast<uint32_t>(l), 4);

        std::vector<int> order;
        for (int sym : lit_symbols)
            if (sym != 256) order.push_back(sym);
        std::shuffle(order.begin(), order.end(), rng);
        size_t next_dist = 0;
        for (int sym : order) {
            s.code(lit_code[sym], lit_len[sym]);
            if (sym < 256) {
                expected.push_back(static_cast<uint8_t>(sym));
                continue;
            }
            const int extra = kLengthExtra[sym - 257];
            const uint32_t length_extra = extra ? static_cast<uint32_t>(rng() % (1u << extra)) : 0;
            s.bits(length_extra, extra);
            const int d = dist_symbols[next_dist++ % dist_symbols.size()];
            s.code(dist_code[d], dist_len[d]);
            const int dextra = kDistExtra[d];
            const uint32_t dist_extra = dextra ? static_cast<uint32_t>(rng() % (1u << dextra)) : 0;
            s.bits(dist_extra, dextra);
            const size_t length = kLengthBase[sym - 257] + length_extra, distance = kDistBase[d] + dist_extra;
            for (size_t k = 0; k < length; ++k) expected.push_back(expected[expected.size() - distance]);
        }
        s.code(lit_code[256], lit_len[256]);

        std::vector<uint8_t> out;
        auto r = inflate_vec(s.out, out);
        ASSERT_EQ(r.status, InflateStatus::ok) << "trial " << trial << ": " << r.reason;
        ASSERT_EQ(out, expected) << "trial " << trial;
        EXPECT_EQ(r.consumed, s.out.size()) << "trial " << trial;
        // The narrow bit buffer decodes the same stream alike.
        std::vector<uint8_t> narrow;
        size_t offset = 0;
        auto rn = inflate_stream_narrow(
            [&](uint8_t* buf, size_t cap) {
                size_t n = std::min(cap, s.out.size() - offset);
                std::memcpy(buf, s.out.data() + offset, n);
                offset += n;
                return n;
            },
            [&](const uint8_t* p, size_t n) {
                narrow.insert(narrow.end(), p, p + n);
                return true;
            });
        ASSERT_EQ(rn.status, InflateStatus::ok) << "trial " << trial << ": " << rn.reason;
        ASSERT_EQ(narrow, expected) << "trial " << trial;
    }
}

// Deflate round trips on several kinds of data at every level, with the decoded size and the
// consumed size checked, and compression actually happening where the data allows it.
std::vector<std::pair<std::string, std::vector<uint8_t>>> corpus() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> c;
    c.push_back({"empty", {}});
    c.push_back({"one byte", {0x42}});
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "Line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog.\r\n";
    c.push_back({"text", bytes(text)});
    std::vector<uint8_t> binary(150000);
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = uint8_t((i * i) >> 3 ^ (i % 251));
    c.push_back({"binary", binary});
    std::mt19937 rng(12345);
    std::vector<uint8_t> random(70000);
    for (auto& b : random) b = uint8_t(rng());
    c.push_back({"random", random});
    c.push_back({"repetitive", std::vector<uint8_t>(600000, 'z')});
    std::vector<uint8_t> period(300000);
    for (size_t i = 0; i < period.size(); ++i) period[i] = uint8_t("abcdefghij"[i % 10] + (i / 40000));
    c.push_back({"periodic across rounds", period});
    // Incompressible stretches between compressible ones, across several rounds of the encoder.
    std::vector<uint8_t> mixed;
    for (int part = 0; part < 18; ++part) {
        if (part % 3 == 0) {
            for (int i = 0; i < 40000; ++i) mixed.push_back(uint8_t(rng()));
        } else {
            for (int i = 0; i < 1500; ++i) {
                std::string line = "entry " + std::to_string(part * 1000 + i % 97) + " = value;\n";
                mixed.insert(mixed.end(), line.begin(), line.end());
            }
        }
    }
    c.push_back({"mixed across rounds", mixed});
    return c;
}

void round_trip_every_level();

TEST(Deflate, RoundTripEveryLevel) {
    with_each_fast_loop([] { round_trip_every_level(); });
}

void round_trip_every_level() {
    for (const auto& [name, data] : corpus()) {
        for (int level = 0; level <= 9; ++level) {
            auto packed = deflate_buffer(data.data(), data.size(), level);
            std::vector<uint8_t> out;
            auto r = inflate_buffer(packed.data(), packed.size(), out);
            ASSERT_EQ(r.status, InflateStatus::ok) << name << " level " << level << ": " << r.reason;
            EXPECT_EQ(r.consumed, packed.size()) << name << " level " << level;
            ASSERT_EQ(out.size(), data.size()) << name << " level " << level;
            EXPECT_TRUE(out == data) << name << " level " << level;
            if ((name == "text" || name == "repetitive") && level > 0) {
                EXPECT_LT(packed.size() * 4, data.size()) << name << " level " << level;
            }
            if (name == "random") {
                EXPECT_LT(packed.size(), data.size() + data.size() / 100 + 64) << level;
            }
        }
    }
}

TEST(Deflate, HigherLevelsCompressText) {
    auto data = corpus()[2].second;
    auto l1 = deflate_buffer(data.data(), data.size(), 1);
    auto l9 = deflate_buffer(data.data(), data.size(), 9);
    EXPECT_LE(l9.size(), l1.size());
}

TEST(Deflate, StreamedInOddPiecesEqualsWhole) {
    auto data = corpus()[3].second;
    std::vector<uint8_t> packed;
    Deflater d(5, [&](const uint8_t* p, size_t n) {
        packed.insert(packed.end(), p, p + n);
        return true;
    });
    for (size_t off = 0, step = 1; off < data.size(); off += step, step = step * 5 % 40000 + 1)
        ASSERT_TRUE(d.write(data.data() + off, std::min(step, data.size() - off)));
    ASSERT_TRUE(d.finish());
    std::vector<uint8_t> out;
    ASSERT_EQ(inflate_buffer(packed.data(), packed.size(), out).status, InflateStatus::ok);
    EXPECT_TRUE(out == data);
}

TEST(Deflate, AResetCoderGivesTheStreamsOfFreshOnes) {
    // Large streams first, so that each later one starts on tables and buffers full of another's
    // data; one stream is cut short by a refusing output on the way.
    auto items = corpus();
    std::stable_sort(items.begin(), items.end(), [](auto& a, auto& b) { return a.second.size() > b.second.size(); });
    std::vector<uint8_t> packed;
    size_t refuse_after = SIZE_MAX;
    WriteFn sink = [&](const uint8_t* p, size_t n) {
        if (packed.size() + n > refuse_after) return false;
        packed.insert(packed.end(), p, p + n);
        return true;
    };
    Deflater d(9, sink);
    for (int level : {9, 1, 5, 0, 6}) {
        for (const auto& [name, data] : items) {
            packed.clear();
            refuse_after = level == 5 && name == "text" ? 100 : SIZE_MAX;
            d.reset(level, sink);
            const bool ok = d.write(data.data(), data.size()) && d.finish();
            if (refuse_after != SIZE_MAX) {
                EXPECT_FALSE(ok);
                continue;
            }
            ASSERT_TRUE(ok) << name << " level " << level;
            EXPECT_TRUE(packed == deflate_buffer(data.data(), data.size(), level)) << name << " level " << level;
        }
    }
}

TEST(Inflate, EveryTruncationOfAValidStreamIsReported) {
    auto data = corpus()[2].second;
    data.resize(5000);
    auto packed = deflate_buffer(data.data(), data.size(), 6);
    std::vector<uint8_t> out;
    for (size_t n = 0; n < packed.size(); ++n) {
        auto r = inflate_buffer(packed.data(), n, out);
        EXPECT_NE(r.status, InflateStatus::ok) << n;
    }
}

TEST(Inflate, IntoTheCallersBufferAgreesWithStreaming) {
    for (const auto& [name, data] : corpus()) {
        for (int level : {0, 1, 6, 9}) {
            SCOPED_TRACE(name + " level " + std::to_string(level));
            auto packed = deflate_buffer(data.data(), data.size(), level);
            // Exactly the decoded size: the decoder must not write past it (ASan watches).
            std::vector<uint8_t> out(data.size());
            auto r = inflate_into(packed.data(), packed.size(), out.data(), out.size());
            ASSERT_EQ(r.status, InflateStatus::ok) << r.reason;
            EXPECT_EQ(r.consumed, packed.size());
            EXPECT_EQ(r.produced, data.size());
            EXPECT_TRUE(out == data);
            if (!data.empty()) {
                std::vector<uint8_t> short_by_one(data.size() - 1);
                r = inflate_into(packed.data(), packed.size(), short_by_one.data(), short_by_one.size());
                EXPECT_EQ(r.status, InflateStatus::output_failed);
            }
            for (size_t cut : {packed.size() / 2, packed.size() - 1}) {
                if (cut >= packed.size()) continue;
                std::vector<uint8_t> ignored;
                auto streamed = inflate_buffer(packed.data(), cut, ignored);
                EXPECT_EQ(inflate_into(packed.data(), cut, out.data(), out.size()).status, streamed.status) << cut;
            }
        }
    }
    // Damaged streams fail the same way in both, and never overrun the buffer.
    auto data = corpus()[3].second;
    auto packed = deflate_buffer(data.data(), data.size(), 9);
    std::mt19937 rng(99);
    for (int i = 0; i < 200; ++i) {
        auto bad = packed;
        bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
        std::vector<uint8_t> streamed, out(data.size());
        auto s = inflate_buffer(bad.data(), bad.size(), streamed, data.size());
        auto r = inflate_into(bad.data(), bad.size(), out.data(), out.size());
        const auto expected = s.status == InflateStatus::invalid && s.produced >= data.size() ? r.status : s.status;
        EXPECT_EQ(r.status, expected) << i;
        if (s.status == InflateStatus::ok) {
            EXPECT_TRUE(std::equal(streamed.begin(), streamed.end(), out.begin())) << i;
        }
    }
}

TEST(Inflate, FlippedBitsNeverOverrun) {
    auto data = corpus()[2].second;
    data.resize(20000);
    auto packed = deflate_buffer(data.data(), data.size(), 9);
    std::mt19937 rng(7);
    int changed = 0;
    for (int i = 0; i < 300; ++i) {
        auto bad = packed;
        bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
        std::vector<uint8_t> out;
        auto r = inflate_buffer(bad.data(), bad.size(), out, 1 << 20);
        if (r.status != InflateStatus::ok || out != data) ++changed;
    }
    EXPECT_GT(changed, 250);  // nearly every flip is noticed by the decoder or changes the output
}

// --- streaming, long distances, and the encoder's window ---------------------------------------

// Decodes with a read function that hands out at most `chunk` bytes per call, with the 64-bit or
// the 32-bit bit buffer; `out` receives everything written.
InflateResult inflate_chunked(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, size_t chunk, bool narrow) {
    size_t offset = 0;
    out.clear();
    ReadFn read = [&](uint8_t* buf, size_t cap) -> size_t {
        size_t n = std::min({cap, chunk, in.size() - offset});
        if (n) std::memcpy(buf, in.data() + offset, n);
        offset += n;
        return n;
    };
    WriteFn write = [&](const uint8_t* p, size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    };
    return narrow ? inflate_stream_narrow(read, write) : inflate_stream(read, write);
}

// A match in a fixed-code block (RFC 1951 3.2.5, 3.2.6), with the bytes it stands for appended
// to `expected`.
void fixed_match_codes(StreamBuilder& s, int length, int distance) {
    int ls = 28;  // 258 has a symbol of its own
    while (kLengthBase[ls] > length) --ls;
    s.fixed_literal(257 + ls);
    s.bits(uint32_t(length - kLengthBase[ls]), kLengthExtra[ls]);
    int ds = 29;
    while (kDistBase[ds] > distance) --ds;
    s.code(uint32_t(ds), 5);
    s.bits(uint32_t(distance - kDistBase[ds]), kDistExtra[ds]);
}
void fixed_match(StreamBuilder& s, std::vector<uint8_t>& expected, int length, int distance) {
    fixed_match_codes(s, length, distance);
    for (int i = 0; i < length; ++i) expected.push_back(expected[expected.size() - size_t(distance)]);
}

// Stored blocks holding `data` (not final), appended to `expected` as well.
void stored(StreamBuilder& s, std::vector<uint8_t>& expected, const std::vector<uint8_t>& data) {
    for (size_t off = 0; off < data.size(); off += 65535) {
        size_t n = std::min<size_t>(65535, data.size() - off);
        s.bits(0, 3);
        s.align();
        s.bits(uint32_t(n), 16);
        s.bits(uint32_t(n) ^ 0xFFFF, 16);
        for (size_t i = 0; i < n; ++i) s.bits(data[off + i], 8);
    }
    expected.insert(expected.end(), data.begin(), data.end());
}

// 70000 random bytes, then matches reaching back the full 32 KiB window with the longest length,
// matches at random distances, byte runs and literals, for far more output than the decoder's
// buffer holds, so that matches straddle every flush of its history.
TEST(InflateStreaming, LongDistancesAndLongestMatchesAcrossTheHistory) {
    std::vector<uint8_t> expected;
    StreamBuilder s;
    stored(s, expected, random_bytes(70000, 21));
    s.bits(1, 1);
    s.bits(1, 2);
    std::mt19937 rng(22);
    for (int i = 0; i < 4000; ++i) {
        fixed_match(s, expected, 258, 32768);
        fixed_match(s, expected, 3 + int(rng() % 256), 1 + int(rng() % 32768));
        if (i % 7 == 0) fixed_match(s, expected, 258, 1);
        if (i % 5 == 0) fixed_match(s, expected, 3 + int(rng() % 30), 2 + int(rng() % 14));
        int literal = int(rng() % 256);
        s.fixed_literal(literal);
        expected.push_back(uint8_t(literal));
    }
    s.fixed_literal(256);
    ASSERT_GT(expected.size(), size_t(1) << 20);
    for (bool narrow : {false, true}) {
        for (size_t chunk : {size_t(1) << 20, size_t(4093), size_t(61)}) {
            std::vector<uint8_t> out;
            auto r = inflate_chunked(s.out, out, chunk, narrow);
            ASSERT_EQ(r.status, InflateStatus::ok) << r.reason << " chunk " << chunk << " narrow " << narrow;
            EXPECT_EQ(r.consumed, s.out.size());
            EXPECT_EQ(r.produced, expected.size());
            EXPECT_TRUE(out == expected) << "chunk " << chunk << " narrow " << narrow;
        }
    }
}

TEST(InflateStreaming, DistanceReachingExactlyToTheStart) {
    // A match may reach back to the first byte of output, not one byte further.
    for (size_t before : {size_t(1), size_t(300), size_t(32767), size_t(32768), size_t(100000)}) {
        for (int extra : {0, 1}) {
            const int distance = int(std::min<size_t>(before, 32768)) + extra;
            if (distance > 32768) continue;  // the format has no longer distance
            StreamBuilder s;
            std::vector<uint8_t> expected;
            stored(s, expected, random_bytes(before, uint32_t(before)));
            s.bits(1, 1);
            s.bits(1, 2);
            if (extra == 0)
                fixed_match(s, expected, 10, distance);
            else
                fixed_match_codes(s, 10, distance);
            s.fixed_literal(256);
            for (bool narrow : {false, true}) {
                for (size_t chunk : {size_t(1) << 20, size_t(1)}) {
                    std::vector<uint8_t> out;
                    auto r = inflate_chunked(s.out, out, chunk, narrow);
                    if (extra == 0) {
                        ASSERT_EQ(r.status, InflateStatus::ok) << before << " " << r.reason;
                        EXPECT_TRUE(out == expected) << before;
                    } else {
                        EXPECT_EQ(r.status, InflateStatus::invalid) << before;
                        EXPECT_STREQ(r.reason, "distance too far back") << before;
                    }
                }
            }
        }
    }
}

// Inside a block, with input and output room to spare so that the fast loop meets them: matches
// right after one and after two literals decode as usual, and each fault is named.
TEST(Inflate, FastLoopMatchesAfterLiteralsAndNamedFaults) {
    enum Fault { none, symbol_286, distance_30, distance_31, too_far };
    const std::pair<Fault, const char*> cases[] = {{none, ""},
                                                   {symbol_286, "invalid literal/length symbol"},
                                                   {distance_30, "invalid distance symbol"},
                                                   {distance_31, "invalid distance symbol"},
                                                   {too_far, "distance too far back"}};
    with_each_fast_loop([&] {
        for (const auto& [fault, reason] : cases) {
            StreamBuilder s;
            std::vector<uint8_t> expected;
            auto literal = [&](int c) {
                s.fixed_literal(c);
                expected.push_back(uint8_t(c));
            };
            s.bits(1, 1);
            s.bits(1, 2);
            for (int round = 0; round < 8; ++round) {
                literal('a' + round);
                literal('k');
                fixed_match(s, expected, 5, 2);  // after two literals
                literal('z');
                fixed_match(s, expected, 4 + round, 1);  // after one
                fixed_match(s, expected, 10, 7);         // after a match
            }
            if (fault == symbol_286) s.fixed_literal(286);
            if (fault == distance_30 || fault == distance_31) {
                s.fixed_literal(257);
                s.code(fault == distance_30 ? 30 : 31, 5);
            }
            if (fault == too_far) fixed_match_codes(s, 3, int(expected.size()) + 1);
            s.fixed_literal(256);
            for (int i = 0; i < 32; ++i) s.bits(0, 8);  // input to spare
            std::vector<uint8_t> out;
            const InflateResult r = inflate_vec(s.out, out);
            if (fault == none) {
                ASSERT_EQ(r.status, InflateStatus::ok) << r.reason;
                EXPECT_TRUE(out == expected);
            } else {
                EXPECT_EQ(r.status, InflateStatus::invalid) << reason;
                EXPECT_STREQ(r.reason, reason);
            }
        }
    });
}

// Matches of every short period and of longer ones (at each width of piece the copy takes),
// ending 0 to 31 bytes before the end of an output buffer of exactly the decoded size, with
// input to spare after the stream so that the fast loop is still running when it reaches them:
// each copy stays inside the buffer (ASan watches) and repeats its pattern.
TEST(Inflate, MatchesEndingNearTheEndOfTheCallersBuffer) {
    for (int distance : {1, 2, 3, 5, 7, 8, 9, 15, 16, 20, 31, 32, 33, 40}) {
        for (int length : {3, 9, 31, 32, 33, 36, 39, 40, 41, 258}) {
            for (int after = 0; after < 32; ++after) {
                SCOPED_TRACE(std::to_string(distance) + " " + std::to_string(length) + " " + std::to_string(after));
                StreamBuilder s;
                std::vector<uint8_t> expected = random_bytes(100, uint32_t(distance * 1000 + length));
                s.bits(1, 1);
                s.bits(1, 2);
                for (uint8_t b : expected) s.fixed_literal(b);
                fixed_match(s, expected, length, distance);
                for (int i = 0; i < after; ++i) {
                    s.fixed_literal(65 + i);
                    expected.push_back(uint8_t(65 + i));
                }
                s.fixed_literal(256);
                const size_t stream_size = s.out.size();
                s.out.resize(stream_size + 64, 0);
                with_each_fast_loop([&] {
                    std::vector<uint8_t> out(expected.size());
                    auto r = inflate_into(s.out.data(), s.out.size(), out.data(), out.size());
                    ASSERT_EQ(r.status, InflateStatus::ok) << r.reason;
                    EXPECT_EQ(r.consumed, stream_size);
                    EXPECT_TRUE(out == expected);
                });
            }
        }
    }
}

TEST(InflateStreaming, ByteAtATimeAndOddChunksGiveTheSameResult) {
    // Encoder output at several levels (stored, fixed and dynamic blocks), with bytes after the
    // end that must not count as consumed.
    for (const auto& [name, data] : corpus()) {
        if (data.size() > 400000) continue;
        for (int level : {0, 1, 5, 9}) {
            auto packed = deflate_buffer(data.data(), data.size(), level);
            auto with_tail = packed;
            with_tail.insert(with_tail.end(), {0x12, 0x34, 0x56, 0x78, 0x9A});
            for (bool narrow : {false, true}) {
                for (size_t chunk :
                     {size_t(1), size_t(2), size_t(7), size_t(63), size_t(64), size_t(65), size_t(65537)}) {
                    if (chunk < 7 && data.size() > 100000) continue;  // keeps the run short
                    std::vector<uint8_t> out;
                    auto r = inflate_chunked(with_tail, out, chunk, narrow);
                    ASSERT_EQ(r.status, InflateStatus::ok)
                        << name << " level " << level << " chunk " << chunk << " narrow " << narrow << ": " << r.reason;
                    EXPECT_EQ(r.consumed, packed.size()) << name << " level " << level << " chunk " << chunk;
                    EXPECT_EQ(r.produced, data.size());
                    EXPECT_TRUE(out == data) << name << " level " << level << " chunk " << chunk;
                }
            }
        }
    }
}

TEST(InflateStreaming, TruncatedAndRefusedOutput) {
    auto data = corpus()[7].second;  // mixed across rounds
    auto packed = deflate_buffer(data.data(), data.size(), 5);
    for (bool narrow : {false, true}) {
        // Cut at many places: never ok, never an overrun, whatever the chunking.
        for (size_t cut = 0; cut < packed.size(); cut += 1 + cut / 3) {
            std::vector<uint8_t> part(packed.begin(), packed.begin() + cut), out;
            auto r = inflate_chunked(part, out, cut % 2 ? 1 : 4096, narrow);
            EXPECT_EQ(r.status, InflateStatus::truncated) << cut;
            EXPECT_LE(out.size(), data.size());
        }
        // The write function refuses after some output: the decoder stops and says so.
        for (size_t limit : {size_t(0), size_t(1000), size_t(300000)}) {
            size_t offset = 0, written = 0;
            auto r = (narrow ? inflate_stream_narrow : inflate_stream)(
                [&](uint8_t* buf, size_t cap) {
                    size_t n = std::min(cap, packed.size() - offset);
                    std::memcpy(buf, packed.data() + offset, n);
                    offset += n;
                    return n;
                },
                [&](const uint8_t*, size_t n) {
                    if (written + n > limit) return false;
                    written += n;
                    return true;
                });
            EXPECT_EQ(r.status, InflateStatus::output_failed) << limit;
            EXPECT_LE(written, limit);
        }
    }
}

TEST(Deflate, OutputDoesNotDependOnHowTheInputArrives) {
    // Rounds are cut by the encoder's own buffer, so the stream is the same however the input is
    // split; each piece of output handed to the write function is also kept in order.
    auto data = corpus()[7].second;  // mixed across rounds
    for (int level : {0, 1, 5, 9}) {
        auto whole = deflate_buffer(data.data(), data.size(), level);
        for (size_t step : {size_t(1), size_t(3), size_t(4095), size_t(300001)}) {
            std::vector<uint8_t> packed;
            size_t pieces = 0;
            Deflater d(level, [&](const uint8_t* p, size_t n) {
                packed.insert(packed.end(), p, p + n);
                ++pieces;
                return true;
            });
            for (size_t off = 0; off < data.size(); off += step)
                ASSERT_TRUE(d.write(data.data() + off, std::min(step, data.size() - off)));
            ASSERT_TRUE(d.finish());
            EXPECT_TRUE(packed == whole) << "level " << level << " step " << step;
            EXPECT_GT(pieces, 1u);
        }
    }
}

TEST(Deflate, ShortInputsAtEveryLevel) {
    std::mt19937 rng(31);
    for (size_t n = 0; n <= 80; ++n) {
        std::vector<std::vector<uint8_t>> inputs = {std::vector<uint8_t>(n, 'a'), random_bytes(n, uint32_t(n))};
        std::vector<uint8_t> pattern(n);
        for (size_t i = 0; i < n; ++i) pattern[i] = uint8_t("abcab"[i % 5]);
        inputs.push_back(pattern);
        for (const auto& in : inputs) {
            for (int level = 0; level <= 9; ++level) {
                auto packed = deflate_buffer(in.data(), in.size(), level);
                std::vector<uint8_t> out;
                auto r = inflate_buffer(packed.data(), packed.size(), out);
                ASSERT_EQ(r.status, InflateStatus::ok) << n << " level " << level << ": " << r.reason;
                EXPECT_EQ(r.consumed, packed.size());
                EXPECT_TRUE(out == in) << n << " level " << level;
            }
        }
    }
}

TEST(Deflate, MatchesReachAcrossTheWholeWindowButNoFurther) {
    // A random block repeated at distance 32767 compresses to about one copy of it; at distance
    // 40000, beyond the window, it cannot.
    for (size_t period : {size_t(32767), size_t(40000)}) {
        auto half = random_bytes(period, 41);
        std::vector<uint8_t> data = half;
        data.insert(data.end(), half.begin(), half.end());
        for (int level : {1, 5, 9}) {
            auto packed = deflate_buffer(data.data(), data.size(), level);
            std::vector<uint8_t> out;
            ASSERT_EQ(inflate_buffer(packed.data(), packed.size(), out).status, InflateStatus::ok);
            EXPECT_TRUE(out == data);
            if (period <= 32767)
                EXPECT_LT(packed.size(), period + period / 50) << "level " << level;
            else
                EXPECT_GT(packed.size(), 2 * period - period / 50) << "level " << level;
        }
    }
}

TEST(Deflate, RefusedOutputIsReported) {
    auto data = corpus()[7].second;
    for (int level : {0, 5}) {
        Deflater d(level, [](const uint8_t*, size_t) { return false; });
        bool ok = true;
        for (size_t off = 0; off < data.size() && ok; off += 65536)
            ok = d.write(data.data() + off, std::min<size_t>(65536, data.size() - off));
        ok = ok && d.finish();
        EXPECT_FALSE(ok) << level;
    }
}

TEST(Deflate, LevelsTradeSpeedForSize) {
    // Level 5 compresses at least as well as level 1, and level 9 as level 5.
    const auto all = corpus();
    for (size_t part : {2, 3, 6}) {  // text, binary, periodic
        const auto& data = all[part].second;
        size_t previous = SIZE_MAX;
        for (int level : {1, 5, 9}) {
            size_t size = deflate_buffer(data.data(), data.size(), level).size();
            EXPECT_LE(size, previous) << all[part].first << " level " << level;
            previous = size;
        }
    }
    // Stored blocks hold incompressible data with only their 5-byte headers added.
    auto random = random_bytes(200000, 51);
    EXPECT_LE(deflate_buffer(random.data(), random.size(), 5).size(), random.size() + 5 * (200000 / 65535 + 1));
}

}  // namespace
}  // namespace dravik::archive
