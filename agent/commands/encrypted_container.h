// The encrypted container: a whole ZIP archive file encrypted with Blowfish in CBC mode (all-zero
// initial vector), the key being the MD5 digest of the container key text, with PKCS #5 padding (1 to
// 8 bytes, each holding the pad length). No header or trailer of its own. Files are processed in
// 1024-byte chunks with the chain running on across them.
//
// Writing never leaves a half-done container: the encrypted copy goes to a temporary name ("path" +
// ".dk@"), is flushed, and then takes the file's place in one step.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

class TextFileSystem;

// The key text every agent and tool uses for containers, and the fallback pass key.
inline constexpr char kBuiltInArchiveKey[] = "7D41A2C9-5E03-4B8F-9A16-C2E58F0B3D74";

// The name of the working copy / temporary copy next to a container.
std::string container_working_copy(const std::string& path);

// Encrypts `path` in place (through "path.dk@"). False when `path` cannot be read or the copy cannot
// be written or put in place; `path` is then unchanged.
bool EncryptFileInPlace(std::string_view key_text, const std::string& path, TextFileSystem& fs);

// Writes the decrypted content of `source` to `target`. False when either file cannot be opened or
// the content is not a valid container (length not a multiple of 8, bad padding: a wrong key or a
// damaged file); `target` is then removed, so no half-decrypted archive is left behind.
bool DecryptFile(std::string_view key_text, const std::string& source, const std::string& target);

// The pass key handed to the archive engine: at most 255 characters.
class ArchiveKey {
  public:
    static constexpr size_t kMaxLength = 255;
    ArchiveKey() = default;
    ~ArchiveKey();
    ArchiveKey(const ArchiveKey&) = delete;
    ArchiveKey& operator=(const ArchiveKey&) = delete;

    // Appends `text`; refuses (false, key unchanged) a text that would make the key too long.
    bool SetKey(std::string_view text);
    const std::string& text() const { return key_; }

  private:
    std::string key_;
};

}  // namespace dravik
