#pragma once

#include "arith/BigInt.h"
#include "arith/BigMod.h"

namespace karvo {

// x := x·y mod N.
inline void MulMod(BigInt& x, const BigInt& y, const BigInt& N) {
  BigMul(x, y);
  BigMod(x, N);
}

// Registers N for Barrett reduction (faster than plain division at every
// size) for one scope, unless a modulus is registered already: nesting is
// one level deep and belongs to the caller.
class TModulusIfFree {
 public:
  explicit TModulusIfFree(const BigInt& N)
      : on_(!BigHasModulus() && BigIsOdd(N) && N.Length >= 2) {
    if (on_) {
      BigPushModulus(N);
    }
  }
  ~TModulusIfFree() {
    if (on_) {
      BigPopModulus();
    }
  }
  TModulusIfFree(const TModulusIfFree&) = delete;
  TModulusIfFree& operator=(const TModulusIfFree&) = delete;

 private:
  bool on_;
};

// z := x·y through number-theoretic transforms, for the long operands of
// the Kronecker products. z may be x or y.
void PolysMulLarge(BigInt& z, const BigInt& x, const BigInt& y);

// Packed operands of at least this many words take PolysMulLarge (the
// measured crossover with the word kernel's Toom-3 lies between 8192 and
// 16384 words).
inline constexpr int32_t PolysNttWords = 12000;

}  // namespace karvo
