#pragma once

// Arithmetic modulo a BigInt N: reduction (plain, and Barrett against a
// registered modulus), modular powering, inverses, gcd and lcm, Jacobi
// symbols, Lucas sequences and square roots modulo a prime. Residues are kept
// in 0..N-1. Like the rest of the unit this is single-threaded: the
// registered modulus, the window table and the scratch records are shared by
// every caller of the task thread. Argument errors raise InternalError(1000, ...).

#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

// ---- Reduction and the registered modulus ----

// x := x mod m, floored: zero or the sign of m, so 0..m-1 for a positive m.
// Reduces by Barrett when m (two words or more) equals the registered
// modulus. A zero m is 1000.17.1.
void BigMod(BigInt& x, const BigInt& m);

// The registered modulus is the pair (N, floor(2^(64k)/N)), k = N's length in
// words, plus ONE saved pair: registering moves the current pair into the
// saved one (overwriting what was saved there), releasing restores it. So
// registrations nest one level deep only.
//
// BigPushModulus: N must be positive and odd (else 1000.23.1).
void BigPushModulus(const BigInt& N);
// Frees the current pair and restores the saved one (which becomes empty).
void BigPopModulus();
// Replaces the current pair without saving it and without checks.
void BigSetModulus(const BigInt& N);
// Whether a modulus is registered, and the registered value (zero when none).
bool BigHasModulus();
const BigInt& BigRegisteredModulus();
// Forgets both pairs and gives back their storage (when a number is done).
void BigClearModulus();

// Push on construction, pop on destruction: an exception (the abort included)
// unwinding through the scope cannot leave the wrong modulus registered.
class BigModulusScope {
 public:
  explicit BigModulusScope(const BigInt& N) { BigPushModulus(N); }
  ~BigModulusScope() { BigPopModulus(); }
  BigModulusScope(const BigModulusScope&) = delete;
  BigModulusScope& operator=(const BigModulusScope&) = delete;
};

// r := floor(2^(64k)/N), k = N's length in words; N < 3 is 1000.24.1.
void BigReciprocal(BigInt& r, const BigInt& N);
// x := x mod N in 0..N-1 for any sign of x, mu = BigReciprocal(N), N ≥ 3.
// Inputs below 2^(64k) take one pass; larger ones take more.
void BigBarrettReduce(BigInt& x, const BigInt& N, const BigInt& mu);

// ---- Modular powering ----

// Reduction methods of BigPowMod. Any other value is 1000.39.1.
enum : int32_t {
  PowModAuto = 0,
  PowModPlain = 1,
  PowModMontgomery = 2,  // odd moduli only; an even one falls back to Auto
  PowModBarrett = 3,
};

// x := x^e mod N. e < 0 is 1000.21.1, N ≤ 0 is 1000.21.2. N = 1 gives 0,
// e = 0 gives 1 (0^0 included). e and N may be the same record as x.
void BigPowMod(BigInt& x, const BigInt& e, const BigInt& N, int32_t method = PowModAuto);
// The same for a word exponent; N ≤ 0 is 1000.22.1.
void BigPowModWord(BigInt& x, Word e, const BigInt& N, int32_t method = PowModAuto);

// The method that PowModAuto picks for N: plain below 4 words; odd N by
// Montgomery at every longer length; even N plain below 168 words, Barrett
// from there.
int32_t PowModMethodFor(const BigInt& N);

// Window width 1..8 for an exponent of bits bits of which weight are set
// (weight -1 skips the sparse rule); bits < 1 is 1000.11.1.
int32_t PowWindowSize(int32_t bits, int32_t weight);
// v = 2^s·(2t+1) for v ≥ 1; v < 1 is 1000.10.1.
void SplitOddPart(int32_t v, int32_t& s, int32_t& t);

// ---- Inverses ----

// x := x^-1 mod N; false (and x := 0) when gcd(x, N) ≠ 1. N < 2 is 1000.12.1.
bool BigInvMod(BigInt& x, const BigInt& N);
// Inverts values[0..count-1] modulo N in place with one inversion and 3
// multiplications per value (Montgomery's trick). count > 64 is 1000.13.1,
// N < 2 is 1000.13.2. Returns false, leaving every value unchanged, when
// their product is not invertible.
inline constexpr int32_t InvModBatchLimit = 64;
bool BigInvModBatch(BigInt* values, int32_t count, const BigInt& N);
// a^-1 mod m for words, or 0 when there is none (a ≡ 0, m = 1, gcd ≠ 1).
// m = 0 is 1000.40.1.
Word WordInvMod(Word a, Word m);

// ---- Gcd and lcm ----

// One Lehmer step on a ≥ b ≥ 0 (b non-zero): Euclid runs on the leading 128
// bits of both (cofactors below 2^62), and the quotients kept are those that
// Jebelean's condition proves equal to the quotients of the full values. On success the new pair
// is (A·a - B·b, D·b - C·a) when Even, (B·b - A·a, C·a - D·b) otherwise,
// both non-negative and the first larger; the coefficients are magnitudes.
struct LehmerMatrix {
  uint64_t A = 1, B = 0, C = 0, D = 1;
  bool Even = true;
};
bool BigLehmerStep(const BigInt& a, const BigInt& b, LehmerMatrix& m);

// x := gcd(|x|, |y|); returns true when it is 1. y may be x.
bool BigGcd(BigInt& x, const BigInt& y);
// gcd(x, y) = 1, both unchanged.
bool BigCoprime(const BigInt& x, const BigInt& y);
// x := lcm(|x|, |y|), zero when either is zero.
void BigLcm(BigInt& x, const BigInt& y);

// ---- Jacobi symbols: -1, 0 or 1, over an odd modulus of at least 3 ----

// i over the word n; n even or n < 3 is 1000.14.1.
int32_t IntJacobi(int32_t i, int32_t n);
// i over the BigInt n; n even or n < 3 is 1000.15.1.
int32_t BigJacobiInt(int32_t i, const BigInt& n);
// x over n; n even or n < 3 is 1000.16.1.
int32_t BigJacobi(const BigInt& x, const BigInt& n);
// i over the odd w ≥ 3, unchecked.
int32_t WordJacobi(int32_t i, Word w);

// ---- Lucas sequences ----

// v := V_k(P, Q) mod N for k ≥ 0.
void BigLucasV(BigInt& v, const BigInt& k, const BigInt& P, const BigInt& N, const BigInt& Q);
// U := U_k, V := V_k modulo the odd N for P = 1 and Q = (1 - D)/4.
void BigLucasUV(BigInt& U, BigInt& V, const BigInt& k, int32_t D, const BigInt& N);

// ---- Square roots modulo a prime ----

// x := a square root of x modulo the odd prime p. c is BigNonResidue(p); it
// is read only (p ≡ 1 mod 8), so one c serves any number of calls. p not
// positive, even or below 3 is 1000.38.1; x not a square is 1000.38.2; no
// Lucas parameter found (p a perfect square) is 1000.38.3; a failed
// Tonelli–Shanks order search (c not of order 2^e, p not prime) is 1000.38.4.
void BigSqrtMod(BigInt& x, const BigInt& p, const BigInt& c);
// c := g^q mod p for the least g ≥ 2 with (g | p) = -1 and q the odd part of
// p - 1. p even, below 3 or a perfect square is 1000.1.1.
void BigNonResidue(BigInt& c, const BigInt& p);

// ---- Unit state ----

// Gives back the storage of the window table and of the scratch records of
// this file family (between tasks; the registered modulus is kept).
void BigModReleaseScratch();

}  // namespace karvo
