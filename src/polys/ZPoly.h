#pragma once

// Dense polynomials with BigInt coefficients, kept as residues modulo the N
// passed to each routine (0..N-1), and their arithmetic: products on
// unreduced coefficients, division by a monic polynomial (plain and through a
// precomputed reciprocal), powering modulo a polynomial, gcd, evaluation and
// the integer-coefficient helpers (derivative, content, discriminant).
// Argument errors raise InternalError(300, ...). Single-threaded, like the
// arithmetic below it.

#include <cstdint>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

struct ZPoly {
  // Coefficient i at index i; Coeffs.size() is the capacity, a multiple of 8.
  // Entries above Degree exist and are zero or stale.
  std::vector<BigInt> Coeffs;
  int32_t Degree = -1;  // -1 for the zero polynomial
};

// ---- Storage and assignment ----

// Room for degree d (capacity rounded up to a multiple of 8); lowering it
// frees the records above, d < 0 frees everything.
void ZPolySetCapacity(ZPoly& a, int32_t d);
// Gives back the coefficients' word storage; a becomes zero, records kept.
void ZPolyClear(ZPoly& a);
// a := 0 with room for degree d and coefficients 0..d cleared.
void ZPolySetZeroDegree(ZPoly& a, int32_t d);
void ZPolyNormalise(ZPoly& a);
void ZPolyAssign(ZPoly& a, const ZPoly& b);
void ZPolySwap(ZPoly& a, ZPoly& b);
void ZPolySetOne(ZPoly& a);
void ZPolySetMonomial(ZPoly& a, int32_t k);
// Coefficients from words, constant first (tests, tables).
void ZPolySetInts(ZPoly& a, const std::vector<int64_t>& coeffs);

// ---- Linear operations ----

// Reduces every coefficient into 0..N-1 and renormalises.
void ZPolyReduce(ZPoly& a, const BigInt& N);
void ZPolySub(ZPoly& a, const ZPoly& b, const BigInt& N);
void ZPolySubOne(ZPoly& a, const BigInt& N);
void ZPolySubX(ZPoly& a, const BigInt& N);
void ZPolySubConstant(ZPoly& a, const BigInt& c, const BigInt& N);
void ZPolyMulXk(ZPoly& a, int32_t k);  // k < 0 is 300.6.1
void ZPolyDivXk(ZPoly& a, int32_t k);  // k < 0 is 300.2.1
// Keeps the coefficients below x^k.
void ZPolyTruncate(ZPoly& a, int32_t k);

// ---- Products ----

// a := a·b over the integers, reduced modulo N when N is given. Operands may
// be the same polynomial.
void ZPolyMulRaw(ZPoly& a, const ZPoly& b, const BigInt* N);
void ZPolyMul(ZPoly& a, const ZPoly& b, const BigInt& N);
void ZPolySqr(ZPoly& a, const BigInt& N);
// a := (a·b) div x^k mod N.
void ZPolyMulHigh(ZPoly& a, const ZPoly& b, int32_t k, const BigInt& N);

// ---- Division ----

// Multiplies by the inverse of the leading coefficient. False, with a
// unchanged, when that coefficient has no inverse: modulo a probable prime N
// this shows N composite, and computing on would hide it.
bool ZPolyMakeMonic(ZPoly& a, const BigInt& N);
// a := a mod b for a monic b; b zero is 300.3.1.
void ZPolyRem(ZPoly& a, const ZPoly& b, const BigInt& N);
// a := a div b for a monic b dividing a; b zero is 300.1.1, not monic 300.1.2.
void ZPolyQuotient(ZPoly& a, const ZPoly& b, const BigInt& N);
// r := x^(2m) div b for the monic b of degree m ≥ 1 (else 300.11.1): the
// reciprocal with which ZPolyRemFast divides any a of degree below 2m.
void ZPolyReciprocal(ZPoly& r, const ZPoly& b, const BigInt& N);
// a := a mod b through r; a remainder not below b's degree (a too long for
// r) is 300.8.2.
void ZPolyRemFast(ZPoly& a, const ZPoly& b, const ZPoly& r, const BigInt& N);
// Whether powering modulo a polynomial of degree d uses ZPolyRemFast for N
// of the given length in words.
bool ZPolyUsesNewton(int32_t d, int32_t words);
// a := a^e mod (f, N) for a monic f; f zero is 300.7.1.
void ZPolyPowMod(ZPoly& a, const BigInt& e, const ZPoly& f, const BigInt& N);
// a := the monic gcd of a and b. False (N composite) when a leading
// coefficient on the way has no inverse; a is then unspecified.
bool ZPolyGcd(ZPoly& a, const ZPoly& b, const BigInt& N);

// ---- Values and integer coefficients ----

void ZPolyEval(BigInt& v, const BigInt& x, const BigInt& N, const ZPoly& a);
// Over the integers (no reduction).
void ZPolyDerivative(ZPoly& a);
// The gcd of the coefficients, with the sign of the leading one.
void ZPolyContent(BigInt& c, const ZPoly& a);
// The discriminant of a (degree ≥ 1, else 300.9.1) over the integers.
void ZPolyDiscriminant(const ZPoly& a, BigInt& d);

// ---- Scratch ----

// count polynomials from the unit's pool for one scope, given back on every
// exit (the abort included): ZPolyTemps t(2); ZPoly& g = t[0];
class ZPolyTemps {
 public:
  explicit ZPolyTemps(int32_t count);
  ~ZPolyTemps();
  ZPolyTemps(const ZPolyTemps&) = delete;
  ZPolyTemps& operator=(const ZPolyTemps&) = delete;
  ZPoly& operator[](int32_t i);

 private:
  int32_t mark_;
};

// Gives back the word storage of the pool's polynomials (after a task run).
void ZPolyReleaseScratch();

}  // namespace karvo
