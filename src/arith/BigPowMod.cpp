// Modular powering: left-to-right fixed windows over the odd powers, with
// plain, Montgomery or Barrett reduction of every product.

#include <bit>

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "arith/Montgomery.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// Lengths in words at which the automatic choice changes method. Odd
// moduli stay with Montgomery at every length: with REDC by products it
// takes 0.75-0.84 of Barrett's time from 400 to 6000 words, on the fast
// rows and on the portable loops alike.
constexpr int32_t PlainBelow = 4;
constexpr int32_t EvenBarrettFrom = 168;

// Residues modulo N·2^s, where N·2^s has its top bit set so that the long
// division needs no shifting; the factor 2^s comes out at the end.
class TPlainReducer {
 public:
  explicit TPlainReducer(const BigInt& N) : shifted_(modscratch::NormalizedModulus) {
    BigAssign(shifted_, N);
    shift_ = std::countl_zero(N.Words[N.Length - 1]);
    BigShiftLeft(shifted_, shift_);
  }

  void Enter(BigInt&) const {}
  void Leave(BigInt& x) const {
    BigShiftLeft(x, shift_);
    BigRem(x, shifted_);
    BigShiftRight(x, shift_);
  }
  void Assign(BigInt& dst, const BigInt& src) const { BigAssign(dst, src); }
  void Sqr(BigInt& x) const {
    BigSqr(x);
    BigRem(x, shifted_);
  }
  void Mul(BigInt& x, const BigInt& y) const {
    BigMul(x, y);
    BigRem(x, shifted_);
  }
  bool IsSingleWord(const BigInt& x) const { return x.Length <= 1; }
  void MulWord(BigInt& x, Word w) const {
    BigMulWord(x, w);
    BigRem(x, shifted_);
  }

 private:
  BigInt& shifted_;
  int shift_;
};

class TBarrettReducer {
 public:
  explicit TBarrettReducer(const BigInt& N) : N_(N), mu_(modscratch::NormalizedModulus) {
    BigReciprocal(mu_, N);
  }

  void Enter(BigInt&) const {}
  void Leave(BigInt&) const {}
  void Assign(BigInt& dst, const BigInt& src) const { BigAssign(dst, src); }
  void Sqr(BigInt& x) const {
    BigSqr(x);
    BigBarrettReduce(x, N_, mu_);
  }
  void Mul(BigInt& x, const BigInt& y) const {
    BigMul(x, y);
    BigBarrettReduce(x, N_, mu_);
  }
  bool IsSingleWord(const BigInt& x) const { return x.Length <= 1; }
  void MulWord(BigInt& x, Word w) const {
    BigMulWord(x, w);
    BigBarrettReduce(x, N_, mu_);
  }

 private:
  const BigInt& N_;
  BigInt& mu_;
};

// Montgomery residues, kept as exactly k words (Length k, the top words may
// be zero) below R but not always below N; the final conversion makes the
// value exact.
class TMontgomeryReducer {
 public:
  TMontgomeryReducer(const BigInt& N, BigInt& product, BigInt& rSquared)
      : field_(N, product, rSquared), k_(N.Length) {}

  void Enter(BigInt& x) const { field_.Enter(x, x); }
  void Leave(BigInt& x) const { field_.Leave(x); }
  void Assign(BigInt& dst, const BigInt& src) const {
    BigGrow(dst, k_);
    WordsCopy(src.Words, dst.Words, k_);
    dst.Length = k_;
    dst.Sign = 0;
  }
  void Sqr(BigInt& x) const { field_.SqrLazy(x.Words, x.Words); }
  void Mul(BigInt& x, const BigInt& y) const { field_.MulLazy(x.Words, x.Words, y.Words); }
  bool IsSingleWord(const BigInt& x) const {
    for (int32_t i = 1; i < k_; ++i) {
      if (x.Words[i] != 0) {
        return false;
      }
    }
    return true;
  }
  void MulWord(BigInt& x, Word w) const { field_.MulWordLazy(x.Words, x.Words, w); }

 private:
  TMontgomery field_;
  int32_t k_;
};

// x := x^e with every product reduced by the reducer; x is in the reducer's
// form, is neither 0 nor 1, and e ≥ 2.
template <class Reducer>
void PowerLoop(const Reducer& reducer, BigInt& x, const BigInt& e) {
  const int32_t bits = BigBitSize(e);
  const int32_t w = PowWindowSize(bits, BigPopCount(e));
  BigInt* const table = modscratch::Table;
  if (w >= 2) {
    BigTemps temps(1);
    BigInt& square = temps[0];
    reducer.Assign(table[0], x);
    reducer.Assign(square, x);
    reducer.Sqr(square);
    const int32_t entries = 1 << (w - 1);
    for (int32_t i = 1; i < entries; ++i) {
      reducer.Assign(table[i], table[i - 1]);
      reducer.Mul(table[i], square);
    }
    int32_t position = (bits + w - 1) / w * w - w;
    int32_t s;
    int32_t t;
    SplitOddPart(static_cast<int32_t>(BigBitField(e, position, w)), s, t);
    reducer.Assign(x, table[t]);
    for (int32_t i = 0; i < s; ++i) {
      reducer.Sqr(x);
    }
    while (position > 0) {
      CheckPoll();
      position -= w;
      const auto v = static_cast<int32_t>(BigBitField(e, position, w));
      if (v == 0) {
        for (int32_t i = 0; i < w; ++i) {
          reducer.Sqr(x);
        }
        continue;
      }
      SplitOddPart(v, s, t);
      for (int32_t i = s; i < w; ++i) {
        reducer.Sqr(x);
      }
      reducer.Mul(x, table[t]);
      for (int32_t i = 0; i < s; ++i) {
        reducer.Sqr(x);
      }
    }
    return;
  }
  if (reducer.IsSingleWord(x)) {
    const Word base = x.Words[0];
    for (int32_t bit = bits - 2; bit >= 0; --bit) {
      CheckPoll();
      reducer.Sqr(x);
      if (BigTestBit(e, bit)) {
        reducer.MulWord(x, base);
      }
    }
    return;
  }
  reducer.Assign(table[0], x);
  for (int32_t bit = bits - 2; bit >= 0; --bit) {
    CheckPoll();
    reducer.Sqr(x);
    if (BigTestBit(e, bit)) {
      reducer.Mul(x, table[0]);
    }
  }
}

template <class Reducer>
void PowerWith(const Reducer& reducer, BigInt& x, const BigInt& e) {
  reducer.Enter(x);
  PowerLoop(reducer, x, e);
  reducer.Leave(x);
}

// 2^e for e ≥ 2 with residues kept below N: a doubling is one addition and
// at most one subtraction, so the set bits of e cost next to nothing (the
// strong base-2 test spends its time here) and no window table is built.
void PowerOfTwo(const TMontgomery& field, BigInt& x, const BigInt& e) {
  field.Enter(x, x);
  for (int32_t bit = BigBitSize(e) - 2; bit >= 0; --bit) {
    CheckPoll();
    field.Sqr(x.Words, x.Words);
    if (BigTestBit(e, bit)) {
      field.Add(x.Words, x.Words, x.Words);
    }
  }
  field.Leave(x);
}

// BigPowMod after its argument checks: e ≥ 0, N ≥ 1.
void PowModChecked(BigInt& x, const BigInt& exponent, const BigInt& modulus, int32_t method) {
  if (method < PowModAuto || method > PowModBarrett) {
    InternalError(1000, 39, 1);
  }
  CheckPoll();
  if (BigIsOne(modulus)) {
    BigSetZero(x);
    return;
  }
  if (exponent.Length == 0) {
    BigSetOne(x);
    return;
  }
  // The result overwrites x, so an exponent or modulus in the same record is
  // copied first.
  BigTemps temps(4);
  const BigInt* e = &exponent;
  const BigInt* N = &modulus;
  if (e == &x) {
    BigAssign(temps[0], x);
    e = &temps[0];
  }
  if (N == &x) {
    BigAssign(temps[1], x);
    N = &temps[1];
  }
  if (x.Sign != 0 || x.Length >= N->Length) {
    BigMod(x, *N);
  }
  if (BigIsOne(*e) || x.Length == 0 || BigIsOne(x)) {
    return;
  }
  if (method == PowModAuto || (method == PowModMontgomery && !BigIsOdd(*N))) {
    method = PowModMethodFor(*N);
  }
  switch (method) {
    case PowModPlain:
      PowerWith(TPlainReducer(*N), x, *e);
      break;
    case PowModMontgomery:
      if (BigEqualsWord(x, 2)) {
        PowerOfTwo(TMontgomery(*N, temps[2], temps[3]), x, *e);
      } else {
        PowerWith(TMontgomeryReducer(*N, temps[2], temps[3]), x, *e);
      }
      break;
    default:
      PowerWith(TBarrettReducer(*N), x, *e);
      break;
  }
}

}  // namespace

int32_t PowModMethodFor(const BigInt& N) {
  const int32_t k = N.Length;
  if (k < PlainBelow) {
    return PowModPlain;
  }
  if (BigIsOdd(N)) {
    return PowModMontgomery;
  }
  return k < EvenBarrettFrom ? PowModPlain : PowModBarrett;
}

int32_t PowWindowSize(int32_t bits, int32_t weight) {
  if (bits < 1) {
    InternalError(1000, 11, 1);
  }
  // The first exponent size of each width 2..8.
  static constexpr int32_t widthFrom[] = {9, 25, 70, 197, 539, 1434, 3715};
  int32_t w = 1;
  for (int32_t from : widthFrom) {
    if (bits >= from) {
      ++w;
    }
  }
  // A sparse exponent costs fewer products bit by bit than the table does.
  if (w >= 2 && weight >= 0 && weight <= (1 << (w - 1)) + (bits + w - 1) / w) {
    w = 1;
  }
  return w;
}

void SplitOddPart(int32_t v, int32_t& s, int32_t& t) {
  if (v < 1) {
    InternalError(1000, 10, 1);
  }
  s = std::countr_zero(static_cast<uint32_t>(v));
  t = (v >> s) >> 1;
}

void BigPowMod(BigInt& x, const BigInt& e, const BigInt& N, int32_t method) {
  if (e.Sign != 0) {
    InternalError(1000, 21, 1);
  }
  if (N.Sign != 0 || N.Length == 0) {
    InternalError(1000, 21, 2);
  }
  PowModChecked(x, e, N, method);
}

void BigPowModWord(BigInt& x, Word e, const BigInt& N, int32_t method) {
  if (N.Sign != 0 || N.Length == 0) {
    InternalError(1000, 22, 1);
  }
  BigSetWord(modscratch::WordExponent, e);
  PowModChecked(x, modscratch::WordExponent, N, method);
}

}  // namespace karvo
