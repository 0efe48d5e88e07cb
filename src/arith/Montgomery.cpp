#include "arith/Montgomery.h"

#include <algorithm>

#include "arith/BigMod.h"
#include "arith/WordsLimbs.h"
#include "arith/WordsRedc.h"
#include "arith/WordsThresholds.h"

namespace karvo {

using limbs::DLimb;
using limbs::Limb;

TMontgomery::TMontgomery(const BigInt& N, BigInt& product, BigInt& rSquared)
    : N_(N), k_(N.Length), product_(product), rSquared_(rSquared) {
  BigGrow(product_, 3 * k_ + 3);
  // An odd length keeps N with a zero word on top after the product, as the
  // whole limbs that the fast REDC rows take.
  Word* padded = product_.Words + 2 * k_ + 2;
  WordsCopy(N.Words, padded, k_);
  padded[k_] = 0;
  // -N^-1 mod 2^128 by two Newton steps from the word inverse (only the bits
  // that N has are exact, and only those are used).
  DLimb low = N.Words[0];
  for (int32_t i = 1; i < 4 && i < k_; ++i) {
    low |= DLimb{N.Words[i]} << (32 * i);
  }
  DLimb inverse = WordInverse(N.Words[0]);
  inverse *= 2 - low * inverse;
  inverse *= 2 - low * inverse;
  minusInverse_ = 0 - inverse;
  BigSetBit(rSquared, 64 * k_);
  BigRem(rSquared, N);
  BigGrow(rSquared, k_);
  WordsFill(0, rSquared.Words + rSquared.Length, k_ - rSquared.Length);
  if (k_ >= RedcByProductsFrom) {
    redcScratch_.resize(static_cast<size_t>(WordsRedcScratchSize(k_)));
    minusInverseWords_.resize(static_cast<size_t>(k_));
    WordsMinusInverse(minusInverseWords_.data(), N.Words, k_, redcScratch_.data());
  }
}

void TMontgomery::MulLazy(Word* r, const Word* a, const Word* b) const {
  WordsMul(product_.Words, a, b, k_);
  Reduce(r);
}

void TMontgomery::SqrLazy(Word* r, const Word* a) const {
  WordsSqr(product_.Words, a, k_);
  Reduce(r);
}

void TMontgomery::MulWordLazy(Word* r, const Word* a, Word w) const {
  Word* t = product_.Words;
  t[k_] = WordsMulWord(t, a, k_, w);
  WordsFill(0, t + k_ + 1, k_ - 1);
  Reduce(r);
}

// Operands below N make a product below N·R, whose REDC lies below 2N.
void TMontgomery::Mul(Word* r, const Word* a, const Word* b) const {
  MulLazy(r, a, b);
  Canonical(r);
}

void TMontgomery::Sqr(Word* r, const Word* a) const {
  SqrLazy(r, a);
  Canonical(r);
}

void TMontgomery::Add(Word* r, const Word* a, const Word* b) const {
  if (limbs::AddN(r, a, b, k_) != 0 || WordsCompare(r, N_.Words, k_) >= 0) {
    limbs::SubN(r, r, N_.Words, k_);
  }
}

void TMontgomery::Sub(Word* r, const Word* a, const Word* b) const {
  if (limbs::SubN(r, a, b, k_) != 0) {
    limbs::AddN(r, r, N_.Words, k_);
  }
}

void TMontgomery::Half(Word* r, const Word* a) const {
  Word carry = 0;
  if ((a[0] & 1) != 0) {
    carry = limbs::AddN(r, a, N_.Words, k_);
  } else {
    WordsCopy(a, r, k_);
  }
  WordsShiftRightBits(r, k_, 1);
  r[k_ - 1] |= carry << 31;
}

bool TMontgomery::IsZero(const Word* a) const {
  for (int32_t i = 0; i < k_; ++i) {
    if (a[i] != 0) {
      return false;
    }
  }
  return true;
}

namespace {

// {r, n} := {a, n} + D·{b, n}; returns the signed word above.
int64_t AddIntMultiple(Word* r, const Word* a, const Word* b, int32_t n, int32_t D) {
  int64_t carry = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int64_t t = int64_t{a[i]} + carry + int64_t{D} * int64_t{b[i]};
    r[i] = static_cast<Word>(t);
    carry = t >> 32;
  }
  return carry;
}

}  // namespace

void TMontgomery::AddSmallMultiple(Word* r, const Word* a, const Word* b, int32_t D) const {
  ReduceWithTop(r, AddIntMultiple(r, a, b, k_, D));
}

// The quotient comes from the top 32 bits of N against the same bits of the
// value, rounded down; a correction or two remains at most.
void TMontgomery::ReduceWithTop(Word* r, int64_t top) const {
  const Word* n = N_.Words;
  const int32_t k = k_;
  const uint64_t nLow = k >= 2 ? n[k - 2] : 0;
  const uint64_t rLow = k >= 2 ? r[k - 2] : 0;
  const int shift = 32 - __builtin_clz(n[k - 1]);
  const auto nTop = static_cast<int64_t>(((uint64_t{n[k - 1]} << 32) | nLow) >> shift);
  const __int128 value =
      static_cast<__int128>(top) * (__int128{1} << 64) + ((uint64_t{r[k - 1]} << 32) | rLow);
  const auto xTop = static_cast<int64_t>(value >> shift);
  int64_t q = xTop / (nTop + 1);
  if (q * (nTop + 1) > xTop) {
    --q;
  }
  if (q != 0) {
    top += AddIntMultiple(r, r, n, k, static_cast<int32_t>(-q));
  }
  while (top < 0) {
    top += limbs::AddN(r, r, n, k);
  }
  while (top > 0 || WordsCompare(r, n, k) >= 0) {
    top -= limbs::SubN(r, r, n, k);
  }
}

bool TMontgomery::FitsSquareSum(int32_t D) const {
  const uint64_t m = D < 0 ? 0 - static_cast<uint64_t>(D) : std::max<uint64_t>(D, 1);
  return (uint64_t{N_.Words[k_ - 1]} + 1) * (m + 1) <= uint64_t{1} << 32;
}

// (|D| + 1)·N < R keeps U + V below R and both (U + V)^2 - U^2 - V^2 = 2UV
// and V^2 + D·U^2 below N·R for D > 0, whose REDCs lie below 2N. For D < 0,
// N·R is added to make the sum positive: it is then below N^2 + N·R and its
// REDC below 3N. Otherwise U·V is a product of its own, and the word of the
// sum above 2k words comes back as that many times R mod N.
void TMontgomery::LucasDouble(Word* u, Word* v, int32_t D, const Word* one,
                              Word* scratch) const {
  const int32_t k = k_;
  const Word* n = N_.Words;
  Word* uu = scratch;
  Word* vv = scratch + 2 * k;
  Word* sum = scratch + 4 * k;
  Word* t = product_.Words;
  const bool fits = FitsSquareSum(D);
  WordsSqr(uu, u, k);
  WordsSqr(vv, v, k);
  if (fits) {
    limbs::AddN(sum, u, v, k);
    WordsSqr(t, sum, k);
    limbs::SubN(t, t, uu, 2 * k);
    limbs::SubN(t, t, vv, 2 * k);
    Reduce(u);
    Canonical(u);
    Half(u, u);
  } else {
    Mul(u, u, v);
  }
  const int64_t top = AddIntMultiple(t, vv, uu, 2 * k, D);
  if (fits) {
    if (top != 0) {
      limbs::AddN(t + k, t + k, n, k);
    }
    Reduce(v);
    while (WordsCompare(v, n, k) >= 0) {
      limbs::SubN(v, v, n, k);
    }
  } else {
    Reduce(v);
    ReduceWithTop(v, 0);
    AddSmallMultiple(v, v, one, static_cast<int32_t>(top));
  }
  Half(v, v);
}

void TMontgomery::Enter(BigInt& r, const BigInt& x) const {
  if (&r != &x) {
    BigAssign(r, x);
  }
  BigMod(r, N_);
  BigGrow(r, k_);
  WordsFill(0, r.Words + r.Length, k_ - r.Length);
  r.Length = k_;
  r.Sign = 0;
  Mul(r.Words, r.Words, rSquared_.Words);
}

void TMontgomery::Leave(BigInt& x) const {
  Word* t = product_.Words;
  WordsCopy(x.Words, t, k_);
  WordsFill(0, t + k_, k_);
  Reduce(x.Words);
  if (WordsCompare(x.Words, N_.Words, k_) >= 0) {
    limbs::SubN(x.Words, x.Words, N_.Words, k_);
  }
  x.Length = k_;
  BigNormalize(x);
}

void TMontgomery::One(BigInt& r) const {
  BigSetOne(r);
  Enter(r, r);
}

void TMontgomery::Canonical(Word* r) const {
  if (WordsCompare(r, N_.Words, k_) >= 0) {
    limbs::SubN(r, r, N_.Words, k_);
  }
}

// Short even lengths go by columns on mulx, longer ones and odd ones by the
// fast rows. The portable steps clear four words with a 128-bit multiplier,
// then two and one at the end as k requires. The carry of each row or step,
// due k words (k + 1 for odd rows) above its start, is parked in the words
// it has just cleared and all of them are added at the end. No step reads a
// word at or above k, so the late carries change nothing that a step
// depends on.
void TMontgomery::Reduce(Word* r) const {
  if (!minusInverseWords_.empty()) {
    WordsRedcByProducts(r, product_.Words, N_.Words, minusInverseWords_.data(), k_,
                        redcScratch_.data());
    return;
  }
  Word* t = product_.Words;
  const Word* n = N_.Words;
  const int32_t k = k_;
  const auto inverse = static_cast<Limb>(minusInverse_);
  // The result below 2^(32k), and the word above it.
  Word* result = t + k;
  Word top;
  if (limbs::UseAdxRows && k % 2 == 0 && k <= AdxRedcColumnsTo) {
    result = r;
    top = static_cast<Word>(limbs::ColumnRedc(r, t, n, k >> 1, inverse));
  } else if (limbs::UseAdxRows && k % 2 == 0 && k >= AdxRedcFrom) {
    limbs::AdxRedcRows(t, n, k >> 1, k >> 1, inverse);
    top = WordsAddN(t + k, t, k);
  } else if (limbs::UseAdxRows && k >= AdxRedcFrom) {
    // Limb rows over N and its zero top word clear k - 1 words, one
    // 32-bit step the last.
    limbs::AdxRedcRows(t, t + 2 * k + 2, (k + 1) >> 1, (k - 1) >> 1, inverse);
    const Word u = t[k - 1] * static_cast<Word>(inverse);
    const uint64_t sum = uint64_t{t[2 * k - 1]} + WordsAddMulWord(t + k - 1, n, k, u);
    t[2 * k - 1] = static_cast<Word>(sum);
    top = static_cast<Word>(sum >> 32) + WordsAddN(t + k + 1, t, k - 1);
  } else {
    top = ReducePortable(t);
  }
  if (top != 0) {
    limbs::SubN(r, result, n, k);
  } else if (result != r) {
    WordsCopy(result, r, k);
  }
}

Word TMontgomery::ReducePortable(Word* t) const {
  const Word* n = N_.Words;
  const int32_t k = k_;
  int32_t i = 0;
  for (; i + 4 <= k; i += 4) {
    const DLimb low = (DLimb{limbs::Load64(t + i + 2)} << 64) | limbs::Load64(t + i);
    const DLimb u = low * minusInverse_;
    limbs::AddMul2(t + i, n, k, static_cast<Limb>(u), static_cast<Limb>(u >> 64), t + i);
  }
  if (i + 2 <= k) {
    const Limb u = limbs::Load64(t + i) * static_cast<Limb>(minusInverse_);
    limbs::Store64(t + i, limbs::AddMul1(t + i, n, k, u));
    i += 2;
  }
  if (i == k) {
    return WordsAddN(t + k, t, k);
  }
  const Word u = t[k - 1] * static_cast<Word>(minusInverse_);
  const Word carry = WordsAddMulWord(t + k - 1, n, k, u);
  const Word parked = WordsAddN(t + k, t, k - 1);
  const uint64_t sum = uint64_t{t[2 * k - 1]} + carry + parked;
  t[2 * k - 1] = static_cast<Word>(sum);
  return static_cast<Word>(sum >> 32);
}

}  // namespace karvo
