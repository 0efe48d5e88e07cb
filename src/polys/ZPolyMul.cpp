#include <algorithm>
#include <cstring>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "polys/PolysInternal.h"
#include "polys/ZPoly.h"

namespace karvo {

namespace {

// Below this smaller degree every a[i]·b[j] is formed directly.
constexpr int32_t SchoolbookDegree = 4;

struct TCoeffShape {
  int32_t Bits = 0;
  bool Negative = false;
};

TCoeffShape Shape(const ZPoly& a) {
  TCoeffShape s;
  for (int32_t i = 0; i <= a.Degree; ++i) {
    s.Bits = std::max(s.Bits, BigBitSize(a.Coeffs[i]));
    s.Negative |= BigIsNegative(a.Coeffs[i]);
  }
  return s;
}

void OrBits(Word* dst, const BigInt& c, int64_t offset) {
  Word* at = dst + offset / 32;
  const int shift = static_cast<int>(offset % 32);
  for (int32_t j = 0; j < c.Length; ++j) {
    at[j] |= c.Words[j] << shift;
    if (shift != 0) {
      at[j + 1] |= c.Words[j] >> (32 - shift);
    }
  }
}

void ClearWords(BigInt& x, int32_t words) {
  BigSetZero(x);
  BigGrow(x, words);
  std::memset(x.Words, 0, sizeof(Word) * static_cast<size_t>(words));
}

// x := Σ a_i·2^(b·i): the Kronecker substitution that turns a polynomial
// product into one integer product. Every |a_i| is below 2^b, so the fields
// never overlap and the negative coefficients can be packed apart.
void Pack(BigInt& x, const ZPoly& a, int32_t b, bool negative) {
  const auto words = static_cast<int32_t>((int64_t{b} * (a.Degree + 1) + 63) / 32);
  BigTemps t(1);
  BigInt& minus = t[0];
  ClearWords(x, words);
  if (negative) {
    ClearWords(minus, words);
  }
  for (int32_t i = 0; i <= a.Degree; ++i) {
    const BigInt& c = a.Coeffs[i];
    OrBits(BigIsNegative(c) ? minus.Words : x.Words, c, int64_t{b} * i);
  }
  x.Length = words;
  BigNormalize(x);
  if (negative) {
    minus.Length = words;
    BigNormalize(minus);
    BigSub(x, minus);
  }
}

void ExtractBits(BigInt& c, const BigInt& x, int64_t offset, int32_t b) {
  const int32_t n = (b + 31) / 32;
  BigSetZero(c);
  BigGrow(c, n);
  const auto first = static_cast<int32_t>(offset / 32);
  const int shift = static_cast<int>(offset % 32);
  for (int32_t j = 0; j < n; ++j) {
    const Word lo = first + j < x.Length ? x.Words[first + j] : 0;
    const Word hi = first + j + 1 < x.Length ? x.Words[first + j + 1] : 0;
    c.Words[j] = shift == 0 ? lo : (lo >> shift) | (hi << (32 - shift));
  }
  if (b % 32 != 0) {
    c.Words[n - 1] &= (Word{1} << (b % 32)) - 1;
  }
  c.Length = n;
  BigNormalize(c);
}

// r := the count fields of b bits of x. Signed fields are balanced digits
// (-2^(b-1) ≤ c < 2^(b-1)), read from |x| and negated with it.
void Unpack(ZPoly& r, const BigInt& x, int32_t b, int32_t count, bool balanced) {
  ZPolySetZeroDegree(r, count - 1);
  BigTemps t(1);
  BigInt& power = t[0];
  BigSetZero(power);
  BigSetBit(power, b);
  bool carry = false;
  for (int32_t i = 0; i < count; ++i) {
    BigInt& c = r.Coeffs[i];
    ExtractBits(c, x, int64_t{b} * i, b);
    if (balanced) {
      if (carry) {
        BigIncrement(c);
      }
      carry = BigBitSize(c) >= b;
      if (carry) {
        BigSub(c, power);
      }
    }
    if (BigIsNegative(x)) {
      BigNegate(c);
    }
  }
  ZPolyNormalise(r);
}

void Schoolbook(ZPoly& r, const ZPoly& a, const ZPoly& b) {
  ZPolySetZeroDegree(r, a.Degree + b.Degree);
  BigTemps t(1);
  for (int32_t i = 0; i <= a.Degree; ++i) {
    for (int32_t j = 0; j <= b.Degree; ++j) {
      BigMulTo(t[0], a.Coeffs[i], b.Coeffs[j]);
      BigAdd(r.Coeffs[i + j], t[0]);
    }
  }
  ZPolyNormalise(r);
}

void Kronecker(ZPoly& r, const ZPoly& a, const ZPoly& b) {
  const TCoeffShape sa = Shape(a);
  const TCoeffShape sb = Shape(b);
  const bool negative = sa.Negative || sb.Negative;
  const int32_t terms = std::min(a.Degree, b.Degree) + 1;
  int32_t termBits = 0;
  while ((int32_t{1} << termBits) < terms) {
    ++termBits;
  }
  const int32_t bits = sa.Bits + sb.Bits + termBits + (negative ? 1 : 0);
  BigTemps t(2);
  Pack(t[0], a, bits, sa.Negative);
  const bool large = t[0].Length >= PolysNttWords;
  if (&a == &b) {
    large ? PolysMulLarge(t[0], t[0], t[0]) : BigSqr(t[0]);
  } else {
    Pack(t[1], b, bits, sb.Negative);
    large || t[1].Length >= PolysNttWords ? PolysMulLarge(t[0], t[0], t[1]) : BigMul(t[0], t[1]);
  }
  Unpack(r, t[0], bits, a.Degree + b.Degree + 1, negative);
}

}  // namespace

void ZPolyMulRaw(ZPoly& a, const ZPoly& b, const BigInt* N) {
  if (a.Degree < 0 || b.Degree < 0) {
    a.Degree = -1;
    return;
  }
  ZPolyTemps t(1);
  ZPoly& r = t[0];
  if (std::min(a.Degree, b.Degree) < SchoolbookDegree) {
    Schoolbook(r, a, b);
  } else {
    Kronecker(r, a, b);
  }
  ZPolySwap(a, r);
  if (N != nullptr) {
    ZPolyReduce(a, *N);
  }
}

void ZPolyMul(ZPoly& a, const ZPoly& b, const BigInt& N) { ZPolyMulRaw(a, b, &N); }

void ZPolySqr(ZPoly& a, const BigInt& N) { ZPolyMulRaw(a, a, &N); }

void ZPolyMulHigh(ZPoly& a, const ZPoly& b, int32_t k, const BigInt& N) {
  ZPolyMulRaw(a, b, nullptr);
  ZPolyDivXk(a, k);
  ZPolyReduce(a, N);
}

}  // namespace karvo
