#include <algorithm>
#include <cmath>

#include "arith/BigTempPool.h"
#include "classpolys/BigFloat.h"
#include "classpolys/BigFloatInternal.h"

namespace karvo {

namespace {

// A constant kept at the highest precision asked for so far.
struct TCachedConstant {
  BigFloat Value;
  int32_t Bits = 0;
};
TCachedConstant cachedPi;
TCachedConstant cachedSqrt2;

constexpr double kChudnovskyWordsPerTerm = 1.47220040625;

// Chudnovsky's series, Horner from the deepest term, whose small weight lets
// the precision start at four words and grow by one term's worth per step.
void ComputePi(BigFloat& pi) {
  const int32_t words = (GetPrecision() + 31) / 32;
  const auto terms = static_cast<int32_t>(words / kChudnovskyWordsPerTerm + 1);
  FloatTemps t(2);
  BigFloat& sum = t[0];
  BigFloat& coefficient = t[1];
  BigTemps bt(3);
  BigInt& numerator = bt[0];
  BigInt& denominator = bt[1];
  BigInt& scale = bt[2];
  BigSetUInt64(scale, 32817176580096000u);  // 640320³ / 8
  {
    double reached = std::min(words, 4);
    PrecisionScope scope(32 * static_cast<int32_t>(reached));
    BigSetUInt64(numerator, 545140134u * static_cast<uint64_t>(terms) + 13591409u);
    SetBig(sum, numerator);
    for (int32_t k = terms; k >= 1; --k) {
      const auto k6 = 6 * static_cast<uint64_t>(k);
      BigSetUInt64(numerator, (k6 - 1) * (k6 - 3) * (k6 - 5));
      BigSetUInt64(denominator, static_cast<uint64_t>(k) * static_cast<uint64_t>(k));
      BigMulWord(denominator, static_cast<Word>(k));
      BigMul(denominator, scale);
      MulBig(sum, numerator);
      DivBig(sum, denominator);
      Negate(sum);
      BigSetUInt64(numerator, 545140134u * static_cast<uint64_t>(k - 1) + 13591409u);
      SetBig(coefficient, numerator);
      AddTo(sum, coefficient);
      reached += kChudnovskyWordsPerTerm;
      SetPrecision(32 * std::min(words, static_cast<int32_t>(1 + reached)));
    }
  }
  SetWord(pi, 640320);
  Sqrt(pi);
  MulInt(pi, 53360);
  Div(pi, sum);
}

void ComputeSqrt2(BigFloat& value) {
  SetInt(value, 2);
  Sqrt(value);
}

void GetConstant(BigFloat& a, int32_t k, TCachedConstant& cache, void (*compute)(BigFloat&)) {
  if (cache.Bits < GetPrecision()) {
    compute(cache.Value);
    cache.Bits = GetPrecision();
  }
  Assign(a, cache.Value);
  MulPow2(a, k);
}

// Σ u^k / (f(1)·…·f(k)) over k ≥ 0 by rectangular splitting: the powers
// u^1 … u^m once, then blocks of m terms summed with exact integer cofactors
// and one division each, so only about 2√n products are of full length.
struct TSeries {
  void (*MulFactor)(BigInt& r, Word l);  // r ← r·f(l)
  double (*Log2Factor)(Word l);
};

void SeriesSum(BigFloat& sum, const BigFloat& u, const TSeries& series) {
  SetOne(sum);
  if (IsZero(u)) {
    return;
  }
  // Terms until one falls P + 2 bits below 1.
  const int32_t precision = GetPrecision();
  const double logU = static_cast<double>(BigBitSize(u.Mantissa)) + u.Exponent;
  int32_t n = 1;
  for (double logTerm = 0; logTerm >= -(precision + 2.0); ++n) {
    logTerm += logU - series.Log2Factor(static_cast<Word>(n));
  }
  const auto m = std::max<int32_t>(1, static_cast<int32_t>(std::sqrt(double(n))));
  const int32_t blocks = (n + m - 1) / m;
  FloatTemps t(m + 3);  // t[i] = u^i for i = 1 … m
  BigFloat& acc = t[m + 1];
  BigFloat& part = t[m + 2];
  Assign(t[1], u);
  for (int32_t i = 2; i <= std::min(m, n - 1); ++i) {
    Assign(t[i], t[i - 1]);
    Mul(t[i], u);
  }
  BigTemps bt(1);
  BigInt& cofactor = bt[0];
  SetZero(sum);
  for (int32_t j = blocks - 1; j >= 0; --j) {
    const int32_t top = std::min(m, n - j * m);
    // Block j reaches the sum scaled by u^(jm): it needs that many bits less.
    PrecisionScope blockScope(static_cast<int32_t>(
        std::max(128.0, precision + std::min(logU, 0.0) * j * m)));
    // acc = u^m·T(j+1) + Σ u^i·f(jm+i+1)…f(jm+top), T(j) = acc / f(jm+1)…f(jm+top).
    SetZero(acc);
    if (j + 1 < blocks) {
      Assign(acc, sum);
      Assign(part, t[m]);
      Mul(acc, part);
    }
    BigSetOne(cofactor);
    for (int32_t i = top - 1; i >= 0; --i) {
      series.MulFactor(cofactor, static_cast<Word>(j * m + i + 1));
      if (i == 0) {
        SetBig(part, cofactor);
      } else {
        Assign(part, t[i]);
        MulBig(part, cofactor);
      }
      AddTo(acc, part);
    }
    DivBig(acc, cofactor);
    Swap(sum, acc);
  }
}

void MulExpFactor(BigInt& r, Word l) { BigMulWord(r, l); }
double Log2ExpFactor(Word l) { return std::log2(double(l)); }
constexpr TSeries kExpSeries = {MulExpFactor, Log2ExpFactor};

void MulCosFactor(BigInt& r, Word l) {
  BigMulWord(r, 2 * l - 1);
  BigMulWord(r, 2 * l);
}
double Log2CosFactor(Word l) { return std::log2((2.0 * l - 1) * 2.0 * l); }
constexpr TSeries kCosSeries = {MulCosFactor, Log2CosFactor};

}  // namespace

void FreeFloatConstants() {
  cachedPi = TCachedConstant();
  cachedSqrt2 = TCachedConstant();
}

void GetPi(BigFloat& a, int32_t k) { GetConstant(a, k, cachedPi, ComputePi); }
void GetSqrt2(BigFloat& a, int32_t k) { GetConstant(a, k, cachedSqrt2, ComputeSqrt2); }

// exp(|x|/2^s) by Taylor's series with |x|/2^s below 2^-32, squared s times.
void Exp(BigFloat& a) {
  if (IsZero(a)) {
    SetOne(a);
    return;
  }
  const bool negative = IsNegative(a);
  {
    PrecisionScope scope(GetPrecision() + 32);
    FloatTemps t(1);
    BigFloat& sum = t[0];
    BigAbs(a.Mantissa);
    Normalize(a);
    const int64_t s = std::max<int64_t>(0, int64_t{BigBitSize(a.Mantissa)} + a.Exponent + 32);
    MulPow2(a, static_cast<int32_t>(-s));
    SeriesSum(sum, a, kExpSeries);
    for (int64_t i = 0; i < s; ++i) {
      Square(sum);
    }
    if (negative) {
      Reciprocal(sum);
    }
    Swap(a, sum);
  }
  Normalize(a);
}

// cos by its series at |x|/4 after reduction modulo π, then cos 2y twice; sin
// from √(1 − cos²).
void SinCos(BigFloat& s, BigFloat& c, const BigFloat& x, bool tangentInstead) {
  bool flip = false;
  {
    PrecisionScope scope(GetPrecision() + 32);
    FloatTemps t(4);
    BigFloat& y = t[0];
    BigFloat& pi = t[1];
    BigFloat& term = t[2];
    BigFloat& y2 = t[3];
    Assign(y, x);
    BigAbs(y.Mantissa);
    GetPi(pi, 0);
    if (CompareAbs(y, pi) >= 0) {
      Assign(term, y);
      Div(term, pi);
      TruncFraction(term);
      BigTemps q(1);
      ToBigInt(q[0], term);
      flip = BigIsOdd(q[0]);
      Mul(term, pi);
      SubFrom(y, term);
    }
    if (IsZero(y)) {
      SetInt(c, flip ? -1 : 1);
      SetZero(s);
    } else {
      MulPow2(y, -2);
      SquareOf(y2, y);
      Negate(y2);
      SeriesSum(c, y2, kCosSeries);
      for (int i = 0; i < 2; ++i) {
        Square(c);
        MulPow2(c, 1);
        Decrement(c);
      }
      if (flip) {
        Negate(c);
      }
      SquareOf(term, c);
      SetOne(s);
      SubFrom(s, term);
      // Rounding can leave 1 − cos² a hair below zero.
      if (IsNegative(s)) {
        SetZero(s);
      }
      Sqrt(s);
      if (IsNegative(x) != flip) {
        Negate(s);
      }
      if (tangentInstead) {
        Div(s, c);
      }
    }
  }
  Normalize(s);
  Normalize(c);
}

}  // namespace karvo
