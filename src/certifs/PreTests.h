#pragma once

// The cheap compositeness tests a candidate must pass before any work on its
// certificate: trial division, the strong test to base 2 and the strong
// Lucas test (together a Baillie–PSW test). The same pair, without the trial
// division, accepts the cofactors R of the descent.

#include <cstdint>
#include <string>

#include "arith/BigInt.h"

namespace karvo {

// Largest |D| the Lucas parameter search tries before it calls N a square.
inline constexpr int32_t MaxLucasD = 5000;

// "" when the odd N of at least 17 bits passes trial division by the odd
// primes below 2^16, the strong test to base 2, the Lucas parameter search
// and the strong Lucas test; else the rejection message:
// "Candidate divisible by %d", "Candidate not strong pseudoprime to the
// base 2", "Candidate is presumably a square", "Candidate not Lucas strong
// pseudoprime for (P=1,Q=%d)".
std::string CandidatePreTests(const BigInt& N);

// Whether N is a strong probable prime to base 2; N of 168 words or more is
// registered for Barrett reduction meanwhile.
bool IsStrongProbablePrimeBase2(const BigInt& N);

// The first D of 5, -7, 9, -11, 13, ... with Jacobi symbol (D/N) = -1, or 0
// when |D| would exceed MaxLucasD or a symbol is 0 (N presumably a square).
int32_t LucasParameterD(const BigInt& N);

// The strong Lucas test with P = 1 and Q = (1 - D)/4 (rounded toward zero):
// N + 1 = d·2^s, d odd; passes when U_d or V_d is 0 or V_(d·2^r) is 0 for
// some r in 1..s-1 (mod N).
bool IsStrongLucasProbablePrime(const BigInt& N, int32_t D);

// The cofactor test of the descent: odd q > 2, strong base 2, then the
// Lucas parameter search and the strong Lucas test. No trial division.
bool IsCofactorProbablePrime(const BigInt& q);

}  // namespace karvo
