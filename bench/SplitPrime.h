#pragma once

// The test prime of the class-polynomial benchmarks: the first probable
// prime N = u² + m with u from 2^(bits/2) on, of the parity that makes N
// odd. As the norm of u + √-m it splits completely in the ring class field,
// so class polynomials and their genus factors have roots modulo N.

#include <cstdint>

#include "arith/BigInt.h"
#include "arith/ProbablePrime.h"

namespace karvo::bench {

inline void SplitPrime(BigInt& N, uint32_t m, int32_t bits, int32_t rounds) {
  BigInt u;
  BigSetOne(u);
  BigShiftLeft(u, bits / 2);
  BigAddWord(u, m % 2 == 0 ? 1 : 0);
  while (true) {
    BigSqrTo(N, u);
    BigAddWord(N, m);
    if (BigIsProbablePrime(N, rounds)) {
      return;
    }
    BigAddWord(u, 2);
  }
}

}  // namespace karvo::bench
