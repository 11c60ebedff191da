#include "commands/encrypted_container.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/secure_zero.h"
#include "commands/blowfish.h"
#include "commands/md5.h"
#include "commands/text_file.h"

namespace dravik {

namespace {

constexpr size_t kChunk = 1024;
constexpr size_t kBlock = 8;
// The cipher's chain runs on across the 1024-byte chunks, so working through many chunks at once
// gives the same bytes with far fewer calls. The buffer holds a whole number of chunks, which keeps
// the last, shorter piece (the one that takes the padding) exactly where chunk-wise reading ends.
constexpr size_t kChunksPerPass = 256;
constexpr size_t kPass = kChunk * kChunksPerPass;
static_assert(kPass % kChunk == 0 && kChunk % kBlock == 0);

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string md5_key(std::string_view key_text) {
    auto digest = Md5::digest(key_text);
    return std::string(reinterpret_cast<const char*>(digest.data()), digest.size());
}

// Reads up to n bytes, looping over short reads; returns the count (short only at the end or on error).
size_t read_full(std::FILE* f, uint8_t* buffer, size_t n) {
    size_t got = 0;
    while (got < n) {
        size_t r = std::fread(buffer + got, 1, n - got, f);
        if (r == 0) break;
        got += r;
    }
    return got;
}

// Reads and writes go straight to the passes' buffers: no stream buffer in between.
void unbuffer_streams(std::FILE* in, std::FILE* out) {
    std::setvbuf(in, nullptr, _IONBF, 0);
    std::setvbuf(out, nullptr, _IONBF, 0);
}

void wipe(std::string& s) { archive::secure_zero(s.data(), s.size()); }

}  // namespace

std::string container_working_copy(const std::string& path) { return path + ".dk@"; }

std::string container_temp_copy(const std::string& path) { return path + ".dk~"; }

bool EncryptFile(std::string_view key_text, const std::string& source, const std::string& target, TextFileSystem& fs) {
    File in(std::fopen(source.c_str(), "rb"));
    if (!in) return false;
    File out(std::fopen(target.c_str(), "wb"));
    if (!out) return false;
    unbuffer_streams(in.get(), out.get());

    std::string key = md5_key(key_text);
    Blowfish cipher(key);
    wipe(key);
    BlowfishCbc cbc(cipher);

    std::vector<uint8_t> pass(kPass + kBlock);
    uint8_t* buffer = pass.data();
    bool ok = true;
    for (;;) {
        size_t n = read_full(in.get(), buffer, kPass);
        if (std::ferror(in.get())) {
            ok = false;
            break;
        }
        if (n == kPass) {
            cbc.encrypt(buffer, n);
            ok = std::fwrite(buffer, 1, n, out.get()) == n;
            if (!ok) break;
            continue;
        }
        // The final, shorter chunk (possibly empty) carries the padding.
        const uint8_t pad = static_cast<uint8_t>(kBlock - n % kBlock);
        std::memset(buffer + n, pad, pad);
        n += pad;
        cbc.encrypt(buffer, n);
        ok = std::fwrite(buffer, 1, n, out.get()) == n;
        break;
    }
    in.reset();
    ok = ok && std::fflush(out.get()) == 0 && fs.flush_to_disk(out.get());
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok) std::remove(target.c_str());
    return ok;
}

bool EncryptFileInPlace(std::string_view key_text, const std::string& path, TextFileSystem& fs) {
    const std::string temp = container_temp_copy(path);
    if (!EncryptFile(key_text, path, temp, fs)) return false;
    if (fs.replace(temp, path)) return true;
    std::remove(temp.c_str());
    return false;
}

bool DecryptFile(std::string_view key_text, const std::string& source, const std::string& target) {
    File in(std::fopen(source.c_str(), "rb"));
    if (!in) return false;
    File out(std::fopen(target.c_str(), "wb"));
    if (!out) return false;
    unbuffer_streams(in.get(), out.get());

    std::string key = md5_key(key_text);
    Blowfish cipher(key);
    wipe(key);
    BlowfishCbc cbc(cipher);

    // The last block is held back until the end of the file is seen: it holds the padding, also when
    // the file's length is a multiple of the chunk size.
    std::vector<uint8_t> pass(kPass);
    uint8_t* buffer = pass.data();
    uint8_t held[kBlock];
    bool have_held = false;
    bool ok = true;
    for (;;) {
        size_t n = read_full(in.get(), buffer, kPass);
        if (std::ferror(in.get()) || n % kBlock != 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        cbc.decrypt(buffer, n);
        if (have_held && std::fwrite(held, 1, kBlock, out.get()) != kBlock) {
            ok = false;
            break;
        }
        if (n > kBlock && std::fwrite(buffer, 1, n - kBlock, out.get()) != n - kBlock) {
            ok = false;
            break;
        }
        std::memcpy(held, buffer + n - kBlock, kBlock);
        have_held = true;
        if (n < kPass) break;
    }
    if (ok && !have_held) ok = false;  // an empty file is no container: even empty content has a pad block
    if (ok) {
        const uint8_t pad = held[kBlock - 1];
        ok = pad >= 1 && pad <= kBlock;
        for (size_t i = kBlock - (ok ? pad : 0); ok && i < kBlock; ++i) ok = held[i] == pad;
        if (ok && pad < kBlock) ok = std::fwrite(held, 1, kBlock - pad, out.get()) == kBlock - pad;
    }
    std::memset(buffer, 0, pass.size());
    std::memset(held, 0, sizeof held);
    ok = std::fflush(out.get()) == 0 && ok;
    out.reset();
    if (!ok) std::remove(target.c_str());
    return ok;
}

ArchiveKey::~ArchiveKey() { archive::secure_zero(key_, sizeof key_); }

bool ArchiveKey::SetKey(std::string_view text) {
    if (text.size() > kMaxLength - length_) return false;
    std::memcpy(key_ + length_, text.data(), text.size());
    length_ += text.size();
    key_[length_] = '\0';
    return true;
}

}  // namespace dravik
