#pragma once

// Class-invariant values to j-invariants modulo N.

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

// slots are four records, the first holding the invariant x on entry.
// Returns the number of candidate j-invariants stored from slots[0]: 1 for a
// formula code, up to 4 (codes 17, 51) or 3 (19, 37) from the relation
// polynomials. 0 means the candidate failed: x (or y) ≡ 0 where the formula
// divides by it, a relation polynomial without root, or N composite; the
// caller then tries its next root. negate (codes -12..-1) negates y. c is
// BigNonResidue(N). An unknown code is 12.4.1.
int32_t InvariantToJ(BigInt* slots, const BigInt& N, const BigInt& c, int32_t code, bool negate);

}  // namespace karvo
