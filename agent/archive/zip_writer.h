// Writing ZIP archives (APPNOTE 4.3): local headers whose sizes and CRC are filled in after the
// data (the output is seekable, so no data descriptor is needed), entries copied unchanged from
// another archive, the central directory and the end record, with Zip64 records (APPNOTE 4.3.14,
// 4.5.3) when sizes, offsets or the entry count pass the 32-bit and 16-bit limits and the caller
// allows them. New entries may be encrypted with the traditional encryption or WinZip AES.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "file_io.h"
#include "pkcrypt.h"
#include "winzip_aes.h"
#include "zip_reader.h"

namespace dravik::archive {

// Zip-side result codes the writer produces.
enum WriteCode : int {
    kWriteOk = 0,
    kWritePrepareFailed = 4,  // AES could not be prepared (no random source for the salt)
    kWriteInputFailed = 11,   // Input file read failure
    kWriteOutputFailed = 14,  // Output file write failure
    kWriteCreateFailed = 15,  // Could not create output file
    kWriteTooLarge = 17,      // Could not complete operation (Zip64 needed but not allowed)
    kWriteNotFound = 18,      // File not found or no read permission
};

struct AddOptions {
    int level = 5;                  // 0 stores; 1..9 deflate
    const char* password = nullptr; // traditional encryption when given
    int aes_strength = 0;           // with a password: 1..3 for WinZip AES-128/192/256 instead
    bool allow_zip64 = false;
};

class ZipWriter {
public:
    ZipWriter();
    Status create(const std::string& path);
    Status add_file(const std::string& name, const std::string& source, uint32_t dos_datetime, uint32_t external_attr,
                    const AddOptions& options);
    Status add_directory(const std::string& name, uint32_t dos_datetime, uint32_t external_attr);
    Status copy_entry(ZipReader& from, const ZipEntry& e, bool allow_zip64);
    Status finish(const std::string& comment, bool allow_zip64);
    // Closes the output of a failed archive, so that it can be deleted.
    void abandon() { out_.close(); }
    size_t count() const { return entries_.size(); }
    // The time of the newest entry written so far (0 when there is none).
    uint32_t newest_dos_datetime() const;

private:
    Status write_local_header(const ZipEntry& e, bool zip64_extra, uint64_t& header_pos);
    Status write_data(File& src, uint64_t size, int level, TraditionalCipher* cipher, WinZipAes* aes, uint64_t& written,
                      uint32_t& crc);
    // Fills `salt` from the system's random source, mixed with the writer's own generator.
    bool make_salt(uint8_t* salt, size_t size);
    File out_;
    std::vector<ZipEntry> entries_;
    std::mt19937 random_;
};

}  // namespace dravik::archive
