#pragma once

// Binary floating point with a big-integer mantissa and one process-wide
// working precision P (bits, a multiple of 32, at least 128), and complex
// numbers made of two such reals. Every result is normalised to P bits:
// a non-zero mantissa has exactly P significant bits. Rounding looks only at
// the highest dropped bit and the parity of the kept part (no sticky bits).
// Temporaries come from two pools through FloatTemps / ComplexTemps.
// Failures are InternalError(1001, ...).

#include <cstdint>
#include <memory>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

// Value = Mantissa · 2^Exponent; zero has Exponent 0.
struct BigFloat {
  BigInt Mantissa;
  int32_t Exponent = 0;

  BigFloat() = default;
  BigFloat(const BigFloat&) = delete;
  BigFloat& operator=(const BigFloat&) = delete;
  BigFloat(BigFloat&&) noexcept = default;
  BigFloat& operator=(BigFloat&&) noexcept = default;
};

struct BigComplex {
  BigFloat Re;
  BigFloat Im;
};

using TDynBigComplexArray = std::vector<BigComplex>;
using TDynBigComplexMatrix = std::vector<TDynBigComplexArray>;

// ---- Precision ----
void SetPrecision(int32_t bits);  // < 0 is 1001.14.1; ≤ 128 gives 128; else rounded up to 32
int32_t GetPrecision();

// Raises P for a scope and restores it on every exit.
class PrecisionScope {
 public:
  explicit PrecisionScope(int32_t bits) : saved_(GetPrecision()) { SetPrecision(bits); }
  ~PrecisionScope() { SetPrecision(saved_); }
  PrecisionScope(const PrecisionScope&) = delete;
  PrecisionScope& operator=(const PrecisionScope&) = delete;

 private:
  int32_t saved_;
};

// ---- Pools of temporaries ----
template <class T>
class TFloatPool {
 public:
  // Hands out count zeroed records and returns the old mark.
  int32_t Take(int32_t count);
  void Release(int32_t mark) { mark_ = mark; }
  T& At(int32_t index) { return *records_[static_cast<size_t>(index)]; }
  int32_t Mark() const { return mark_; }
  // Frees the mantissa storage of the records above the mark.
  void Trim();
  // Frees every record (unit shutdown).
  void Free() { records_.clear(); mark_ = 0; }

 private:
  std::vector<std::unique_ptr<T>> records_;
  int32_t mark_ = 0;
};

TFloatPool<BigFloat>& FloatPool();
TFloatPool<BigComplex>& ComplexPool();

// count temporaries for one scope: FloatTemps t(2); BigFloat& a = t[0];
template <class T>
class TPoolTemps {
 public:
  explicit TPoolTemps(int32_t count);
  ~TPoolTemps();
  TPoolTemps(const TPoolTemps&) = delete;
  TPoolTemps& operator=(const TPoolTemps&) = delete;
  T& operator[](int32_t i);

 private:
  int32_t mark_;
};
using FloatTemps = TPoolTemps<BigFloat>;
using ComplexTemps = TPoolTemps<BigComplex>;

// Frees the pools and the cached constants.
void FloatShutdown();

// ---- Reals ----
void Normalize(BigFloat& a);
void Assign(BigFloat& a, const BigFloat& b);
void SetZero(BigFloat& a);
void SetOne(BigFloat& a);
void SetMinusOne(BigFloat& a);
void SetInt(BigFloat& a, int32_t k);
void SetWord(BigFloat& a, Word k);
void SetBig(BigFloat& a, const BigInt& n);
void Swap(BigFloat& a, BigFloat& b);
inline bool IsZero(const BigFloat& a) { return a.Mantissa.Length == 0; }
inline bool IsNegative(const BigFloat& a) { return a.Mantissa.Sign != 0; }
void Negate(BigFloat& a);

void Add(BigFloat& c, const BigFloat& a, const BigFloat& b);  // c may alias a or b
void Sub(BigFloat& c, const BigFloat& a, const BigFloat& b);
// In place; false exactly when b is zero or more than P bits below a.
bool AddTo(BigFloat& a, const BigFloat& b);
bool SubFrom(BigFloat& a, const BigFloat& b);  // a ← a − b
bool AddInt(BigFloat& a, int32_t k);
bool SubInt(BigFloat& a, int32_t k);
bool Increment(BigFloat& a);
bool Decrement(BigFloat& a);

void Mul(BigFloat& a, const BigFloat& b);
void MulInt(BigFloat& a, int32_t k);
void MulBig(BigFloat& a, const BigInt& n);
void MulPow2(BigFloat& a, int32_t k);  // exact
void Square(BigFloat& a);
void SquareOf(BigFloat& c, const BigFloat& a);

void Div(BigFloat& a, const BigFloat& b);   // 1001.2.1
void DivBig(BigFloat& a, const BigInt& n);  // 1001.4.1
void DivInt(BigFloat& a, int32_t k);        // 1001.5.1
void DivWord(BigFloat& a, Word k);          // 1001.6.1
void Reciprocal(BigFloat& a);               // 1001.7.1
void InverseOf(BigFloat& c, const BigFloat& b);  // 1001.8.1
void Sqrt(BigFloat& a);                     // negative: 1001.15.1
void Exp(BigFloat& a);
// s ← sin x (tan x with tangentInstead), c ← cos x; s, c, x distinct.
void SinCos(BigFloat& s, BigFloat& c, const BigFloat& x, bool tangentInstead);

int Compare(const BigFloat& a, const BigFloat& b);
int CompareAbs(const BigFloat& a, const BigFloat& b);  // 1001.1.1, 1001.1.2
void ToBigInt(BigInt& n, const BigFloat& a);  // nearest, halves away from zero
void TruncFraction(BigFloat& a);

void GetPi(BigFloat& a, int32_t k);     // π·2^k
void GetSqrt2(BigFloat& a, int32_t k);  // √2·2^k

// ---- Complex numbers ----
void Assign(BigComplex& a, const BigComplex& b);
void SetZero(BigComplex& a);
void SetOne(BigComplex& a);
void Negate(BigComplex& a);
void Halve(BigComplex& a);
void MulPow2(BigComplex& a, int32_t k);  // k < 0 is 1001.105.1
void Mul(BigComplex& a, const BigFloat& r);
void MulInt(BigComplex& a, int32_t k);
bool AddTo(BigComplex& a, const BigComplex& b);  // true when a changed
bool SubFrom(BigComplex& a, const BigComplex& b);
void Mul(BigComplex& a, const BigComplex& b);  // three real products
void Square(BigComplex& a);
void SquaredModulus(BigFloat& r, const BigComplex& a);
void Reciprocal(BigComplex& a);                     // 1001.102.1
void InverseOf(BigComplex& c, const BigComplex& b);  // 1001.103.1
void Div(BigComplex& a, const BigComplex& b);        // 1001.100.1
void Power(BigComplex& a, int32_t n);  // n < 0 inverts first
void Exp(BigComplex& a);
void Swap(BigComplex& a, BigComplex& b);

}  // namespace karvo
