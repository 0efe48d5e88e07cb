#include <algorithm>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "polys/PolysInternal.h"
#include "polys/ZPoly.h"

namespace karvo {

namespace {

// Schoolbook division by the monic b of degree m ≥ 1: the rows are
// subtracted on unreduced coefficients and each quotient coefficient is
// reduced once. The quotient goes to q when one is wanted.
void DivideRows(ZPoly& a, const ZPoly& b, const BigInt& N, ZPoly* q) {
  const int32_t m = b.Degree;
  const int32_t top = a.Degree;
  if (q != nullptr) {
    ZPolySetZeroDegree(*q, std::max(top - m, 0));
    q->Degree = top - m;
  }
  BigTemps t(1);
  BigInt& product = t[0];
  for (int32_t i = top; i >= m; --i) {
    BigInt& lead = a.Coeffs[i];
    BigMod(lead, N);
    if (!BigIsZero(lead)) {
      for (int32_t j = 0; j < m; ++j) {
        BigMulTo(product, lead, b.Coeffs[j]);
        BigSub(a.Coeffs[i - m + j], product);
      }
    }
    if (q != nullptr) {
      BigSwap(q->Coeffs[i - m], lead);
    }
    BigSetZero(lead);
  }
  a.Degree = std::min(top, m - 1);
  ZPolyReduce(a, N);
}

struct TModulusPoly {
  const ZPoly& F;
  const ZPoly* Reciprocal;  // set when the Newton division is used
  const BigInt& N;
};

// a := a mod (f, N) for a product on unreduced coefficients: the division
// reduces each coefficient it needs once, instead of every one first.
void Reduce(ZPoly& a, const TModulusPoly& f) {
  if (a.Degree < f.F.Degree) {
    ZPolyReduce(a, f.N);
  } else if (f.Reciprocal != nullptr) {
    ZPolyRemFast(a, f.F, *f.Reciprocal, f.N);
  } else {
    ZPolyRem(a, f.F, f.N);
  }
}

// a := a·(c1·x + c0) mod f in O(deg f) products, for powering a linear base.
void MulLinear(ZPoly& a, const ZPoly& linear, const TModulusPoly& f) {
  const BigInt& N = f.N;
  const int32_t m = f.F.Degree;
  BigTemps t(1);
  ZPolyMulXk(a, 1);
  const bool scaled = !BigIsOne(linear.Coeffs[1]);
  for (int32_t i = 0; i <= a.Degree; ++i) {
    if (scaled) {
      BigMul(a.Coeffs[i], linear.Coeffs[1]);
    }
    if (i < a.Degree) {
      BigMulTo(t[0], a.Coeffs[i + 1], linear.Coeffs[0]);
      BigAdd(a.Coeffs[i], t[0]);
    }
  }
  if (a.Degree == m) {
    DivideRows(a, f.F, N, nullptr);
  } else {
    ZPolyReduce(a, N);
  }
}

}  // namespace

void ZPolyRem(ZPoly& a, const ZPoly& b, const BigInt& N) {
  if (b.Degree < 0) {
    InternalError(300, 3, 1);
  }
  if (b.Degree == 0) {
    a.Degree = -1;
  } else if (a.Degree >= b.Degree) {
    DivideRows(a, b, N, nullptr);
  }
}

void ZPolyQuotient(ZPoly& a, const ZPoly& b, const BigInt& N) {
  if (b.Degree < 0) {
    InternalError(300, 1, 1);
  }
  if (!BigIsOne(b.Coeffs[b.Degree])) {
    InternalError(300, 1, 2);
  }
  if (a.Degree < b.Degree) {
    a.Degree = -1;
    return;
  }
  if (b.Degree == 0) {
    ZPolyReduce(a, N);
    return;
  }
  ZPolyTemps t(1);
  DivideRows(a, b, N, &t[0]);
  ZPolySwap(a, t[0]);
  ZPolyNormalise(a);
}

// Newton iteration for the inverse series s of rev(b) = x^m·b(1/x), whose
// constant term is 1, doubling the precision up to m + 1 terms; the
// reciprocal x^(2m) div b is s read backwards.
void ZPolyReciprocal(ZPoly& r, const ZPoly& b, const BigInt& N) {
  const int32_t m = b.Degree;
  if (m < 1) {
    InternalError(300, 11, 1);
  }
  ZPolyTemps t(3);
  ZPoly& reversed = t[0];
  ZPoly& s = t[1];
  ZPoly& e = t[2];
  ZPolySetZeroDegree(reversed, m);
  for (int32_t i = 0; i <= m; ++i) {
    BigAssign(reversed.Coeffs[i], b.Coeffs[m - i]);
  }
  ZPolyNormalise(reversed);
  ZPolySetOne(s);
  for (int32_t precision = 1; precision < m + 1;) {
    precision = std::min(2 * precision, m + 1);
    ZPolyAssign(e, reversed);
    ZPolyTruncate(e, precision);
    ZPolyMul(e, s, N);
    ZPolyTruncate(e, precision);
    ZPolySubOne(e, N);
    ZPolyMul(e, s, N);
    ZPolyTruncate(e, precision);
    ZPolySub(s, e, N);
  }
  ZPolySetZeroDegree(r, m);
  for (int32_t i = 0; i <= std::min(s.Degree, m); ++i) {
    BigAssign(r.Coeffs[m - i], s.Coeffs[i]);
  }
  ZPolyNormalise(r);
}

// Exact for deg a < 2m: with a = a1·x^m + a0 and r = x^(2m) div b, the
// quotient is (a1·r) div x^m.
void ZPolyRemFast(ZPoly& a, const ZPoly& b, const ZPoly& r, const BigInt& N) {
  const int32_t m = b.Degree;
  if (a.Degree < m) {
    return;
  }
  if (a.Degree >= 2 * m) {
    InternalError(300, 8, 2);
  }
  ZPolyTemps t(1);
  ZPoly& q = t[0];
  ZPolyAssign(q, a);
  ZPolyDivXk(q, m);
  ZPolyReduce(q, N);
  ZPolyMulHigh(q, r, m, N);
  ZPolyMulRaw(q, b, nullptr);
  a.Degree = m - 1;
  for (int32_t i = 0; i <= std::min(q.Degree, m - 1); ++i) {
    BigSub(a.Coeffs[i], q.Coeffs[i]);
  }
  ZPolyReduce(a, N);
}

// Newton division pays once its two full products beat the m^2 coefficient
// products of the rows: measured here from degree 128 with N of 64 words,
// and from 192 for any N.
bool ZPolyUsesNewton(int32_t d, int32_t words) { return d >= 192 || (d >= 128 && words >= 64); }

void ZPolyPowMod(ZPoly& a, const BigInt& e, const ZPoly& f, const BigInt& N) {
  if (f.Degree < 0) {
    InternalError(300, 7, 1);
  }
  ZPolyReduce(a, N);
  ZPolyRem(a, f, N);
  if (BigIsZero(e)) {
    ZPolySetOne(a);
    ZPolyRem(a, f, N);
    return;
  }
  if (a.Degree < 0) {
    return;
  }
  ZPolyTemps t(2);
  ZPoly& base = t[0];
  ZPoly& reciprocal = t[1];
  const TModulusIfFree barrett(N);
  const bool newton = ZPolyUsesNewton(f.Degree, N.Length);
  if (newton) {
    ZPolyReciprocal(reciprocal, f, N);
  }
  const TModulusPoly mod{f, newton ? &reciprocal : nullptr, N};
  ZPolyAssign(base, a);
  const int32_t bits = BigBitSize(e);
  if (base.Degree == 1 && f.Degree >= 2) {
    for (int32_t i = bits - 2; i >= 0; --i) {
      ZPolyMulRaw(a, a, nullptr);
      Reduce(a, mod);
      if (BigTestBit(e, i)) {
        MulLinear(a, base, mod);
      }
    }
    return;
  }
  // Sliding windows over the odd powers base, base^3, ..., base^(2^w - 1).
  const int32_t w = PowWindowSize(bits, BigPopCount(e));
  const int32_t tableSize = int32_t{1} << (w - 1);
  ZPolyTemps table(tableSize);
  ZPolyAssign(table[0], base);
  if (tableSize > 1) {
    ZPolyMulRaw(base, base, nullptr);
    Reduce(base, mod);
    for (int32_t k = 1; k < tableSize; ++k) {
      ZPolyAssign(table[k], table[k - 1]);
      ZPolyMulRaw(table[k], base, nullptr);
      Reduce(table[k], mod);
    }
  }
  bool first = true;
  for (int32_t i = bits - 1; i >= 0;) {
    if (!BigTestBit(e, i)) {
      ZPolyMulRaw(a, a, nullptr);
      Reduce(a, mod);
      --i;
      continue;
    }
    int32_t low = std::max(i - w + 1, 0);
    while (!BigTestBit(e, low)) {
      ++low;
    }
    const Word window = BigBitField(e, low, i - low + 1);
    if (first) {
      ZPolyAssign(a, table[static_cast<int32_t>(window / 2)]);
      first = false;
    } else {
      for (int32_t k = low; k <= i; ++k) {
        ZPolyMulRaw(a, a, nullptr);
        Reduce(a, mod);
      }
      ZPolyMulRaw(a, table[static_cast<int32_t>(window / 2)], nullptr);
      Reduce(a, mod);
    }
    i = low - 1;
  }
}

bool ZPolyGcd(ZPoly& a, const ZPoly& b, const BigInt& N) {
  if (a.Degree <= 0 || b.Degree <= 0) {
    if (a.Degree < 0 || b.Degree < 0) {
      if (a.Degree < 0) {
        ZPolyAssign(a, b);
      }
      return ZPolyMakeMonic(a, N);
    }
    ZPolySetOne(a);
    return true;
  }
  ZPolyTemps t(1);
  ZPoly& d = t[0];
  ZPolyAssign(d, b);
  while (true) {
    CheckPoll();
    if (!ZPolyMakeMonic(d, N)) {
      return false;
    }
    ZPolyRem(a, d, N);
    if (a.Degree >= 1) {
      ZPolySwap(a, d);
      continue;
    }
    if (a.Degree == 0) {
      ZPolySetOne(a);
    } else {
      ZPolySwap(a, d);
    }
    return true;
  }
}

}  // namespace karvo
