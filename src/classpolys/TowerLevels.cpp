// One level of the tower over the complex numbers: the coset polynomials,
// the integer polynomial of their generating coefficients θ, and each coset
// coefficient interpolated as a polynomial in θ with a common denominator.

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "classpolys/TowerInternal.h"
#include "classpolys/XPolyBuilder.h"

namespace karvo {

namespace {

constexpr int kUnit = 1002;

// q := ∏ (x - v) over the values, coefficient k at index k.
template <class F>
void ProductOfLinears(TDynBigComplexArray& q, int32_t count, F value) {
  q.resize(static_cast<size_t>(count) + 1);
  SetOne(q[0]);
  ComplexTemps t(1);
  for (int32_t n = 0; n < count; ++n) {
    const BigComplex& v = value(n);
    SetZero(q[static_cast<size_t>(n) + 1]);
    for (size_t k = static_cast<size_t>(n) + 1; k > 0; --k) {
      Assign(t[0], q[k]);
      Mul(t[0], v);
      Assign(q[k], q[k - 1]);
      SubFrom(q[k], t[0]);
    }
    Mul(q[0], v);
    Negate(q[0]);
  }
}

// 1/P'(θ) and P(x)/(x - θ) at every θ, from the integer P.
void MakeBasis(TInterpolationBasis& basis, const ZPoly& P, const TDynBigComplexArray& theta) {
  const int32_t n = P.Degree;
  std::vector<BigFloat> p(static_cast<size_t>(n) + 1);
  for (int32_t k = 0; k <= n; ++k) {
    SetBig(p[static_cast<size_t>(k)], P.Coeffs[static_cast<size_t>(k)]);
  }
  basis.Weights.resize(theta.size());
  basis.Quotients.resize(theta.size());
  FloatTemps t(1);
  for (size_t c = 0; c < theta.size(); ++c) {
    BigComplex& w = basis.Weights[c];
    TDynBigComplexArray& s = basis.Quotients[c];
    s.resize(static_cast<size_t>(n));
    SetZero(s[static_cast<size_t>(n) - 1]);
    Assign(s[static_cast<size_t>(n) - 1].Re, p[static_cast<size_t>(n)]);
    // Synthetic division, with P'(θ) by Horner's rule beside it.
    SetZero(w);
    Assign(w.Re, p[static_cast<size_t>(n)]);
    MulInt(w, n);
    for (int32_t k = n - 1; k >= 1; --k) {
      BigComplex& next = s[static_cast<size_t>(k) - 1];
      Assign(next, s[static_cast<size_t>(k)]);
      Mul(next, theta[c]);
      AddTo(next.Re, p[static_cast<size_t>(k)]);
      Mul(w, theta[c]);
      Assign(t[0], p[static_cast<size_t>(k)]);
      MulInt(t[0], k);
      AddTo(w.Re, t[0]);
    }
    Reciprocal(w);
  }
}

// The nearest integer to a, lowering margin to its rounding margin.
void RoundInto(BigInt& n, const BigFloat& a, int32_t& margin) {
  margin = std::min(margin, RoundingMargin(n, a));
}

}  // namespace

void FactorKey(TKeyPrimes& record, uint32_t m) {
  record = TKeyPrimes();
  const auto add = [&record](uint32_t p) {
    if (record.Count == TowerMaxLevels) {
      InternalError(kUnit, 101, 1);
    }
    record.Primes[record.Count++] = static_cast<int32_t>(p);
  };
  if (m % 2 == 0) {
    add(2);
    while (m % 2 == 0) {
      m /= 2;
    }
  }
  for (uint32_t p = 3; p <= m / p; p += 2) {
    if (m % p == 0) {
      add(p);
      while (m % p == 0) {
        m /= p;
      }
    }
  }
  if (m > 1) {
    add(m);
  }
}

void DenominatorRoot(BigInt& result, const TKeyPrimes& primes, const BigInt& discriminant) {
  BigAssign(result, discriminant);
  BigAbs(result);
  if (BigIsZero(result)) {
    InternalError(kUnit, 103, 1);
  }
  BigTemps t(1);
  for (int32_t i = primes.Count - 1; i >= 0; --i) {
    const auto p = static_cast<Word>(primes.Primes[i]);
    int32_t exponent = 0;
    BigAssign(t[0], result);
    for (; BigIsDivisibleByWord(t[0], p); ++exponent) {
      BigDivExactByWord(t[0], p);
    }
    if (exponent % 2 == 1) {
      BigDivExactByWord(result, p);
    }
  }
  if (!BigIsqrt(result)) {
    InternalError(kUnit, 103, 2);
  }
}

int32_t InterpolateCoefficient(ZPoly& T, BigInt& L, const TDynBigComplexArray& values,
                               const TInterpolationBasis& basis, const BigInt& delta,
                               bool negate) {
  const size_t n = basis.Quotients.size();
  ComplexTemps ct(1);
  FloatTemps ft(2);
  std::vector<BigFloat> sum(n);
  for (size_t c = 0; c < n; ++c) {
    BigComplex& a = ct[0];
    Assign(a, values[c]);
    Mul(a, basis.Weights[c]);
    for (size_t k = 0; k < n; ++k) {
      const BigComplex& s = basis.Quotients[c][k];
      Assign(ft[0], a.Re);
      Mul(ft[0], s.Re);
      Assign(ft[1], a.Im);
      Mul(ft[1], s.Im);
      AddTo(sum[k], ft[0]);
      SubFrom(sum[k], ft[1]);
    }
  }
  int32_t margin = INT32_MAX;
  ZPolySetZeroDegree(T, static_cast<int32_t>(n) - 1);
  BigSetOne(L);
  BigTemps t(2);
  std::vector<BigInt> denominators(n);
  for (size_t k = 0; k < n; ++k) {
    MulBig(sum[k], delta);
    RoundInto(T.Coeffs[k], sum[k], margin);
    BigAssign(t[0], T.Coeffs[k]);
    BigGcd(t[0], delta);
    BigDiv(T.Coeffs[k], t[0]);
    BigAssign(denominators[k], delta);
    BigDiv(denominators[k], t[0]);
    BigLcm(L, denominators[k]);
  }
  for (size_t k = 0; k < n; ++k) {
    BigAssign(t[1], L);
    BigDiv(t[1], denominators[k]);
    BigMul(T.Coeffs[k], t[1]);
    if (negate) {
      BigNegate(T.Coeffs[k]);
    }
  }
  ZPolyNormalise(T);
  return margin;
}

int32_t BuildLevel(TDynBigComplexArray& values, int32_t cosets, int32_t cosetSize,
                   int32_t index, const TKeyPrimes& primes, ZPoly& polynomial,
                   std::vector<ZPoly>& T, std::vector<BigInt>& L, bool last) {
  TDynBigComplexMatrix Q(static_cast<size_t>(cosets));
  TDynBigComplexArray theta(static_cast<size_t>(cosets));
  for (int32_t c = 0; c < cosets; ++c) {
    TDynBigComplexArray& q = Q[static_cast<size_t>(c)];
    ProductOfLinears(q, cosetSize, [&](int32_t k) -> const BigComplex& {
      return values[static_cast<size_t>(c + k * cosets)];
    });
    for (size_t j = 0; j < q.size(); j += 2) {
      Negate(q[j]);
    }
    Assign(theta[static_cast<size_t>(c)], q[static_cast<size_t>(index)]);
  }
  TDynBigComplexArray p;
  ProductOfLinears(p, cosets, [&](int32_t c) -> const BigComplex& {
    return theta[static_cast<size_t>(c)];
  });
  int32_t margin = INT32_MAX;
  ZPolySetZeroDegree(polynomial, cosets);
  for (int32_t k = 0; k <= cosets; ++k) {
    RoundInto(polynomial.Coeffs[static_cast<size_t>(k)], p[static_cast<size_t>(k)].Re, margin);
  }
  ZPolyNormalise(polynomial);
  if (margin < 1) {
    return margin;  // no integer polynomial yet: the precision falls short
  }
  BigTemps t(2);
  ZPolyDiscriminant(polynomial, t[0]);
  DenominatorRoot(t[1], primes, t[0]);
  TInterpolationBasis basis;
  MakeBasis(basis, polynomial, theta);
  T.resize(static_cast<size_t>(cosetSize));
  L.resize(static_cast<size_t>(cosetSize));
  TDynBigComplexArray column(static_cast<size_t>(cosets));
  for (int32_t j = cosetSize - 1; j >= 0; --j) {
    for (int32_t c = 0; c < cosets; ++c) {
      Assign(column[static_cast<size_t>(c)], Q[static_cast<size_t>(c)][static_cast<size_t>(j)]);
    }
    margin = std::min(margin, InterpolateCoefficient(T[static_cast<size_t>(j)],
                                                     L[static_cast<size_t>(j)], column, basis,
                                                     t[1], j % 2 == 0));
  }
  if (!last) {
    values = std::move(theta);
  }
  return margin;
}

}  // namespace karvo
