// Deflate: encoder for the deflate format (RFC 1951) at levels 0 to 9, streaming into a write
// function. Level 0 writes stored blocks only; levels 1 to 3 match greedily and 4 to 9 lazily,
// searching longer hash chains as the level rises. Each block is written stored, with the fixed
// codes or with its own dynamic codes, whichever is shortest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "inflate.h"

namespace dravik::archive {

class Deflater {
public:
    Deflater(int level, WriteFn out);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Adds input; false when the write function refused output.
    bool write(const uint8_t* data, size_t size);
    // Ends the stream with a final block; false when the write function refused output.
    bool finish();
    // Starts a new stream, keeping the work buffers: coding many files in a row then touches no
    // fresh memory for each.
    void reset(int level, WriteFn out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::vector<uint8_t> deflate_buffer(const uint8_t* data, size_t size, int level);

}  // namespace dravik::archive
