// Fixed cases of the class polynomials: invariant choices, known polynomials,
// recorded fingerprints, a too-low precision, and the CPC setting.

#include <gtest/gtest.h>

#include <vector>

#include "arith/BigMod.h"
#include "base/Settings.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolynomial.h"
#include "support/TsvRows.h"

namespace karvo {
namespace {

uint32_t Disc(uint32_t m) { return m % 4 == 3 ? m : 4 * m; }

// The class polynomial of m under code, and what its build used.
TClassPolyInfo Build(ZPoly& f, uint32_t m, int32_t code, int32_t precision = 0) {
  TQFormList forms;
  forms.Build(Disc(m), code, false);
  TClassPolyInfo info;
  BuildClassPolynomial(f, forms, Disc(m), code, m, precision, &info);
  return info;
}

TEST(ClassPolyEdges, ChoicesKnownPolynomialsAndFingerprints) {
  struct TChoice {
    uint32_t M;
    int32_t Level, Code;
  };
  const TChoice choices[] = {{163, 4, 0}, {11, 4, 0}, {23, 4, -1}, {15, 4, -3}, {10, 4, -2},
                             {5, 4, -4},  {6, 4, -6}, {35, 4, 15}, {91, 4, 13}, {187, 4, 51},
                             {187, 3, 2}, {51, 4, 17}, {59, 4, 2}, {51, 3, 3}};
  for (const TChoice& c : choices) {
    EXPECT_EQ(ChooseInvariant(c.M, c.Level), c.Code) << c.M << " at level " << c.Level;
  }
  const std::pair<uint32_t, std::vector<int64_t>> known[] = {{23, {-1, -1, 0, 1}},
                                                             {47, {-1, -2, -2, -1, 0, 1}}};
  for (const auto& [m, coefficients] : known) {
    ZPoly f, expected;
    Build(f, m, -1);
    ZPolySetInts(expected, coefficients);
    ASSERT_EQ(f.Degree, expected.Degree);
    for (int32_t i = 0; i <= f.Degree; ++i) {
      EXPECT_TRUE(BigEqual(f.Coeffs[size_t(i)], expected.Coeffs[size_t(i)])) << m << " x^" << i;
    }
  }
  std::vector<test::TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadRows(KARVO_TESTDATA_DIR "/classpoly-fingerprints.tsv", rows, error));
  BigInt p, x, v;
  BigSetWord(p, 1000000007);
  BigSetWord(x, 12345);
  for (const test::TRow& row : rows) {
    const auto m = static_cast<uint32_t>(std::stoul(row[0]));
    ASSERT_EQ(ChooseInvariant(m, std::stoi(row[1])), std::stoi(row[2]));
    ZPoly f;
    Build(f, m, std::stoi(row[2]));
    EXPECT_EQ(f.Degree, std::stoi(row[3])) << m;
    ZPolyReduce(f, p);
    ZPolyEval(v, x, p, f);
    EXPECT_EQ(BigToDecimal(v), row[4]) << m;
  }
}

// Below the coefficients' size the first evaluation rounds wrongly; the
// build notices and starts again higher, for both routes.
TEST(ClassPolyEdges, TooLowPrecisionIsRaised) {
  ZPoly right, forced;
  const TClassPolyInfo first = Build(right, 10243, 2);
  const TClassPolyInfo again = Build(forced, 10243, 2, first.PrecisionBits - 96);
  EXPECT_EQ(first.Attempts, 1);
  EXPECT_GE(again.Attempts, 2);
  EXPECT_GE(again.MarginBits, 16);
  ASSERT_EQ(forced.Degree, right.Degree);
  for (int32_t i = 0; i <= right.Degree; ++i) {
    EXPECT_TRUE(BigEqual(forced.Coeffs[size_t(i)], right.Coeffs[size_t(i)])) << "x^" << i;
  }
  TQFormList forms;
  forms.Build(Disc(4605), 5, true);
  BigInt N, c;
  BigFromString(N, "35791F07065BDB745", 16);  // splits completely (classpolys.tsv)
  BigNonResidue(c, N);
  std::vector<TCodeRoot> none;
  TClassPolyInfo info;
  BuildGenusFactor(right, forms, N, none, 5, 4605, Disc(4605), c, 0, &info);
  EXPECT_EQ(info.Attempts, 1);
  BuildGenusFactor(forced, forms, N, none, 5, 4605, Disc(4605), c, info.PrecisionBits - 96, &info);
  EXPECT_GE(info.Attempts, 2);
  for (int32_t i = 0; i <= right.Degree; ++i) {
    EXPECT_TRUE(BigEqual(forced.Coeffs[size_t(i)], right.Coeffs[size_t(i)])) << "x^" << i;
  }
}

TEST(ClassPolyEdges, CpcScalesThePrecision) {
  TQFormList forms;
  forms.Build(Disc(4605), 5, true);
  const int32_t plain = EstimatePrecision(forms, 4605, Disc(4605), 5);
  const int32_t genus = EstimateGenusPrecision(forms, 4605, Disc(4605), 5, 8, 64);
  Settings.CPC = 150;
  EXPECT_EQ(EstimatePrecision(forms, 4605, Disc(4605), 5), plain * 150 / 100);
  EXPECT_EQ(EstimateGenusPrecision(forms, 4605, Disc(4605), 5, 8, 64), genus * 150 / 100);
  Settings.CPC = 100;
  EXPECT_LT(genus, plain);
}

}  // namespace
}  // namespace karvo
