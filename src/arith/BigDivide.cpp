#include <bit>

#include "arith/BigInternal.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// {u, n+1} -= q·{d, n}; true when that went below zero (q was one too large).
bool SubtractMultiple(Word* u, const Word* d, int32_t n, Word q) {
  const Word borrow = WordsSubMulWord(u, d, n, q);
  const Word top = u[n];
  u[n] = top - borrow;
  return borrow > top;
}

// Knuth's algorithm D on magnitudes, |x| ≥ |y|, y of two words or more.
// Leaves the quotient in scratch::Quotient and the remainder in
// scratch::Dividend, both non-negative and normalised.
void LongDivide(const BigInt& x, const BigInt& y) {
  const int32_t n = y.Length;
  const int32_t m = x.Length - n;
  const int shift = std::countl_zero(y.Words[n - 1]);

  BigInt& d = scratch::Divisor;
  BigGrow(d, n);
  WordsCopy(y.Words, d.Words, n);
  if (shift > 0) {
    WordsShiftLeftBits(d.Words, n, shift);
  }
  d.Length = n;

  BigInt& u = scratch::Dividend;
  BigGrow(u, x.Length + 1);
  WordsCopy(x.Words, u.Words, x.Length);
  u.Words[x.Length] = shift > 0 ? WordsShiftLeftBits(u.Words, x.Length, shift) : 0;

  BigInt& q = scratch::Quotient;
  BigGrow(q, m + 1);

  const Word d1 = d.Words[n - 1];
  const Word d2 = d.Words[n - 2];
  for (int32_t j = m; j >= 0; --j) {
    CheckPoll();
    Word* window = u.Words + j;
    const Word u0 = window[n];
    const Word u1 = window[n - 1];
    const Word u2 = window[n - 2];
    uint64_t qhat;
    uint64_t rhat;
    if (u0 >= d1) {
      // u0 == d1: the estimate saturates at the largest word.
      qhat = 0xFFFFFFFFu;
      rhat = static_cast<uint64_t>(u0) + u1;
    } else {
      const uint64_t top = (static_cast<uint64_t>(u0) << 32) | u1;
      qhat = top / d1;
      rhat = top % d1;
    }
    while (rhat <= 0xFFFFFFFFu && qhat * d2 > ((rhat << 32) | u2)) {
      --qhat;
      rhat += d1;
    }
    if (qhat != 0 && SubtractMultiple(window, d.Words, n, static_cast<Word>(qhat))) {
      --qhat;
      window[n] += WordsAddN(window, d.Words, n);
    }
    q.Words[j] = static_cast<Word>(qhat);
  }
  q.Length = m + 1;
  q.Sign = 0;
  BigNormalize(q);

  u.Length = n;
  u.Sign = 0;
  if (shift > 0) {
    WordsShiftRightBits(u.Words, n, shift);
  }
  BigNormalize(u);
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
