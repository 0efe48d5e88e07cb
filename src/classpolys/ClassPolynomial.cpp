// The direct route: the whole class polynomial over the integers.

#include "classpolys/ClassPolynomial.h"

#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolyInternal.h"
#include "classpolys/XPolyBuilder.h"

namespace karvo {

namespace {

// A linear factor for an ambiguous form, a quadratic one for a form and its twin.
void AddFactors(TXPolyBuilder& builder, const TQFormList& forms, int32_t code, uint32_t m,
                uint32_t disc) {
  TDynBigComplexArray values;
  EvalAllForms(values, forms, code, m, disc);
  builder.Reset(forms.Count);
  for (int32_t i = 0; i < forms.Count; ++i) {
    const BigComplex& v = values[static_cast<size_t>(i)];
    if (forms.Forms[static_cast<size_t>(i)].Single != 0) {
      builder.AddLinear(v.Re);
    } else {
      builder.AddQuadratic(v);
    }
  }
}

}  // namespace

int32_t EstimatePrecision(const TQFormList& forms, uint32_t m, uint32_t disc, int32_t code) {
  PrecisionScope scope(StartPrecision(forms.ClassNumber, 1));
  TXPolyBuilder builder;
  AddFactors(builder, forms, code, m, disc);
  return PrecisionFor(builder.FinishBits());
}

void BuildClassPolynomial(ZPoly& polynomial, const TQFormList& forms, uint32_t disc,
                          int32_t code, uint32_t m, int32_t precision, TClassPolyInfo* info) {
  if (code == 0) {
    InternalError(1002, 1, 1);
  }
  TXPolyBuilder builder;
  WithSafeRounding(StartPrecision(forms.ClassNumber, 1), precision, info, [&] {
    AddFactors(builder, forms, code, m, disc);
    TAttempt result{builder.FinishInteger(polynomial), 0};
    for (int32_t k = 0; k <= polynomial.Degree; ++k) {
      result.Bits = std::max(result.Bits, BigBitSize(polynomial.Coeffs[static_cast<size_t>(k)]));
    }
    return result;
  });
}

}  // namespace karvo
