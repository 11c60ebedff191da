// The command records: layouts and their sizes, the order of the checks, the result texts, the
// busy results on re-entry, the life-cycle calls and the diagnostic log.
#include <cstddef>
#include <cstring>
#include <set>
#include <thread>

#include "archive_test_util.h"
#include "zipdll.h"

namespace dravik::archive {
namespace {
using namespace test;


TEST(Records, FiveDistinctSizesInIncreasingOrder) {
    std::set<int32_t> zip(kZipRecordSizes, kZipRecordSizes + 5), unzip(kUnzipRecordSizes, kUnzipRecordSizes + 5);
    EXPECT_EQ(zip.size(), 5u);
    EXPECT_EQ(unzip.size(), 5u);
    for (int i = 1; i < 5; ++i) {
        EXPECT_LT(kZipRecordSizes[i - 1], kZipRecordSizes[i]);
        EXPECT_LT(kUnzipRecordSizes[i - 1], kUnzipRecordSizes[i]);
    }
    EXPECT_EQ(kZipRecordSizes[4], int32_t(sizeof(ZIPCMDSTRUCT)));
    EXPECT_EQ(kUnzipRecordSizes[4], int32_t(sizeof(UNZIPCMDSTRUCT)));
    // No gaps in the unzip record: the 16-bit option field is followed at once by a pointer.
    EXPECT_EQ(offsetof(UNZIPCMDSTRUCT, lpCallbackStruct), offsetof(UNZIPCMDSTRUCT, wUnzipSubOptions) + 2);
}

TEST(Records, EveryLayoutIsRecognisedAndOthersRefused) {
    TempDir dir;
    write_file(dir / "a.txt", "hello");
    ASSERT_EQ(run(dir.path(), "zip -q a.zip a.txt"), 0);
    std::string archive = dir / "a.zip";
    for (int32_t size : kUnzipRecordSizes) {
        UNZIPCMDSTRUCT r = unzip_record(UNZIP_COUNTALL, archive);
        r.size = size;
        EXPECT_EQ(UnzipExecute(&r), 0) << size;
        EXPECT_EQ(r.returnCount, 1) << size;
    }
    for (int32_t size : {0, 4, kUnzipRecordSizes[0] - 1, kUnzipRecordSizes[2] + 1, kUnzipRecordSizes[4] + 4}) {
        UNZIPCMDSTRUCT r = unzip_record(UNZIP_COUNTALL, archive);
        r.size = size;
        EXPECT_EQ(UnzipExecute(&r), 47) << size;
        EXPECT_STREQ(UnzipLastMessage(), "Dravik UnZip: Command syntax error (UNZIPCMDSTRUCT Size is incorrect.)");
    }
    EXPECT_EQ(UnzipExecute(nullptr), 47);
    EXPECT_STREQ(UnzipLastMessage(), "Dravik UnZip: Command syntax error (UnZip command structure not provided)");

    for (int32_t size : kZipRecordSizes) {
        ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir / ("s" + std::to_string(size) + ".zip"), dir / "a.txt");
        z.size = size;
        EXPECT_EQ(ZipExecute(&z), 0) << size;
    }
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir / "bad.zip", dir / "a.txt");
    z.size = kZipRecordSizes[1] + 4;
    EXPECT_EQ(ZipExecute(&z), 16);
    EXPECT_FALSE(exists(dir / "bad.zip"));
}

TEST(Records, ShortLayoutIgnoresFieldsItDoesNotHave) {
    // The oldest zip record ends before LargeZIPFilesFlag and the reserved fields: garbage
    // beyond its size must not be read.
    TempDir dir;
    write_file(dir / "a.txt", "data");
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir / "o.zip", dir / "a.txt");
    z.size = kZipRecordSizes[0];
    z.wMultiVolControl = 0x8000;  // would be refused with 20 if it were read
    z.lZipSubOptions2 = 8;
    EXPECT_EQ(ZipExecute(&z), 0);
}

TEST(ResultTexts, InTheirOrder) {
    EXPECT_STREQ(ZipResultText(0), "Success");
    EXPECT_STREQ(ZipResultText(1), "Busy, can't re-enter now");
    EXPECT_STREQ(ZipResultText(12), "Nothing to do!");
    EXPECT_STREQ(ZipResultText(16), "Invalid control parameters");
    EXPECT_STREQ(ZipResultText(22), "Encryption process could not complete");
    EXPECT_STREQ(ZipResultText(23), "-");
    EXPECT_STREQ(UnzipResultText(2), "Unexpected end of zip file");
    EXPECT_STREQ(UnzipResultText(39), "Bad CRC");
    EXPECT_STREQ(UnzipResultText(45), "Busy, can't re-enter now");
    EXPECT_STREQ(UnzipResultText(47), "Command syntax error");
    EXPECT_STREQ(UnzipResultText(50), "Disk full");
    EXPECT_STREQ(UnzipResultText(1), "-");
    EXPECT_STREQ(UnzipResultText(51), "-");
}

TEST(ZipChecks, OrderOfChecks) {
    TempDir dir;
    write_file(dir / "a.txt", "data");
    struct Case {
        const char* what;
        void (*setup)(ZIPCMDSTRUCT&);
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"no archive name", [](ZIPCMDSTRUCT& r) { r.lpszZIPFile = nullptr; }, 16, nullptr},
        {"no archive name beats spanning", [](ZIPCMDSTRUCT& r) { r.lpszZIPFile = nullptr, r.wMultiVolControl = 0x8000; }, 16, nullptr},
        {"spanning with delete", [](ZIPCMDSTRUCT& r) { r.Function = ZIP_DELETE, r.wMultiVolControl = 0x8000; }, 20, nullptr},
        {"spanning with fixFlag", [](ZIPCMDSTRUCT& r) { r.wMultiVolControl = 0x8000, r.fixFlag = 1; }, 20, nullptr},
        {"spanning beats encryption", [](ZIPCMDSTRUCT& r) { r.wMultiVolControl = 0x8000, r.encryptFlag = 1; }, 20, nullptr},
        {"empty password", [](ZIPCMDSTRUCT& r) { r.encryptFlag = 1, r.lpszEncryptCode = ""; }, 16,
         "Invalid control parameters (was getting encryption password)"},
        {"empty password beats bad function", [](ZIPCMDSTRUCT& r) { r.encryptFlag = 1, r.Function = 99; }, 16,
         "Invalid control parameters (was getting encryption password)"},
        {"strong encryption bit", [](ZIPCMDSTRUCT& r) { r.encryptFlag = 1, r.lpszEncryptCode = "x", r.lZipSubOptions2 = 8; }, 16,
         "Invalid control parameters (encryption not supported)"},
        {"function 0", [](ZIPCMDSTRUCT& r) { r.Function = 0; }, 16, nullptr},
        {"function 8", [](ZIPCMDSTRUCT& r) { r.Function = 8; }, 16, nullptr},
        {"function 5 (spanning add)", [](ZIPCMDSTRUCT& r) { r.Function = 5; }, 20, nullptr},
        {"function 6 (memory)", [](ZIPCMDSTRUCT& r) { r.Function = 6; }, 16, nullptr},
        {"function 7 (callbacks)", [](ZIPCMDSTRUCT& r) { r.Function = 7; }, 16, nullptr},
        {"delete with encryption", [](ZIPCMDSTRUCT& r) { r.Function = ZIP_DELETE, r.encryptFlag = 1, r.lpszEncryptCode = "x"; }, 16,
         "Invalid control parameters (invalid option(s) used with ZIP_DELETE)"},
        {"bad date", [](ZIPCMDSTRUCT& r) { r.afterDateFlag = 1, r.lpszDate = "133199"; }, 16, "Invalid control parameters (invalid date)"},
        {"nothing matched", [](ZIPCMDSTRUCT& r) { r.lpszItemList = "/nonexistent/zzz*.q"; }, 12, nullptr},
    };
    for (const Case& c : cases) {
        ZIPCMDSTRUCT r = zip_record(ZIP_ADD, dir / "t.zip", dir / "a.txt");
        c.setup(r);
        EXPECT_EQ(ZipExecute(&r), c.code) << c.what;
        if (c.message) {
            EXPECT_STREQ(ZipLastMessage(), c.message) << c.what;
        }
        EXPECT_FALSE(exists(dir / "t.zip")) << c.what;
    }
}

TEST(UnzipChecks, OrderOfChecks) {
    TempDir dir;
    write_file(dir / "a.txt", "data");
    ASSERT_EQ(run(dir.path(), "zip -q a.zip a.txt"), 0);
    static std::string archive;
    archive = dir / "a.zip";
    static std::string long_key(129, 'k');
    struct Case {
        const char* what;
        void (*setup)(UNZIPCMDSTRUCT&);
        int code;
        const char* detail;
    };
    const Case cases[] = {
        {"no archive", [](UNZIPCMDSTRUCT& r) { r.lpszZIPFile = nullptr; }, 47, "Zip filename not provided"},
        {"empty archive name", [](UNZIPCMDSTRUCT& r) { r.lpszZIPFile = ""; }, 47, "Zip filename not provided"},
        {"freshen and update", [](UNZIPCMDSTRUCT& r) { r.freshenFlag = r.updateFlag = 1; }, 47, "Can't freshen and update at the same time"},
        {"freshen without destination", [](UNZIPCMDSTRUCT& r) { r.freshenFlag = 1; }, 47, "Need destination path when updating or freshening"},
        {"short destination", [](UNZIPCMDSTRUCT& r) { r.updateFlag = 1, r.lpszDestination = "C"; }, 47, "Destination path not complete"},
        {"relative destination", [](UNZIPCMDSTRUCT& r) { r.updateFlag = 1, r.lpszDestination = "out"; }, 47,
         "Destination path must include drive letter"},
        {"no password", [](UNZIPCMDSTRUCT& r) { r.decryptFlag = 1; }, 47, "Decryption key not provided, or too long"},
        {"long password", [](UNZIPCMDSTRUCT& r) { r.decryptFlag = 1, r.lpszDecryptCode = long_key.c_str(); }, 47,
         "Decryption key not provided, or too long"},
        {"option bits 2 and 3", [](UNZIPCMDSTRUCT& r) { r.lUnZipSubOptions2 = 12; }, 47, nullptr},
        {"callback bit without callbacks", [](UNZIPCMDSTRUCT& r) { r.wUnzipSubOptions = 0x1000; }, 47, nullptr},
        {"missing archive", [](UNZIPCMDSTRUCT& r) { r.lpszZIPFile = "/nonexistent/x.zip"; }, 9, "Problem reading Zip file"},
        {"missing archive beats bad function", [](UNZIPCMDSTRUCT& r) { r.lpszZIPFile = "/nonexistent/x.zip", r.Function = 99; }, 9, nullptr},
        {"bad function", [](UNZIPCMDSTRUCT& r) { r.Function = 12; }, 47, "Unknown function requested"},
        {"function 0", [](UNZIPCMDSTRUCT& r) { r.Function = 0; }, 47, "Unknown function requested"},
        {"file to memory", [](UNZIPCMDSTRUCT& r) { r.Function = 9; }, 47, "Inconsistent UNZIP_FILETOMEM parameters."},
        {"extract without destination", [](UNZIPCMDSTRUCT& r) { r.Function = UNZIP_EXTRACT, r.lpszFilespec = "*"; }, 47,
         "Destination path not provided"},
        {"negative index", [](UNZIPCMDSTRUCT& r) { r.Function = UNZIP_EXTRACT, r.testFlag = 1; }, 47, "Item list not provided"},
        {"index too high", [](UNZIPCMDSTRUCT& r) { r.Function = UNZIP_EXTRACT, r.testFlag = 1, r.index = 1; }, 25, "Index is too high"},
        {"no match", [](UNZIPCMDSTRUCT& r) { r.Function = UNZIP_EXTRACT, r.testFlag = 1, r.lpszFilespec = "b*"; }, 11, "No items match filespec"},
        {"open quote", [](UNZIPCMDSTRUCT& r) { r.Function = UNZIP_COUNTNAMED, r.lpszFilespec = "\"a.txt"; }, 47, "Double Quotes mismatched."},
    };
    for (const Case& c : cases) {
        UNZIPCMDSTRUCT r = unzip_record(UNZIP_COUNTALL, archive);
        c.setup(r);
        EXPECT_EQ(UnzipExecute(&r), c.code) << c.what;
        if (c.detail) {
            std::string expected = std::string("Dravik UnZip: ") + UnzipResultText(c.code) + " (" + c.detail + ")";
            EXPECT_EQ(UnzipLastMessage(), expected) << c.what;
        }
    }
}

int32_t reenter_zip(const char*, uint32_t, void* data) {
    auto* results = static_cast<std::vector<int>*>(data);
    ZIPCMDSTRUCT z{};
    z.size = sizeof z;
    results->push_back(ZipExecute(&z));
    UNZIPCMDSTRUCT u{};
    u.size = sizeof u;
    results->push_back(UnzipExecute(&u));
    return 0;
}

TEST(LifeCycle, BusyOnReentryAndStatePerThread) {
    ASSERT_NE(ZipProcessAttach(nullptr), 0);
    ASSERT_NE(UnzipProcessAttach(nullptr), 0);
    ASSERT_NE(ZipThreadAttach(), 0);
    ASSERT_NE(UnzipThreadAttach(), 0);
    TempDir dir;
    write_file(dir / "a.txt", "data");
    std::vector<int> inner;
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir / "a.zip", dir / "a.txt");
    z.lpMinorStatus = reenter_zip;
    z.lpMinorUserData = &inner;
    EXPECT_EQ(ZipExecute(&z), 0);
    ASSERT_EQ(inner.size(), 2u);
    EXPECT_EQ(inner[0], 1);   // zip on the same thread: busy
    EXPECT_EQ(inner[1], 47);  // unzip is a separate side: not busy, but the empty record is refused

    int unzip_inner = -1;
    UNZIPCMDSTRUCT u = unzip_record(UNZIP_EXTRACT, dir / "a.zip");
    u.testFlag = 1;
    u.lpszFilespec = "*";
    u.recurseFlag = 1;
    u.lpMinorStatus = [](const char*, uint32_t, void* d) -> int32_t {
        UNZIPCMDSTRUCT n{};
        n.size = sizeof n;
        *static_cast<int*>(d) = UnzipExecute(&n);
        return 0;
    };
    u.lpMinorUserData = &unzip_inner;
    EXPECT_EQ(UnzipExecute(&u), 0);
    EXPECT_EQ(unzip_inner, 45);

    // Another thread has its own state: it can run while this one is not busy, and its last
    // message is its own.
    UNZIPCMDSTRUCT bad{};
    EXPECT_EQ(UnzipExecute(&bad), 47);
    std::string other;
    std::thread t([&] {
        UNZIPCMDSTRUCT c = unzip_record(UNZIP_COUNTALL, dir / "a.zip");
        other = UnzipExecute(&c) == 0 ? std::string(UnzipLastMessage()) : "failed";
        UnzipThreadDetach();
    });
    t.join();
    EXPECT_EQ(other, "");
    EXPECT_NE(std::string(UnzipLastMessage()), "");
    ZipThreadDetach();
    UnzipThreadDetach();
    ZipProcessDetach();
    UnzipProcessDetach();
}

TEST(DiagnosticLog, OneLinePerField) {
    TempDir dir;
    std::string log = dir / "diag.log";
    ArchiveSetDiagnosticLogPath(log.c_str());
    write_file(dir / "a.txt", "data");
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, dir / "a.zip", dir / "a.txt");
    z.diagnosticFlag = 1;
    EXPECT_EQ(ZipExecute(&z), 0);
    UNZIPCMDSTRUCT u = unzip_record(UNZIP_COUNTALL, dir / "a.zip");
    u.diagnosticFlag = 1;
    EXPECT_EQ(UnzipExecute(&u), 0);
    ArchiveSetDiagnosticLogPath(nullptr);
    std::string text = read_file(log);
    EXPECT_NE(text.find("Function:  4 \r\n"), std::string::npos);
    EXPECT_NE(text.find("Function: 1 \r\n"), std::string::npos);
    EXPECT_NE(text.find("recurseFlag: 1 \r\n"), std::string::npos);
    EXPECT_NE(text.find("pulFileSizeArray: \r\n"), std::string::npos);
    EXPECT_NE(text.find(dir / "a.zip"), std::string::npos);
}

TEST(Reporting, MessagesGoToTheLogAndTheDisplayUnlessQuiet) {
    static std::vector<std::string> logged, shown;
    logged.clear();
    shown.clear();
    ArchiveSetLog([](const char* t, void*) { logged.push_back(t); }, nullptr);
    ZIPCMDSTRUCT z = zip_record(ZIP_ADD, "/nonexistent/x.zip", "");
    z.encryptFlag = 1;
    z.lpszEncryptCode = "";
    z.quietFlag = 0;
    z.lpMessageDisplay = [](uint32_t, uint32_t, uint32_t, uint32_t, const char* text, char*, void*) -> int32_t {
        shown.push_back(text);
        return 1;
    };
    EXPECT_EQ(ZipExecute(&z), 16);
    z.quietFlag = 1;
    EXPECT_EQ(ZipExecute(&z), 16);
    ArchiveSetLog(nullptr, nullptr);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "Invalid control parameters (was getting encryption password)\n");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Invalid control parameters (was getting encryption password)");
}

}  // namespace
}  // namespace dravik::archive
