// Fuzz target: the ZIP reader opens the input as an archive and tests every entry with and
// without a password; every outcome must be a result code.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "zip_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/dravik_zip_fuzz_" + std::to_string(getpid()) + ".zip";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    dravik::archive::ZipReader reader;
    if (reader.open(path).ok()) {
        size_t n = 0;
        for (const auto& e : reader.entries()) {
            if (++n > 64) break;
            reader.extract(e, (n & 1) ? "pw" : nullptr, [](const uint8_t*, size_t) { return true; });
        }
    }
    return 0;
}
