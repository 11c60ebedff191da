// WinZip AES entries through the command records: what our writer puts in the headers, round
// trips, wrong passwords, damaged and malformed AES entries, updating AES archives, and interop
// with 7-Zip in both directions (skipped when 7z is not installed). Python's zipfile cannot
// decrypt AES, so it has no part here.
#include <unistd.h>

#include <filesystem>
#include <random>
#include <set>

#include "archive_test_util.h"
#include "crc32.h"
#include "zip_reader.h"

namespace dravik::archive {
namespace {
using namespace test;

constexpr const char* kPassword = "Aes p4ss";

uint32_t crc_of(const std::string& s) { return crc32_update(0, reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

uint16_t get16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

void put_le(std::string& s, size_t at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Where the 0x9901 field of an extra area lies (the offset of its header), or npos.
size_t find_aes_field(const std::string& zip, size_t extra, size_t extra_len) {
    for (size_t at = extra; at + 4 <= extra + extra_len; at += 4 + get16(zip, at + 2))
        if (get16(zip, at) == 0x9901) return at;
    return std::string::npos;
}

class AesArchives : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        src_ = dir_ / "src";
        make_dir(src_);
        make_dir(src_ + "/sub");
        std::string text;
        for (int i = 0; i < 2000; ++i) text += "Line " + std::to_string(i) + " of a text file that compresses well.\n";
        write_file(src_ + "/text.txt", text);
        std::mt19937 rng(3);
        std::string random(40000, '\0');
        for (auto& c : random) c = static_cast<char>(rng());
        write_file(src_ + "/sub/random.bin", random);
        write_file(src_ + "/sub/empty.dat", "");
        write_file(src_ + "/small.txt", "tiny\n");
        write_file(src_ + "/zeros.bin", std::string(100000, '\0'));
    }
    static constexpr const char* kFiles[] = {"text.txt", "sub/random.bin", "sub/empty.dat", "small.txt", "zeros.bin"};

    void expect_same_files(const std::string& root) {
        for (const char* f : kFiles) {
            std::string got = root + "/" + f;
            ASSERT_TRUE(exists(got)) << got;
            EXPECT_EQ(read_file(got), read_file(src_ + "/" + f)) << got;
        }
    }
    // Our engine adds the files of src/ (names relative to src/) with AES of `strength`.
    int add(const std::string& archive, const std::string& items, int strength, const char* password = kPassword,
            int function = ZIP_ADD) {
        char old[4096];
        EXPECT_TRUE(getcwd(old, sizeof old));
        EXPECT_EQ(chdir(src_.c_str()), 0);
        ZIPCMDSTRUCT z = zip_record(function, archive, items);
        if (password) {
            z.encryptFlag = 1;
            z.lpszEncryptCode = password;
            z.lZipSubOptions2 = 4;
            z.lSEInfo = strength;
        }
        int rc = ZipExecute(&z);
        EXPECT_EQ(chdir(old), 0);
        return rc;
    }
    std::string ours(const std::string& name, int strength, const char* password = kPassword) {
        std::string archive = dir_ / name;
        EXPECT_EQ(add(archive, "*", strength, password), 0) << ZipLastMessage();
        return archive;
    }
    // An archive of one file, stored without its path.
    std::string single(const std::string& name, const std::string& content, int level = 5, int strength = 3) {
        write_file(dir_ / "one.txt", content);
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir_ / name, dir_ / "one.txt");
        z.noDirectoryNamesFlag = 1;
        z.compFactor = level;
        z.encryptFlag = 1;
        z.lpszEncryptCode = kPassword;
        z.lZipSubOptions2 = 4;
        z.lSEInfo = strength;
        EXPECT_EQ(ZipExecute(&z), 0) << ZipLastMessage();
        return read_file(dir_ / name);
    }
    // Tests every entry of `bytes` (written to a file) with the engine; returns the result.
    int test_bytes(const std::string& bytes, const char* password = kPassword) {
        return test_archive_bytes(dir_ / "t.zip", bytes, password);
    }
    static std::vector<ZipEntry> entries_of(const std::string& archive) {
        ZipReader reader;
        EXPECT_TRUE(reader.open(archive).ok()) << archive;
        return reader.entries();
    }
    TempDir dir_;
    std::string src_;
};

TEST_F(AesArchives, WriterMarksEveryFileAsAesWithItsRealMethod) {
    std::string a = ours("a.zip", 3);
    ZipReader reader;
    ASSERT_TRUE(reader.open(a).ok());
    std::string raw = read_file(a);
    int files = 0;
    for (const ZipEntry& e : reader.entries()) {
        SCOPED_TRACE(e.name);
        if (e.is_dir()) {
            EXPECT_FALSE(e.encrypted());
            EXPECT_FALSE(e.aes_field);
            continue;
        }
        ++files;
        std::string content = read_file(src_ + "/" + e.name);
        EXPECT_EQ(e.method, 99);
        EXPECT_EQ(e.flags & 1, 1);
        EXPECT_EQ(e.needed, 51);
        ASSERT_TRUE(e.aes_field);
        EXPECT_EQ(e.aes_vendor, 0x4541);
        EXPECT_EQ(e.aes_strength, 3);
        // AE-1 with the real CRC from 20 bytes on; AE-2 with CRC 0 below.
        if (content.size() >= 20) {
            EXPECT_EQ(e.aes_version, 1);
            EXPECT_EQ(e.crc, crc_of(content));
        } else {
            EXPECT_EQ(e.aes_version, 2);
            EXPECT_EQ(e.crc, 0u);
        }
        // Deflate where it helps, stored (with the encryption still on) where it does not.
        bool compressible = e.name == "text.txt" || e.name == "zeros.bin";
        EXPECT_EQ(e.aes_method, compressible ? 8 : 0);
        if (!compressible) {
            EXPECT_EQ(e.compressed, content.size() + 16 + 2 + 10);
        }
        // The local header carries the same field (readers that stream rely on it).
        size_t local = e.local_offset;
        ASSERT_EQ(raw.compare(local, 4, "PK\x03\x04"), 0);
        size_t name_len = get16(raw, local + 26), extra_len = get16(raw, local + 28);
        size_t field = find_aes_field(raw, local + 30 + name_len, extra_len);
        ASSERT_NE(field, std::string::npos);
        std::string expected("\x01\x99\x07\x00", 4);
        expected += {char(e.aes_version), '\0', 'A', 'E', '\x03', char(e.aes_method), '\0'};
        EXPECT_EQ(raw.substr(field, 11), expected);
    }
    EXPECT_EQ(files, 5);
    std::string out = dir_ / "x";
    ASSERT_EQ(extract_all(a, out, kPassword), 0) << UnzipLastMessage();
    expect_same_files(out);
}

TEST_F(AesArchives, ListingReportsTheKeyLength) {
    for (int strength = 1; strength <= 3; ++strength) {
        std::string a = ours("l" + std::to_string(strength) + ".zip", strength);
        UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTALL, a);
        ASSERT_EQ(UnzipExecute(&c), 0);
        const int count = c.returnCount;  // the records are packed: fields are copied, not bound
        ASSERT_EQ(count, 5);              // the five files (a wildcard adds no directory entries)
        for (int i = 0; i < count; ++i) {
            ZIPINFOEX x{};
            UNZIPCMDSTRUCT g = unzip_record(UNZIP_GETNEXT, a);
            g.pZipInfoEx = &x;
            ASSERT_EQ(UnzipExecute(&g), 0);
            const uint32_t details = x.dwEncryption, attributes = x.dwAttributes;
            const int method = x.wMethod;
            EXPECT_EQ(details, 64u + 64u * strength) << x.szFileName;
            EXPECT_EQ(attributes & 0x8000, 0x8000u) << x.szFileName;
            EXPECT_EQ(method, 99) << x.szFileName;
        }
    }
}

TEST_F(AesArchives, SaltsNeverRepeat) {
    // The same files under the same password, twice: every entry needs its own salt, or two
    // entries would share a key stream.
    std::set<std::string> salts;
    size_t count = 0;
    for (const char* name : {"s1.zip", "s2.zip"}) {
        std::string a = ours(name, 1);
        ZipReader reader;
        ASSERT_TRUE(reader.open(a).ok());
        for (const ZipEntry& e : reader.entries()) {
            if (!e.aes()) continue;
            uint64_t data = 0;
            ASSERT_TRUE(reader.locate_data(e, data).ok());
            std::string salt(8, '\0');
            ASSERT_TRUE(reader.read_at(data, salt.data(), salt.size()));
            salts.insert(salt);
            ++count;
        }
    }
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(salts.size(), count);
}

TEST_F(AesArchives, StrengthAndOptionChecks) {
    write_file(dir_ / "a.txt", "some data for the checks");
    struct Case {
        int options, strength;
        const char* password;
        int code;
        const char* message;
    } cases[] = {
        {4, 0, kPassword, 16, "Invalid control parameters (encryption not supported)"},
        {4, 4, kPassword, 16, "Invalid control parameters (encryption not supported)"},
        {4, -1, kPassword, 16, "Invalid control parameters (encryption not supported)"},
        {8, 3, kPassword, 16, "Invalid control parameters (encryption not supported)"},
        {12, 3, kPassword, 16, "Invalid control parameters (encryption not supported)"},
        {4, 3, "", 16, "Invalid control parameters (was getting encryption password)"},
        {4, 1, kPassword, 0, nullptr},
        {4, 2, kPassword, 0, nullptr},
        {4, 3, kPassword, 0, nullptr},
    };
    for (const Case& c : cases) {
        std::string archive = dir_ / "c.zip";
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive, dir_ / "a.txt");
        z.encryptFlag = 1;
        z.lpszEncryptCode = c.password;
        z.lZipSubOptions2 = c.options;
        z.lSEInfo = c.strength;
        SCOPED_TRACE(std::to_string(c.options) + "/" + std::to_string(c.strength));
        EXPECT_EQ(ZipExecute(&z), c.code);
        if (c.message) {
            EXPECT_STREQ(ZipLastMessage(), c.message);
            EXPECT_FALSE(exists(archive));
        } else {
            auto entries = entries_of(archive);
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].aes_strength, c.strength);
            std::remove(archive.c_str());
        }
    }
    // Without bit 2 the traditional encryption is used, whatever the strength field says.
    ZIPCMDSTRUCT t = zip_record(ZIP_ADD, dir_ / "t.zip", dir_ / "a.txt");
    t.encryptFlag = 1;
    t.lpszEncryptCode = kPassword;
    t.lSEInfo = 3;
    ASSERT_EQ(ZipExecute(&t), 0);
    auto entries = entries_of(dir_ / "t.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].encrypted());
    EXPECT_FALSE(entries[0].aes());
}

TEST_F(AesArchives, WrongOrMissingPasswordIsRefused) {
    std::string a = ours("w.zip", 2);
    std::string out = dir_ / "x";
    EXPECT_EQ(extract_all(a, out, "aes p4ss"), 44);
    EXPECT_FALSE(exists(out + "/text.txt"));
    EXPECT_EQ(extract_all(a, out), 44);
    EXPECT_FALSE(exists(out + "/text.txt"));
    EXPECT_EQ(test_bytes(read_file(a), "wrong"), 44);
    EXPECT_EQ(test_bytes(read_file(a), nullptr), 44);
    // Not quiet: the engine asks whether to go on, like for the traditional encryption.
    static std::string question;
    UNZIPCMDSTRUCT r = unzip_record(UNZIP_EXTRACT, a);
    r.lpszFilespec = "text.txt";
    r.lpszDestination = out.c_str();
    r.decryptFlag = 1;
    r.lpszDecryptCode = "wrong";
    r.quietFlag = 0;
    r.lpMessageDisplay = [](uint32_t, uint32_t, uint32_t, uint32_t, const char* text, char*, void*) -> int32_t {
        if (question.empty()) question = text;
        return 7;  // No: do not go on
    };
    EXPECT_EQ(UnzipExecute(&r), 44);
    EXPECT_EQ(question, "text.txt is encrypted, and you have not provided the correct code. Go to next item (if any)?");
    EXPECT_EQ(test_bytes(read_file(a)), 0);
}

TEST_F(AesArchives, DamagedCodeOrDataIsNeverExtracted) {
    std::string content;
    for (int i = 0; i < 400; ++i) content += "Authenticated line " + std::to_string(i) + "\n";
    for (int level : {5, 0}) {
        SCOPED_TRACE(level ? "deflated" : "stored");
        std::string good = single("d.zip", content, level);
        auto entries = entries_of(dir_ / "d.zip");
        ASSERT_EQ(entries.size(), 1u);
        ASSERT_EQ(entries[0].aes_version, 1);
        size_t name_len = get16(good, 26), extra_len = get16(good, 28);
        size_t data = 30 + name_len + extra_len, end = data + entries[0].compressed;
        ASSERT_EQ(test_bytes(good), 0);
        struct Damage {
            const char* what;
            size_t at;
        } damages[] = {
            {"authentication code, first byte", end - 10},
            {"authentication code, last byte", end - 1},
            {"first encrypted byte", data + 18},
            {"encrypted byte in the middle", (data + 18 + end - 10) / 2},
            {"last encrypted byte", end - 11},
        };
        for (const Damage& d : damages) {
            SCOPED_TRACE(d.what);
            std::string bad = good;
            bad[d.at] ^= 0x01;
            EXPECT_EQ(test_bytes(bad), 39);
            std::string out = dir_ / "x";
            EXPECT_EQ(extract_all(dir_ / "t.zip", out, kPassword), 39);
            EXPECT_FALSE(exists(out + "/one.txt"));
        }
        // A salt byte changes every key: the verifier (almost surely) or the code fails.
        std::string bad = good;
        bad[data] ^= 0x01;
        int rc = test_bytes(bad);
        EXPECT_TRUE(rc == 44 || rc == 39) << rc;
    }
}

TEST_F(AesArchives, CrcIsCheckedForAe1AndIgnoredForAe2) {
    std::string content(100, 'c');
    std::string good = single("c.zip", content);
    size_t central = good.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    ASSERT_EQ(test_bytes(good), 0);
    // AE-1: a CRC that does not match the (authentic) data is an error.
    std::string bad = good;
    put_le(bad, central + 16, crc_of(content) ^ 1, 4);
    put_le(bad, 14, crc_of(content) ^ 1, 4);
    EXPECT_EQ(test_bytes(bad), 39);
    // AE-2: the CRC field carries nothing (WinZip stores 0 and readers ignore it).
    size_t field = find_aes_field(good, central + 46 + get16(good, central + 28), get16(good, central + 30));
    ASSERT_NE(field, std::string::npos);
    bad[field + 4] = 2;
    EXPECT_EQ(test_bytes(bad), 0);
}

TEST_F(AesArchives, MalformedAesEntriesGiveResultCodes) {
    std::string good = single("m.zip", std::string(3000, 'm') + "end");
    size_t central = good.find(std::string("PK\x01\x02", 4));
    size_t field = find_aes_field(good, central + 46 + get16(good, central + 28), get16(good, central + 30));
    ASSERT_NE(field, std::string::npos);
    auto with = [&](size_t at, uint64_t value, int n) {
        std::string bad = good;
        put_le(bad, at, value, n);
        return bad;
    };
    EXPECT_EQ(test_bytes(with(field + 2, 5, 2)), 41);       // field shorter than its 7 bytes
    EXPECT_EQ(test_bytes(with(field, 0x9902, 2)), 41);      // no AES field at all
    EXPECT_EQ(test_bytes(with(field + 4, 3, 2)), 41);       // unknown format version
    EXPECT_EQ(test_bytes(with(field + 6, 0x4641, 2)), 41);  // another vendor
    EXPECT_EQ(test_bytes(with(field + 8, 0, 1)), 41);       // strength 0
    EXPECT_EQ(test_bytes(with(field + 8, 4, 1)), 41);       // strength 4
    EXPECT_EQ(test_bytes(with(field + 9, 12, 2)), 42);      // a method this engine does not know
    // Compressed sizes too small for the salt, verifier and code (in both headers).
    for (uint32_t size : {0u, 1u, 17u, 27u}) {
        std::string bad = with(central + 20, size, 4);
        put_le(bad, 18, size, 4);
        EXPECT_EQ(test_bytes(bad), 3) << size;
    }
    // Exactly the overhead: no encrypted data, so the sizes cannot match.
    std::string bare = with(central + 20, 28, 4);
    put_le(bare, 18, 28, 4);
    EXPECT_NE(test_bytes(bare), 0);
}

TEST_F(AesArchives, TruncatedAndFlippedArchivesNeverCrash) {
    // One entry of AES-128, the cheapest key derivation: each test derives the keys twice.
    std::string text;
    for (int i = 0; i < 100; ++i) text += "Line " + std::to_string(i) + "\n";
    std::string good = single("f.zip", text, 5, 1);
    ASSERT_EQ(test_bytes(good), 0);
    for (size_t n = 0; n < good.size(); ++n) {
        int rc = test_bytes(good.substr(0, n));
        EXPECT_TRUE(rc == 2 || rc == 3 || rc == 9) << n << " gave " << rc;
    }
    std::mt19937 rng(42);
    for (int i = 0; i < 100; ++i) {
        std::string bad = good;
        bad[rng() % bad.size()] ^= static_cast<char>(1 + rng() % 255);
        int rc = test_bytes(bad);
        EXPECT_TRUE(rc == 0 || rc == 2 || rc == 3 || rc == 9 || rc == 26 || rc == 39 || rc == 41 || rc == 42 ||
                    rc == 44)
            << rc;
    }
}

TEST_F(AesArchives, UpdatingAndDeletingKeepAesEntries) {
    std::string a = ours("u.zip", 3);
    write_file(src_ + "/later.txt", "added later, without encryption, to an AES archive\n");
    ASSERT_EQ(add(a, "later.txt", 0, nullptr), 0) << ZipLastMessage();
    write_file(src_ + "/later2.txt", "added later with AES-128\n");
    ASSERT_EQ(add(a, "later2.txt", 1), 0) << ZipLastMessage();
    std::string raw = read_file(a);
    for (const ZipEntry& e : entries_of(a)) {
        if (e.is_dir() || e.name == "later.txt") continue;
        SCOPED_TRACE(e.name);
        EXPECT_TRUE(e.aes_field);
        EXPECT_EQ(e.aes_strength, e.name == "later2.txt" ? 1 : 3);
        size_t local = e.local_offset;
        EXPECT_NE(find_aes_field(raw, local + 30 + get16(raw, local + 26), get16(raw, local + 28)), std::string::npos);
    }
    std::string out = dir_ / "x";
    ASSERT_EQ(extract_all(a, out, kPassword), 0) << UnzipLastMessage();
    expect_same_files(out);
    EXPECT_EQ(read_file(out + "/later.txt"), read_file(src_ + "/later.txt"));
    ZIPCMDSTRUCT d = zip_record(ZIP_DELETE, a, "zeros.bin");
    d.recurseFlag = 0;
    ASSERT_EQ(ZipExecute(&d), 0) << ZipLastMessage();
    EXPECT_EQ(test_bytes(read_file(a)), 0);
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    EXPECT_EQ(run(dir_.path(), std::string("7z t -p'") + kPassword + "' u.zip"), 0);
    ASSERT_EQ(run(dir_.path(), std::string("7z x -p'") + kPassword + "' -ou7 u.zip"), 0);
    EXPECT_EQ(read_file(dir_ / "u7/text.txt"), read_file(src_ + "/text.txt"));
    EXPECT_EQ(read_file(dir_ / "u7/later2.txt"), read_file(src_ + "/later2.txt"));
    EXPECT_FALSE(exists(dir_ / "u7/zeros.bin"));
}

TEST_F(AesArchives, OurArchivesPass7Zip) {
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    const char* names[] = {"", "AES-128", "AES-192", "AES-256"};
    for (int strength = 1; strength <= 3; ++strength) {
        SCOPED_TRACE(names[strength]);
        std::string name = "o" + std::to_string(strength) + ".zip";
        ours(name, strength);
        EXPECT_EQ(run(dir_.path(), std::string("7z t -p'") + kPassword + "' " + name), 0);
        EXPECT_NE(run(dir_.path(), "7z t -p'not it' " + name), 0);
        std::string out = "x" + std::to_string(strength);
        ASSERT_EQ(run(dir_.path(), std::string("7z x -p'") + kPassword + "' -o" + out + " " + name), 0);
        expect_same_files(dir_ / out);
        // 7-Zip reads the strength the way we meant it.
        ASSERT_EQ(run(dir_.path(), std::string("7z l -slt -p'") + kPassword + "' " + name + " > list.txt"), 0);
        EXPECT_NE(read_file(dir_ / "list.txt").find(std::string("Method = ") + names[strength]), std::string::npos);
    }
    // A damaged authentication code is noticed by 7-Zip as well.
    std::string good = single("d.zip", std::string(5000, 'd'));
    auto e = entries_of(dir_ / "d.zip");
    ASSERT_EQ(e.size(), 1u);
    good[30 + get16(good, 26) + get16(good, 28) + e[0].compressed - 3] ^= 0x10;
    write_file(dir_ / "d.zip", good);
    EXPECT_NE(run(dir_.path(), std::string("7z t -p'") + kPassword + "' d.zip"), 0);
}

TEST_F(AesArchives, SevenZipArchivesExtractWithOurs) {
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    for (const char* mode : {"AES128", "AES192", "AES256"}) {
        for (const char* level : {"-mm=Deflate", "-mx0"}) {
            std::string name = std::string("7z_") + mode + (level[2] == 'x' ? "_store" : "_deflate") + ".zip";
            SCOPED_TRACE(name);
            std::string make = std::string("7z a -tzip -p'") + kPassword + "' -mem=" + mode + " " + level;
            ASSERT_EQ(run(src_, make + " ../" + name + " ."), 0);
            std::string a = dir_ / name;
            const int strength = mode[3] == '1' && mode[4] == '2' ? 1 : mode[3] == '1' ? 2 : 3;
            for (const ZipEntry& e : entries_of(a)) {
                if (!e.is_dir()) {
                    EXPECT_EQ(e.aes_strength, strength) << e.name;
                }
            }
            std::string out = dir_ / ("o_" + name);
            EXPECT_EQ(extract_all(a, out, "wrong"), 44);
            EXPECT_FALSE(exists(out + "/text.txt"));
            ASSERT_EQ(extract_all(a, out, kPassword), 0) << UnzipLastMessage();
            expect_same_files(out);
            EXPECT_EQ(test_bytes(read_file(a)), 0);
        }
    }
    // Entries 7-Zip wrote survive being copied into a new archive by ours.
    write_file(src_ + "/later.txt", "one more file\n");
    ASSERT_EQ(add(dir_ / "7z_AES256_deflate.zip", "later.txt", 3), 0) << ZipLastMessage();
    EXPECT_EQ(run(dir_.path(), std::string("7z t -p'") + kPassword + "' 7z_AES256_deflate.zip"), 0);
    ASSERT_EQ(extract_all(dir_ / "7z_AES256_deflate.zip", dir_ / "again", kPassword), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "again");
}

TEST_F(AesArchives, PasswordsUpTo65CharactersAreUsedWholeLongerOnesRefused) {
    std::string long_pw;
    for (int i = 0; i < 80; ++i) long_pw += static_cast<char>('a' + i % 26);
    const std::string pw65 = long_pw.substr(0, 65);
    // A longer password is refused rather than cut to a shorter one the archive would then need.
    for (const std::string& pw : {long_pw, long_pw.substr(0, 66)}) {
        EXPECT_EQ(add(dir_ / "long.zip", "*", 3, pw.c_str()), 16) << pw.size();
        EXPECT_NE(std::string(ZipLastMessage()).find("was getting encryption password"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir_ / "long.zip"));
    }
    std::string a = ours("p.zip", 3, pw65.c_str());
    EXPECT_EQ(extract_all(a, dir_ / "x", pw65.substr(0, 64).c_str()), 44);
    ASSERT_EQ(extract_all(a, dir_ / "x", pw65.c_str()), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "x");
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    EXPECT_EQ(run(dir_.path(), "7z t -p" + pw65 + " p.zip"), 0);
}

}  // namespace
}  // namespace dravik::archive
