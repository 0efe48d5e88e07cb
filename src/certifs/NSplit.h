#pragma once

// The N-1 and N+1 steps: splitting N - 1 or N + 1 into a product k·q of
// small primes and a large probable prime q (first phase), and finding the
// witness B or Q that makes the split a proof (second phase).

#include <cstdint>

#include "arith/BigInt.h"
#include "arith/Words.h"

namespace karvo {

// Residue classes of (N + 1) mod p: p divides N - 1 when the residue is 2,
// N + 1 when it is 0.
inline constexpr Word NMinus1Residue = 2;
inline constexpr Word NPlus1Residue = 0;

// Splits m = N - 1 (residue 2) or N + 1 (residue 0) as k·q: first all
// factors 2, then every table prime from 3 to entry primeBound - 1 whose
// residue slot (filled with (N + 1) mod p beforehand, PrimeTableResidues)
// equals residue, divided out as often as it goes. Fails as soon as the
// cofactor is not above bound; succeeds when finally nBits - bits(q) ≥ 1,
// q > bound is odd and passes IsCofactorProbablePrime. Polls.
bool SplitOrder(BigInt& k, BigInt& q, const BigInt& m, Word residue, const BigInt& bound,
                int32_t nBits, int32_t primeBound);

// The base of an N-1 test N - 1 = S·R: 2 when gcd(2^S - 1, N) = 1 and
// 2^(S·R) ≡ 1, else the first of the next 199 table primes b (3, 5, 7, ...)
// with gcd(b^S - 1, N) = 1 and (b^S)^R ≡ 1 (mod N). 0 when none qualifies.
Word FindNMinus1Base(const BigInt& N, const BigInt& S, const BigInt& R);

// The Q of an N+1 test N + 1 = S·R: from Q = 1 upward (at most 9999
// rounds), the next Q with (Q/N) = -1 and (D/N) = -1 for D = 1 - 4Q (Q even)
// or 4 - 4Q (Q odd), P = 2 for odd Q else 1, until V_(S/2)(P, Q) ≢ 0; then
// that Q when V_((N+1)/2)(P, Q) ≡ 0 (mod N). 0 when the search fails.
Word FindNPlus1Q(const BigInt& N, const BigInt& S, const BigInt& R);

}  // namespace karvo
