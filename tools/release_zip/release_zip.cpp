// release_zip <archive.zip> <folder>
//
// Packs everything under <folder> into a new ZIP archive with the project's own archive engine
// (ZipExecute, ZIP_ADD, recursive, names relative to the folder), so the release package is made by
// the same code the agent ships. A host tool, run by scripts/release.sh. Exit code 0 on success.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "zipdll.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: release_zip <archive.zip> <folder>\n", stderr);
        return 2;
    }
    std::error_code ec;
    const std::string archive = fs::absolute(argv[1], ec).string();
    fs::remove(archive, ec);  // a new archive, never an update of an older package
    fs::current_path(argv[2], ec);
    if (ec) {
        std::fprintf(stderr, "release_zip: %s: %s\n", argv[2], ec.message().c_str());
        return 2;
    }
    const std::string items = "*";
    ZIPCMDSTRUCT r{};
    r.size = static_cast<int32_t>(sizeof r);
    r.Function = ZIP_ADD;
    r.lpszZIPFile = archive.c_str();
    r.lpszItemList = items.c_str();
    r.recurseFlag = 1;
    r.compFactor = 9;
    r.quietFlag = 1;
    r.wZipSubOptions = 1;  // names relative to the current directory
    ZipProcessAttach(nullptr);
    ZipThreadAttach();
    const int32_t rc = ZipExecute(&r);
    if (rc != 0) std::fprintf(stderr, "release_zip: %d %s %s\n", rc, ZipResultText(rc), ZipLastMessage());
    ZipThreadDetach();
    ZipProcessDetach();
    return rc == 0 ? 0 : 1;
}
