// Fuzz target: inflate must refuse or decode any input without reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    dravik::archive::inflate_buffer(data, size, out, 1 << 22);
    return 0;
}
