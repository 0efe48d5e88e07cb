// Root finding over polynomials built with FLINT from known roots (and
// rootless quadratics (x - a)^2 - n, n a non-residue), one row per shape.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "polys/FlintBridge.h"
#include "polys/ZPolyRoots.h"
#include "support/TestEnv.h"

namespace karvo::test {
namespace {

struct TRootRow {
  std::string Kind;
  int32_t Roots;     // linear factors
  int32_t Rootless;  // quadratic factors without roots
  int32_t Bits;
  int32_t ModNine;   // N mod 9 wanted, 0 for any
};

std::ostream& operator<<(std::ostream& out, const TRootRow& r) {
  return out << r.Kind << " " << r.Roots << "+" << r.Rootless << " bits " << r.Bits << " " << r.ModNine;
}

// Whether a finder left f = x + r with -r a root of original.
bool LeftRoot(const ZPoly& f, const ZPoly& original, const BigInt& N) {
  BigInt r, v;
  BigSubTo(r, N, f.Coeffs[0]);
  ZPolyEval(v, r, N, original);
  return f.Degree == 1 && BigIsZero(v);
}

class ZPolyRootTest : public testing::TestWithParam<TRootRow> {
 protected:
  void SetUp() override {
    const TRootRow& row = GetParam();
    random_.Prime(N_, row.Bits);
    while (row.ModNine != 0 && BigModWord(N_, 9) != static_cast<Word>(row.ModNine)) {
      random_.Prime(N_, row.Bits);
    }
    if (row.Kind == "composite") {
      BigInt q;
      random_.Prime(q, row.Bits);
      BigMul(N_, q);
    }
    BigNonResidue(c_, N_);
  }

  // f := Π (x - roots[i]) · Π ((x - a)^2 - n); roots are drawn here, the last
  // repeating the first when there are three or more.
  void Build(ZPoly& f, std::vector<std::string>& roots) {
    const TRootRow& row = GetParam();
    FlintModulus mod(N_);
    FlintPoly product(mod), quadratic(mod);
    BigInt v, first, a;
    ZPolySetOne(f);
    product.Set(f);
    for (int32_t i = 0; i < row.Roots + row.Rootless; ++i) {
      random_.Below(v, N_);
      if (i < row.Roots) {  // x - v, the last one repeating the first
        BigAssign(i == 0 ? first : v, i > 1 && i == row.Roots - 1 ? first : v);
        roots.push_back(BigToHex(v));
        ZPolySetInts(f, {0, 1});
        BigSubTo(f.Coeffs[0], N_, v);
      } else {  // x^2 - 2a·x + a^2 - v with v a non-residue
        while (BigJacobi(v, N_) != -1) {
          random_.Below(v, N_);
        }
        random_.Below(a, N_);
        ZPolySetInts(f, {0, -2, 1});
        BigMul(f.Coeffs[1], a);
        BigSqrTo(f.Coeffs[0], a);
        BigSub(f.Coeffs[0], v);
      }
      ZPolyReduce(f, N_);
      quadratic.Set(f);
      fmpz_mod_poly_mul(product.get(), product.get(), quadratic.get(), mod.ctx());
    }
    product.Get(f);
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  }

  RandomSource random_{TestSeed() + std::hash<std::string>{}(testing::PrintToString(GetParam()))};
  BigInt N_, c_;
};

TEST_P(ZPolyRootTest, FindsOnlyRoots) {
  const TRootRow& row = GetParam();
  SCOPED_TRACE(testing::Message() << "KARVO_TEST_SEED=" << TestSeed());
  for (int rep = 0; rep < TestMultiplier(); ++rep) {
    ZPolyTemps t(3);
    ZPoly& f = t[0];
    ZPoly& g = t[1];
    ZPoly& original = t[2];
    std::vector<std::string> roots;
    Build(f, roots);
    ZPolyAssign(original, f);
    ZPolyAssign(g, f);
    if (row.Kind == "find" || row.Kind == "none") {
      // The unbounded search of old hung on a polynomial without roots.
      const bool found = ZPolyFindRoot(f, N_, c_);
      ASSERT_EQ(found, !roots.empty());
      EXPECT_TRUE(!found || LeftRoot(f, original, N_));
      ZPolyAssign(f, original);
      EXPECT_EQ(ZPolyFindRootSmall(f, N_, c_), found);
      ASSERT_TRUE(ZPolyRootPart(g, N_));
      ASSERT_EQ(g.Degree, static_cast<int32_t>(roots.size()));
      std::vector<BigInt> all(roots.size() + 1);
      BigSetWord(all.back(), 7);  // a guard the finder must not touch
      const int32_t count =
          ZPolyAllRoots(all.data(), static_cast<int32_t>(roots.size()), g, c_, N_);
      std::vector<std::string> got;
      for (int32_t i = 0; i < count; ++i) {
        got.push_back(BigToHex(all[static_cast<size_t>(i)]));
      }
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, roots);
      EXPECT_TRUE(BigEqualsWord(all.back(), 7));
    } else if (row.Kind == "cubic" || row.Kind == "quartic") {
      // The direct solvers give true roots or nothing, and nothing at once
      // for N mod 9 in {1, 8}; splitting then finds a root anyway.
      const bool solved =
          row.Kind == "cubic" ? ZPolySolveCubic(f, N_) : ZPolySolveQuartic(f, N_, c_);
      const bool excluded = row.ModNine == 1 || row.ModNine == 8;
      if (excluded || row.Rootless == 0) {
        EXPECT_EQ(solved, !excluded);
      }
      EXPECT_TRUE(!solved || LeftRoot(f, original, N_));
      EXPECT_TRUE(ZPolyFindRoot(g, N_, c_) && LeftRoot(g, original, N_));
    } else if (row.Kind == "composite") {
      // Must end; whatever it returns must hold modulo N.
      try {
        EXPECT_TRUE(!ZPolyFindRoot(f, N_, c_) || LeftRoot(f, original, N_));
      } catch (const EKV&) {
      }
    } else {
      FAIL() << "unknown kind " << row.Kind;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ZPolyRootTest,
    testing::Values(TRootRow{"find", 1, 0, 64, 0}, TRootRow{"find", 2, 0, 128, 0},
                    TRootRow{"find", 5, 0, 20, 0}, TRootRow{"find", 5, 0, 128, 0},
                    TRootRow{"find", 8, 3, 64, 0}, TRootRow{"find", 12, 4, 256, 0},
                    TRootRow{"find", 40, 0, 512, 0}, TRootRow{"find", 100, 0, 128, 1},
                    TRootRow{"find", 3, 20, 256, 0}, TRootRow{"none", 0, 1, 128, 0},
                    TRootRow{"none", 0, 3, 64, 0}, TRootRow{"none", 0, 6, 256, 0},
                    TRootRow{"cubic", 3, 0, 128, 1}, TRootRow{"cubic", 3, 0, 128, 2},
                    TRootRow{"cubic", 3, 0, 128, 4}, TRootRow{"cubic", 3, 0, 128, 5},
                    TRootRow{"cubic", 3, 0, 128, 7}, TRootRow{"cubic", 3, 0, 128, 8},
                    TRootRow{"cubic", 1, 1, 128, 2}, TRootRow{"cubic", 1, 1, 128, 4},
                    TRootRow{"cubic", 1, 1, 128, 5}, TRootRow{"cubic", 1, 1, 128, 7},
                    TRootRow{"quartic", 4, 0, 128, 1}, TRootRow{"quartic", 4, 0, 128, 2},
                    TRootRow{"quartic", 4, 0, 128, 4}, TRootRow{"quartic", 4, 0, 192, 5},
                    TRootRow{"quartic", 4, 0, 128, 7}, TRootRow{"quartic", 4, 0, 128, 8},
                    TRootRow{"quartic", 2, 1, 128, 5}, TRootRow{"quartic", 2, 1, 128, 7},
                    TRootRow{"composite", 6, 0, 64, 0}, TRootRow{"composite", 3, 0, 100, 0}));

}  // namespace
}  // namespace karvo::test
