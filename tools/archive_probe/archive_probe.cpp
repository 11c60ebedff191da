// archive_probe: a console helper the integration tests run under Wine to call the archive engine
// the way a caller without a display function would, so that the engine's own message boxes appear
// and can be answered by the test. Not shipped.
//
//   archive_probe <result file> extract <archive> <destination> [password]
//   archive_probe <result file> zip <archive> <item list> [threads [whole-file limit]]
//
// The zip's optional figures set the engine's compressing threads, the caller's included (0 one
// per processor, 1 the caller's alone), and the size above which a file is streamed instead of
// read whole.
//
// The run is not quiet and supplies no display function. The result file receives "<code>|<text>"
// (the engine's last reported message) when the call returns.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine_state.h"
#include "zipdll.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: archive_probe <result file> extract <archive> <destination> [password]\n"
                 "       archive_probe <result file> zip <archive> <item list> [threads [limit]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return usage();
    const std::string result_file = argv[1], what = argv[2];
    int code;
    std::string message;  // copied: the engine frees its working state on detach
    if (what == "extract") {
        UnzipProcessAttach(GetModuleHandleA(nullptr));
        UnzipThreadAttach();
        UNZIPCMDSTRUCT r{};
        r.size = sizeof r;
        r.Function = UNZIP_EXTRACT;
        r.lpszZIPFile = argv[3];
        r.lpszFilespec = "*";
        r.index = -1;
        r.recurseFlag = 1;
        r.lpszDestination = argv[4];
        if (argc > 5) {
            r.decryptFlag = 1;
            r.lpszDecryptCode = argv[5];
        }
        code = UnzipExecute(&r);
        message = UnzipLastMessage() ? UnzipLastMessage() : "";
        UnzipThreadDetach();
        UnzipProcessDetach();
    } else if (what == "zip") {
        ZipProcessAttach(GetModuleHandleA(nullptr));
        ZipThreadAttach();
        if (dravik::archive::ZipThreadState* state = dravik::archive::zip_state()) {
            if (argc > 5) state->worker_threads = static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10));
            if (argc > 6) state->whole_entry_limit = std::strtoull(argv[6], nullptr, 10);
        }
        ZIPCMDSTRUCT z{};
        z.size = sizeof z;
        z.Function = ZIP_ADD;
        z.lpszZIPFile = argv[3];
        z.lpszItemList = argv[4];
        z.compFactor = 5;
        z.noDirectoryNamesFlag = 1;
        code = ZipExecute(&z);
        message = ZipLastMessage() ? ZipLastMessage() : "";
        ZipThreadDetach();
        ZipProcessDetach();
    } else {
        return usage();
    }
    std::FILE* f = std::fopen(result_file.c_str(), "wb");
    if (!f) return 3;
    std::fprintf(f, "%d|%s", code, message.c_str());
    std::fclose(f);
    return 0;
}
