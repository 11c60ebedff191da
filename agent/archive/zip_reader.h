// Reading ZIP archives (APPNOTE 4.3): the end of central directory record (with the Zip64 end
// record and locator, APPNOTE 4.3.14 to 4.3.16), the central directory with the Zip64 extended
// information extra field (APPNOTE 4.5.3), local headers, data descriptors, and the entry data,
// stored or deflated, optionally under the traditional encryption or WinZip AES (AE-1, AE-2).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_io.h"
#include "inflate.h"
#include "winzip_aes.h"

namespace dravik::archive {

// The unzip side's result codes that the reader produces.
enum ReadCode : int {
    kReadOk = 0,
    kReadTruncated = 2,         // Unexpected end of zip file
    kReadStructure = 3,         // Zip file structure invalid
    kReadNotFound = 9,          // File not found / cannot be read
    kReadMultiDisk = 26,        // Multi-disk archive, not supported
    kReadOutputFailed = 28,     // Error creating output file (the sink refused data)
    kReadBadCrc = 39,           // Bad CRC
    kReadEncrypted = 41,        // File skipped, encrypted (method not supported)
    kReadUnknownMethod = 42,    // File skipped, unknown compression method
    kReadBadPassword = 44,      // Bad or missing decryption key
};

struct Status {
    int code = 0;
    std::string detail;
    bool ok() const { return code == 0; }
};

struct ZipEntry {
    std::string name;  // as stored, 8-bit
    uint16_t made_by = 0, needed = 0, flags = 0, method = 0, dos_time = 0, dos_date = 0, internal_attr = 0;
    uint32_t crc = 0, external_attr = 0;
    uint64_t compressed = 0, uncompressed = 0, local_offset = 0;
    // The WinZip AES extra field (0x9901), when the central header has a well-formed one: format
    // version (1 AE-1, 2 AE-2), vendor, strength (1..3 for 128..256-bit keys) and the real
    // compression method. Kept so that copying the entry keeps the field.
    bool aes_field = false;
    uint16_t aes_version = 0, aes_vendor = 0, aes_method = 0;
    uint8_t aes_strength = 0;

    bool aes() const { return method == WinZipAes::kMethod; }
    bool encrypted() const { return (flags & 1) || aes(); }
    // The method the data is compressed with, under the encryption.
    uint16_t real_method() const { return aes() ? aes_method : method; }
    bool utf8() const { return flags & 0x800; }
    bool is_dir() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
    uint32_t dos_datetime() const { return uint32_t(dos_date) << 16 | dos_time; }
};

class ZipReader {
public:
    Status open(const std::string& path);
    // Reads an archive held in memory; `data` must outlive the reader or its next open.
    Status open_memory(const void* data, size_t size);
    void close() { file_.close(); }
    const std::vector<ZipEntry>& entries() const { return entries_; }
    const std::string& path() const { return path_; }
    uint64_t preamble() const { return bias_; }

    // Where the entry's data (with its encryption header) starts, after checking the local header.
    Status locate_data(const ZipEntry& e, uint64_t& data_offset);
    // Decrypts (when `password` is given) and decompresses the entry into `out`, checking the
    // declared sizes and the CRC. An encrypted entry without a password gives kReadBadPassword.
    // An AES entry is authenticated before any of it is decrypted: a wrong authentication code
    // gives kReadBadCrc and nothing reaches `out`.
    Status extract(const ZipEntry& e, const char* password, const WriteFn& out);
    // True when `password` opens the entry's encryption header or matches its AES verifier
    // (always true when not encrypted). An AES entry this reader cannot decrypt at all is left
    // to extract() to report.
    bool password_fits(const ZipEntry& e, const char* password);
    // Reads raw bytes of the archive (for copying entries into a new archive).
    bool read_at(uint64_t offset, void* buffer, size_t size);

private:
    // Finds the end records and reads the central directory of the archive open in file_.
    Status read_directories();
    Status read_central_directory(uint64_t cd_offset, uint64_t cd_size, uint64_t count);
    // Checks the AES entry's extra field and sizes, derives the keys from the password and the
    // salt at `data_offset`, and compares the verifier (kReadBadPassword when it differs).
    Status open_aes(const ZipEntry& e, const char* password, uint64_t data_offset, std::unique_ptr<WinZipAes>& aes);
    // Runs the authentication code over the `size` bytes of encrypted data at `pos` and compares
    // it with the stored code that follows them.
    Status authenticate_aes(const ZipEntry& e, WinZipAes& aes, uint64_t pos, uint64_t size);
    File file_;
    std::string path_;
    uint64_t file_size_ = 0;
    uint64_t bias_ = 0;      // bytes in front of the archive (self-extractor stub)
    uint64_t cd_start_ = 0;  // where the central directory really starts
    std::vector<ZipEntry> entries_;
};

}  // namespace dravik::archive
