// Container benchmark: encrypts and decrypts one file of pseudo-random data (100 MB unless a size in
// MB is given) with the container code and with `openssl enc -bf-cbc` (same key, zero IV) in the same
// run, and prints the throughput of each. Not a test: it only prints figures.
//   container_bench [megabytes] [work directory]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "commands/encrypted_container.h"
#include "commands/md5.h"
#include "commands/text_file.h"

namespace {

double seconds_of(const std::function<bool()>& work) {
    auto start = std::chrono::steady_clock::now();
    if (!work()) {
        std::fprintf(stderr, "container_bench: a step failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace dravik;
    const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const std::filesystem::path dir = argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "container-bench";
    std::filesystem::create_directories(dir);
    const std::string plain = (dir / "plain.bin").string(), ours = (dir / "ours.bin").string(),
                      back = (dir / "back.bin").string(), theirs = (dir / "theirs.bin").string(),
                      theirs_back = (dir / "theirs_back.bin").string();
    {
        std::FILE* f = std::fopen(plain.c_str(), "wb");
        std::mt19937_64 random(42);
        std::vector<uint64_t> block(1 << 17);
        for (size_t written = 0; written < megabytes << 20; written += block.size() * 8) {
            for (auto& w : block) w = random();
            std::fwrite(block.data(), 8, block.size(), f);
        }
        std::fclose(f);
    }
    const double mb = static_cast<double>(std::filesystem::file_size(plain)) / (1 << 20);
    HostFileSystem fs;
    auto key = Md5::digest(kBuiltInArchiveKey);
    char key_hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(key_hex + 2 * i, 3, "%02x", key[i]);
    const std::string openssl =
        std::string("openssl enc -bf-cbc -provider legacy -provider default -K ") + key_hex + " -iv 0000000000000000 ";

    double our_enc = seconds_of([&] {
        std::filesystem::copy_file(plain, ours, std::filesystem::copy_options::overwrite_existing);
        return true;
    });
    our_enc = seconds_of([&] { return EncryptFileInPlace(kBuiltInArchiveKey, ours, fs); });
    double our_dec = seconds_of([&] { return DecryptFile(kBuiltInArchiveKey, ours, back); });
    double ssl_enc =
        seconds_of([&] { return std::system((openssl + "-in " + plain + " -out " + theirs).c_str()) == 0; });
    double ssl_dec =
        seconds_of([&] { return std::system((openssl + "-d -in " + theirs + " -out " + theirs_back).c_str()) == 0; });
    const bool same = std::system(("cmp -s " + ours + " " + theirs).c_str()) == 0 &&
                      std::system(("cmp -s " + plain + " " + back).c_str()) == 0;

    std::printf("container on %.0f MB (%s)\n", mb, same ? "outputs identical to OpenSSL's" : "OUTPUTS DIFFER");
    std::printf("  %-22s %8.1f MB/s encrypt  %8.1f MB/s decrypt\n", "ours", mb / our_enc, mb / our_dec);
    std::printf("  %-22s %8.1f MB/s encrypt  %8.1f MB/s decrypt\n", "openssl enc -bf-cbc", mb / ssl_enc, mb / ssl_dec);
    std::filesystem::remove_all(dir);
    return same ? 0 : 1;
}
