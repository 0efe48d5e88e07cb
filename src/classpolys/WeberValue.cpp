// Weber's functions f, f1 and f2 at the half form (a, b, c), with the root of
// unity and sign that make the value a class invariant.

#include "base/Errors.h"
#include "classpolys/ClassInvariants.h"

namespace karvo {

namespace {

// The exponent k of the factor e^(iπk/24) and whether the value is negated.
struct TUnitFactor {
  int32_t K = 0;
  bool Negate = false;
};

TUnitFactor UnitFactor(uint32_t delta, int32_t a, int32_t b, int32_t c, int32_t power) {
  const int32_t a1 = a % 48;
  const int32_t c1 = c % 48;
  const bool aEven = a % 2 == 0;
  const bool cEven = c % 2 == 0;
  int32_t e = 0;
  if (!aEven && !cEven) {
    e = c1 * a1 * a1 + a1 - c1;
  } else if (aEven) {
    e = a1 - a1 * c1 * c1 - c1;
  } else if (delta % 8 == 5) {
    e = a1 * a1 * c1 + a1 - c1;
  } else {
    e = a1 - a1 * c1 * c1 + 2 * c1;
  }
  TUnitFactor f;
  f.K = ((b % 48) * ((e % 48) * power)) % 48;
  const int32_t u = aEven ? c : a;
  f.Negate = (u % 8 == 3 || u % 8 == 5) && delta % 8 != 5 &&
             !(delta % 8 == 7 && (aEven || cEven));
  return f;
}

}  // namespace

void EvalWeber(BigComplex& result, const BigFloat& sqrtDelta, uint32_t delta, int32_t a,
               int32_t b, int32_t c, TWeberParams params, TUnitRoots& units) {
  if (params.Type != 3 && params.Type != 6) {
    InternalError(1002, 3, 1);
  }
  ComplexTemps t(3);
  BigComplex& z = t[0];
  BigComplex& q = t[1];
  BigComplex& q2 = t[2];
  FloatTemps f(1);
  BigFloat& s = f[0];
  // z = exp(π(-√Δ + ib)/(24a)).
  GetPi(s, 0);
  DivInt(s, 24 * a);
  Assign(z.Re, sqrtDelta);
  Mul(z.Re, s);
  Negate(z.Re);
  SetInt(z.Im, b);
  Mul(z.Im, s);
  Exp(z);
  const bool aEven = a % 2 == 0;
  if (aEven) {
    Square(z);
  }
  Assign(q, z);
  Power(q, 24);
  if (!aEven && c % 2 != 0) {
    Negate(q);
  }
  EtaProducts(q, q2);
  if (aEven) {
    Assign(result, z);
    GetSqrt2(s, 0);
    Mul(result, s);
    Mul(result, q2);
    Div(result, q);
  } else {
    Assign(result, q);
    Mul(z, q2);
    Div(result, z);
  }
  for (int32_t p = params.Power; p > 1; p /= 2) {
    Square(result);
  }
  const TUnitFactor unit = UnitFactor(delta, a, b, c, params.Power);
  if (unit.K != 0) {
    const int32_t k = (unit.K + 48) % 48;
    BigComplex& root = units.Values[k];
    if (!units.Done[k]) {
      GetPi(s, 0);
      MulInt(s, k);
      DivInt(s, 24);
      SinCos(root.Im, root.Re, s, false);
      units.Done[k] = true;
    }
    Mul(result, root);
  }
  if (unit.Negate) {
    Negate(result);
  }
  if (params.Type == 3) {
    GetSqrt2(s, -1);
    Mul(result, s);
  } else {
    Halve(result);
  }
  if (delta % 3 == 0) {
    Assign(q, result);
    Square(result);
    Mul(result, q);
  }
}

}  // namespace karvo
