// Fuzz target: inflate must refuse or decode any input without reading or writing out of bounds,
// and its fast loops (BMI2 and plain, 64- and 32-bit bit buffers) and its whole-buffer mode must
// agree on every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "inflate.h"

namespace {

using namespace dravik::archive;

struct Outcome {
    InflateStatus status;
    uint64_t consumed;
    std::vector<uint8_t> out;
};

Outcome run_narrow(const uint8_t* data, size_t size) {
    Outcome o;
    size_t offset = 0;
    InflateResult r = inflate_stream_narrow(
        [&](uint8_t* buf, size_t cap) {
            size_t n = cap < size - offset ? cap : size - offset;
            if (n) std::memcpy(buf, data + offset, n);
            offset += n;
            return n;
        },
        [&](const uint8_t* p, size_t n) {
            if (o.out.size() + n > (1u << 22)) return false;
            o.out.insert(o.out.end(), p, p + n);
            return true;
        });
    o.status = r.status == InflateStatus::output_failed ? InflateStatus::invalid : r.status;
    o.consumed = r.consumed;
    return o;
}

Outcome run_wide(const uint8_t* data, size_t size) {
    Outcome o;
    InflateResult r = inflate_buffer(data, size, o.out, 1 << 22);
    o.status = r.status;
    o.consumed = r.consumed;
    return o;
}

// Straight into a buffer of exactly the streamed output's size (ASan sees any write past it).
Outcome run_direct(const uint8_t* data, size_t size, size_t capacity) {
    Outcome o;
    o.out.resize(capacity);
    InflateResult r = inflate_into(data, size, o.out.data(), o.out.size());
    o.status = r.status == InflateStatus::output_failed ? InflateStatus::invalid : r.status;
    o.consumed = r.consumed;
    o.out.resize(r.produced);
    return o;
}

bool same(const Outcome& a, const Outcome& b) {
    if (a.status != b.status) return false;
    if (a.status != InflateStatus::ok) return true;  // how far a failing stream got may differ
    return a.consumed == b.consumed && a.out == b.out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    inflate_allow_bmi2(true);
    Outcome wide = run_wide(data, size);
    Outcome narrow = run_narrow(data, size);
    inflate_allow_bmi2(false);
    Outcome plain = run_wide(data, size);
    inflate_allow_bmi2(true);
    if (!same(wide, narrow) || !same(wide, plain)) std::abort();
    // A stream that ends well fits exactly; one that fails, fails here too (or runs out of room).
    Outcome direct = run_direct(data, size, wide.out.size());
    if (wide.status == InflateStatus::ok && !same(wide, direct)) std::abort();
    if (wide.status != InflateStatus::ok && direct.status == InflateStatus::ok) std::abort();
    return 0;
}
