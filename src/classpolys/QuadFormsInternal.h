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

// Calls visit(a, b, c, single) for the reduced forms (a, b, c), b ≥ 0, of
// discriminant -d, with no primitivity test; single marks a form that is its
// own twin (a, -b, c). Stops, returning false, when visit returns false.
template <class F>
bool ForEachReducedForm(uint64_t d, F visit) {
  uint64_t b = 2;
  if (d % 2 == 1) {
    const uint64_t n = (d + 1) / 4;
    if (!visit(1, 1, n, true)) {
      return false;
    }
    uint64_t a = 2;
    for (; a * a < n; ++a) {
      if (n % a == 0 && !visit(a, 1, n / a, false)) {
        return false;
      }
    }
    if (a * a == n && !visit(a, 1, a, true)) {
      return false;
    }
    b = 3;
  } else {
    const uint64_t n = d / 4;
    for (uint64_t a = 1; a * a <= n; ++a) {
      if (n % a == 0 && !visit(a, 0, n / a, true)) {
        return false;
      }
    }
  }
  const uint64_t bmax = Isqrt64(d / 3);
  for (; b <= bmax; b += 2) {
    const uint64_t n = (d + b * b) / 4;
    if (n % b == 0 && !visit(b, b, n / b, true)) {
      return false;
    }
    uint64_t a = b + 1;
    for (; a * a < n; ++a) {
      if (n % a == 0 && !visit(a, b, n / a, false)) {
        return false;
      }
    }
    if (a * a == n && !visit(a, b, a, true)) {
      return false;
    }
  }
  return true;
}

}  // namespace karvo
