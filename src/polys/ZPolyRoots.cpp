#include "polys/ZPolyRoots.h"

#include <vector>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "polys/PolysInternal.h"

namespace karvo {

namespace {

// For a prime N each further shift a splits a split polynomial with
// probability at least 1/2; past this many N is taken as not prime.
constexpr int32_t SplitTries = 128;
// Candidates g for the root of unity; a prime N has a non-residue far below.
constexpr int32_t GeneratorTries = 1000;

void Publish(int32_t degree) {
  CurrentDegree = degree;
  DegreeChanged = true;
}

// The closed forms; true when f is now linear.
bool SolveDirect(ZPoly& f, const BigInt& N, const BigInt& c) {
  switch (f.Degree) {
    case 1:
      return true;
    case 2:
      return ZPolySolveQuadratic(f, N, c);
    case 3:
      return ZPolySolveCubic(f, N);
    case 4:
      return ZPolySolveQuartic(f, N, c);
    default:
      return false;
  }
}

// g := (x + a)^e mod (f, N).
void PowerOfShift(ZPoly& g, int32_t a, const BigInt& e, const ZPoly& f, const BigInt& N) {
  ZPolySetMonomial(g, 1);
  BigSetInt(g.Coeffs[0], a);
  BigMod(g.Coeffs[0], N);
  ZPolyPowMod(g, e, f, N);
}

// Equal-degree splitting of f with an r-th root of unity zeta, e = (N-1)/r.
// The first powering also gives (x + a)^(N-1), and its gcd with f keeps only
// the distinct linear factors (the root -a is tested apart): an f without
// roots ends here instead of looping.
bool Split(ZPoly& f, const BigInt& N, const BigInt& c, const BigInt& e, const BigInt& zeta,
           int32_t r) {
  ZPolyTemps polys(2);
  ZPoly& g = polys[0];
  ZPoly& h = polys[1];
  BigTemps t(2);
  BigInt& z = t[0];
  BigInt& value = t[1];
  bool distinctLinear = false;
  for (int32_t a = 1; a <= SplitTries; ++a) {
    BigSetInt(z, -a);
    BigMod(z, N);
    ZPolyEval(value, z, N, f);
    if (BigIsZero(value)) {
      ZPolySetMonomial(f, 1);
      BigSetInt(f.Coeffs[0], a);
      BigMod(f.Coeffs[0], N);
      return true;
    }
    PowerOfShift(g, a, e, f, N);
    if (!distinctLinear) {
      ZPolyAssign(h, g);
      BigSetInt(z, r);
      ZPolyPowMod(h, z, f, N);
      ZPolySubOne(h, N);
      if (!ZPolyGcd(f, h, N) || f.Degree < 1) {
        return false;
      }
      distinctLinear = true;
      Publish(f.Degree);
      ZPolyRem(g, f, N);
      if (SolveDirect(f, N, c)) {
        return true;
      }
    }
    BigSetOne(z);
    for (int32_t i = 1; i <= r; ++i) {
      MulMod(z, zeta, N);
      ZPolyAssign(h, g);
      ZPolySubConstant(h, z, N);
      if (!ZPolyGcd(h, f, N)) {
        return false;
      }
      if (h.Degree >= 1 && h.Degree < f.Degree) {
        if (2 * h.Degree <= f.Degree) {
          ZPolySwap(f, h);
        } else {
          ZPolyQuotient(f, h, N);
        }
        Publish(f.Degree);
        if (SolveDirect(f, N, c)) {
          return true;
        }
        break;
      }
    }
  }
  return false;
}

}  // namespace

bool RootOfUnityOrder(BigInt& e, BigInt& zeta, int32_t& r, const BigInt& N, int32_t d) {
  BigTemps t(2);
  BigInt& power = t[0];
  BigInt& nMinus1 = t[1];
  BigAssign(nMinus1, N);
  BigDecrement(nMinus1);
  r = 2 * d;
  while (r > 2 && !BigIsDivisibleByWord(nMinus1, static_cast<Word>(r))) {
    --r;
  }
  BigAssign(e, nMinus1);
  BigDivExactByWord(e, static_cast<Word>(r));
  std::vector<int32_t> primes;
  for (int32_t q = 2, rest = r; rest > 1; ++q) {
    if (rest % q == 0) {
      primes.push_back(q);
      while (rest % q == 0) {
        rest /= q;
      }
    }
  }
  for (int32_t candidate = 2; candidate < GeneratorTries; ++candidate) {
    if (r % 2 == 0 && BigJacobiInt(candidate, N) != -1) {
      continue;
    }
    BigSetInt(zeta, candidate);
    BigPowMod(zeta, e, N);
    bool primitive = !BigIsOne(zeta);
    for (const int32_t q : primes) {
      BigAssign(power, zeta);
      BigPowModWord(power, static_cast<Word>(r / q), N);
      primitive = primitive && !BigIsOne(power);
    }
    if (primitive) {
      return true;
    }
  }
  return false;
}

namespace {

bool FindRootWith(ZPoly& f, const BigInt& N, const BigInt& c, bool small) {
  const TModulusIfFree barrett(N);
  ZPolyReduce(f, N);
  if (f.Degree < 1 || !ZPolyMakeMonic(f, N)) {
    return false;
  }
  Publish(f.Degree);
  if (SolveDirect(f, N, c)) {
    return true;
  }
  BigTemps t(2);
  BigInt& e = t[0];
  BigInt& zeta = t[1];
  int32_t r = 2;
  if (small) {
    BigAssign(zeta, N);
    BigDecrement(zeta);
    BigAssign(e, zeta);
    BigShiftRight1(e);
  } else if (!RootOfUnityOrder(e, zeta, r, N, f.Degree)) {
    return false;
  }
  return Split(f, N, c, e, zeta, r);
}

}  // namespace

bool ZPolyFindRoot(ZPoly& f, const BigInt& N, const BigInt& c) {
  ZPolyNormalise(f);
  return FindRootWith(f, N, c, f.Degree < 11 && BigBitSize(N) < 96);
}

bool ZPolyFindRootSmall(ZPoly& f, const BigInt& N, const BigInt& c) {
  return FindRootWith(f, N, c, true);
}

bool ZPolyRootPart(ZPoly& f, const BigInt& N) {
  const TModulusIfFree barrett(N);
  ZPolyReduce(f, N);
  if (!ZPolyMakeMonic(f, N)) {
    return false;
  }
  ZPolyTemps t(2);
  ZPoly& g = t[0];
  ZPoly& h = t[1];
  ZPolyAssign(g, f);
  ZPolyDerivative(g);
  ZPolyReduce(g, N);
  if (g.Degree > 0) {
    if (!ZPolyGcd(g, f, N)) {
      return false;
    }
    if (g.Degree > 0) {
      ZPolyQuotient(f, g, N);
    }
  }
  if (f.Degree != 1) {
    ZPolySetMonomial(h, 1);
    ZPolyPowMod(h, N, f, N);
    ZPolySubX(h, N);
    return ZPolyGcd(f, h, N);
  }
  return true;
}

namespace {

struct TAllRoots {
  BigInt* Roots;
  int32_t Max;
  int32_t Count;
  int32_t Shift;
  const BigInt& E;
  const BigInt& C;
  const BigInt& N;

  void Append(const BigInt& root) {
    if (Count >= Max) {
      InternalError(12, 1, 1);
    }
    BigAssign(Roots[Count], root);
    BigMod(Roots[Count], N);
    ++Count;
  }

  void SplitAll(ZPoly& f) {
    BigTemps t(2);
    BigInt& m = t[0];
    BigInt& s = t[1];
    if (f.Degree == 1) {
      BigAssign(m, f.Coeffs[0]);
      BigNegate(m);
      Append(m);
    } else if (f.Degree == 2) {
      BigAssign(m, f.Coeffs[1]);
      BigNegate(m);
      BigMod(m, N);
      if (BigIsOdd(m)) {
        BigAdd(m, N);
      }
      BigShiftRight1(m);
      BigAssign(s, m);
      BigSqr(s);
      BigSub(s, f.Coeffs[0]);
      BigMod(s, N);
      const int32_t symbol = BigJacobi(s, N);
      if (symbol < 0) {
        InternalError(12, 1, 2);
      }
      if (symbol > 0) {
        BigSqrtMod(s, N, C);
        BigSub(m, s);
        Append(m);
        BigAdd(m, s);
        BigAdd(m, s);
      }
      Append(m);
    } else if (f.Degree >= 3) {
      ZPolyTemps polys(1);
      ZPoly& h = polys[0];
      for (int32_t tries = 0;; ++tries) {
        if (tries == SplitTries) {
          InternalError(12, 1, 3);
        }
        PowerOfShift(h, Shift++, E, f, N);
        ZPolySubOne(h, N);
        if (!ZPolyGcd(h, f, N)) {
          InternalError(12, 1, 3);
        }
        if (h.Degree >= 1 && h.Degree < f.Degree) {
          break;
        }
      }
      ZPolyQuotient(f, h, N);
      SplitAll(h);
      SplitAll(f);
    }
  }
};

}  // namespace

int32_t ZPolyAllRoots(BigInt* roots, int32_t max, ZPoly& f, const BigInt& c, const BigInt& N) {
  const TModulusIfFree barrett(N);
  ZPolyReduce(f, N);
  if (!ZPolyMakeMonic(f, N)) {
    InternalError(12, 1, 3);
  }
  BigTemps t(1);
  BigAssign(t[0], N);
  BigDecrement(t[0]);
  BigShiftRight1(t[0]);
  TAllRoots all{roots, max, 0, 1, t[0], c, N};
  all.SplitAll(f);
  ZPolySetOne(f);
  return all.Count;
}

bool ZPolyFindRootReciprocal(ZPoly& f, int32_t c, const BigInt& N, const BigInt& h) {
  if (f.Degree % 2 != 0) {
    InternalError(300, 12, 1);
  }
  const int32_t m = f.Degree / 2;
  ZPolyTemps polys(1);
  ZPoly& original = polys[0];
  ZPolyAssign(original, f);
  ZPolyDivXk(f, m);
  BigTemps t(4);
  BigInt& binomial = t[0];
  BigInt& power = t[1];
  BigInt& term = t[2];
  BigInt& constant = t[3];
  BigSetInt(constant, c);
  BigMod(constant, N);
  // (x + c/x)^i = Σ C(i, k)·c^k·x^(i-2k); c = -1 gives (x - 1/x)^i.
  for (int32_t i = m; i >= 1; --i) {
    BigMod(f.Coeffs[i], N);
    if (BigIsZero(f.Coeffs[i])) {
      continue;
    }
    BigSetOne(binomial);
    BigSetOne(power);
    for (int32_t k = 1; k <= i / 2; ++k) {
      BigMulWord(binomial, static_cast<Word>(i - k + 1));
      BigDivExactByWord(binomial, static_cast<Word>(k));
      MulMod(power, constant, N);
      BigMulTo(term, binomial, power);
      BigMod(term, N);
      MulMod(term, f.Coeffs[i], N);
      BigSub(f.Coeffs[i - 2 * k], term);
      BigMod(f.Coeffs[i - 2 * k], N);
    }
  }
  ZPolyReduce(f, N);
  if (!ZPolyFindRoot(f, N, h)) {
    return false;
  }
  // x^2 + s·x + c = 0 with s = f[0]: x = (-s ± √(s^2 - 4c))/2.
  BigAssign(term, f.Coeffs[0]);
  BigSqr(term);
  BigAssign(power, constant);
  BigShiftLeft(power, 2);
  BigSub(term, power);
  BigMod(term, N);
  if (BigJacobi(term, N) < 0) {
    return false;
  }
  if (!BigIsZero(term)) {
    BigSqrtMod(term, N, h);
  }
  BigAdd(term, f.Coeffs[0]);
  BigMod(term, N);
  if (BigIsOdd(term)) {
    BigAdd(term, N);
  }
  BigShiftRight1(term);
  BigNegate(term);
  BigMod(term, N);
  ZPolyEval(power, term, N, original);
  if (!BigIsZero(power)) {
    return false;
  }
  ZPolySetMonomial(f, 1);
  BigSubTo(f.Coeffs[0], N, term);
  BigMod(f.Coeffs[0], N);
  return true;
}

int32_t ZPolyReciprocityConstant(const ZPoly& f, int32_t d, const BigInt& N, int32_t code) {
  const int32_t n = f.Degree;
  if (n <= 0 || n % 2 != 0) {
    return 0;
  }
  const int32_t m = n / 2;
  if (code < 0) {
    bool symmetric = true;
    bool alternating = true;
    BigTemps t(1);
    for (int32_t j = n; j > m; --j) {
      const BigInt& high = f.Coeffs[j];
      const BigInt& low = f.Coeffs[n - j];
      symmetric = symmetric && BigEqual(high, low);
      BigAddTo(t[0], high, low);
      BigMod(t[0], N);
      const bool sameParity = (j - m) % 2 == 0;
      alternating = alternating && (sameParity ? BigEqual(high, low) : BigIsZero(t[0]));
    }
    return symmetric ? 1 : alternating ? -1 : 0;
  }
  struct TLevel {
    int32_t Code, Level, Constant;
  };
  static constexpr TLevel Levels[] = {{3, 3, 729},  {5, 5, 125},   {7, 7, 49},  {9, 3, 9},
                                      {13, 13, 13}, {15, 5, 5},    {17, 17, 4913},
                                      {19, 19, 19}, {37, 37, 37},  {51, 17, 17}};
  for (const TLevel& level : Levels) {
    if (level.Code != code) {
      continue;
    }
    if (d % level.Level != 0) {
      return 0;
    }
    BigTemps t(2);
    BigSetInt(t[0], level.Constant);
    BigSetInt(t[1], m);
    BigPowMod(t[0], t[1], N);
    BigAssign(t[1], f.Coeffs[0]);
    BigMod(t[1], N);
    return BigEqual(t[0], t[1]) ? level.Constant : 0;
  }
  return 0;
}

}  // namespace karvo
