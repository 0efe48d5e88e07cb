#pragma once

#include "arith/BigInt.h"
#include "arith/BigMod.h"

namespace karvo {

// x := x·y mod N.
inline void MulMod(BigInt& x, const BigInt& y, const BigInt& N) {
  BigMul(x, y);
  BigMod(x, N);
}

}  // namespace karvo
