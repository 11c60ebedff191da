// Writing ZIP archives (APPNOTE 4.3): local headers whose sizes and CRC are filled in after the
// data (the output is seekable, so no data descriptor is needed), entries copied unchanged from
// another archive, the central directory and the end record, with Zip64 records (APPNOTE 4.3.14,
// 4.5.3) when sizes, offsets or the entry count pass the 32-bit and 16-bit limits and the caller
// allows them. New entries may be encrypted with the traditional encryption or WinZip AES.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "deflate.h"
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

// Files up to this size are read whole, once, and compressed in memory (on a worker thread when
// the caller has them); larger ones are streamed into the archive by the writer.
constexpr uint64_t kWholeEntryLimit = 16u << 20;

// A file made ready for the writer: read once, its CRC taken and, when that makes it smaller,
// deflated. Without `whole` the file is too large to hold and add_prepared streams it.
struct PreparedFile {
    Status status;
    bool whole = false;
    bool deflated = false;  // `data` is a deflate stream, else the file's bytes
    uint64_t size = 0;
    uint32_t crc = 0;
    std::vector<uint8_t> data;
};

// The work memory of prepare_file, kept by a thread from one file to the next: without it every
// file would allocate, and fault in, fresh buffers. Not shared between threads.
struct PrepareScratch {
    std::unique_ptr<Deflater> deflater;
    std::vector<uint8_t> spare;  // the buffer the last file did not hand over, when small
};

// Prepares `source` for add_prepared with deflate `level` (0 stores). Uses no writer state, so it
// may run on any thread.
PreparedFile prepare_file(const std::string& source, int level, uint64_t whole_limit, PrepareScratch& scratch);

class ZipWriter {
public:
    ZipWriter();
    Status create(const std::string& path);
    Status add_file(const std::string& name, const std::string& source, uint32_t dos_datetime, uint32_t external_attr,
                    const AddOptions& options);
    // Adds a file that prepare_file made ready with options.level; `prepared.data` is used up.
    Status add_prepared(const std::string& name, const std::string& source, uint32_t dos_datetime,
                        uint32_t external_attr, const AddOptions& options, PreparedFile& prepared);
    Status add_directory(const std::string& name, uint32_t dos_datetime, uint32_t external_attr);
    Status copy_entry(ZipReader& from, const ZipEntry& e, bool allow_zip64);
    Status finish(const std::string& comment, bool allow_zip64);
    // Closes the output of a failed archive, so that it can be deleted.
    void abandon() { out_.close(); }
    size_t count() const { return entries_.size(); }
    // The time of the newest entry written so far (0 when there is none).
    uint32_t newest_dos_datetime() const;

private:
    Status add_streamed(ZipEntry& e, const std::string& source, const AddOptions& options);
    // Writes the encryption header (traditional or AES) the options ask for and makes the cipher.
    Status start_encryption(const AddOptions& options, uint8_t check, std::unique_ptr<TraditionalCipher>& cipher,
                            std::unique_ptr<WinZipAes>& aes, uint8_t* head, uint64_t& header_bytes);
    Status restore_stored(uint64_t from, uint64_t length, uint64_t size,
                          const std::function<void(uint8_t*, size_t)>& decrypt, const WriteFn& sink);
    Status write_descriptor(const ZipEntry& e, bool zip64);
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
