// Class invariants to j against PARI rows (tests/data/invariants.tsv, made by
// invariants.gp), reciprocal polynomials, and the faults of the old finders.

#include <gtest/gtest.h>

#include <vector>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "polys/FlintBridge.h"
#include "polys/InvariantToJ.h"
#include "polys/ZPolyRoots.h"
#include "support/TestEnv.h"
#include "support/TsvRows.h"

namespace karvo::test {
namespace {

std::string ErrorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const EKV& e) {
    return e.what();
  }
  return "";
}

TEST(InvariantToJTest, GenuineInvariantsGiveRootsOfTheClassPolynomial) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(ReadRows(KARVO_TESTDATA_DIR "/invariants.tsv", rows, error)) << error;
  ASSERT_EQ(rows.size(), 17u);
  for (const TRow& row : rows) {
    SCOPED_TRACE("code " + row[0] + " D " + row[2]);
    const int32_t code = std::stoi(row[0]);
    BigInt N, c;
    BigFromString(N, row[3], 16);
    BigNonResidue(c, N);
    ZPoly classPoly;
    const std::vector<std::string> coefficients = SplitText(row[5], ',');
    ZPolySetZeroDegree(classPoly, static_cast<int32_t>(coefficients.size()) - 1);
    for (size_t i = 0; i < coefficients.size(); ++i) {
      BigFromString(classPoly.Coeffs[i], coefficients[i], 16);
    }
    BigInt slots[4];
    BigFromString(slots[0], row[4], 16);
    const int32_t count = InvariantToJ(slots, N, c, code, row[1] == "1");
    EXPECT_EQ(CurrentDegree, code == 17 || code == 51 ? 4 : code == 19 || code == 37 ? 3 : 1);
    bool found = false;
    for (int32_t i = 0; i < count; ++i) {
      BigInt v;
      ZPolyEval(v, slots[i], N, classPoly);
      found = found || BigIsZero(v);
    }
    EXPECT_TRUE(found) << count << " candidates";
    // A zero invariant is a failed candidate, not j = 0 (code 2 has no division).
    BigSetZero(slots[0]);
    EXPECT_EQ(InvariantToJ(slots, N, c, code, false), code == 2 ? 1 : 0);
  }
  BigInt slots[4], N;
  BigSetWord(N, 101);
  EXPECT_EQ(ErrorOf([&] { InvariantToJ(slots, N, N, 11, false); }), "Internal error 12.4.1");
}

struct TReciprocalRow {
  int32_t Constant;  // of the built polynomial
  int32_t Code;
  int32_t D;
  int32_t Expected;  // from ZPolyReciprocityConstant
  int32_t Half;      // m, half the degree
};

class ReciprocalTest : public testing::TestWithParam<TReciprocalRow> {};

// f = Π (x - r)(x - c/r): x^m·G(x + c/x), or for c = -1 x^m·G(x - 1/x).
TEST_P(ReciprocalTest, FindsRootsThroughHalfDegree) {
  const TReciprocalRow& row = GetParam();
  RandomSource random(TestSeed() + static_cast<uint64_t>(row.Code * 1000 + row.Half));
  for (int rep = 0; rep < TestMultiplier(); ++rep) {
    BigInt N, h, r, s;
    random.Prime(N, 160);
    BigNonResidue(h, N);
    ZPoly f, factor;
    ZPolySetOne(f);
    for (int32_t i = 0; i < row.Half; ++i) {
      random.Below(r, N);  // x^2 - (r + c/r)·x + c
      ZPolySetInts(factor, {row.Constant, 0, 1});
      BigAssign(s, r);
      BigInvMod(s, N);
      BigMulInt(s, -row.Constant);
      BigSubTo(factor.Coeffs[1], s, r);
      ZPolyReduce(factor, N);
      ZPolyMul(f, factor, N);
    }
    EXPECT_EQ(ZPolyReciprocityConstant(f, row.D, N, row.Code), row.Expected);
    ZPolyAssign(factor, f);
    ASSERT_TRUE(ZPolyFindRootReciprocal(f, row.Constant, N, h));
    BigSubTo(r, N, f.Coeffs[0]);
    ZPolyEval(s, r, N, factor);
    EXPECT_TRUE(BigIsZero(s));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReciprocalTest,
    testing::Values(TReciprocalRow{1, -1, 0, 1, 3}, TReciprocalRow{-1, -2, 0, -1, 4},
                    TReciprocalRow{-1, -2, 0, -1, 5}, TReciprocalRow{125, 5, 35, 125, 6},
                    TReciprocalRow{125, 5, 7, 0, 2}, TReciprocalRow{4913, 17, 17, 4913, 15},
                    TReciprocalRow{13, 13, 26, 13, 30}));

TEST(ObviousFaultsTest, ReportInsteadOfComputingOn) {
  RandomSource random(TestSeed());
  BigInt N, c, x, v;
  // A leading coefficient without inverse shows N = 15 composite.
  BigSetWord(N, 15);
  ZPoly f, g;
  ZPolySetInts(f, {1, 2, 3});
  EXPECT_FALSE(ZPolyMakeMonic(f, N));
  EXPECT_EQ(f.Degree, 2);
  EXPECT_TRUE(BigEqualsWord(f.Coeffs[2], 3));
  // More roots than room raises 12.1.1 and leaves the slot past the end.
  random.Prime(N, 100);
  BigNonResidue(c, N);
  ZPolySetInts(f, {-6, 11, -6, 1});  // (x - 1)(x - 2)(x - 3)
  std::vector<BigInt> roots(3);
  BigSetWord(roots[2], 99);
  ZPolyAssign(g, f);
  EXPECT_EQ(ErrorOf([&] { ZPolyAllRoots(roots.data(), 2, g, c, N); }), "Internal error 12.1.1");
  EXPECT_TRUE(BigEqualsWord(roots[2], 99));
  // (x - 1)^2 gives the single root 1; x^2 + 1 modulo N ≡ 3 (mod 4) has none.
  ZPolySetInts(f, {1, -2, 1});
  ASSERT_TRUE(ZPolyRootPart(f, N));
  EXPECT_EQ(ZPolyAllRoots(roots.data(), 1, f, c, N), 1);
  EXPECT_TRUE(BigIsOne(roots[0]));
  do {
    random.Prime(N, 64);
  } while (BigModWord(N, 4) != 3);
  ZPolySetInts(f, {1, 0, 1});
  EXPECT_EQ(ErrorOf([&] { ZPolyAllRoots(roots.data(), 2, f, c, N); }), "Internal error 12.1.2");
  // A polynomial without the symmetry: a root of G need not lift, and what
  // the reciprocal finder returns must be a root of f itself.
  random.Prime(N, 128);
  BigNonResidue(c, N);
  for (int i = 0; i < 20; ++i) {
    random.Poly(f, 6, N, true);
    ZPolyAssign(g, f);
    if (ZPolyFindRootReciprocal(f, 1, N, c)) {
      BigSubTo(x, N, f.Coeffs[0]);
      ZPolyEval(v, x, N, g);
      EXPECT_TRUE(BigIsZero(v));
    }
  }
  ZPolySetInts(f, {1, 2, 3, 4});
  EXPECT_EQ(ErrorOf([&] { ZPolyFindRootReciprocal(f, 1, N, c); }), "Internal error 300.12.1");
}

}  // namespace
}  // namespace karvo::test
