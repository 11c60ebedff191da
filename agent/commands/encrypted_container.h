// The encrypted container: a whole ZIP archive file encrypted with Blowfish in CBC mode (all-zero
// initial vector), the key being the MD5 digest of the container key text, with PKCS #5 padding (1 to
// 8 bytes, each holding the pad length). No header or trailer of its own. Files are processed in
// 1024-byte chunks with the chain running on across them.
//
// Writing never leaves a half-done container: the encrypted copy goes to a temporary name of its own
// ("path" + ".dk~", not the working copy's name), is flushed, and then takes the file's place in one
// step.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

class TextFileSystem;

// The key text every agent and tool uses for containers, and the fallback pass key.
inline constexpr char kBuiltInArchiveKey[] = "7D41A2C9-5E03-4B8F-9A16-C2E58F0B3D74";

// The name of the decrypted working copy next to a container.
std::string container_working_copy(const std::string& path);
// The name a new container is written under before it takes the container's place.
std::string container_temp_copy(const std::string& path);

// Writes the encrypted content of `source` to `target` and makes it durable. False when `source`
// cannot be read or `target` cannot be written; `target` is then removed.
bool EncryptFile(std::string_view key_text, const std::string& source, const std::string& target, TextFileSystem& fs);

// Encrypts `path` in place (through its temporary copy). False when `path` cannot be read or the copy
// cannot be written or put in place; `path` is then unchanged and no temporary copy is left.
bool EncryptFileInPlace(std::string_view key_text, const std::string& path, TextFileSystem& fs);

// Writes the decrypted content of `source` to `target`. False when either file cannot be opened or
// the content is not a valid container (length not a multiple of 8, bad padding: a wrong key or a
// damaged file); `target` is then removed, so no half-decrypted archive is left behind.
bool DecryptFile(std::string_view key_text, const std::string& source, const std::string& target);

// The pass key handed to the archive engine: at most 255 characters. The text lives in the object
// itself, in a buffer of the full size, so appending never moves it (a move would leave a copy in
// freed memory); the buffer is wiped when the object ends.
class ArchiveKey {
  public:
    static constexpr size_t kMaxLength = 255;
    ArchiveKey() = default;
    ~ArchiveKey();
    ArchiveKey(const ArchiveKey&) = delete;
    ArchiveKey& operator=(const ArchiveKey&) = delete;

    // Appends `text`; refuses (false, key unchanged) a text that would make the key too long.
    bool SetKey(std::string_view text);
    std::string_view text() const { return {key_, length_}; }
    // The text with its ending zero, for the engine's records.
    const char* c_str() const { return key_; }

  private:
    char key_[kMaxLength + 1] = {};
    size_t length_ = 0;
};

}  // namespace dravik
