// Class polynomials against PARI/GP (tests/data/classpolys.tsv, made by
// classpolys.gp): every root modulo N of the class polynomial and of the
// genus factor leads through InvariantToJ to a root of polclass(D).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "arith/BigMod.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolynomial.h"
#include "classpolys/ClassStats.h"
#include "polys/InvariantToJ.h"
#include "polys/ZPolyRoots.h"
#include "support/TsvRows.h"

namespace karvo {
namespace {

using test::TRow;

struct TKey {
  uint32_t M = 0;
  int32_t Code = 0;
  BigInt N, C;
  std::vector<std::string> Roots;  // of polclass(D) modulo N, hexadecimal
  uint32_t Disc() const { return M % 4 == 3 ? M : 4 * M; }
};

// The number of roots of f modulo N whose j is a root of polclass(D);
// f must split into distinct linear factors, and is used up.
int32_t RootsLeadingToJ(ZPoly& f, const TKey& key) {
  ZPolyReduce(f, key.N);
  const int32_t degree = f.Degree;
  std::vector<BigInt> roots(static_cast<size_t>(degree));
  const int32_t count = ZPolyAllRoots(roots.data(), degree, f, key.C, key.N);
  int32_t good = 0;
  for (int32_t i = 0; i < count; ++i) {
    BigInt slots[4];
    BigAssign(slots[0], roots[static_cast<size_t>(i)]);
    // f (odd m) gives j = (f^24 - 16)^3/f^24, f1 (even m) (f1^24 + 16)^3/f1^24.
    const int32_t n = InvariantToJ(slots, key.N, key.C, key.Code, key.Code < 0 && key.M % 2 == 1);
    good += std::any_of(slots, slots + n, [&](const BigInt& j) {
      return std::count(key.Roots.begin(), key.Roots.end(), BigToHex(j)) == 1;
    }) ? 1 : 0;
  }
  return count == degree ? good : -1;
}

const std::vector<TRow>& Rows() {
  static std::vector<TRow> rows;
  static std::string error;
  static const bool read = test::ReadRows(KARVO_TESTDATA_DIR "/classpolys.tsv", rows, error);
  EXPECT_TRUE(read) << error;
  return rows;
}

bool TwoPart(const TCodeRoot& r) { return r.Code % 4 == 0; }

// The prime discriminant codes of forms with roots modulo N, the 2-part as
// the engine gives it (-4, -8 or 8) first.
std::vector<TCodeRoot> SuppliedRoots(const TQFormList& forms, const TKey& key) {
  std::vector<TCodeRoot> roots(static_cast<size_t>(forms.FactorCount));
  for (int32_t j = 0; j < forms.FactorCount; ++j) {
    const int32_t code = forms.GetFactor(j);
    TCodeRoot& r = roots[static_cast<size_t>(j)];
    r.Code = code == -1 || code == -2 || code == 2 ? 4 * code : code;
    BigSetInt(r.Root, r.Code);
    BigMod(r.Root, key.N);
    BigSqrtMod(r.Root, key.N, key.C);
  }
  std::stable_partition(roots.begin(), roots.end(), TwoPart);
  return roots;
}

TEST(ClassPolynomials, RootsLeadToThoseOfPolclass) {
  int32_t genusRows = 0;
  int32_t leastMargin = INT32_MAX;
  for (const TRow& row : Rows()) {
    if (row[0] != "P") {
      continue;
    }
    TKey key;
    key.M = static_cast<uint32_t>(std::stoul(row[1]));
    key.Code = std::stoi(row[3]);
    const int32_t h = std::stoi(row[5]);
    SCOPED_TRACE("m " + row[1] + " code " + row[3]);
    EXPECT_EQ(ChooseInvariant(key.M, std::stoi(row[2])), key.Code);
    BigFromString(key.N, row[6], 16);
    BigNonResidue(key.C, key.N);
    key.Roots = test::SplitText(row[7], ',');
    TQFormList forms;
    forms.Build(key.Disc(), key.Code, true);
    ZPoly f;
    TClassPolyInfo info;
    BuildClassPolynomial(f, forms, key.Disc(), key.Code, key.M, 0, &info);
    leastMargin = std::min(leastMargin, info.MarginBits);
    ASSERT_EQ(f.Degree, h);
    EXPECT_EQ(RootsLeadingToJ(f, key), h);
    if (forms.GenusCount >= 2) {
      // Every other key with the engine's roots, the others with roots of its own.
      std::vector<TCodeRoot> roots;
      if (++genusRows % 2 == 0) {
        roots = SuppliedRoots(forms, key);
      }
      BuildGenusFactor(f, forms, key.N, roots, key.Code, key.M, key.Disc(), key.C, 0, &info);
      // The 2-part entry now holds the code of the forms' list, its root halved.
      EXPECT_TRUE(std::none_of(roots.begin(), roots.end(), TwoPart));
      leastMargin = std::min(leastMargin, info.MarginBits);
      const int32_t degree = f.Degree;
      ASSERT_EQ(degree, h / forms.GenusCount);
      EXPECT_EQ(RootsLeadingToJ(f, key), degree);
    }
  }
  EXPECT_GE(genusRows, 100);
  std::printf("least rounding margin: %d bits\n", leastMargin);
}

TEST(ClassPolynomials, StatisticsAgainstPari) {
  for (const TRow& row : Rows()) {
    if (row[0] != "S") {
      continue;
    }
    SCOPED_TRACE("E " + row[1]);
    const auto e = static_cast<uint32_t>(std::stoul(row[1]));
    const int32_t h = std::stoi(row[2]);
    EXPECT_EQ(ClassNumber(e), h);
    EXPECT_EQ(ClassNumberUpTo(e, h), h);
    EXPECT_EQ(ClassNumberUpTo(e, h - 1), 0);
    if (row[3] != "-") {
      EXPECT_EQ(GenusCount(e), std::stoi(row[3]));
    }
    EXPECT_EQ(GenusCountIfFundamental(e), std::stoi(row[4]));
  }
  EXPECT_EQ(GenusCountIfFundamental(-5), 0);
}

}  // namespace
}  // namespace karvo
