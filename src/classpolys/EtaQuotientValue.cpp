// Eta quotients w_p^s (w_p(τ) = η(τ/p)/η(τ)) and gamma2 at a full form. The
// form is first replaced by an equivalent (a', b') meeting the congruences
// that make the value a class invariant.

#include "base/Errors.h"
#include "classpolys/ClassInvariants.h"

namespace karvo {

namespace {

struct TShiftedForm {
  int64_t A = 0;
  int64_t B = 0;
};

// A primitive form's values a·n² + b·n + c meet every residue class often
// enough that these searches end within the bound.
constexpr int32_t kSearchBound = 64;

// b' := b' + 2a' until p1 and p2 divide b'.
void ShiftB(TShiftedForm& f, int32_t p1, int32_t p2) {
  for (int32_t i = 0; f.B % p1 != 0 || f.B % p2 != 0; ++i) {
    if (i == kSearchBound) {
      InternalError(1002, 4, 2);
    }
    f.B += 2 * f.A;
  }
}

// (c', -b') of the equivalent form (a, b + 2an, a·n² + b·n + c) whose last
// coefficient is prime to p1 and p2.
TShiftedForm SwapPrimeTo(int64_t a, int64_t b, int64_t c, int32_t p1, int32_t p2) {
  for (int32_t i = 0; c % p1 == 0 || c % p2 == 0; ++i) {
    if (i == kSearchBound) {
      InternalError(1002, 4, 2);
    }
    c += b + a;
    b += 2 * a;
  }
  return {c, -b};
}

// z = exp(π(-√D + ib')/A); b' is taken modulo 2A, which leaves z unchanged.
void EtaVariable(BigComplex& z, const BigFloat& sqrtD, int64_t b, int64_t A) {
  FloatTemps t(1);
  BigFloat& s = t[0];
  const auto denominator = static_cast<Word>(A);
  GetPi(s, 0);
  DivWord(s, denominator);
  Assign(z.Re, sqrtD);
  Mul(z.Re, s);
  Negate(z.Re);
  SetWord(z.Im, static_cast<Word>(((b % (2 * A)) + 2 * A) % (2 * A)));
  Mul(z.Im, s);
  Exp(z);
}

// (256x³ + 1)/(32x) with x = f2^8/16 from z = q^(1/3).
void Gamma2(BigComplex& result, BigComplex& z) {
  ComplexTemps t(2);
  BigComplex& q = t[0];
  BigComplex& q2 = t[1];
  Assign(q, z);
  Power(q, 3);
  EtaProducts(q, q2);
  Div(q2, q);
  Power(q2, 8);
  Mul(q2, z);
  Assign(result, q2);
  Power(result, 3);
  MulPow2(result, 8);
  Increment(result.Re);
  MulPow2(q2, 5);
  Div(result, q2);
}

// result := (∏(1 - q^n) / ∏(1 - q^(pn)))^s / z^e.
void Quotient(BigComplex& result, BigComplex& q, BigComplex& z, int32_t p, int32_t s,
              int32_t e) {
  ComplexTemps t(1);
  BigComplex& qp = t[0];
  Assign(qp, q);
  Power(qp, p);
  EtaProduct(q);
  EtaProduct(qp);
  Assign(result, q);
  Div(result, qp);
  Power(result, s);
  Power(z, e);
  Div(result, z);
}

}  // namespace

void EvalEtaQuotient(BigComplex& result, const BigFloat& sqrtD, int32_t code, int32_t a,
                     int32_t b, int32_t c) {
  const TInvariantSpec spec = GetInvariantSpec(code);
  TShiftedForm f{a, b};
  ComplexTemps t(2);
  BigComplex& z = t[0];
  BigComplex& q = t[1];
  switch (code) {
    case 2:
      if (a % 3 != 0 && b % 3 != 0) {
        f.B = (2 * a + b) % 3 == 0 ? b + 2 * a : b + 4 * a;
      } else if (a % 3 == 0 && b % 3 != 0 && c % 3 != 0) {
        f.B = (c + b) % 3 == 0 ? b + 2 * a : b + 4 * a;
      }
      EtaVariable(z, sqrtD, f.B, 3 * f.A);
      Gamma2(result, z);
      return;
    case 3:
    case 5:
    case 7:
    case 13:
    case 17:
    case 19:
    case 37:
      if (a % code == 0) {
        f = {c, -b};
      }
      ShiftB(f, code, code);
      if (code <= 13) {
        EtaVariable(z, sqrtD, f.B, code * f.A);
        Assign(q, z);
        Quotient(result, q, z, code, spec.S, 1);
        return;
      }
      break;
    case 9:
      if (a % 3 == 0) {
        f = SwapPrimeTo(a, b, c, 3, 3);
      }
      ShiftB(f, 9, 9);
      break;
    case 15:
    case 51:
      if (a % 3 == 0 || a % spec.P == 0) {
        f = SwapPrimeTo(a, b, c, 3, spec.P);
      }
      ShiftB(f, 3, spec.P);
      break;
    default:
      InternalError(1002, 4, 1);
  }
  EtaVariable(z, sqrtD, f.B, 24 * spec.P * f.A);
  Assign(q, z);
  Power(q, 24);
  Quotient(result, q, z, spec.P, spec.S, (spec.P - 1) * spec.S);
}

}  // namespace karvo
