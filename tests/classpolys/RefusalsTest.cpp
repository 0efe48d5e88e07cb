// The fixed cases of the units: precision rounding, the stopping rule of
// series, exp(0), and every internal error, one row each.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "base/Errors.h"
#include "classpolys/BigFloat.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolynomial.h"
#include "classpolys/QuadForms.h"
#include "classpolys/XPolyBuilder.h"

namespace karvo {
namespace {

TEST(FloatEdges, PrecisionSeriesStopAndExpOfZero) {
  const std::pair<int32_t, int32_t> precisions[] = {{0, 128}, {100, 128}, {129, 160}, {4097, 4128}};
  for (const auto& [asked, got] : precisions) {
    SetPrecision(asked);
    EXPECT_EQ(GetPrecision(), got);
  }
  SetPrecision(128);
  BigFloat one, tiny;
  SetOne(one), SetOne(tiny);
  MulPow2(tiny, -200);
  EXPECT_FALSE(AddTo(one, tiny));
  MulPow2(tiny, 100);
  EXPECT_TRUE(AddTo(one, tiny));
  SetZero(one);
  Exp(one);
  EXPECT_EQ(one.Exponent, 1 - 128);
  EXPECT_TRUE(Decrement(one) && IsZero(one));
}

TEST(Refusals, EveryInternalError) {
  const int32_t ones[3] = {1, 1, 1};
  TQFormList f23, f420;
  f23.Build(23, 1, true), f420.Build(420, 1, true);
  BigFloat z, a;
  BigComplex cz, c;
  // Seven prime discriminant factors (2, 3, 5, 7, 11, 13, 17): 64 genera.
  TQFormList seven;
  seven.Build(4 * 510510, 2, false);
  seven.ComputeGenera();
  ZPoly f;
  TXPoly big, linear, product;
  std::vector<BigFloat> scratch;
  big.Degree = 8388607, linear.Degree = 1;
  std::vector<TCodeRoot> none;
  BigInt n;
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"11.113.1", [] { TQFormList().Build(5, 1, false); }},
      {"11.113.1", [] { TQFormList().Build(6, -1, false); }},
      {"11.101.1", [] { TQFormList l; l.Build(23, 1, false); l.ComputeGenusSigns(); }},
      {"11.102.1", [&] { f420.GetFactor(4); }},
      {"11.103.1", [&] { f23.GetForm(2); }},
      {"11.107.1", [&] { f420.GetGenusFieldValue(8); }},
      {"11.112.1", [&] { f420.GetGenusSign(0, 8); }},
      {"11.1.1", [] { ListForms(23, 1, true); }},
      {"11.1.2", [] { ListForms(23, 2, true); }},
      {"11.1.3", [] { ListForms(23, 4, true); }},
      {"11.3.1", [] { ListHalfForms(5, 1, true); }},
      {"11.3.2", [] { ListHalfForms(14, 3, true); }},
      {"11.3.3", [] { ListHalfForms(5, 3, true); }},
      {"11.5.1", [&] { BuildOrderedForms(23, 3, ones, 3, ones); }},
      {"11.101.2", [] { TQFormList().Build(4 * 510510, 2, true); }},
      {"299.2.1", [&] { XPolyMul(product, big, linear, scratch); }},
      // Weber values at full forms are no class invariants: nothing rounds.
      {"299.4.1", [&] { BuildClassPolynomial(f, f23, 23, -1, 23); }},
      // Without the genus signs, then with 7 factors (64 genera) claimed done.
      {"299.5.1", [&] { BuildGenusFactor(f, seven, n, none, 2, 1, 1, n); }},
      {"299.5.1", [&] { seven.SignsDone = true, BuildGenusFactor(f, seven, n, none, 2, 1, 1, n); }},
      {"1002.1.1", [] { GetWeberParams(0); }},
      {"1002.1.1", [&] { BuildClassPolynomial(f, f23, 23, 0, 23); }},
      {"1002.1.1", [&] { BuildGenusFactor(f, f420, n, none, 0, 105, 420, n); }},
      {"1002.3.1", [&] { TUnitRoots u; SetOne(a), EvalWeber(c, a, 23, 1, 0, 23, {5, 1}, u); }},
      {"1002.4.1", [&] { SetOne(a), EvalEtaQuotient(c, a, 11, 1, 1, 6); }},
      {"1002.4.2", [&] { SetOne(a), EvalEtaQuotient(c, a, 9, 3, 0, 3); }},
      {"1001.14.1", [] { SetPrecision(-1); }},
      {"1001.2.1", [&] { Div(a, z); }},
      {"1001.4.1", [&] { DivBig(a, BigInt()); }},
      {"1001.5.1", [&] { DivInt(a, 0); }},
      {"1001.6.1", [&] { DivWord(a, 0); }},
      {"1001.7.1", [&] { Reciprocal(z); }},
      {"1001.8.1", [&] { InverseOf(a, z); }},
      {"1001.15.1", [&] { SetMinusOne(a); Sqrt(a); }},
      {"1001.105.1", [&] { MulPow2(c, -1); }},
      {"1001.102.1", [&] { Reciprocal(cz); }},
      {"1001.103.1", [&] { InverseOf(c, cz); }},
      {"1001.100.1", [&] { Div(c, cz); }},
      // A mantissa of 127 bits met at the same magnitude as a normalised one.
      {"1001.1.1", [&] { SetInt(a, 3), SetInt(z, 3), BigShiftRight(a.Mantissa, 1), ++a.Exponent, CompareAbs(a, z); }},
  };
  for (const auto& [code, call] : rows) {
    try {
      call();
      ADD_FAILURE() << code << " not raised";
    } catch (const EKV& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Internal error ") + code);
    }
  }
}

}  // namespace
}  // namespace karvo
