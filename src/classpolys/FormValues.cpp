#include "classpolys/ClassInvariants.h"

namespace karvo {

void EvalAllForms(TDynBigComplexArray& values, const TQFormList& forms, int32_t code,
                  uint32_t m, uint32_t disc) {
  const bool weber = code <= 0;
  const TWeberParams params = weber ? GetWeberParams(code) : TWeberParams{};
  FloatTemps t(1);
  BigFloat& root = t[0];
  SetWord(root, weber ? m : disc);
  Sqrt(root);
  values.resize(static_cast<size_t>(forms.Count));
  TUnitRoots units;
  for (int32_t i = 0; i < forms.Count; ++i) {
    const TQuadForm& f = forms.Forms[static_cast<size_t>(i)];
    BigComplex& value = values[static_cast<size_t>(i)];
    if (weber) {
      EvalWeber(value, root, m, f.A, f.B, f.C, params, units);
    } else {
      EvalEtaQuotient(value, root, code, f.A, f.B, f.C);
    }
    if (f.Single != 0) {
      SetZero(value.Im);
    }
  }
}

}  // namespace karvo
