// Fuzz target: the ZIP reader opens the input as an archive and tests every entry without a
// password and, when it is encrypted, with the password "pw" (that of seed_aes.zip, so mutated
// AES and traditional entries get past their password checks into decryption, authentication and
// inflate); every outcome must be a result code.
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
        auto ignore = [](const uint8_t*, size_t) { return true; };
        size_t n = 0;
        for (const auto& e : reader.entries()) {
            if (++n > 64) break;
            reader.extract(e, nullptr, ignore);
            // An AES key derivation costs thousands of hashes: only the first entries get one.
            if (!e.encrypted() || (e.aes() && n > 8)) continue;
            if (reader.password_fits(e, "pw")) reader.extract(e, "pw", ignore);
        }
    }
    return 0;
}
