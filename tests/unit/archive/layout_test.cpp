// Record layouts of the 32-bit build, checked at compile time, and the layout table at run time
// (this file builds on every platform, including the Windows cross builds).
#include <gtest/gtest.h>

#include <cstddef>

#include "zipdll.h"

namespace dravik::archive {
namespace {

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit layouts: every field 32 bits, two 16-bit fields side by side in the zip record,
// one 16-bit field and no gaps in the unzip record.
static_assert(offsetof(ZIPCMDSTRUCT, lpMessageDisplay) == 148, "oldest zip layout");
static_assert(offsetof(ZIPCMDSTRUCT, lpCallbackStruct) == 160, "second zip layout");
static_assert(offsetof(ZIPCMDSTRUCT, LargeZIPFilesFlag) == 188, "third zip layout");
static_assert(offsetof(ZIPCMDSTRUCT, lResv9) == 220, "fourth zip layout");
static_assert(sizeof(ZIPCMDSTRUCT) == 252, "zip record");
static_assert(offsetof(UNZIPCMDSTRUCT, lpMessageDisplay) == 100, "oldest unzip layout");
static_assert(offsetof(UNZIPCMDSTRUCT, lpCallbackStruct) == 110, "second unzip layout");
static_assert(offsetof(UNZIPCMDSTRUCT, pZipInfoEx) == 142, "third unzip layout");
static_assert(offsetof(UNZIPCMDSTRUCT, reserved) == 170, "fourth unzip layout");
static_assert(sizeof(UNZIPCMDSTRUCT) == 202, "unzip record");
#endif

TEST(Layouts, SizesMatchTheRecordDefinitions) {
    EXPECT_EQ(kZipRecordSizes[0], int32_t(offsetof(ZIPCMDSTRUCT, lpMessageDisplay)));
    EXPECT_EQ(kUnzipRecordSizes[3], int32_t(offsetof(UNZIPCMDSTRUCT, reserved)));
#if defined(_WIN32) && !defined(_WIN64)
    const int32_t zip[5] = {148, 160, 188, 220, 252}, unzip[5] = {100, 110, 142, 170, 202};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(kZipRecordSizes[i], zip[i]);
        EXPECT_EQ(kUnzipRecordSizes[i], unzip[i]);
    }
#endif
}

}  // namespace
}  // namespace dravik::archive
