// The genus route: the factor of one genus, from the genus products' trace
// combinations c(g, k) = Σ_g' S[g'][g]·P_g'[k] / √d_g, which are integers,
// and square roots of the genus field values modulo N.

#include "arith/BigMod.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolyInternal.h"
#include "classpolys/ClassPolynomial.h"
#include "classpolys/XPolyBuilder.h"

namespace karvo {

namespace {

using TFloatTable = std::vector<std::vector<BigFloat>>;

void CheckGenera(const TQFormList& forms) {
  if (!forms.SignsDone || forms.FactorCount < 1 || forms.FactorCount > 6 ||
      forms.GenusCount != 1 << (forms.FactorCount - 1) ||
      forms.ClassNumber % forms.GenusCount != 0) {
    InternalError(299, 5, 1);
  }
}

// c[g][k] at the working precision.
void GenusCoefficients(TFloatTable& c, const TQFormList& forms, int32_t code, uint32_t m,
                       uint32_t disc) {
  TDynBigComplexArray values;
  EvalAllForms(values, forms, code, m, disc);
  const int32_t G = forms.GenusCount;
  TFloatTable products(static_cast<size_t>(G));
  TXPolyBuilder builder;
  for (int32_t g = 0; g < G; ++g) {
    builder.Reset(forms.Count / G + 1);
    for (int32_t i = 0; i < forms.Count; ++i) {
      const TQuadForm& f = forms.Forms[static_cast<size_t>(i)];
      if (f.Genus != static_cast<uint32_t>(g)) {
        continue;
      }
      const BigComplex& v = values[static_cast<size_t>(i)];
      f.Single != 0 ? builder.AddLinear(v.Re) : builder.AddQuadratic(v);
    }
    builder.FinishReal(products[static_cast<size_t>(g)]);
  }
  const size_t length = static_cast<size_t>(forms.ClassNumber / G + 1);
  FloatTemps t(1);
  BigFloat& scale = t[0];
  c.resize(static_cast<size_t>(G));
  for (int32_t g = 0; g < G; ++g) {
    std::vector<BigFloat>& row = c[static_cast<size_t>(g)];
    row.resize(length);
    SetInt(scale, forms.GetGenusFieldValue(g));
    Sqrt(scale);
    for (size_t k = 0; k < length; ++k) {
      SetZero(row[k]);
      for (int32_t h = 0; h < G; ++h) {
        const std::vector<BigFloat>& p = products[static_cast<size_t>(h)];
        if (p.size() != length) {
          InternalError(299, 5, 2);
        }
        forms.GetGenusSign(h, g) > 0 ? AddTo(row[k], p[k]) : SubFrom(row[k], p[k]);
      }
      Div(row[k], scale);
    }
  }
}

int32_t MagnitudeBits(const TFloatTable& c) {
  int32_t bits = INT32_MIN;
  for (const std::vector<BigFloat>& row : c) {
    bits = std::max(bits, MagnitudeBits(row));
  }
  return bits;
}

// x := x/2 modulo the odd N.
void HalveMod(BigInt& x, const BigInt& N) {
  if (BigIsOdd(x)) {
    BigAdd(x, N);
  }
  BigShiftRight(x, 1);
}

// Roots modulo N of the prime discriminant codes of forms, in their order.
void CodeRoots(std::vector<BigInt>& out, const TQFormList& forms, const BigInt& N,
               std::vector<TCodeRoot>& roots, const BigInt& c) {
  if (!roots.empty()) {
    TCodeRoot& first = roots.front();
    if (first.Code == -8 || first.Code == -4 || first.Code == 8) {
      first.Code /= 4;
      BigMod(first.Root, N);
      HalveMod(first.Root, N);
    }
  }
  out.resize(static_cast<size_t>(forms.FactorCount));
  for (int32_t j = 0; j < forms.FactorCount; ++j) {
    const int32_t code = forms.GetFactor(j);
    BigInt& r = out[static_cast<size_t>(j)];
    const auto given = std::find_if(roots.begin(), roots.end(),
                                    [code](const TCodeRoot& e) { return e.Code == code; });
    if (given != roots.end()) {
      BigAssign(r, given->Root);
      BigMod(r, N);
    } else {
      // Any root serves: every choice is an embedding of the genus field.
      BigSetInt(r, code);
      BigMod(r, N);
      BigSqrtMod(r, N, c);
    }
  }
}

// √d_g / G modulo N for every genus g, following the doubling that made d_g.
void GenusRoots(std::vector<BigInt>& out, const TQFormList& forms, const BigInt& N,
                const std::vector<BigInt>& r) {
  const int32_t G = forms.GenusCount;
  out.resize(static_cast<size_t>(G));
  std::vector<int32_t> negatives(static_cast<size_t>(G), 0);
  BigSetOne(out[0]);
  int32_t size = 1;
  const auto doubleBy = [&](int32_t j, int32_t negative) {
    for (int32_t i = 0; i < size; ++i) {
      BigMulTo(out[static_cast<size_t>(size + i)], out[static_cast<size_t>(i)],
               r[static_cast<size_t>(j)]);
      BigMod(out[static_cast<size_t>(size + i)], N);
      negatives[static_cast<size_t>(size + i)] = negatives[static_cast<size_t>(i)] + negative;
    }
    size *= 2;
  };
  for (int32_t j = 1; j < forms.NegFactorCount; ++j) {
    doubleBy(j, 1);
  }
  // A product of n roots of negative codes (with the first one's root when n
  // is odd) is ±√ of its positive value.
  for (int32_t i = 1; i < size; ++i) {
    BigInt& v = out[static_cast<size_t>(i)];
    const int32_t n = negatives[static_cast<size_t>(i)] % 4;
    if (n == 1 || n == 3) {
      BigMul(v, r[0]);
      BigMod(v, N);
    }
    if (n == 2 || n == 3) {
      BigSubFrom(v, N);
      BigMod(v, N);
    }
  }
  for (int32_t j = std::max(forms.NegFactorCount, 1); j < forms.FactorCount; ++j) {
    doubleBy(j, 0);
  }
  for (BigInt& v : out) {
    for (int32_t i = 1; i < forms.FactorCount; ++i) {
      HalveMod(v, N);
    }
  }
}

}  // namespace

int32_t EstimateGenusPrecision(const TQFormList& forms, uint32_t m, uint32_t disc,
                               int32_t code, int32_t genusCount, int32_t h) {
  CheckGenera(forms);
  PrecisionScope scope(StartPrecision(h, genusCount));
  TFloatTable c;
  GenusCoefficients(c, forms, code, m, disc);
  return PrecisionFor(MagnitudeBits(c));
}

void BuildGenusFactor(ZPoly& polynomial, const TQFormList& forms, const BigInt& N,
                      std::vector<TCodeRoot>& roots, int32_t code, uint32_t m, uint32_t disc,
                      const BigInt& c, int32_t precision, TClassPolyInfo* info) {
  if (code == 0) {
    InternalError(1002, 1, 1);
  }
  CheckGenera(forms);
  const int32_t G = forms.GenusCount;
  const int32_t degree = forms.ClassNumber / G;
  std::vector<BigInt> rounded(static_cast<size_t>(G * (degree + 1)));
  WithSafeRounding(StartPrecision(forms.ClassNumber, G), precision, info, [&] {
    TFloatTable table;
    GenusCoefficients(table, forms, code, m, disc);
    TAttempt result{INT32_MAX, MagnitudeBits(table)};
    for (int32_t g = 0; g < G; ++g) {
      for (int32_t k = 0; k <= degree; ++k) {
        const int32_t margin =
            RoundingMargin(rounded[static_cast<size_t>(g * (degree + 1) + k)],
                           table[static_cast<size_t>(g)][static_cast<size_t>(k)]);
        result.Margin = std::min(result.Margin, margin);
      }
    }
    return result;
  });
  std::vector<BigInt> codeRoots;
  std::vector<BigInt> genusRoots;
  CodeRoots(codeRoots, forms, N, roots, c);
  GenusRoots(genusRoots, forms, N, codeRoots);
  ZPolySetZeroDegree(polynomial, degree);
  BigInt halfN;
  BigAssign(halfN, N);
  BigShiftRight(halfN, 1);
  for (int32_t k = 0; k < degree; ++k) {
    BigInt& sum = polynomial.Coeffs[static_cast<size_t>(k)];
    for (int32_t g = 0; g < G; ++g) {
      BigInt& v = rounded[static_cast<size_t>(g * (degree + 1) + k)];
      BigMod(v, N);
      BigMul(v, genusRoots[static_cast<size_t>(g)]);
      BigAdd(sum, v);
    }
    BigMod(sum, N);
    if (BigCompare(sum, halfN) > 0) {
      BigSub(sum, N);
    }
  }
  BigSetOne(polynomial.Coeffs[static_cast<size_t>(degree)]);
  polynomial.Degree = degree;
}

}  // namespace karvo
