#include "classpolys/BigFloat.h"

#include <algorithm>

#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "classpolys/BigFloatInternal.h"

namespace karvo {

namespace {

int32_t precision = 128;

// c ← a ± b; false exactly when b is zero or more than P bits below a.
bool AddSigned(BigFloat& c, const BigFloat& a, const BigFloat& b, bool subtract) {
  if (IsZero(b)) {
    Assign(c, a);
    return false;
  }
  if (IsZero(a)) {
    Assign(c, b);
    if (subtract) {
      Negate(c);
    }
    return true;
  }
  const int64_t magA = int64_t{BigBitSize(a.Mantissa)} + a.Exponent;
  const int64_t magB = int64_t{BigBitSize(b.Mantissa)} + b.Exponent;
  if (magA - magB > precision) {
    Assign(c, a);
    return false;
  }
  if (magB - magA > precision) {
    Assign(c, b);
    if (subtract) {
      Negate(c);
    }
    return true;
  }
  // Exact sum at the smaller exponent, rounded once.
  BigTemps t(1);
  BigInt& sum = t[0];
  int32_t exponent = 0;
  if (a.Exponent >= b.Exponent) {
    BigAssign(sum, a.Mantissa);
    BigShiftLeft(sum, int64_t{a.Exponent} - b.Exponent);
    subtract ? BigSub(sum, b.Mantissa) : BigAdd(sum, b.Mantissa);
    exponent = b.Exponent;
  } else {
    BigAssign(sum, b.Mantissa);
    BigShiftLeft(sum, int64_t{b.Exponent} - a.Exponent);
    if (subtract) {
      BigNegate(sum);
    }
    BigAdd(sum, a.Mantissa);
    exponent = a.Exponent;
  }
  BigSwap(c.Mantissa, sum);
  c.Exponent = exponent;
  Normalize(c);
  return true;
}

}  // namespace

void SetPrecision(int32_t bits) {
  if (bits < 0) {
    InternalError(1001, 14, 1);
  }
  precision = bits <= 128 ? 128 : (bits + 31) / 32 * 32;
}

int32_t GetPrecision() { return precision; }

template <class T>
int32_t TFloatPool<T>::Take(int32_t count) {
  const int32_t mark = mark_;
  const auto needed = static_cast<size_t>(mark_ + count);
  if (needed > records_.size()) {
    const size_t grown = (needed + 15) & ~size_t{15};
    while (records_.size() < grown) {
      records_.push_back(std::make_unique<T>());
    }
  }
  for (int32_t i = mark_; i < mark_ + count; ++i) {
    SetZero(At(i));
  }
  mark_ += count;
  return mark;
}

template <class T>
void TFloatPool<T>::Trim() {
  for (size_t i = static_cast<size_t>(mark_); i < records_.size(); ++i) {
    *records_[i] = T();
  }
}

template class TFloatPool<BigFloat>;
template class TFloatPool<BigComplex>;

TFloatPool<BigFloat>& FloatPool() {
  static TFloatPool<BigFloat> pool;
  return pool;
}

TFloatPool<BigComplex>& ComplexPool() {
  static TFloatPool<BigComplex> pool;
  return pool;
}

namespace {
template <class T>
TFloatPool<T>& PoolOf();
template <>
TFloatPool<BigFloat>& PoolOf<BigFloat>() { return FloatPool(); }
template <>
TFloatPool<BigComplex>& PoolOf<BigComplex>() { return ComplexPool(); }
}  // namespace

template <class T>
TPoolTemps<T>::TPoolTemps(int32_t count) : mark_(PoolOf<T>().Take(count)) {}

template <class T>
TPoolTemps<T>::~TPoolTemps() {
  PoolOf<T>().Release(mark_);
}

template <class T>
T& TPoolTemps<T>::operator[](int32_t i) {
  return PoolOf<T>().At(mark_ + i);
}

template class TPoolTemps<BigFloat>;
template class TPoolTemps<BigComplex>;

void FloatShutdown() {
  FloatPool().Free();
  ComplexPool().Free();
  FreeFloatConstants();
}

void Normalize(BigFloat& a) {
  const int32_t length = BigBitSize(a.Mantissa);
  if (length == 0) {
    a.Exponent = 0;
  } else if (length < precision) {
    BigShiftLeft(a.Mantissa, precision - length);
    a.Exponent -= precision - length;
  } else if (length > precision) {
    const int32_t drop = length - precision;
    const bool half = BigTestBit(a.Mantissa, drop - 1);
    BigShiftRight(a.Mantissa, drop);
    a.Exponent += drop;
    if (half && BigIsOdd(a.Mantissa)) {
      IsNegative(a) ? BigSubWord(a.Mantissa, 1) : BigAddWord(a.Mantissa, 1);
      if (BigBitSize(a.Mantissa) > precision) {
        BigShiftRight(a.Mantissa, 1);
        ++a.Exponent;
      }
    }
  }
}

void Assign(BigFloat& a, const BigFloat& b) {
  if (&a != &b) {
    BigAssign(a.Mantissa, b.Mantissa);
    a.Exponent = b.Exponent;
  }
  Normalize(a);
}

void SetZero(BigFloat& a) {
  BigSetZero(a.Mantissa);
  a.Exponent = 0;
}

void SetOne(BigFloat& a) { SetInt(a, 1); }
void SetMinusOne(BigFloat& a) { SetInt(a, -1); }

void SetInt(BigFloat& a, int32_t k) {
  BigSetInt(a.Mantissa, k);
  a.Exponent = 0;
  Normalize(a);
}

void SetWord(BigFloat& a, Word k) {
  BigSetWord(a.Mantissa, k);
  a.Exponent = 0;
  Normalize(a);
}

void SetBig(BigFloat& a, const BigInt& n) {
  BigAssign(a.Mantissa, n);
  a.Exponent = 0;
  Normalize(a);
}

void Swap(BigFloat& a, BigFloat& b) {
  BigSwap(a.Mantissa, b.Mantissa);
  std::swap(a.Exponent, b.Exponent);
}

void Negate(BigFloat& a) { BigNegate(a.Mantissa); }

void Add(BigFloat& c, const BigFloat& a, const BigFloat& b) { AddSigned(c, a, b, false); }
void Sub(BigFloat& c, const BigFloat& a, const BigFloat& b) { AddSigned(c, a, b, true); }
bool AddTo(BigFloat& a, const BigFloat& b) { return AddSigned(a, a, b, false); }
bool SubFrom(BigFloat& a, const BigFloat& b) { return AddSigned(a, a, b, true); }

bool AddInt(BigFloat& a, int32_t k) {
  FloatTemps t(1);
  SetInt(t[0], k);
  return AddTo(a, t[0]);
}

bool SubInt(BigFloat& a, int32_t k) {
  FloatTemps t(1);
  SetInt(t[0], k);
  return SubFrom(a, t[0]);
}

bool Increment(BigFloat& a) { return AddInt(a, 1); }
bool Decrement(BigFloat& a) { return AddInt(a, -1); }

void Mul(BigFloat& a, const BigFloat& b) {
  const int32_t exponent = a.Exponent + b.Exponent;
  BigMul(a.Mantissa, b.Mantissa);
  a.Exponent = exponent;
  Normalize(a);
}

void MulInt(BigFloat& a, int32_t k) {
  BigMulInt(a.Mantissa, k);
  Normalize(a);
}

void MulBig(BigFloat& a, const BigInt& n) {
  BigMul(a.Mantissa, n);
  Normalize(a);
}

void MulPow2(BigFloat& a, int32_t k) {
  if (!IsZero(a)) {
    a.Exponent += k;
  }
}

void Square(BigFloat& a) {
  BigSqr(a.Mantissa);
  a.Exponent *= 2;
  Normalize(a);
}

void SquareOf(BigFloat& c, const BigFloat& a) {
  BigSqrTo(c.Mantissa, a.Mantissa);
  c.Exponent = 2 * a.Exponent;
  Normalize(c);
}

// a ← a / (d·2^dExponent), d non-zero and not a's mantissa. The dividend
// gets P + 1 bits more than the divisor, so the truncated quotient has
// at least P + 1.
void DivideBy(BigFloat& a, const BigInt& d, int32_t dExponent) {
  if (IsZero(a)) {
    return;
  }
  const int64_t shift = int64_t{BigBitSize(d)} + 1 + precision - 32 * int64_t{a.Mantissa.Length};
  if (shift > 0) {
    BigShiftLeft(a.Mantissa, shift);
    a.Exponent -= static_cast<int32_t>(shift);
  }
  a.Exponent -= dExponent;
  BigDiv(a.Mantissa, d);
  Normalize(a);
}

void Div(BigFloat& a, const BigFloat& b) {
  if (IsZero(b)) {
    InternalError(1001, 2, 1);
  }
  if (&a == &b) {
    SetOne(a);
    return;
  }
  DivideBy(a, b.Mantissa, b.Exponent);
}

void DivBig(BigFloat& a, const BigInt& n) {
  if (BigIsZero(n)) {
    InternalError(1001, 4, 1);
  }
  DivideBy(a, n, 0);
}

void DivInt(BigFloat& a, int32_t k) {
  if (k == 0) {
    InternalError(1001, 5, 1);
  }
  DivWord(a, static_cast<Word>(k < 0 ? -int64_t{k} : k));
  if (k < 0) {
    Negate(a);
  }
}

void DivWord(BigFloat& a, Word k) {
  if (k == 0) {
    InternalError(1001, 6, 1);
  }
  BigTemps t(1);
  BigSetWord(t[0], k);
  DivideBy(a, t[0], 0);
}

namespace {

// c := 1/b, c and b may be the same record; routine names the caller in the
// internal error of a zero b.
void ReciprocalOf(BigFloat& c, const BigFloat& b, int32_t routine) {
  if (IsZero(b)) {
    InternalError(1001, routine, 1);
  }
  FloatTemps t(1);
  SetOne(t[0]);
  DivideBy(t[0], b.Mantissa, b.Exponent);
  Swap(c, t[0]);
}

}  // namespace

void Reciprocal(BigFloat& a) { ReciprocalOf(a, a, 7); }

void InverseOf(BigFloat& c, const BigFloat& b) { ReciprocalOf(c, b, 8); }

void Sqrt(BigFloat& a) {
  if (IsNegative(a)) {
    InternalError(1001, 15, 1);
  }
  if (IsZero(a)) {
    return;
  }
  // 2P + 1 or 2P + 2 bits, whichever leaves an even exponent.
  int64_t shift = 2 * int64_t{precision} + 1 - BigBitSize(a.Mantissa);
  if (((a.Exponent - shift) & 1) != 0) {
    ++shift;
  }
  shift >= 0 ? BigShiftLeft(a.Mantissa, shift) : BigShiftRight(a.Mantissa, -shift);
  a.Exponent = static_cast<int32_t>((a.Exponent - shift) / 2);
  BigIsqrt(a.Mantissa);
  Normalize(a);
}

int Compare(const BigFloat& a, const BigFloat& b) {
  const int signA = IsZero(a) ? 0 : (IsNegative(a) ? -1 : 1);
  const int signB = IsZero(b) ? 0 : (IsNegative(b) ? -1 : 1);
  if (signA != signB) {
    return signA < signB ? -1 : 1;
  }
  return signA * CompareAbs(a, b);
}

int CompareAbs(const BigFloat& a, const BigFloat& b) {
  if (IsZero(a) || IsZero(b)) {
    return IsZero(a) ? (IsZero(b) ? 0 : -1) : 1;
  }
  const int32_t lengthA = BigBitSize(a.Mantissa);
  const int32_t lengthB = BigBitSize(b.Mantissa);
  const int64_t magA = int64_t{lengthA} + a.Exponent;
  const int64_t magB = int64_t{lengthB} + b.Exponent;
  if (magA != magB) {
    return magA < magB ? -1 : 1;
  }
  // Whole words: the top words of both stand at the same weight.
  if (lengthA % 32 != 0) {
    InternalError(1001, 1, 1);
  }
  if (lengthB % 32 != 0) {
    InternalError(1001, 1, 2);
  }
  const int32_t na = a.Mantissa.Length;
  const int32_t nb = b.Mantissa.Length;
  const int32_t n = std::min(na, nb);
  const int c = WordsCompare(a.Mantissa.Words + na - n, b.Mantissa.Words + nb - n, n);
  if (c != 0) {
    return c;
  }
  const BigInt& longer = na > nb ? a.Mantissa : b.Mantissa;
  for (int32_t i = 0; i < longer.Length - n; ++i) {
    if (longer.Words[i] != 0) {
      return na > nb ? 1 : -1;
    }
  }
  return 0;
}

void ToBigInt(BigInt& n, const BigFloat& a) {
  BigAssign(n, a.Mantissa);
  if (a.Exponent >= 0) {
    BigShiftLeft(n, a.Exponent);
    return;
  }
  const int64_t shift = -int64_t{a.Exponent};
  if (shift > BigBitSize(n)) {
    BigSetZero(n);
    return;
  }
  const bool half = BigTestBit(n, static_cast<int32_t>(shift - 1));
  BigShiftRight(n, shift);
  if (half) {
    IsNegative(a) ? BigSubWord(n, 1) : BigAddWord(n, 1);
  }
}

void TruncFraction(BigFloat& a) {
  if (a.Exponent < 0) {
    if (-int64_t{a.Exponent} >= BigBitSize(a.Mantissa)) {
      SetZero(a);
      return;
    }
    BigShiftRight(a.Mantissa, -int64_t{a.Exponent});
    a.Exponent = 0;
  }
  Normalize(a);
}

}  // namespace karvo
