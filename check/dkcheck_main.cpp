// DkCheck: the script check as a console program for deployment pipelines.
//
//   DkCheck script.sdf [more.sdf ...]
//
// Prints one finding a line as "file(line): message". Exit code 0 when every script is clean, 1
// when there are findings, 2 when a file cannot be read or no file is named.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "script_check.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: DkCheck script.sdf [more.sdf ...]\n", stderr);
        return 2;
    }
    int code = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
            code = 2;
            continue;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto findings = dravik::check_script(bytes);
        std::fputs(dravik::format_findings(argv[i], findings).c_str(), stdout);
        if (!findings.empty() && code == 0) code = 1;
    }
    return code;
}
