#include "classpolys/ClassStats.h"

#include <climits>
#include <cstddef>

#include "arith/SmallPrimes.h"
#include "classpolys/QuadFormsInternal.h"

namespace karvo {

namespace {

uint64_t Magnitude(uint64_t e) { return e % 4 == 1 || e % 4 == 2 ? 4 * e : e; }

// The genus count of d, or 0 when rejectSquares and an odd prime divides
// what is left of d twice.
int32_t Genera(uint64_t d, bool rejectSquares) {
  int32_t t = d % 2 == 0 ? 1 : 0;
  while (d % 2 == 0) {
    d /= 2;
  }
  for (int32_t i = 2; i <= SmallPrimeCount; ++i) {
    const uint64_t p = SmallPrimes[static_cast<size_t>(i)];
    if (d / p < p) {
      break;
    }
    if (d % p == 0) {
      ++t;
      d /= p;
      if (rejectSquares && d % p == 0) {
        return 0;
      }
    }
  }
  if (d >= 2) {
    ++t;
  }
  return t < 2 ? 1 : 1 << (t - 1);
}

}  // namespace

int32_t ClassNumberUpTo(uint32_t e, int32_t bound) {
  int32_t h = 0;
  const bool complete = ForEachReducedForm(Magnitude(e), [&](uint64_t, uint64_t, uint64_t,
                                                             bool single) {
    h += single ? 1 : 2;
    return h <= bound;
  });
  return complete ? h : 0;
}

int32_t ClassNumber(uint32_t e) { return ClassNumberUpTo(e, INT32_MAX - 2); }

int32_t GenusCount(uint32_t e) { return Genera(Magnitude(e), false); }

int32_t GenusCountIfFundamental(int64_t e) {
  if (e < 0 || e % 16 == 0) {
    return 0;
  }
  return Genera(Magnitude(static_cast<uint64_t>(e)), true);
}

}  // namespace karvo
