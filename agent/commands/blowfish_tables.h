// The initial Blowfish subkeys (the hexadecimal digits of pi).
#pragma once

#include <cstdint>

namespace dravik {

extern const uint32_t kBlowfishInitialP[18];
extern const uint32_t kBlowfishInitialS[4][256];

}  // namespace dravik
