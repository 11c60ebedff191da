// The one file-replace step: the new content takes the old file's place and its identity (attributes,
// permissions), a read-only or busy target is refused and left as it was, and nothing is left beside it.
#include "engine/file_replace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace dravik {
namespace {

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef _WIN32
void set_read_only(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY); }
void clear_attributes(const std::string& path) { SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL); }
#else
void set_read_only(const std::string& path) { chmod(path.c_str(), 0444); }
void clear_attributes(const std::string& path) { chmod(path.c_str(), 0644); }
#endif

TEST(FileReplace, NewContentTakesThePlaceOfTheOldAndOfNoFile) {
    test::TempDir dir;
    const std::string target = dir.file("a.ini"), temp = dir.file("a.ini@");
    test::write_file(target, "old");
    test::write_file(temp, "new");
    ASSERT_TRUE(replace_file(temp, target));
    EXPECT_EQ(test::read_file(target), "new");

    // No target yet: the file is moved there.
    test::write_file(temp, "first");
    ASSERT_TRUE(replace_file(temp, dir.file("b.ini")));
    EXPECT_EQ(test::read_file(dir.file("b.ini")), "first");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"a.ini", "b.ini"}));
}

TEST(FileReplace, ReadOnlyTargetIsRefusedAndLeftAsItWas) {
    test::TempDir dir;
    const std::string target = dir.file("a.ini"), temp = dir.file("a.ini@");
    test::write_file(target, "old");
    test::write_file(temp, "new");
    set_read_only(target);
    EXPECT_FALSE(replace_file(temp, target));
    EXPECT_EQ(test::read_file(target), "old");
    EXPECT_EQ(test::read_file(temp), "new");  // still there for the caller to delete
    clear_attributes(target);
}

#ifdef _WIN32
TEST(FileReplace, KeepsAttributesAndSecurityAndRefusesAFileHeldOpen) {
    test::TempDir dir;
    std::string target = dir.file("a.ini"), temp = dir.file("a.ini@");
    std::replace(target.begin(), target.end(), '/', '\\');
    std::replace(temp.begin(), temp.end(), '/', '\\');
    test::write_file(target, "old");
    test::write_file(temp, "new");
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    // Only the owner may read it: the replaced file must not become readable to others.
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    alignas(8) char acl_buffer[256];
    ACL* acl = reinterpret_cast<ACL*>(acl_buffer);
    InitializeAcl(acl, sizeof acl_buffer, ACL_REVISION);
    alignas(8) char sid_buffer[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid_buffer;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid_buffer, &sid_size));
    AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid_buffer);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    const bool has_acl = SetFileSecurityA(target.c_str(), DACL_SECURITY_INFORMATION, &sd) != 0;
    auto dacl_of = [](const std::string& path) {
        DWORD needed = 0;
        GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        std::string bytes(needed, '\0');
        if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, bytes.data(), needed, &needed)) return std::string();
        return bytes;
    };
    const std::string old_dacl = dacl_of(target);

    ASSERT_TRUE(replace_file(temp, target));
    EXPECT_EQ(test::read_file(target), "new");
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (has_acl) {
        EXPECT_EQ(dacl_of(target), old_dacl);
    }

    // Held open by another program without sharing: refused, both files as they were.
    test::write_file(temp, "newer");
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(replace_file(temp, target));
    CloseHandle(held);
    EXPECT_EQ(test::read_file(target), "new");
    EXPECT_EQ(test::read_file(temp), "newer");
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"a.ini", "a.ini@"}));
    clear_attributes(target);
}
#else
TEST(FileReplace, KeepsPermissionsAlsoFromAnotherFileSystem) {
    test::TempDir dir;
    const std::string target = dir.file("a.ini");
    test::write_file(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    const std::string temp = dir.file("a.ini@");
    test::write_file(temp, "new");
    ASSERT_TRUE(replace_file(temp, target));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A temporary file on another file system is copied beside the target, then put in place.
    const std::string elsewhere = "/dev/shm/dravik_replace_" + std::to_string(getpid());
    test::write_file(elsewhere, "from elsewhere");
    ASSERT_TRUE(replace_file(elsewhere, target));
    EXPECT_EQ(test::read_file(target), "from elsewhere");
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"a.ini"}));
}
#endif

}  // namespace
}  // namespace dravik
