// Products and squares: schoolbook, Karatsuba, the dispatchers and their
// scratch.

#include <algorithm>
#include <vector>

#include "arith/Words.h"
#include "arith/WordsLimbs.h"
#include "arith/WordsThresholds.h"

namespace karvo {

using limbs::Accumulate;
using limbs::AddCarry;
using limbs::DLimb;
using limbs::Limb;
using limbs::Load64;
using limbs::MulWide;
using limbs::Store64;

namespace {

// Stores the 128-bit top of a row pair, or its low 96 bits when the top
// word lies past the product (b1 was the half-limb end of an odd operand, so
// that word is zero).
inline void StoreTop(Word* p, Limb lo, Limb hi, bool halfTop) {
  Store64(p, lo);
  if (halfTop) {
    p[2] = static_cast<Word>(hi);
  } else {
    Store64(p + 2, hi);
  }
}

// {r, n+4} := [{r, n} +] {a, n}·(b0 + b1·2^64) for n ≥ 2: two schoolbook rows
// in one pass, so r is loaded and stored once per two products. The four
// words above word n-1 go to top, normally r + n. With
// skipFirst the b1 row leaves out a[0..1]·b1, as a triangle of cross
// products needs (there that product is a square). Kept out of line: inlined
// into its callers' loops it runs out of registers and takes twice as long.
template <bool AddToDst>
[[gnu::noinline]] void MulRows2(Word* r, const Word* a, int32_t n, Limb b0, Limb b1, bool halfTop,
                                bool skipFirst, Word* top) {
  const Limb a0 = Load64(a);
  Limb lo;
  Limb hi;
  MulWide(a0, b0, lo, hi);
  if constexpr (AddToDst) {
    Accumulate(lo, hi, Load64(r));
  }
  Store64(r, lo);
  Limb c0 = hi;
  Limb c1 = 0;
  Limb below = skipFirst ? 0 : a0;
  const int32_t even = n & ~1;
  for (int32_t i = 2; i < even; i += 2) {
    const Limb x = Load64(a + i);
    MulWide(x, b0, lo, hi);
    if constexpr (AddToDst) {
      Accumulate(lo, hi, Load64(r + i));
    }
    Accumulate(lo, hi, c0);
    c0 = hi;
    Limb lo1;
    Limb hi1;
    MulWide(below, b1, lo1, hi1);
    Accumulate(lo1, hi1, lo);
    Accumulate(lo1, hi1, c1);
    c1 = hi1;
    Store64(r + i, lo1);
    below = x;
  }
  MulWide(below, b1, lo, hi);
  Accumulate(lo, hi, c0);
  Accumulate(lo, hi, c1);
  if (n == even) {
    StoreTop(top, lo, hi, halfTop);
    return;
  }
  // A 32-bit top word x of a: word n-1 gets the low word of
  // (hi, lo) + x·b0 [+ r[n-1]], which can pass 128 bits, so a third limb
  // holds its carry; x·b1 then joins one word further up.
  const Limb x = a[even];
  Limb xLo;
  Limb xHi;
  MulWide(x, b0, xLo, xHi);
  if constexpr (AddToDst) {
    Accumulate(xLo, xHi, r[even]);
  }
  unsigned char carry = 0;
  lo = AddCarry(lo, xLo, carry);
  hi = AddCarry(hi, xHi, carry);
  r[even] = static_cast<Word>(lo);
  Limb top0 = (lo >> 32) | (hi << 32);
  Limb top1 = (hi >> 32) | (Limb{carry} << 32);
  MulWide(x, b1, xLo, xHi);
  carry = 0;
  top0 = AddCarry(top0, xLo << 32, carry);
  top1 = AddCarry(top1, (xHi << 32) | (xLo >> 32), carry);
  StoreTop(top, top0, top1, halfTop);
}

// Products of one or two words each: a single hardware product.
void SmallProduct(Word* dst, const Word* a, const Word* b, int32_t bn, int32_t an) {
  if (an == 1) {
    Store64(dst, DWord{a[0]} * b[0]);
    return;
  }
  const DLimb p = DLimb{Load64(a)} * (bn == 1 ? Limb{b[0]} : Load64(b));
  Store64(dst, static_cast<Limb>(p));
  if (bn == 1) {
    dst[2] = static_cast<Word>(p >> 64);
  } else {
    Store64(dst + 2, static_cast<Limb>(p >> 64));
  }
}

// Odd lengths by columns take a zero word on top of each operand; the limb
// of the result above 2n words is then zero. a = b makes a square.
void ColumnsOddLength(Word* dst, const Word* a, const Word* b, int32_t n) {
  constexpr int32_t longest = 2 * ColumnLimbsTo;
  Word paddedA[longest];
  Word paddedB[longest];
  Word product[2 * longest];
  WordsCopy(a, paddedA, n);
  paddedA[n] = 0;
  if (a == b) {
    limbs::ColumnSqr(product, paddedA, (n + 1) >> 1);
  } else {
    WordsCopy(b, paddedB, n);
    paddedB[n] = 0;
    limbs::ColumnMul(product, paddedA, paddedB, (n + 1) >> 1);
  }
  WordsCopy(product, dst, 2 * n);
}

}  // namespace

void WordsMulBasecase(Word* dst, const Word* a, const Word* b, int32_t bn, int32_t an) {
  if (limbs::UseAdxRows && an == bn && an >= AdxMulColumnsFrom && an <= AdxMulColumnsTo) {
    if ((an & 1) == 0) {
      limbs::ColumnMul(dst, a, b, an >> 1);
    } else {
      ColumnsOddLength(dst, a, b, an);
    }
    return;
  }
  if (an <= 2) {
    SmallProduct(dst, a, b, bn, an);
    return;
  }
  if (bn == 1) {
    dst[an] = static_cast<Word>(limbs::Mul1(dst, a, an, b[0]));
    return;
  }
  if (limbs::UseAdxRows && an >= AdxMulRowsFrom && ((an | bn) & 1) != 0) {
    // The fast loop takes whole limbs: the even parts first, then the rows
    // of the odd top words.
    const int32_t ae = an & ~1;
    const int32_t be = bn & ~1;
    WordsMulBasecase(dst, a, b, be, ae);
    if (be < bn) {
      dst[ae + be] = WordsAddMulWord(dst + be, a, ae, b[be]);
    }
    if (ae < an) {
      dst[ae + bn] = WordsAddMulWord(dst + ae, b, bn, a[ae]);
    }
    return;
  }
  // Rows run over all of a, two limbs of b at a time; an odd last word of b
  // is a half limb.
  const int32_t limbsOfB = (bn + 1) >> 1;
  const bool halfLast = bn & 1;
  const auto limbOfB = [&](int32_t j) {
    return halfLast && j == limbsOfB - 1 ? Limb{b[2 * j]} : Load64(b + 2 * j);
  };
  if (limbs::UseAdxRows && an >= AdxMulRowsFrom) {
    // Whole limbs only (above), one row per limb of b.
    Store64(dst + an, limbs::Mul1(dst, a, an, Load64(b)));
    if (bn >= 4) {
      limbs::AdxAddMulRows(dst + 2, a, an >> 1, b + 2, limbsOfB - 1);
    }
    return;
  }
  int32_t j = 2;
  if (limbsOfB == 1) {
    Store64(dst + an, limbs::Mul1(dst, a, an, Load64(b)));
    j = 1;
  } else {
    MulRows2<false>(dst, a, an, limbOfB(0), limbOfB(1), halfLast && limbsOfB == 2, false,
                    dst + an);
  }
  for (; j + 2 <= limbsOfB; j += 2) {
    MulRows2<true>(dst + 2 * j, a, an, limbOfB(j), limbOfB(j + 1), halfLast && j + 2 == limbsOfB,
                   false, dst + 2 * j + an);
  }
  if (j < limbsOfB) {
    const Limb carry = limbs::AddMul1(dst + 2 * j, a, an, limbOfB(j));
    if (halfLast) {
      dst[2 * j + an] = static_cast<Word>(carry);
    } else {
      Store64(dst + 2 * j + an, carry);
    }
  }
}

namespace {

// The square of an even number of words, m ≥ 2 limbs, on the fast rows: the
// cross products a_i·a_j (i < j) once each, row i above limb 2i+1, then
// one pass that doubles them and adds the squares.
void AdxSqr(Word* dst, const Word* a, int32_t m) {
  Store64(dst, 0);
  Store64(dst + 4 * m - 2, 0);
  Store64(dst + 2 * m, limbs::AdxRow<false>(dst + 2, a + 2, m - 1, Load64(a)));
  if (m > 2) {
    limbs::AdxSqrRows(dst + 6, a + 4, m - 2, a + 2);
  }
  limbs::AdxSqrDiagonal(dst, a, m);
}

}  // namespace

void WordsSqrBasecase(Word* dst, const Word* a, int32_t n) {
  if (n == 1) {
    Store64(dst, DWord{a[0]} * a[0]);
    return;
  }
  if (limbs::UseAdxRows && n >= AdxSqrColumnsFrom && n < AdxSqrRowsFrom) {
    if ((n & 1) == 0) {
      limbs::ColumnSqr(dst, a, n >> 1);
    } else {
      ColumnsOddLength(dst, a, a, n);
    }
    return;
  }
  if (limbs::UseAdxRows && n >= AdxSqrRowsFrom) {
    if ((n & 1) == 0) {
      AdxSqr(dst, a, n >> 1);
      return;
    }
    // The rows take whole limbs: with a = e + t·B^(n-1), a^2 is e^2 plus
    // t·e·B^(n-1) plus t·a·B^(n-1).
    const Word top = a[n - 1];
    AdxSqr(dst, a, (n - 1) >> 1);
    dst[2 * n - 2] = WordsAddMulWord(dst + n - 1, a, n - 1, top);
    dst[2 * n - 1] = WordsAddMulWord(dst + n - 1, a, n, top);
    return;
  }
  // First the cross products a_i·a_j (i < j) once each: row i is the limbs
  // above limb i, with an odd top word, times limb i, at word 4i+2; rows go
  // in pairs. Then all of it doubled, then the squares added.
  const int32_t m = n >> 1;
  const bool odd = n & 1;
  const int32_t rows = odd ? m : m - 1;
  Store64(dst, 0);
  if (odd) {
    dst[2 * n - 1] = 0;
  } else {
    Store64(dst + 2 * n - 2, 0);
  }
  int32_t i = 0;
  if (rows >= 2) {
    MulRows2<false>(dst + 2, a + 2, n - 2, Load64(a), Load64(a + 2), false, true, dst + n);
    i = 2;
  } else if (rows == 1) {
    Store64(dst + n, limbs::Mul1(dst + 2, a + 2, n - 2, Load64(a)));
    i = 1;
  }
  for (; i + 2 <= rows; i += 2) {
    MulRows2<true>(dst + 4 * i + 2, a + 2 * i + 2, n - 2 * i - 2, Load64(a + 2 * i),
                   Load64(a + 2 * i + 2), false, true, dst + n + 2 * i);
  }
  if (i < rows) {
    Store64(dst + n + 2 * i,
            limbs::AddMul1(dst + 4 * i + 2, a + 2 * i + 2, n - 2 * i - 2, Load64(a + 2 * i)));
  }
  // Doubling and the squares in one pass over limb pairs.
  unsigned char carry = 0;
  Limb topBit = 0;
  for (int32_t k = 0; k < m; ++k) {
    const Limb x0 = Load64(dst + 4 * k);
    const Limb x1 = Load64(dst + 4 * k + 2);
    const Limb ak = Load64(a + 2 * k);
    const DLimb square = DLimb{ak} * ak;
    Store64(dst + 4 * k, AddCarry((x0 << 1) | topBit, static_cast<Limb>(square), carry));
    Store64(dst + 4 * k + 2,
            AddCarry((x1 << 1) | (x0 >> 63), static_cast<Limb>(square >> 64), carry));
    topBit = x1 >> 63;
  }
  if (odd) {
    const Limb top = a[n - 1];
    Store64(dst + 4 * m, (Load64(dst + 4 * m) << 1) + topBit + top * top + carry);
  }
}

namespace {

// {dst, l} := |{x0, l} - {x1, h}| with h ≤ l; returns whether x0 < x1. A
// non-zero word of x0 above h settles the sign at once.
bool AbsDiff(Word* dst, const Word* x0, const Word* x1, int32_t l, int32_t h) {
  if (std::any_of(x0 + h, x0 + l, [](Word w) { return w != 0; })) {
    const Word borrow = limbs::SubN(dst, x0, x1, h);
    WordsCopy(x0 + h, dst + h, l - h);
    limbs::SubWord(dst + h, l - h, borrow);
    return false;
  }
  WordsFill(0, dst + h, l - h);
  if (WordsCompare(x0, x1, h) >= 0) {
    limbs::SubN(dst, x0, x1, h);
    return false;
  }
  limbs::SubN(dst, x1, x0, h);
  return true;
}

// dst holds z0 = a0·b0 in its low 2l words and z2 = a1·b1 above; adds
// (z0 + z2 ∓ z1)·B^l, with z1 = |a0 - a1|·|b0 - b1| (2l words). The sum
// z0H + z2L is formed once and serves both middle quarters. Carries and
// borrows past word 2n are dropped: the true result fits in 2n words.
void KaratsubaCombine(Word* dst, const Word* z1, int32_t n, int32_t l, bool addCross) {
  const int32_t h = n - l;
  const int32_t m = 2 * h - l;  // words of z2 above its low l words
  Word* r1 = dst + l;
  Word* r2 = dst + 2 * l;
  Word* r3 = dst + 3 * l;
  const Word cH = limbs::AddN(r2, r2, r1, l);
  const Word c1 = limbs::AddN(r1, r2, dst, l);
  Word c2 = limbs::AddN(r2, r2, r3, m);
  c2 = WordsAddWord(c2, r2 + m, l - m);
  WordsAddWord(cH + c1, r2, 2 * h);
  WordsAddWord(cH + c2, r3, m);
  if (addCross) {
    WordsAddWord(limbs::AddN(r1, r1, z1, 2 * l), r3, m);
  } else {
    limbs::SubWord(r3, m, limbs::SubN(r1, r1, z1, 2 * l));
  }
}

// Karatsuba recursion: schoolbook below the threshold, never Toom-3.
template <bool Square>
void KaratsubaHalf(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  if constexpr (Square) {
    if (n < SqrKaratsubaThreshold) {
      WordsSqrBasecase(dst, a, n);
    } else {
      WordsSqrKaratsuba(dst, a, n, scratch);
    }
  } else {
    if (n < MulKaratsubaThreshold) {
      WordsMulBasecase(dst, a, b, n, n);
    } else {
      WordsMulKaratsuba(dst, a, b, scratch, n);
    }
  }
}

// The lower part is half the length rounded up to whole limbs, so every
// level of the recursion ends on even lengths: odd ones cost the basecase
// 7..19% more than the next even length. (Short lengths, only ever called
// directly, keep the plain split: the upper part must stay at least half
// the lower.)
constexpr int32_t KaratsubaLow(int32_t n) {
  const int32_t l = (n + 1) / 2;
  return n < 16 ? l : (l + 1) & ~1;
}

// a = a0 + a1·B^l; the differences go to the two halves of dst, their
// product to scratch, and then a0·b0 and a1·b1 replace them in dst.
template <bool Square>
void Karatsuba(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  const int32_t l = KaratsubaLow(n);
  const int32_t h = n - l;
  // The cross term (a0 - a1)(b0 - b1) is |a0 - a1|·|b0 - b1| negated when
  // exactly one difference was; for a square it is never negative.
  bool negated = AbsDiff(dst, a, a + l, l, h);
  if constexpr (Square) {
    negated = false;
  } else {
    negated ^= AbsDiff(dst + l, b, b + l, l, h);
  }
  Word* z1 = scratch;
  Word* below = scratch + 2 * l;
  KaratsubaHalf<Square>(z1, dst, dst + l, l, below);
  KaratsubaHalf<Square>(dst, a, b, l, below);
  KaratsubaHalf<Square>(dst + 2 * l, a + l, b + l, h, below);
  KaratsubaCombine(dst, z1, n, l, negated);
}

// Scratch of one Karatsuba call on n words, with recursion from the given
// threshold on.
constexpr int32_t KaratsubaScratch(int32_t n, int32_t threshold) {
  const int32_t l = KaratsubaLow(n);
  return 2 * l + (l >= threshold ? KaratsubaScratch(l, threshold) : 0);
}

constexpr int32_t Toom3Scratch(int32_t n, int32_t karatsubaFrom, int32_t toom3From) {
  const int32_t k = limbs::Toom3PieceWords(n);
  int32_t below = 0;
  if (k >= toom3From) {
    below = Toom3Scratch(k, karatsubaFrom, toom3From);
  } else if (k >= karatsubaFrom) {
    below = KaratsubaScratch(k, karatsubaFrom);
  }
  return limbs::Toom3OwnScratch(n) + below;
}

// Below the Toom-3 thresholds the dispatchers take their scratch from the
// stack; from there on from one buffer that only grows, so a run of products
// of one size allocates once. One buffer serves the process: the arithmetic
// runs on one thread.
constexpr int32_t StackScratchWords = 1024;
static_assert(KaratsubaScratch(MulToom3Threshold - 1, MulKaratsubaThreshold) <= StackScratchWords);
static_assert(KaratsubaScratch(SqrToom3Threshold - 1, SqrKaratsubaThreshold) <= StackScratchWords);

std::vector<Word> keptScratch;

Word* KeptScratch(int32_t n) {
  const auto words = static_cast<size_t>(WordsScratchSize(n));
  if (keptScratch.size() < words) {
    keptScratch.resize(words);
  }
  return keptScratch.data();
}

}  // namespace

void WordsMulKaratsuba(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n) {
  Karatsuba<false>(dst, a, b, n, scratch);
}

void WordsSqrKaratsuba(Word* dst, const Word* a, int32_t n, Word* scratch) {
  Karatsuba<true>(dst, a, a, n, scratch);
}

int32_t WordsScratchSize(int32_t n) {
  // Karatsuba with the lower (product) threshold recurses furthest, so it
  // covers the square too; Toom-3 differs for products and squares.
  return std::max({KaratsubaScratch(n, MulKaratsubaThreshold),
                   Toom3Scratch(n, MulKaratsubaThreshold, MulToom3Threshold),
                   Toom3Scratch(n, SqrKaratsubaThreshold, SqrToom3Threshold)});
}

namespace limbs {

void AddMul2(Word* r, const Word* a, int32_t n, Limb b0, Limb b1, Word* top) {
  MulRows2<true>(r, a, n, b0, b1, false, false, top);
}

void MulAnySize(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  if (n < MulKaratsubaThreshold) {
    WordsMulBasecase(dst, a, b, n, n);
  } else if (n < MulToom3Threshold) {
    WordsMulKaratsuba(dst, a, b, scratch, n);
  } else {
    WordsMulToom3(dst, a, b, scratch, n);
  }
}

void SqrAnySize(Word* dst, const Word* a, int32_t n, Word* scratch) {
  if (n < SqrKaratsubaThreshold) {
    WordsSqrBasecase(dst, a, n);
  } else if (n < SqrToom3Threshold) {
    WordsSqrKaratsuba(dst, a, n, scratch);
  } else {
    WordsSqrToom3(dst, a, n, scratch);
  }
}

}  // namespace limbs

// Short lengths skip the scratch, whose stack frame costs more than their
// product.
void WordsMul(Word* dst, const Word* a, const Word* b, int32_t n) {
  if (n < MulKaratsubaThreshold) {
    WordsMulBasecase(dst, a, b, n, n);
  } else if (n < MulToom3Threshold) {
    Word scratch[StackScratchWords];
    limbs::MulAnySize(dst, a, b, n, scratch);
  } else {
    limbs::MulAnySize(dst, a, b, n, KeptScratch(n));
  }
}

void WordsSqr(Word* dst, const Word* a, int32_t n) {
  if (n < SqrKaratsubaThreshold) {
    WordsSqrBasecase(dst, a, n);
  } else if (n < SqrToom3Threshold) {
    Word scratch[StackScratchWords];
    limbs::SqrAnySize(dst, a, n, scratch);
  } else {
    limbs::SqrAnySize(dst, a, n, KeptScratch(n));
  }
}

void WordsReleaseScratch() { std::vector<Word>().swap(keptScratch); }

}  // namespace karvo
