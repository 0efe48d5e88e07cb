#pragma once

// Curve and point arithmetic on y^2 = x^3 + A x + B modulo an odd N that is
// only a prime candidate. The Jacobian routines never invert, so a factor of
// N only shows up as a non-invertible Z that the caller must test; the affine
// routines invert and raise an internal error (unit 1003) when they cannot.
// Coordinates are kept in 0..N-1 except where a routine says otherwise.

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

// Modified Jacobian point (X/Z^2, Y/Z^3) with T = A Z^4 mod N; the identity
// is X = 1, Y = 1, Z = 0, T = 0.
struct TEcPoint {
  BigInt X, Y, Z, T;
};

// Affine point; the identity is x = 1, y = 1 with Finite false.
struct TEcAffine {
  BigInt X, Y;
  bool Finite = false;
};

void EcSetIdentity(TEcPoint& P);
inline bool EcIsIdentity(const TEcPoint& P) { return BigIsZero(P.Z); }

// Raises 1003.1.1 when 4A^3 + 27B^2 ≡ 0 (mod N).
void EcCheckCurve(const BigInt& A, const BigInt& B, const BigInt& N);
// Whether gcd(4A^3 + 27B^2, N) = 1: non-singular modulo every factor of N.
bool EcCurveCoprimeDiscriminant(const BigInt& A, const BigInt& B, const BigInt& N);

// The fixed curve of class number one for the index d (1 for D = -4, 2 for
// -8, |D| for the odd D); not reduced. Any other d raises 1003.10.1.
void EcClassOneCurve(BigInt& A, BigInt& B, int32_t d);

// A = 3J(1728 - J), B = 2J(1728 - J)^2 modulo N; A, B and J come out centred
// in -floor(N/2)..floor(N/2).
void EcCurveFromJ(BigInt& A, BigInt& B, BigInt& J, const BigInt& N);

// x := x mod N, less N when above floor(N/2): the form of A, B and J in a
// certificate.
void EcCentre(BigInt& x, const BigInt& N);

// Doubles P in place count times (nothing when count < 1).
void EcDouble(TEcPoint& P, int32_t count, const BigInt& N);
// P := P + (x2, y2), a finite affine point.
void EcAddMixed(TEcPoint& P, const BigInt& x2, const BigInt& y2, const BigInt& A,
                const BigInt& N);

// (x, y) := 2(x, y); returns the new flag. A non-invertible 2y is 1003.3.3.
bool EcDoubleAffine(BigInt& x, BigInt& y, bool finite, const BigInt& A, const BigInt& N);
// (x1, y1) := (x1, y1) + (x2, y2), the second point finite; returns the new
// flag. A non-invertible x1 - x2 is 1003.3.4.
bool EcAddAffine(BigInt& x1, BigInt& y1, bool finite1, const BigInt& x2, const BigInt& y2,
                 const BigInt& A, const BigInt& N);

// The window width EcMultiply uses for a multiplier of kBits bits, kWeight of
// them set, modulo an N of nBits bits: signed digits over a table of
// 2^(w-1) odd multiples, or below 3 the addition-subtraction chain.
int32_t EcMultiplyWidth(int32_t kBits, int32_t kWeight, int32_t nBits);

// (X, Y, Z) := [k](X, Y, 1) as a Jacobian point; the caller tests Z. k < 0 is
// 1003.3.1, Z ≠ 1 is 1003.3.2. With width 0 the width is EcMultiplyWidth's;
// any other width 1..8 forces that method (for comparing both).
void EcMultiply(BigInt& X, BigInt& Y, BigInt& Z, const BigInt& k, const BigInt& A,
                const BigInt& N, int32_t width = 0);

// (X, Y) := (X/Z^2, Y/Z^3) mod N and Z := 1; false (nothing changed) when Z
// is not invertible modulo N, the identity included.
bool EcToAffine(BigInt& X, BigInt& Y, BigInt& Z, const BigInt& N);
// Whether the Jacobian (X, Y, Z) is the negative of the affine (x, y):
// X ≡ x Z^2 and Y ≡ -y Z^3 (mod N). Says nothing about Z's invertibility.
bool EcIsNegativeOf(const BigInt& X, const BigInt& Y, const BigInt& Z, const BigInt& x,
                    const BigInt& y, const BigInt& N);

// Searches a seed T such that the point built from it has [S]P not the
// identity and [R][S]P the identity; sign -1, 0 or +1 restricts the Jacobi
// symbol of u = T^3 + A T + B. Returns false after a failure on both
// twists, and after 10000 seeds or seeds reaching N (a wrong order). A non-invertible Z of [S]P is 1003.4.1.
bool EcFindPoint(BigInt& T, const BigInt& S, const BigInt& R, const BigInt& A,
                 const BigInt& B, const BigInt& N, int32_t sign);
// The point that EcFindPoint builds from the seed T: u = T^3 + A T + B,
// (x, y) = (T u, u^2) and a = A u^2, each centred (≥ floor(N/2) less N).
void EcSeedPoint(BigInt& x, BigInt& y, BigInt& a, BigInt& u, const BigInt& T, const BigInt& A,
                 const BigInt& B, const BigInt& N);

}  // namespace karvo
