// Inflate: decoder for the deflate format (RFC 1951), streaming from a read function to a write
// function with a 32 KiB history; table-driven, with a fast loop for the bulk of the data. Every
// value taken from the stream is checked: block types, code-length tables (over-subscribed and
// incomplete sets), symbols 286/287 and 30/31, repeat codes, and distances reaching back before
// the start of the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace dravik::archive {

// Supplies up to `capacity` bytes; returns how many it gave (0 at the end of the input).
using ReadFn = std::function<size_t(uint8_t* buffer, size_t capacity)>;
// Accepts output; false stops the decoder with InflateStatus::output_failed.
using WriteFn = std::function<bool(const uint8_t* data, size_t size)>;

enum class InflateStatus {
    ok,             // the final block ended
    truncated,      // the input ended before the final block did
    invalid,        // the stream breaks the format
    output_failed,  // the write function refused data
};

struct InflateResult {
    InflateStatus status = InflateStatus::invalid;
    uint64_t consumed = 0;  // input bytes used, up to the byte holding the end of the final block
    uint64_t produced = 0;  // output bytes
    const char* reason = "";
};

InflateResult inflate_stream(const ReadFn& in, const WriteFn& out);

// The same decoder with the 32-bit bit buffer that 32-bit targets use, so that 64-bit test runs
// cover that path too.
InflateResult inflate_stream_narrow(const ReadFn& in, const WriteFn& out);

// Lets the decoder run its fast loop's BMI2 copy on processors that have BMI2 (the default).
// Tests turn it off to cover the plain loop on machines with BMI2 too.
void inflate_allow_bmi2(bool allowed);

// A whole stream in memory decoded straight into `output` (the fastest way, for callers that
// know the decoded size, as a ZIP entry's header tells it). Output that would pass `capacity`
// stops it with InflateStatus::output_failed.
InflateResult inflate_into(const uint8_t* data, size_t size, uint8_t* output, size_t capacity);

// Convenience for whole buffers; output beyond `max_output` bytes counts as invalid.
InflateResult inflate_buffer(const uint8_t* data, size_t size, std::vector<uint8_t>& output,
                             size_t max_output = SIZE_MAX);

}  // namespace dravik::archive
