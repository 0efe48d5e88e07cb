#pragma once

// The subfield tower of a key with a class-group record: the root of its
// class invariant modulo N from polynomials of the level degrees.

#include <cstdint>

#include "arith/BigInt.h"
#include "polys/ZPoly.h"

namespace karvo {

// polynomial := x + f0 with -f0 the invariant's root modulo N, code := the
// record's invariant code. False when m has no record, the record does not
// fit m, or a denominator has no inverse modulo N.
bool RootByTower(ZPoly& polynomial, uint32_t m, const BigInt& N, int32_t& code,
                 const BigInt& c);

}  // namespace karvo
