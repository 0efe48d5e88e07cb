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

// For an odd N > 2: minusOne := N - 1 and d := the odd part of N - 1; returns
// s with N - 1 = 2^s·d.
int32_t BigSplitMinusOne(const BigInt& N, BigInt& minusOne, BigInt& d);

// The rest of a strong test to some base b once x = b^d mod N is known, with
// minusOne = N - 1 = 2^s·d from BigSplitMinusOne: true when x is 1 or N - 1,
// or when one of the next s - 1 squarings gives N - 1. Reduces by BigMod, so
// a modulus registered for N speeds it up; x is used up.
bool BigFinishStrongTest(BigInt& x, const BigInt& N, const BigInt& minusOne, int32_t s);

// N < 2 and even N other than 2 are not prime; a one-word N is decided
// exactly; a larger N must have no prime factor below 2^16 and be a strong
// probable prime to the first rounds primes 2, 3, 5, ... (rounds 0 counts as
// 1). Polls on entry.
bool BigIsProbablePrime(const BigInt& N, int32_t rounds);

}  // namespace karvo
