#pragma once

// Class invariants of imaginary quadratic orders: which invariant a key m
// takes (its code), and the invariant's value at a reduced form, from Weber
// functions (codes below 0) or eta quotients (codes above 0). The key m
// stands for the discriminant -m when m ≡ 3 (mod 4), else -4m; |disc| is
// the magnitude. Failures are InternalError(1002, ...).

#include <cstdint>

#include "classpolys/BigFloat.h"
#include "classpolys/QuadForms.h"

namespace karvo {

// Level 3 and above admits 37 and 19, level 4 and above 51 and 17. 0 for the
// class-number-one keys, whose j is known.
int32_t ChooseInvariant(uint32_t m, int32_t level);

// N: modulus of the form conditions, P: prime of the eta quotient, S: its
// exponent; (0, 0, 0) for codes without one.
struct TInvariantSpec {
  int32_t N = 0;
  int32_t P = 0;
  int32_t S = 0;
};
TInvariantSpec GetInvariantSpec(int32_t code);

// Type 3 scales the value by √2/2, type 6 by 1/2. Codes ≥ 0: 1002.1.1.
struct TWeberParams {
  int32_t Type = 0;
  int32_t Power = 0;
};
TWeberParams GetWeberParams(int32_t code);

// The 48th roots of unity e^(iπk/24), each computed when first asked for.
struct TUnitRoots {
  BigComplex Values[48];
  bool Done[48] = {};
};

// The Weber value at the half form a·x² + 2b·x·y + c·y² of determinant
// -delta; sqrtDelta is √delta at the working precision; units serves the
// forms of one precision. 1002.3.1 for a bad type.
void EvalWeber(BigComplex& result, const BigFloat& sqrtDelta, uint32_t delta, int32_t a,
               int32_t b, int32_t c, TWeberParams params, TUnitRoots& units);

// The eta quotient of code at the full form (a, b, c) of discriminant -D;
// sqrtD is √D. 1002.4.1 for a code without a formula.
void EvalEtaQuotient(BigComplex& result, const BigFloat& sqrtD, int32_t code, int32_t a,
                     int32_t b, int32_t c);

// q := ∏(1 - q^n) over n ≥ 1, for |q| < 1.
void EtaProduct(BigComplex& q);
// q := ∏(1 - q^n) and q2 := ∏(1 - q^(2n)) from one pass over the series.
void EtaProducts(BigComplex& q, BigComplex& q2);

// One value per stored form of forms (built with code for |disc| of key m);
// an ambiguous form's value is real.
void EvalAllForms(TDynBigComplexArray& values, const TQFormList& forms, int32_t code,
                  uint32_t m, uint32_t disc);

}  // namespace karvo
