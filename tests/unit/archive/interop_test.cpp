// Interoperability with the peer tools, both directions, through the command records: Info-ZIP
// zip/unzip, 7-Zip and Python's zipfile. Each test skips when its tool is not installed. The
// very large cases are in large_test.cpp.
#include <cstdlib>
#include <random>

#include "archive_test_util.h"

namespace dravik::archive {
namespace {
using namespace test;

class Interop : public ::testing::Test {
protected:
    void SetUp() override {
        src_ = dir_ / "src";
        make_dir(src_);
        make_dir(src_ + "/sub");
        std::string text;
        for (int i = 0; i < 3000; ++i) text += "Line " + std::to_string(i) + " of a text file that compresses well.\n";
        write_file(src_ + "/text.txt", text);
        std::mt19937 rng(5);
        std::string random(40000, '\0');
        for (auto& c : random) c = static_cast<char>(rng());
        write_file(src_ + "/sub/random.bin", random);
        write_file(src_ + "/sub/empty.dat", "");
        write_file(src_ + "/zeros.bin", std::string(200000, '\0'));
    }
    // The files of src/ compared with those under `root` (with or without the sub/ folder).
    void expect_same_files(const std::string& root, bool with_dirs) {
        for (const char* f : {"text.txt", "sub/random.bin", "sub/empty.dat", "zeros.bin"}) {
            std::string rel = f;
            std::string got = with_dirs ? root + "/" + rel : root + "/" + rel.substr(rel.find_last_of('/') + 1);
            ASSERT_TRUE(exists(got)) << got;
            EXPECT_EQ(read_file(got), read_file(src_ + "/" + rel)) << got;
        }
    }
    // Makes an archive of src/ with our engine, names relative to src/.
    std::string ours(const std::string& name, int level, const char* password = nullptr, bool no_dirs = false) {
        std::string archive = dir_ / name;
        char old[4096];
        EXPECT_TRUE(getcwd(old, sizeof old));
        EXPECT_EQ(chdir(src_.c_str()), 0);
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, archive, "*");
        z.compFactor = level;
        z.noDirectoryNamesFlag = no_dirs;
        if (password) z.encryptFlag = 1, z.lpszEncryptCode = password;
        int rc = ZipExecute(&z);
        EXPECT_EQ(chdir(old), 0);
        EXPECT_EQ(rc, 0) << ZipLastMessage();
        return archive;
    }
    static std::string python_test_script(const std::string& archive, const std::string& password) {
        return "python3 -c \"import zipfile,sys; z=zipfile.ZipFile('" + archive + "'); " +
               (password.empty() ? "" : "z.setpassword(b'" + password + "'); ") + "sys.exit(0 if z.testzip() is None else 1)\"";
    }
    TempDir dir_;
    std::string src_;
};

TEST_F(Interop, OurArchivesPassInfoZip) {
    if (!have_tool("unzip")) GTEST_SKIP() << "unzip not installed";
    for (int level = 0; level <= 9; ++level) {
        std::string a = ours("l" + std::to_string(level) + ".zip", level);
        EXPECT_EQ(run(dir_.path(), "unzip -t '" + a + "'"), 0) << level;
        std::string out = dir_ / ("u" + std::to_string(level));
        ASSERT_EQ(run(dir_.path(), "unzip -q '" + a + "' -d '" + out + "'"), 0) << level;
        expect_same_files(out, true);
    }
    std::string enc = ours("enc.zip", 5, "s3cret pw");
    EXPECT_EQ(run(dir_.path(), "unzip -t -P 's3cret pw' '" + enc + "'"), 0);
    EXPECT_NE(run(dir_.path(), "unzip -t -P 'wrong' '" + enc + "'"), 0);
    ASSERT_EQ(run(dir_.path(), "unzip -q -P 's3cret pw' '" + enc + "' -d ue"), 0);
    expect_same_files(dir_ / "ue", true);
    std::string flat = ours("flat.zip", 5, nullptr, true);
    ASSERT_EQ(run(dir_.path(), "unzip -q '" + flat + "' -d uf"), 0);
    expect_same_files(dir_ / "uf", false);
}

TEST_F(Interop, OurArchivesPass7Zip) {
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    for (int level : {0, 1, 5, 9}) {
        std::string a = ours("l" + std::to_string(level) + ".zip", level);
        EXPECT_EQ(run(dir_.path(), "7z t '" + a + "'"), 0) << level;
    }
    std::string enc = ours("enc.zip", 5, "pw7");
    EXPECT_EQ(run(dir_.path(), "7z t -ppw7 '" + enc + "'"), 0);
    ASSERT_EQ(run(dir_.path(), "7z x -ppw7 -o'" + (dir_ / "x7") + "' '" + enc + "'"), 0);
    expect_same_files(dir_ / "x7", true);
}

TEST_F(Interop, OurArchivesPassPythonZipfile) {
    if (!have_tool("python3")) GTEST_SKIP() << "python3 not installed";
    for (int level : {0, 3, 5, 8}) {
        std::string a = ours("l" + std::to_string(level) + ".zip", level);
        EXPECT_EQ(run(dir_.path(), python_test_script(a, "")), 0) << level;
    }
    std::string enc = ours("enc.zip", 6, "pypw");
    EXPECT_EQ(run(dir_.path(), python_test_script(enc, "pypw")), 0);
}

TEST_F(Interop, InfoZipArchivesExtractWithOurs) {
    if (!have_tool("zip")) GTEST_SKIP() << "zip not installed";
    ASSERT_EQ(run(src_, "zip -q -r ../iz.zip ."), 0);
    ASSERT_EQ(extract_all(dir_ / "iz.zip", dir_ / "o1"), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "o1", true);
    ASSERT_EQ(run(src_, "zip -q -r -P zippw ../izp.zip ."), 0);
    EXPECT_EQ(extract_all(dir_ / "izp.zip", dir_ / "o2", "wrong"), 44);
    ASSERT_EQ(extract_all(dir_ / "izp.zip", dir_ / "o2", "zippw"), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "o2", true);
    // Streamed to a pipe: data descriptors and Zip64 records.
    ASSERT_EQ(run(src_, "zip -q -fz -r - . | cat > ../stream.zip"), 0);
    ASSERT_EQ(extract_all(dir_ / "stream.zip", dir_ / "o3"), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "o3", true);
    // Streamed and encrypted: the check byte comes from the time.
    ASSERT_EQ(run(src_, "zip -q -fz -P strm -r - . | cat > ../streamp.zip"), 0);
    ASSERT_EQ(extract_all(dir_ / "streamp.zip", dir_ / "o4", "strm"), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "o4", true);
    // Entries of the streamed archive can be carried into a new one by our writer.
    ZIPCMDSTRUCT d = zip_record(ZIP_DELETE, dir_ / "streamp.zip", "zeros.bin");
    d.recurseFlag = 0;
    ASSERT_EQ(ZipExecute(&d), 0) << ZipLastMessage();
    if (have_tool("unzip")) {
        EXPECT_EQ(run(dir_.path(), "unzip -t -P strm streamp.zip"), 0);
    }
}

TEST_F(Interop, SevenZipArchivesExtractWithOurs) {
    if (!have_tool("7z")) GTEST_SKIP() << "7z not installed";
    struct Case {
        const char* name;
        const char* options;
        const char* password;
    } cases[] = {{"deflate.zip", "-mm=Deflate", nullptr}, {"store.zip", "-mx=0", nullptr}, {"crypt.zip", "-mem=ZipCrypto -p7pw", "7pw"}};
    for (const auto& c : cases) {
        ASSERT_EQ(run(src_, std::string("7z a -tzip ") + c.options + " ../" + c.name + " ."), 0) << c.name;
        std::string out = dir_ / (std::string("o_") + c.name);
        ASSERT_EQ(extract_all(dir_ / c.name, out, c.password), 0) << c.name << ": " << UnzipLastMessage();
        expect_same_files(out, true);
    }
}

TEST_F(Interop, PythonZip64ArchivesExtractWithOurs) {
    if (!have_tool("python3")) GTEST_SKIP() << "python3 not installed";
    std::string script =
        "import zipfile,os\n"
        "with zipfile.ZipFile('../py.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
        "  for root,dirs,files in os.walk('.'):\n"
        "    for f in files:\n"
        "      p=os.path.join(root,f)[2:]\n"
        "      with open(p,'rb') as i, z.open(p,'w',force_zip64=True) as o: o.write(i.read())\n";
    write_file(dir_ / "mk.py", script);
    ASSERT_EQ(run(src_, "python3 ../mk.py"), 0);
    ASSERT_EQ(extract_all(dir_ / "py.zip", dir_ / "op"), 0) << UnzipLastMessage();
    expect_same_files(dir_ / "op", true);
}

}  // namespace
}  // namespace dravik::archive
