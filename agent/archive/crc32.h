// CRC-32 as ZIP uses it (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320, initial value
// and final XOR all ones; APPNOTE 4.4.7). crc32_update(0, ...) starts a new checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

// Uses carry-less multiplication on x86 processors that have it, the table code elsewhere.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size);

// One step of the byte-wise table, used by the traditional encryption's key schedule.
uint32_t crc32_byte(uint32_t crc_register, uint8_t byte);

// The table code alone (slicing-by-8), whatever the processor; for tests and benchmarks.
uint32_t crc32_update_portable(uint32_t crc, const uint8_t* data, size_t size);
// Whether crc32_update takes the carry-less multiplication path on this processor.
bool crc32_uses_clmul();

}  // namespace dravik::archive
