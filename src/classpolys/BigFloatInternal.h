#pragma once

#include "arith/BigInt.h"

namespace karvo {

struct BigFloat;

// a ← a / (d·2^dExponent); d non-zero and not a's own mantissa.
void DivideBy(BigFloat& a, const BigInt& d, int32_t dExponent);
// Frees the cached π and √2.
void FreeFloatConstants();

}  // namespace karvo
