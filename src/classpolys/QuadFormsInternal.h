#pragma once

#include <cstdint>

namespace karvo {

// floor(√n), exact for every 64-bit n.
inline uint64_t Isqrt64(uint64_t n) {
  uint64_t r = 0;
  for (uint64_t bit = uint64_t{1} << 31; bit != 0; bit >>= 1) {
    const uint64_t t = r | bit;
    if (t * t <= n) {
      r = t;
    }
  }
  return r;
}

}  // namespace karvo
