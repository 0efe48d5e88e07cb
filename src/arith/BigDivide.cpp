#include <bit>

#include "arith/BigInternal.h"
#include "arith/BigTempPool.h"
#include "arith/WordsLimbs.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

using limbs::DLimb;
using limbs::Limb;
using limbs::Load64;
using limbs::Store64;

// floor((2^128 - 1)/d) - 2^64 for a normalised d (top bit set).
Limb LimbReciprocal(Limb d) { return static_cast<Limb>(~DLimb{0} / d); }

// (u1·2^64 + u0) / d for normalised d and u1 < d, with v = LimbReciprocal(d):
// a quotient estimate from one product, then at most two corrections
// (Möller and Granlund, "Improved division by invariant integers", 2011).
inline Limb DivideStep(Limb u1, Limb u0, Limb d, Limb v, Limb& r) {
  DLimb q = DLimb{v} * u1 + ((DLimb{u1} << 64) | u0);
  auto q1 = static_cast<Limb>(q >> 64) + 1;
  const auto q0 = static_cast<Limb>(q);
  r = u0 - q1 * d;
  if (r > q0) {
    --q1;
    r += d;
  }
  if (r >= d) {
    ++q1;
    r -= d;
  }
  return q1;
}

// Knuth's algorithm D with 64-bit digits: quotient limbs rows-1 down to 0 of
// {u, rows+nl} by the normalised {d, nl} limbs (arrays of words, limb i at
// word 2i), each from the window of nl+1 limbs at limb j of u, whose top nl
// limbs start below d; the remainder is left in the low nl limbs of u.
void DivideRows(Word* q, Word* u, int32_t rows, const Word* d, int32_t nl, Limb v) {
  const Limb d1 = Load64(d + 2 * nl - 2);
  const Limb d0 = nl >= 2 ? Load64(d + 2 * nl - 4) : 0;
  for (int32_t j = rows - 1; j >= 0; --j) {
    CheckPoll();
    Word* window = u + 2 * j;
    const Limb u2 = Load64(window + 2 * nl);
    const Limb u1 = Load64(window + 2 * nl - 2);
    const Limb u0 = nl >= 2 ? Load64(window + 2 * nl - 4) : 0;
    Limb qhat;
    Limb rhat;
    bool rhatOverflow = false;
    if (u2 >= d1) {
      // u2 == d1: the estimate saturates at the largest limb.
      qhat = ~Limb{0};
      rhat = u1 + d1;
      rhatOverflow = rhat < u1;
    } else {
      qhat = DivideStep(u2, u1, d1, v, rhat);
    }
    while (!rhatOverflow && DLimb{qhat} * d0 > ((DLimb{rhat} << 64) | u0)) {
      --qhat;
      rhat += d1;
      rhatOverflow = rhat < d1;
    }
    const Limb borrow = limbs::SubMul1(window, d, 2 * nl, qhat);
    const Limb top = Load64(window + 2 * nl);
    Store64(window + 2 * nl, top - borrow);
    if (borrow > top) {
      --qhat;
      const Word carry = limbs::AddN(window, window, d, 2 * nl);
      Store64(window + 2 * nl, Load64(window + 2 * nl) + carry);
    }
    Store64(q + 2 * j, qhat);
  }
}

// From this many divisor limbs on, a block of quotient limbs is found by
// halves whose corrections are products (divide and conquer, after Burnikel
// and Ziegler); below, row by row. Measured on divisors of 24 to 256 words:
// 20 limbs is as fast as 12 and 5-15% faster than 40.
constexpr int32_t DivideHalvesFrom = 20;

// {t, 2a+2b} := {x, a}·{y, b} limbs for a = b or b + 1.
void MulNearlyBalanced(Word* t, const Word* x, int32_t a, const Word* y, int32_t b) {
  WordsMul(t, x, y, 2 * b);
  if (a > b) {
    Store64(t + 4 * b, limbs::AddMul1(t + 2 * b, y, 2 * b, Load64(x + 2 * b)));
  }
}

// {q, n} := {a, 2n} div {d, n} in limbs and {a, n} := the remainder, for a
// normalised d with the top n limbs of a below 2d; returns the quotient's
// bit at limb n (0 or 1). t is scratch of 2n limbs.
Limb DivideBlock(Word* q, Word* a, const Word* d, int32_t n, Limb v, Word* t) {
  if (n < DivideHalvesFrom) {
    Limb high = 0;
    if (WordsCompare(a + 2 * n, d, 2 * n) >= 0) {
      limbs::SubN(a + 2 * n, a + 2 * n, d, 2 * n);
      high = 1;
    }
    DivideRows(q, a, n, d, n, v);
    return high;
  }
  const int32_t lo = n / 2;
  const int32_t hi = n - lo;
  // The high quotient limbs from the top 2hi limbs of a and the top hi limbs
  // of d, then corrected by the product with the low lo limbs of d.
  Limb high = DivideBlock(q + 2 * lo, a + 4 * lo, d + 2 * lo, hi, v, t);
  MulNearlyBalanced(t, q + 2 * lo, hi, d, lo);
  Limb borrow = limbs::SubN(a + 2 * lo, a + 2 * lo, t, 2 * n);
  if (high != 0) {
    borrow += limbs::SubN(a + 2 * n, a + 2 * n, d, 2 * lo);
  }
  while (borrow != 0) {
    high -= limbs::SubWord(q + 2 * lo, 2 * hi, 1);
    borrow -= limbs::AddN(a + 2 * lo, a + 2 * lo, d, 2 * n);
  }
  // The low quotient limbs likewise from the top 2lo limbs of what is left.
  const Limb low = DivideBlock(q, a + 2 * hi, d + 2 * hi, lo, v, t);
  MulNearlyBalanced(t, d, hi, q, lo);
  borrow = limbs::SubN(a, a, t, 2 * n);
  if (low != 0) {
    borrow += limbs::SubN(a + 2 * lo, a + 2 * lo, d, 2 * hi);
  }
  while (borrow != 0) {
    limbs::SubWord(q, 2 * lo, 1);
    borrow -= limbs::AddN(a, a, d, 2 * n);
  }
  return high;
}

// Magnitudes |x| ≥ |y|, y of two words or more. The divisor is shifted so
// that its top limb has the top bit set (an odd word count shifts by a
// further word). Leaves the quotient in scratch::Quotient and the remainder
// in scratch::Dividend, both non-negative and normalised.
void LongDivide(const BigInt& x, const BigInt& y) {
  const int32_t nl = (y.Length + 1) / 2;
  const int shift = std::countl_zero(y.Words[y.Length - 1]) + 32 * (y.Length & 1);

  BigInt& d = scratch::Divisor;
  BigGrow(d, 2 * nl);
  WordsFill(0, d.Words, 2 * nl);
  WordsCopy(y.Words, d.Words + (shift >= 32 ? 1 : 0), y.Length);
  WordsShiftLeftBits(d.Words, 2 * nl, shift % 32);

  // The shifted dividend and one limb more, which starts at zero.
  const int32_t ul = static_cast<int32_t>((32 * int64_t{x.Length} + shift + 63) / 64) + 1;
  BigInt& u = scratch::Dividend;
  BigGrow(u, 2 * ul);
  WordsFill(0, u.Words, 2 * ul);
  WordsCopy(x.Words, u.Words + (shift >= 32 ? 1 : 0), x.Length);
  WordsShiftLeftBits(u.Words, 2 * ul, shift % 32);

  const int32_t rows = ul - nl;
  BigInt& q = scratch::Quotient;
  BigGrow(q, 2 * rows);
  const Limb v = LimbReciprocal(Load64(d.Words + 2 * nl - 2));
  if (nl < DivideHalvesFrom) {
    DivideRows(q.Words, u.Words, rows, d.Words, nl, v);
  } else {
    // The top rows % nl quotient limbs row by row, then blocks of nl limbs,
    // each starting from the remainder of the one above.
    const int32_t blocks = rows / nl;
    const int32_t top = rows - blocks * nl;
    DivideRows(q.Words + 2 * (rows - top), u.Words + 2 * (rows - top), top, d.Words, nl, v);
    BigTemps temps(1);
    BigGrow(temps[0], 4 * nl);
    for (int32_t b = blocks - 1; b >= 0; --b) {
      DivideBlock(q.Words + 2 * b * nl, u.Words + 2 * b * nl, d.Words, nl, v, temps[0].Words);
    }
  }
  q.Length = 2 * rows;
  q.Sign = 0;
  BigNormalize(q);

  u.Length = 2 * nl;
  u.Sign = 0;
  BigNormalize(u);
  BigShiftRight(u, shift);
}

// Quotient and/or remainder of x by y (y non-zero), written only after both
// are computed so that q and r may alias x or y.
void Divide(BigInt* q, BigInt* r, const BigInt& x, const BigInt& y) {
  const int32_t xSign = x.Sign;
  const int32_t qSign = x.Sign ^ y.Sign;
  if (BigCompareAbs(x, y) < 0) {
    if (r != nullptr) {
      BigAssign(*r, x);
    }
    if (q != nullptr) {
      BigSetZero(*q);
    }
    return;
  }
  if (y.Length == 1) {
    const Word divisor = y.Words[0];
    Word remainder;
    if (q != nullptr) {
      BigAssign(*q, x);
      remainder = WordsDivWord(q->Words, q->Length, divisor);
      BigNormalize(*q);
      q->Sign = q->Length > 0 ? qSign : 0;
    } else {
      remainder = WordsModWord(x.Words, x.Length, divisor);
    }
    if (r != nullptr) {
      BigSetWord(*r, remainder);
      r->Sign = r->Length > 0 ? xSign : 0;
    }
    return;
  }
  LongDivide(x, y);
  if (q != nullptr) {
    BigSwap(*q, scratch::Quotient);
    q->Sign = q->Length > 0 ? qSign : 0;
  }
  if (r != nullptr) {
    BigSwap(*r, scratch::Dividend);
    r->Sign = r->Length > 0 ? xSign : 0;
  }
}

}  // namespace

void BigDivMod(BigInt& q, BigInt& r, const BigInt& x, const BigInt& y) {
  if (y.Length == 0) {
    InternalError(1000, 26, 1);
  }
  Divide(&q, &r, x, y);
}

bool BigDiv(BigInt& x, const BigInt& y) {
  if (y.Length == 0) {
    InternalError(1000, 4, 1);
  }
  if (x.Length == 0) {
    return true;
  }
  BigInt& remainder = scratch::Remainder;
  Divide(&x, &remainder, x, y);
  return remainder.Length == 0;
}

void BigRem(BigInt& x, const BigInt& y) {
  if (y.Length == 0) {
    InternalError(1000, 25, 1);
  }
  Divide(nullptr, &x, x, y);
}

Word BigDivWord(BigInt& x, Word w) {
  if (w == 0) {
    InternalError(1000, 8, 1);
  }
  if (x.Length == 0) {
    return 0;
  }
  const Word remainder = WordsDivWord(x.Words, x.Length, w);
  BigNormalize(x);
  return remainder;
}

bool BigDivWordExact(BigInt& x, Word w) { return BigDivWord(x, w) == 0; }

int32_t BigDivInt(BigInt& x, int32_t i) {
  if (i == 0) {
    InternalError(1000, 7, 1);
  }
  const int32_t xSign = x.Sign;
  const Word magnitude = i < 0 ? 0u - static_cast<Word>(i) : static_cast<Word>(i);
  const auto remainder = static_cast<int64_t>(BigDivWord(x, magnitude));
  if (i < 0) {
    BigNegate(x);
  }
  return static_cast<int32_t>(xSign != 0 ? -remainder : remainder);
}

void BigDivExactByWord(BigInt& x, Word w) {
  if (w == 0) {
    InternalError(1000, 5, 1);
  }
  const int zeros = std::countr_zero(w);
  BigShiftRight(x, zeros);
  const Word odd = w >> zeros;
  if (odd > 1 && x.Length > 0) {
    WordsDivExactOdd(x.Words, x.Length, WordInverse(odd), odd);
    BigNormalize(x);
  }
}

bool BigIsDivisibleByWord(const BigInt& x, Word w) {
  if (w == 0) {
    InternalError(1000, 6, 1);
  }
  if (x.Length == 0 || w == 1) {
    return true;
  }
  const int zeros = std::countr_zero(w);
  if (zeros > 0) {
    const int lowZeros = x.Words[0] == 0 ? 32 : std::countr_zero(x.Words[0]);
    if (lowZeros < zeros) {
      return false;
    }
  }
  // x ≡ 0 mod 2^zeros already; an odd factor divides x exactly when it
  // divides x >> zeros.
  const Word odd = w >> zeros;
  return odd == 1 || WordsModExactOdd(x.Words, x.Length, 0, odd) == 0;
}

Word BigMod3(const BigInt& x) {
  const Word r = WordsMod3(x.Words, x.Length);
  return (x.Sign != 0 && r != 0) ? 3 - r : r;
}

Word BigModWord(const BigInt& x, Word w) {
  if (w == 0) {
    InternalError(1000, 18, 1);
  }
  if (x.Length == 0 || w == 1) {
    return 0;
  }
  const Word r = WordsModWord(x.Words, x.Length, w);
  return (x.Sign != 0 && r != 0) ? w - r : r;
}

}  // namespace karvo
