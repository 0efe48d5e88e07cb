#pragma once

// The curves of class number one with a prescribed number of points: for
// d = 1 and d = 3 the twist (quartic, sextic) whose order is N + 1 - U is
// chosen from U and V; for the other d the Jacobi sign of the seed selects
// between a curve and its quadratic twist.

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

// y^2 = x^3 + A x with N + 1 - U points, 4N = U^2 + 4V^2; A centred.
// Internal errors 2.8.1 and 2.8.2 when a search runs out.
void TwistD1(BigInt& A, const BigInt& U, const BigInt& V, const BigInt& N);
// y^2 = x^3 + B with N + 1 - U points, 4N = U^2 + 3V^2; B centred.
// Internal error 2.9.1 when the search runs out.
void TwistD3(BigInt& B, const BigInt& U, const BigInt& V, const BigInt& N);
// The Jacobi symbol of the seed value of EcFindPoint for the curve of index
// d ∉ {1, 3} (EcClassOneCurve) with N + 1 + t points.
int32_t ClassOneSeedSign(int32_t d, const BigInt& t, const BigInt& N);

}  // namespace karvo
