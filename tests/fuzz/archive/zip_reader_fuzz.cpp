// Fuzz target: the ZIP reader opens the input as an archive and tests every entry without a
// password and, when it is encrypted, with the password "pw" (that of seed_aes.zip, so mutated
// AES and traditional entries get past their password checks into decryption, authentication and
// inflate); every outcome must be a result code.
//
// Speed: the reader reads the input from memory, and the AES key derivation (1000 rounds of
// PBKDF2-HMAC-SHA1, tens of milliseconds under the sanitizers) is remembered per password and salt.
// The link wraps the derivation (--wrap, see CMakeLists.txt): mutations seldom touch the salt, so
// nearly every AES input would otherwise derive the same keys again, several times.
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "sha1.h"
#include "zip_reader.h"

extern "C" {
// The library's dravik::archive::pbkdf2_hmac_sha1, under the names the linker's --wrap gives it.
void __real__ZN6dravik7archive16pbkdf2_hmac_sha1EPKhmS2_mjPhm(const uint8_t* password, size_t password_size,
                                                              const uint8_t* salt, size_t salt_size,
                                                              uint32_t iterations, uint8_t* out, size_t out_size);

void __wrap__ZN6dravik7archive16pbkdf2_hmac_sha1EPKhmS2_mjPhm(const uint8_t* password, size_t password_size,
                                                              const uint8_t* salt, size_t salt_size,
                                                              uint32_t iterations, uint8_t* out, size_t out_size) {
    static std::map<std::string, std::string> derived;
    std::string key(reinterpret_cast<const char*>(password), password_size);
    key.append(reinterpret_cast<const char*>(salt), salt_size);
    key += '|' + std::to_string(iterations) + '|' + std::to_string(out_size);
    auto it = derived.find(key);
    if (it == derived.end()) {
        std::string value(out_size, '\0');
        __real__ZN6dravik7archive16pbkdf2_hmac_sha1EPKhmS2_mjPhm(
            password, password_size, salt, salt_size, iterations, reinterpret_cast<uint8_t*>(value.data()), out_size);
        if (derived.size() >= 4096) derived.clear();  // bounded: a fuzzing run meets many salts
        it = derived.emplace(std::move(key), std::move(value)).first;
    }
    std::memcpy(out, it->second.data(), out_size);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    dravik::archive::ZipReader reader;
    if (reader.open_memory(data, size).ok()) {
        auto ignore = [](const uint8_t*, size_t) { return true; };
        size_t n = 0;
        for (const auto& e : reader.entries()) {
            if (++n > 64) break;
            reader.extract(e, nullptr, ignore);
            // A new salt still costs a full key derivation: only the first entries get one.
            if (!e.encrypted() || (e.aes() && n > 8)) continue;
            if (reader.password_fits(e, "pw")) reader.extract(e, "pw", ignore);
        }
    }
    return 0;
}
