// CRC-32 as ZIP uses it (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320, initial value
// and final XOR all ones; APPNOTE 4.4.7). crc32_update(0, ...) starts a new checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t size);

// One step of the byte-wise table, used by the traditional encryption's key schedule.
uint32_t crc32_byte(uint32_t crc_register, uint8_t byte);

}  // namespace dravik::archive
