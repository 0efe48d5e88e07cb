#pragma once

// One root modulo N of the class invariant of a discriminant key, turned
// into curve data: the single entry of the curve step's phase 2.

#include <cstdint>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

// The square roots modulo N of the prime discriminants p* that divide the
// current discriminant, found by the curve search's genus characters and
// reused by the genus route.
struct TQStarRootList {
  std::vector<int32_t> QStars;
  std::vector<BigInt> Roots;
  int32_t Count = 0;
};

// Curve: four values, cleared on entry, then filled as InvariantToJ fills
// them from the root found; returns InvariantToJ's count of candidate
// j-invariants (0: the root did not lead to one). c is BigNonResidue(N);
// Key is m or 4m.
int32_t FindInvariantRoot(BigInt* Curve, const BigInt& N, const BigInt& c,
                          TQStarRootList& Roots, uint32_t Key);

}  // namespace karvo
