// Greatest common divisor (Lehmer's algorithm), coprimality and lcm.

#include <algorithm>
#include <bit>
#include <utility>

#include "arith/BigMod.h"
#include "arith/BigModInternal.h"
#include "arith/BigTempPool.h"
#include "arith/WordsLimbs.h"
#include "base/Poll.h"

namespace karvo {

namespace {

using SInt128 = __int128;
using UInt128 = unsigned __int128;

// 64 bits of the magnitude of x from bit position (bits above its top read
// as zero).
uint64_t Bits64(const BigInt& x, int32_t position) {
  return uint64_t{BigBitField(x, position, 32)} | uint64_t{BigBitField(x, position + 32, 32)} << 32;
}

// r := r mod d, returning the quotient, by shift and subtract: the quotients
// of Euclid are small far more often than not.
uint64_t DivideBySubtraction(uint64_t& r, uint64_t d) {
  if (r < d) {
    return 0;
  }
  if (r - d < d) {
    r -= d;
    return 1;
  }
  const int shift = std::countl_zero(d) - std::countl_zero(r);
  uint64_t q = 0;
  for (int s = shift; s >= 0; --s) {
    q <<= 1;
    if (r >= (d << s)) {
      r -= d << s;
      q |= 1;
    }
  }
  return q;
}

// Limb j (words 2j and 2j+1) of the magnitude of x, zero above its length.
uint64_t LimbOf(const BigInt& x, int32_t j) {
  const int32_t i = 2 * j;
  if (i + 1 < x.Length) {
    return limbs::Load64(x.Words + i);
  }
  return i < x.Length ? x.Words[i] : 0;
}

// Completes z from the limbCount two's-complement limbs stored in it and the
// carry out of them: appends the carry, negates a negative value, and sets
// Length and Sign.
void FinishCombination(BigInt& z, int32_t limbCount, SInt128 carry) {
  if (carry != 0 && carry != -1) {
    limbs::Store64(z.Words + 2 * limbCount, static_cast<uint64_t>(carry));
    carry >>= 64;
    ++limbCount;
  }
  int32_t length = 2 * limbCount;
  z.Sign = 0;
  if (carry == -1) {
    Word add = 1;
    for (int32_t i = 0; i < length; ++i) {
      const Word w = ~z.Words[i] + add;
      add = (add != 0 && w == 0) ? 1 : 0;
      z.Words[i] = w;
    }
    if (add != 0) {
      z.Words[length++] = 1;
    }
    z.Sign = 1;
  }
  z.Length = length;
  BigNormalize(z);
}

// (za, zb) := (c[0]·|x| + c[1]·|y|, c[2]·|x| + c[3]·|y|) in one pass over
// 64-bit limbs; za and zb are neither x nor y. The coefficients (signed or
// not, as T is) are at most 2^32 in magnitude, since Lehmer cofactors never
// exceed the square root of their 64-bit approximations: each product stays
// below 2^97 and the running sums well inside 128 bits (the shift of a
// negative sum is arithmetic).
template <class T>
void CombinePair(BigInt& za, BigInt& zb, const T (&c)[4], const BigInt& x, const BigInt& y) {
  const int32_t limbCount = (std::max(x.Length, y.Length) + 1) / 2;
  BigGrow(za, 2 * limbCount + 4);
  BigGrow(zb, 2 * limbCount + 4);
  T carryA = 0;
  T carryB = 0;
  for (int32_t j = 0; j < limbCount; ++j) {
    const T xl = LimbOf(x, j);
    const T yl = LimbOf(y, j);
    const T sumA = c[0] * xl + c[1] * yl + carryA;
    const T sumB = c[2] * xl + c[3] * yl + carryB;
    limbs::Store64(za.Words + 2 * j, static_cast<uint64_t>(sumA));
    limbs::Store64(zb.Words + 2 * j, static_cast<uint64_t>(sumB));
    carryA = sumA >> 64;
    carryB = sumB >> 64;
  }
  FinishCombination(za, limbCount, static_cast<SInt128>(carryA));
  FinishCombination(zb, limbCount, static_cast<SInt128>(carryB));
}

template <class T>
T BinaryGcd(T a, T b) {
  if (a == 0) {
    return b;
  }
  if (b == 0) {
    return a;
  }
  const int common = std::countr_zero(a | b);
  a >>= std::countr_zero(a);
  b >>= std::countr_zero(b);
  while (a != b) {
    if (a < b) {
      std::swap(a, b);
    }
    a -= b;
    a >>= std::countr_zero(a);
  }
  return a << common;
}

}  // namespace

bool BigLehmerStep(const BigInt& a, const BigInt& b, LehmerMatrix& m) {
  if (b.Length == 0) {
    return false;
  }
  const int32_t aBits = BigBitSize(a);
  int32_t position = 0;
  if (aBits > 64) {
    if (aBits - BigBitSize(b) > 62) {
      return false;
    }
    position = aBits - 64;
  }
  // Remainders r0 > r1 of the leading parts, with the magnitudes of their
  // cofactors: r_i = ±u_i·(a's part) ∓ v_i·(b's part), signs alternating.
  uint64_t r0 = Bits64(a, position);
  uint64_t r1 = Bits64(b, position);
  uint64_t u0 = 1, u1 = 0, v0 = 0, v1 = 1;
  int32_t accepted = 0;
  while (r1 != 0) {
    uint64_t r2 = r0;
    const uint64_t q = DivideBySubtraction(r2, r1);
    const UInt128 v2 = UInt128{q} * v1 + v0;
    // Jebelean: q is the quotient of the full values too when the new
    // remainder covers its cofactor and the drop of the remainders covers
    // the spread of the cofactors.
    if (v2 > r2 || UInt128{r1 - r2} < v2 + v1) {
      break;
    }
    const uint64_t u2 = q * u1 + u0;
    r0 = r1;
    r1 = r2;
    u0 = u1;
    u1 = u2;
    v0 = v1;
    v1 = static_cast<uint64_t>(v2);
    ++accepted;
  }
  if (accepted == 0) {
    return false;
  }
  m.A = u0;
  m.B = v0;
  m.C = u1;
  m.D = v1;
  m.Even = (accepted & 1) == 0;
  return true;
}

void LehmerApply(BigInt& a, BigInt& b, const LehmerMatrix& m, BigInt& spareA, BigInt& spareB) {
  // Even: (A·a - B·b, D·b - C·a); odd: the negatives. The signs of a and b
  // go into the coefficients.
  const SInt128 sa = (a.Sign != 0) != m.Even ? 1 : -1;
  const SInt128 sb = (b.Sign != 0) != m.Even ? 1 : -1;
  const SInt128 c[4] = {sa * SInt128{m.A}, -sb * SInt128{m.B}, -sa * SInt128{m.C}, sb * SInt128{m.D}};
  CombinePair(spareA, spareB, c, a, b);
  BigSwap(a, spareA);
  BigSwap(b, spareB);
}

void LehmerApplyToCofactors(BigInt& u, BigInt& v, const LehmerMatrix& m, BigInt& spareA, BigInt& spareB) {
  // Opposite signs make the magnitudes add, whichever the parity.
  const int32_t uSign = u.Length != 0 ? u.Sign : 1 - v.Sign;
  const int32_t vSign = v.Sign;
  const UInt128 c[4] = {m.A, m.B, m.C, m.D};
  CombinePair(spareA, spareB, c, u, v);
  spareA.Sign = spareA.Length != 0 ? (m.Even ? uSign : vSign) : 0;
  spareB.Sign = spareB.Length != 0 ? (m.Even ? vSign : uSign) : 0;
  BigSwap(u, spareA);
  BigSwap(v, spareB);
}

bool BigGcd(BigInt& x, const BigInt& y) {
  CheckPoll();
  x.Sign = 0;
  if (x.Length == 0) {
    BigAssign(x, y);
    x.Sign = 0;
    return BigIsOne(x);
  }
  if (&y == &x || y.Length == 0) {
    return BigIsOne(x);
  }
  BigTemps temps(4);
  BigInt& a = temps[0];
  BigInt& b = temps[1];
  const bool xLarger = BigCompareAbs(x, y) >= 0;
  BigAssign(a, xLarger ? x : y);
  BigAssign(b, xLarger ? y : x);
  a.Sign = 0;
  b.Sign = 0;
  LehmerMatrix m;
  while (a.Length >= 3 && b.Length != 0) {
    CheckPoll();
    if (BigLehmerStep(a, b, m)) {
      LehmerApply(a, b, m, temps[2], temps[3]);
    } else {
      BigRem(a, b);
      BigSwap(a, b);
    }
  }
  if (b.Length == 0) {
    BigSwap(x, a);
  } else if (a.Length <= 1) {
    BigSetWord(x, BinaryGcd<Word>(a.Words[0], b.Words[0]));
  } else {
    BigSetUInt64(x, BinaryGcd<uint64_t>(BigLowUInt64(a), BigLowUInt64(b)));
  }
  return BigIsOne(x);
}

bool BigCoprime(const BigInt& x, const BigInt& y) {
  if (!BigIsOdd(x) && !BigIsOdd(y)) {
    return false;
  }
  if (x.Length == 0) {
    return y.Length == 1 && y.Words[0] == 1;
  }
  if (y.Length == 0) {
    return x.Length == 1 && x.Words[0] == 1;
  }
  BigTemps temps(1);
  BigAssign(temps[0], x);
  return BigGcd(temps[0], y);
}

void BigLcm(BigInt& x, const BigInt& y) {
  if (y.Length == 0) {
    BigSetZero(x);
    return;
  }
  x.Sign = 0;
  if (&y == &x || x.Length == 0) {
    return;
  }
  BigTemps temps(1);
  BigInt& g = temps[0];
  BigAssign(g, x);
  BigGcd(g, y);
  if (g.Length == 1) {
    BigDivExactByWord(x, g.Words[0]);
  } else {
    BigDiv(x, g);
  }
  BigMul(x, y);
  x.Sign = 0;
}

}  // namespace karvo
