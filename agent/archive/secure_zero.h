// Wiping secrets (passwords, keys, cipher and hash states) before their memory is freed or
// reused. The stores go through a volatile pointer, so the compiler cannot drop them as dead
// writes to an object that is about to end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

inline void secure_zero(void* p, size_t size) {
    volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
    for (size_t i = 0; i < size; ++i) b[i] = 0;
}

}  // namespace dravik::archive
