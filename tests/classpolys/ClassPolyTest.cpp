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

TEST(ClassPolynomials, RootsLeadToThoseOfPolclass) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadRows(KARVO_TESTDATA_DIR "/classpolys.tsv", rows, error)) << error;
  ASSERT_GE(rows.size(), 300u);
  int32_t genusRows = 0;
  int32_t leastMargin = INT32_MAX;
  for (const TRow& row : rows) {
    TKey key;
    key.M = static_cast<uint32_t>(std::stoul(row[0]));
    key.Code = std::stoi(row[2]);
    const int32_t h = std::stoi(row[4]);
    SCOPED_TRACE("m " + row[0] + " code " + row[2]);
    EXPECT_EQ(ChooseInvariant(key.M, std::stoi(row[1])), key.Code);
    BigFromString(key.N, row[5], 16);
    BigNonResidue(key.C, key.N);
    key.Roots = test::SplitText(row[6], ',');
    TQFormList forms;
    forms.Build(key.Disc(), key.Code, true);
    ZPoly f;
    TClassPolyInfo info;
    BuildClassPolynomial(f, forms, key.Disc(), key.Code, key.M, 0, &info);
    leastMargin = std::min(leastMargin, info.MarginBits);
    ASSERT_EQ(f.Degree, h);
    EXPECT_EQ(RootsLeadingToJ(f, key), h);
    if (forms.GenusCount >= 2) {
      ++genusRows;
      std::vector<TCodeRoot> none;
      BuildGenusFactor(f, forms, key.N, none, key.Code, key.M, key.Disc(), key.C, 0, &info);
      leastMargin = std::min(leastMargin, info.MarginBits);
      ASSERT_EQ(f.Degree, h / forms.GenusCount);
      const int32_t degree = f.Degree;
      EXPECT_EQ(RootsLeadingToJ(f, key), degree);
    }
  }
  EXPECT_GE(genusRows, 100);
  std::printf("least rounding margin: %d bits\n", leastMargin);
}

}  // namespace
}  // namespace karvo
