// Binary files with 64-bit positions, owned by one object each (RAII over the C library's FILE).
// A File can also read a block of memory as if it were a file (the fuzz targets feed the ZIP reader
// that way, without a file system round trip per input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace dravik::archive {

class File {
public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // mode: "rb", "wb", "r+b". Paths are 8-bit text in the system's code page.
    bool open(const std::string& path, const char* mode);
    // Read-only view of `size` bytes at `data`, which must outlive the File or the next open.
    void open_memory(const void* data, size_t size);
    // Opens for reading and, on Windows, lets others only read the file until it is closed: no
    // other handle may write, rename or delete it meanwhile. POSIX has no such share mode.
    bool open_read_denying_writers(const std::string& path);
    // Creates the file for reading and writing; fails when it already exists.
    bool create_new(const std::string& path);
    bool close();
    bool is_open() const { return f_ != nullptr || mem_ != nullptr; }

    size_t read(void* buffer, size_t size);
    bool read_exact(void* buffer, size_t size) { return read(buffer, size) == size; }
    bool write(const void* data, size_t size);
    bool seek(uint64_t pos);
    uint64_t tell();
    uint64_t size();
    // Cuts the file off at the current position.
    bool truncate_here();

private:
    std::FILE* f_ = nullptr;
    const uint8_t* mem_ = nullptr;  // the memory view, when open on one
    size_t mem_size_ = 0;
    uint64_t mem_pos_ = 0;
};

}  // namespace dravik::archive
