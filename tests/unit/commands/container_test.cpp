// Blowfish, MD5 and the encrypted container: known answers, round trips, damaged input, and
// OpenSSL as the peer in both directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <sstream>

#include "commands/blowfish.h"
#include "commands/encrypted_container.h"
#include "commands/md5.h"
#include "commands/text_file.h"
#include "engine/fakes.h"

namespace dravik {
namespace {

std::string unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string encrypt_ecb(const std::string& key, const std::string& plain) {
    Blowfish bf(key);
    uint8_t block[8];
    std::memcpy(block, plain.data(), 8);
    bf.encrypt_block(block);
    std::string out = hex(block, 8);
    bf.decrypt_block(block);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 8), plain);  // and back
    return out;
}

TEST(Blowfish, PublishedVectors) {
    struct Case {
        const char* key;
        const char* plain;
        const char* cipher;
    } cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    };
    for (const auto& c : cases) EXPECT_EQ(encrypt_ecb(unhex(c.key), unhex(c.plain)), c.cipher) << c.key;
}

TEST(Blowfish, VariableKeyLengths) {
    // Keys of 1 to 24 bytes taken from F0E1D2C3..., plaintext FEDCBA9876543210.
    const std::string key = unhex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
    const char* expected[] = {"F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
                              "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
                              "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
                              "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
                              "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
                              "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080"};
    for (size_t n = 1; n <= 24; ++n) {
        EXPECT_EQ(encrypt_ecb(key.substr(0, n), unhex("FEDCBA9876543210")), expected[n - 1]) << n;
    }
}

TEST(Blowfish, CbcChainRunsAcrossPieces) {
    Blowfish bf("key");
    std::string data(64, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    std::string whole = data, pieces = data;
    BlowfishCbc one(bf);
    one.encrypt(reinterpret_cast<uint8_t*>(whole.data()), whole.size());
    BlowfishCbc split(bf);
    split.encrypt(reinterpret_cast<uint8_t*>(pieces.data()), 24);
    split.encrypt(reinterpret_cast<uint8_t*>(pieces.data()) + 24, 40);
    EXPECT_EQ(whole, pieces);
    // Equal plaintext blocks give different cipher blocks under CBC.
    std::string same(16, 'a');
    BlowfishCbc cbc(bf);
    cbc.encrypt(reinterpret_cast<uint8_t*>(same.data()), 16);
    EXPECT_NE(same.substr(0, 8), same.substr(8, 8));
    BlowfishCbc back(bf);
    back.decrypt(reinterpret_cast<uint8_t*>(whole.data()), whole.size());
    EXPECT_EQ(whole, data);

    // Decryption works on several blocks at once with a block-wise tail: pieces of every length up
    // to a few lane groups must give what one block at a time gives.
    std::string text(8 * 40, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 131 + 17);
    BlowfishCbc enc(bf);
    enc.encrypt(reinterpret_cast<uint8_t*>(text.data()), text.size());
    const std::string cipher_text = text;
    for (size_t first = 0; first <= text.size(); first += 8) {
        std::string piecewise = cipher_text;
        BlowfishCbc dec(bf);
        dec.decrypt(reinterpret_cast<uint8_t*>(piecewise.data()), first);
        dec.decrypt(reinterpret_cast<uint8_t*>(piecewise.data()) + first, piecewise.size() - first);
        std::string blockwise = cipher_text;
        BlowfishCbc one_by_one(bf);
        for (size_t at = 0; at < blockwise.size(); at += 8)
            one_by_one.decrypt(reinterpret_cast<uint8_t*>(blockwise.data()) + at, 8);
        ASSERT_EQ(piecewise, blockwise) << "split at " << first;
        for (size_t i = 0; i < text.size(); ++i)
            ASSERT_EQ(static_cast<uint8_t>(blockwise[i]), static_cast<uint8_t>(i * 131 + 17)) << i;
    }
}

TEST(Md5, Rfc1321Suite) {
    struct Case {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& c : cases) {
        auto d = Md5::digest(c.text);
        EXPECT_EQ(hex(d.data(), d.size()), c.digest) << c.text;
    }
    // Fed in odd pieces, the digest is the same.
    Md5 pieces;
    std::string text = cases[6].text;
    for (size_t at = 0; at < text.size(); at += 13)
        pieces.update(text.data() + at, std::min<size_t>(13, text.size() - at));
    auto d = pieces.finish();
    EXPECT_EQ(hex(d.data(), d.size()), cases[6].digest);
}

class Container : public ::testing::Test {
  protected:
    test::TempDir dir;
    HostFileSystem fs;

    std::string make(const std::string& name, size_t size, unsigned seed = 1) {
        std::mt19937 random(seed);
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        test::write_file(dir.file(name), bytes);
        return bytes;
    }
};

TEST_F(Container, SizesRoundTripWithPadding) {
    for (size_t size : {0u, 1u, 7u, 8u, 16u, 17u, 1023u, 1024u, 1025u, 2048u, 100000u}) {
        std::string plain = make("a.zip", size, static_cast<unsigned>(size));
        ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("a.zip"), fs)) << size;
        std::string sealed = test::read_file(dir.file("a.zip"));
        EXPECT_EQ(sealed.size(), (size / 8 + 1) * 8) << size;  // 16 -> 24, 17 -> 24
        EXPECT_FALSE(std::filesystem::exists(dir.file("a.zip.dk~")));
        ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, dir.file("a.zip"), dir.file("plain"))) << size;
        EXPECT_EQ(test::read_file(dir.file("plain")), plain) << size;
    }
}

TEST_F(Container, WrongKeyOrDamageFailsAndLeavesNoWorkingCopy) {
    make("a.zip", 4096);
    ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("a.zip"), fs));
    // A wrong key almost always yields an invalid pad; over several keys at least most must fail,
    // and every failure must remove the target.
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
        bool ok = DecryptFile("wrong key " + std::to_string(i), dir.file("a.zip"), dir.file("out"));
        if (!ok) {
            ++failures;
            EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
        }
    }
    EXPECT_GE(failures, 15);

    // Truncated to a length that is not a multiple of 8.
    std::string sealed = test::read_file(dir.file("a.zip"));
    test::write_file(dir.file("cut.zip"), sealed.substr(0, sealed.size() - 3));
    EXPECT_FALSE(DecryptFile(kBuiltInArchiveKey, dir.file("cut.zip"), dir.file("out")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
    // An empty file is not a container.
    test::write_file(dir.file("empty.zip"), "");
    EXPECT_FALSE(DecryptFile(kBuiltInArchiveKey, dir.file("empty.zip"), dir.file("out")));
    // A missing source fails without creating the target.
    EXPECT_FALSE(DecryptFile(kBuiltInArchiveKey, dir.file("missing.zip"), dir.file("out")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
}

TEST_F(Container, PaddingIsCheckedWhenTheLengthIsAMultipleOf1024) {
    // 1016 bytes of content seal to exactly 1024 bytes: the last block of the only chunk is the pad.
    std::string plain = make("a.zip", 1016);
    ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("a.zip"), fs));
    std::string sealed = test::read_file(dir.file("a.zip"));
    ASSERT_EQ(sealed.size(), 1024u);
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, dir.file("a.zip"), dir.file("out")));
    EXPECT_EQ(test::read_file(dir.file("out")), plain);
    // Damage the last cipher block: its pad no longer checks out.
    sealed[1020] ^= 0x55;
    test::write_file(dir.file("bad.zip"), sealed);
    EXPECT_FALSE(DecryptFile(kBuiltInArchiveKey, dir.file("bad.zip"), dir.file("out2")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out2")));
}

// A file system whose one-step replace fails, as when the container is locked by another program.
class FailingReplace : public HostFileSystem {
  public:
    bool replace(const std::string&, const std::string&) override { return false; }
};

// The encrypted copy has a temporary name of its own: a working copy beside the file is no part of
// it, and a failed encryption leaves the original and nothing else.
TEST_F(Container, FailedEncryptionLeavesTheOriginal) {
    std::string plain = make("a.zip", 5000);
    std::string working = make("a.zip.dk@", 300, 2);
    FailingReplace failing;
    EXPECT_FALSE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("a.zip"), failing));
    EXPECT_EQ(test::read_file(dir.file("a.zip")), plain);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.zip.dk~")));
    EXPECT_EQ(test::read_file(dir.file("a.zip.dk@")), working);
    EXPECT_FALSE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("missing.zip"), fs));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.zip.dk~")));

    ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("a.zip"), fs));
    EXPECT_EQ(test::read_file(dir.file("a.zip.dk@")), working);
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.zip.dk~")));
    ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, dir.file("a.zip"), dir.file("plain")));
    EXPECT_EQ(test::read_file(dir.file("plain")), plain);
}

TEST(ArchiveKey, HoldsAtMost255Characters) {
    ArchiveKey key;
    EXPECT_TRUE(key.SetKey(std::string(200, 'k')));
    EXPECT_FALSE(key.SetKey(std::string(56, 'x')));  // 256 would be too long: refused whole
    EXPECT_EQ(key.text(), std::string(200, 'k'));
    EXPECT_TRUE(key.SetKey(std::string(55, 'y')));
    EXPECT_EQ(key.text().size(), 255u);
    EXPECT_FALSE(key.SetKey("z"));
}

// The key is appended to in place, never moved (a move would leave a copy in freed memory), and the
// object wipes it when it ends; built in storage of the test's own, the end can be watched.
TEST(ArchiveKey, KeepsTheKeyInOnePlaceAndWipesItAtTheEnd) {
    alignas(ArchiveKey) unsigned char storage[sizeof(ArchiveKey)];
    auto* key = new (storage) ArchiveKey;
    ASSERT_TRUE(key->SetKey("key-part-00|"));
    const char* at = key->text().data();
    std::string whole = "key-part-00|";
    for (int i = 1; i < 21; ++i) {
        std::string part = "key-part-" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "|";
        ASSERT_TRUE(key->SetKey(part)) << i;
        whole += part;
        EXPECT_EQ(key->text().data(), at) << i;
    }
    ASSERT_TRUE(key->SetKey(std::string(ArchiveKey::kMaxLength - whole.size(), '#')));
    whole.resize(ArchiveKey::kMaxLength, '#');
    EXPECT_EQ(key->text(), whole);
    EXPECT_EQ(key->text().data(), at);

    const unsigned char* begin = storage;
    const unsigned char* end = storage + sizeof storage;
    auto holds_key = [&] {
        return std::search(begin, end, whole.begin(), whole.end(),
                           [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }) != end;
    };
    ASSERT_TRUE(holds_key());
    key->~ArchiveKey();
    EXPECT_FALSE(holds_key());
}

#ifndef _WIN32
// OpenSSL as the peer: openssl enc -bf-cbc with the MD5 of the key text as the key and a zero IV.
bool have_openssl() {
    return std::system(
               "openssl enc -bf-cbc -provider legacy -provider default -K 00 -iv 00 -in /dev/null "
               "-out /dev/null >/dev/null 2>&1") == 0;
}

std::string openssl_key() {
    auto d = Md5::digest(kBuiltInArchiveKey);
    return hex(d.data(), d.size());
}

TEST_F(Container, InteroperatesWithOpenSsl) {
    if (!have_openssl()) GTEST_SKIP() << "openssl with Blowfish is not available";
    const std::string base =
        "openssl enc -bf-cbc -provider legacy -provider default -K " + openssl_key() + " -iv 0000000000000000 ";
    // Besides the small sizes, the sizes around the 256 KiB the container code reads at a time.
    for (size_t size : {0u, 1u, 7u, 8u, 16u, 17u, 1023u, 1024u, 1025u, 262143u, 262144u, 262145u, 524288u,
                        3u * 1024 * 1024 + 5}) {
        std::string plain = make("p.bin", size, static_cast<unsigned>(size) + 7);
        // Ours -> OpenSSL.
        std::filesystem::copy_file(dir.file("p.bin"), dir.file("c.bin"),
                                   std::filesystem::copy_options::overwrite_existing);
        ASSERT_TRUE(EncryptFileInPlace(kBuiltInArchiveKey, dir.file("c.bin"), fs));
        ASSERT_EQ(std::system((base + "-d -in " + dir.file("c.bin") + " -out " + dir.file("o.bin")).c_str()), 0);
        EXPECT_EQ(test::read_file(dir.file("o.bin")), plain) << size;
        // OpenSSL -> ours.
        ASSERT_EQ(std::system((base + "-in " + dir.file("p.bin") + " -out " + dir.file("c2.bin")).c_str()), 0);
        EXPECT_EQ(test::read_file(dir.file("c2.bin")), test::read_file(dir.file("c.bin"))) << size;
        ASSERT_TRUE(DecryptFile(kBuiltInArchiveKey, dir.file("c2.bin"), dir.file("o2.bin")));
        EXPECT_EQ(test::read_file(dir.file("o2.bin")), plain) << size;
    }
}
#endif

}  // namespace
}  // namespace dravik
