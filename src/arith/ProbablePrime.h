#pragma once

// Compositeness tests: the strong probable-prime (Miller–Rabin) test to one
// base and the combined test of trial division and several bases.

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

// Whether the odd N > 2 is a strong probable prime to the base b: with
// N - 1 = 2^s·d, d odd, b^d ≡ 1 or b^(d·2^r) ≡ -1 (mod N) for some r < s.
// N = 2 passes; other N below 3 and even N fail.
bool BigIsStrongProbablePrime(const BigInt& N, Word b);

// N < 2 and even N other than 2 are not prime; a one-word N is decided
// exactly; a larger N must have no prime factor below 2^16 and be a strong
// probable prime to the first rounds primes 2, 3, 5, ... (rounds 0 counts as
// 1). Polls on entry.
bool BigIsProbablePrime(const BigInt& N, int32_t rounds);

}  // namespace karvo
