// Greatest common divisor (Lehmer's algorithm on double-word leading parts),
// coprimality and lcm.

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

// Cofactors stay below this, so that a product of one with a limb and the
// sums of two such products fit a signed 128-bit accumulator.
constexpr uint64_t CofactorLimit = uint64_t{1} << 62;

// 128 bits of the magnitude of x from bit position (bits above its top read
// as zero).
UInt128 Bits128(const BigInt& x, int32_t position) {
  const int32_t word = position >> 5;
  const int shift = position & 31;
  uint64_t w[5];
  for (int32_t i = 0; i < 5; ++i) {
    w[i] = word + i < x.Length ? x.Words[word + i] : 0;
  }
  const UInt128 low = UInt128{w[0] | w[1] << 32} | UInt128{w[2] | w[3] << 32} << 64;
  return shift == 0 ? low : low >> shift | UInt128{w[4]} << (128 - shift);
}

int LeadingZeros(uint64_t x) { return std::countl_zero(x); }
int LeadingZeros(UInt128 x) {
  const auto high = static_cast<uint64_t>(x >> 64);
  return high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<uint64_t>(x));
}

// The quotient of r by d and r mod d for quotients of three and more (those
// below are tried first by the caller); one that would reach CofactorLimit
// comes back as CofactorLimit.
template <class T>
struct QuotientAndRest {
  uint64_t q;
  T r;
};
// By shift and subtract: the quotients of Euclid are small far more often
// than not.
template <class T>
QuotientAndRest<T> DivideLarge(T r, T d) {
  const int shift = LeadingZeros(d) - LeadingZeros(r);
  if (shift >= 61) {
    return {CofactorLimit, r};
  }
  uint64_t q = 0;
  for (int s = shift; s >= 0; --s) {
    q <<= 1;
    if (r >= (d << s)) {
      r -= d << s;
      q |= 1;
    }
  }
  return {q, r};
}

// Magnitudes of the cofactors of the last two remainders.
struct Cofactors {
  uint64_t U0 = 1, U1 = 0, V0 = 0, V1 = 1;
};

// r2 := r0 mod r1 for r0 > r1 > 0, returning the quotient (CofactorLimit
// for one that large, r2 then undefined).
template <class T>
uint64_t NextQuotient(T r0, T r1, T& r2) {
  r2 = r0 - r1;
  if (r2 < r1) {
    return 1;
  }
  r2 -= r1;
  if (r2 < r1) {
    return 2;
  }
  const QuotientAndRest<T> division = DivideLarge(r2, r1);
  r2 = division.r;
  return division.q >= CofactorLimit - 2 ? CofactorLimit : division.q + 2;
}

// c := the cofactors one more step on, for quotient q and v2 = q·V1 + V0.
void Advance(Cofactors& c, uint64_t q, UInt128 v2) {
  const uint64_t u2 = q * c.U1 + c.U0;
  c.U0 = c.U1;
  c.U1 = u2;
  c.V0 = c.V1;
  c.V1 = static_cast<uint64_t>(v2);
}

// Jebelean's condition: the quotient that led from remainder r1 to r2 of
// approximations is that of the values they approximate when the new
// remainder covers its cofactor v2 and the drop of the remainders covers
// the spread v1 + v2 of the cofactors.
template <class T>
bool Proven(T r1, T r2, UInt128 v1, UInt128 v2) {
  return v2 <= r2 && r1 - r2 >= v2 + v1;
}

// Euclid's steps on r0 > r1, continuing c, as long as the quotient and the
// cofactors stay below CofactorLimit and accepts(r1, r2, v1, v2) holds for
// the step from r1 to r2 with cofactors v1 and v2. Returns the number of
// steps.
template <class T, class Accepts>
int32_t EuclidSteps(T& r0, T& r1, Cofactors& c, Accepts accepts) {
  int32_t accepted = 0;
  while (r1 != 0) {
    T r2;
    const uint64_t q = NextQuotient(r0, r1, r2);
    if (q >= CofactorLimit) {
      break;
    }
    const UInt128 v2 = UInt128{q} * c.V1 + c.V0;
    if (v2 >= CofactorLimit || !accepts(r1, r2, UInt128{c.V1}, v2)) {
      break;
    }
    Advance(c, q, v2);
    r0 = r1;
    r1 = r2;
    ++accepted;
  }
  return accepted;
}

// The steps as above where, unless the values are exact, Jebelean's
// condition proves each quotient that of the full values too.
template <class T>
int32_t EuclidSteps(T& r0, T& r1, Cofactors& c, bool exact) {
  return EuclidSteps(r0, r1, c, [exact](T x1, T x2, UInt128 v1, UInt128 v2) {
    return exact || Proven(x1, x2, v1, v2);
  });
}

// (r0, r1) := the remainders that steps of Euclid with cofactors c make of
// them: r_i = ±(u_i·r0 - v_i·r1), exact modulo 2^128 as they are below it.
void Remainders(UInt128& r0, UInt128& r1, const Cofactors& c, int32_t steps) {
  const UInt128 even = UInt128{c.U0} * r0 - UInt128{c.V0} * r1;
  const UInt128 odd = UInt128{c.V1} * r1 - UInt128{c.U1} * r0;
  const bool isEven = (steps & 1) == 0;
  r0 = isEven ? even : -even;
  r1 = isEven ? odd : -odd;
}

// Euclid's steps on the exact 128-bit remainders r0 > r1 of the leading
// parts, run on their top 64 bits (from bit s) with local cofactors û ≤ v̂.
// Each 128-bit remainder lies within 2^s·(v̂ + 1) of its scaled
// approximation, and the total cofactor of the full values is at most
// v̂·w, w the sum of the two incoming ones: so the steps that keep the
// approximations above (their cofactors + 1)·(w/2^s + 1) satisfy Jebelean's
// condition both for r0, r1 and, unless the parts are exact, for the full
// values. Continues total; returns the number of steps.
int32_t ScaledSteps(UInt128& r0, UInt128& r1, Cofactors& total, bool exact) {
  const int s = std::max(0, 64 - LeadingZeros(r0));
  auto a0 = static_cast<uint64_t>(r0 >> s);
  auto a1 = static_cast<uint64_t>(r1 >> s);
  const uint64_t w = total.V0 + total.V1;
  const uint64_t localLimit = (CofactorLimit - 1) / w;
  // The factor the local cofactors are weighed with; 1 proves the steps
  // on r0 and r1 alone, 0 needs no proof.
  uint64_t weight = 0;
  if (!exact) {
    weight = (s >= 63 ? 1 : ((w - 1) >> s) + 1) + 1;
  } else if (s != 0) {
    weight = 1;
  }
  Cofactors local;
  const int32_t accepted =
      EuclidSteps(a0, a1, local, [=](uint64_t x1, uint64_t x2, UInt128 v1, UInt128 v2) {
        return v2 <= localLimit && UInt128{x2} >= v2 * weight + (weight > 1 ? 1 : 0) &&
               UInt128{x1 - x2} >= (v2 + v1) * weight + (weight > 1 ? 2 : 0);
      });
  if (accepted != 0) {
    Remainders(r0, r1, local, accepted);
    const Cofactors in = total;
    total.U0 = local.U0 * in.U0 + local.V0 * in.U1;
    total.U1 = local.U1 * in.U0 + local.V1 * in.U1;
    total.V0 = local.U0 * in.V0 + local.V0 * in.V1;
    total.V1 = local.U1 * in.V0 + local.V1 * in.V1;
  }
  return accepted;
}

// Pads x with zero words up to 2·limbCount (growing it), for limb loops.
void PadToLimbs(BigInt& x, int32_t limbCount) {
  BigGrow(x, 2 * limbCount + 2);
  WordsFill(0, x.Words + x.Length, 2 * limbCount + 2 - x.Length);
}

void SetLimbLength(BigInt& x, int32_t limbCount) {
  x.Length = 2 * limbCount;
  BigNormalize(x);
}

// (a, b) := (A·a - B·b, D·b - C·a) when Even, the negatives otherwise, in
// place over words 0..2·limbCount-1 (padded with zeros). Each product is
// below 2^126 and the results are known to be non-negative and no longer
// than a, so the signed carries end at zero.
template <bool Even>
void CombineInPlace(Word* a, Word* b, int32_t limbCount, const LehmerMatrix& m) {
  SInt128 carryA = 0;
  SInt128 carryB = 0;
  for (int32_t j = 0; j < limbCount; ++j) {
    const uint64_t x = limbs::Load64(a + 2 * j);
    const uint64_t y = limbs::Load64(b + 2 * j);
    const auto ax = static_cast<SInt128>(UInt128{m.A} * x);
    const auto by = static_cast<SInt128>(UInt128{m.B} * y);
    const auto cx = static_cast<SInt128>(UInt128{m.C} * x);
    const auto dy = static_cast<SInt128>(UInt128{m.D} * y);
    const SInt128 sumA = (Even ? ax - by : by - ax) + carryA;
    const SInt128 sumB = (Even ? dy - cx : cx - dy) + carryB;
    limbs::Store64(a + 2 * j, static_cast<uint64_t>(sumA));
    limbs::Store64(b + 2 * j, static_cast<uint64_t>(sumB));
    carryA = sumA >> 64;
    carryB = sumB >> 64;
  }
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

// gcd(a, b) for a ≥ b: Euclid until both fit a limb, then the binary loop.
UInt128 SmallGcd(UInt128 a, UInt128 b) {
  while (b != 0 && (a >> 64) != 0) {
    UInt128 r = a - b;
    if (r >= b) {
      r -= b;
      if (r >= b) {
        r %= b;
      }
    }
    a = b;
    b = r;
  }
  return b == 0 ? a : BinaryGcd<uint64_t>(static_cast<uint64_t>(a), static_cast<uint64_t>(b));
}

}  // namespace

bool BigLehmerStep(const BigInt& a, const BigInt& b, LehmerMatrix& m) {
  if (b.Length == 0) {
    return false;
  }
  const int32_t aBits = BigBitSize(a);
  int32_t position = 0;
  if (aBits > 128) {
    if (aBits - BigBitSize(b) > 62) {
      return false;
    }
    position = aBits - 128;
  }
  // Remainders r0 > r1 of the leading parts, with the magnitudes of their
  // cofactors: r_i = ±u_i·(a's part) ∓ v_i·(b's part), signs alternating.
  // The top halves of the parts take the first steps in single words;
  // their matrix then gives the parts' own remainders, which go on.
  UInt128 r0 = Bits128(a, position);
  UInt128 r1 = Bits128(b, position);
  Cofactors c;
  auto high0 = static_cast<uint64_t>(r0 >> 64);
  auto high1 = static_cast<uint64_t>(r1 >> 64);
  const bool exact = position == 0;
  int32_t accepted = EuclidSteps(high0, high1, c, false);
  if (accepted != 0) {
    Remainders(r0, r1, c, accepted);
  }
  // Exact parts go on in single words for as long as the cofactors allow.
  for (int32_t more = 1; more != 0 && r1 != 0; more = exact ? more : 0) {
    more = ScaledSteps(r0, r1, c, exact);
    accepted += more;
  }
  if (exact) {
    accepted += EuclidSteps(r0, r1, c, true);
  }
  if (accepted == 0) {
    return false;
  }
  m.A = c.U0;
  m.B = c.V0;
  m.C = c.U1;
  m.D = c.V1;
  m.Even = (accepted & 1) == 0;
  return true;
}

void LehmerApply(BigInt& a, BigInt& b, const LehmerMatrix& m) {
  const int32_t limbCount = (a.Length + 1) / 2;
  PadToLimbs(a, limbCount);
  PadToLimbs(b, limbCount);
  if (m.Even) {
    CombineInPlace<true>(a.Words, b.Words, limbCount, m);
  } else {
    CombineInPlace<false>(a.Words, b.Words, limbCount, m);
  }
  SetLimbLength(a, limbCount);
  SetLimbLength(b, limbCount);
}

void LehmerApplyToCofactors(BigInt& u, BigInt& v, const LehmerMatrix& m) {
  // Opposite signs make the magnitudes add, whichever the parity.
  const int32_t uSign = u.Length != 0 ? u.Sign : 1 - v.Sign;
  const int32_t vSign = v.Sign;
  const int32_t limbCount = (std::max(u.Length, v.Length) + 1) / 2;
  PadToLimbs(u, limbCount + 1);
  PadToLimbs(v, limbCount + 1);
  UInt128 carryU = 0;
  UInt128 carryV = 0;
  for (int32_t j = 0; j <= limbCount; ++j) {
    const uint64_t x = limbs::Load64(u.Words + 2 * j);
    const uint64_t y = limbs::Load64(v.Words + 2 * j);
    const UInt128 sumU = UInt128{m.A} * x + UInt128{m.B} * y + carryU;
    const UInt128 sumV = UInt128{m.C} * x + UInt128{m.D} * y + carryV;
    limbs::Store64(u.Words + 2 * j, static_cast<uint64_t>(sumU));
    limbs::Store64(v.Words + 2 * j, static_cast<uint64_t>(sumV));
    carryU = sumU >> 64;
    carryV = sumV >> 64;
  }
  SetLimbLength(u, limbCount + 1);
  SetLimbLength(v, limbCount + 1);
  u.Sign = u.Length != 0 ? (m.Even ? uSign : vSign) : 0;
  v.Sign = v.Length != 0 ? (m.Even ? vSign : uSign) : 0;
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
  BigTemps temps(2);
  BigInt& a = temps[0];
  BigInt& b = temps[1];
  const bool xLarger = BigCompareAbs(x, y) >= 0;
  BigAssign(a, xLarger ? x : y);
  BigAssign(b, xLarger ? y : x);
  a.Sign = 0;
  b.Sign = 0;
  LehmerMatrix m;
  // Below 129 bits plain Euclid is cheaper than a step and its combination.
  while (a.Length >= 5 && b.Length != 0) {
    CheckPoll();
    if (BigLehmerStep(a, b, m)) {
      LehmerApply(a, b, m);
    } else {
      BigRem(a, b);
      BigSwap(a, b);
    }
  }
  if (b.Length == 0) {
    BigSwap(x, a);
  } else {
    const UInt128 g = SmallGcd(Bits128(a, 0), Bits128(b, 0));
    const Word words[4] = {static_cast<Word>(g), static_cast<Word>(g >> 32), static_cast<Word>(g >> 64),
                           static_cast<Word>(g >> 96)};
    BigSetFromWords(x, words, 3, 0);
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
