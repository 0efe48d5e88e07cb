// The root of the class invariant, by whichever route its key takes, against
// PARI/GP (tests/data/classpolys.tsv): the j it leads to is a root of
// polclass(D) modulo N.

#include <gtest/gtest.h>

#include <algorithm>

#include "arith/BigMod.h"
#include "classpolys/InvariantRoot.h"
#include "classpolys/QuadForms.h"
#include "support/TsvRows.h"

namespace karvo {
namespace {

// The engine's roots of the prime discriminants, the 2-part (-4, -8, 8) last.
void EngineRoots(TQStarRootList& list, uint32_t disc, const BigInt& N, const BigInt& c) {
  TQFormList forms;
  forms.Build(disc, 1, false);
  for (int32_t j = forms.FactorCount - 1; j >= 0; --j) {
    const int32_t code = forms.GetFactor(j);
    list.QStars.push_back(code == -1 || code == -2 || code == 2 ? 4 * code : code);
    list.Roots.emplace_back();
    BigSetInt(list.Roots.back(), list.QStars.back());
    BigMod(list.Roots.back(), N);
    BigSqrtMod(list.Roots.back(), N, c);
  }
  list.Count = forms.FactorCount;
}

TEST(InvariantRoot, LeadsToARootOfPolclass) {
  std::vector<test::TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadRows(KARVO_TESTDATA_DIR "/classpolys.tsv", rows, error)) << error;
  int32_t keys = 0;
  for (const test::TRow& row : rows) {
    if (row[0] != "P" || row[2] != "4") {
      continue;
    }
    SCOPED_TRACE("m " + row[1]);
    const auto m = static_cast<uint32_t>(std::stoul(row[1]));
    BigInt N, c, curve[4];
    BigFromString(N, row[6], 16);
    BigNonResidue(c, N);
    TQStarRootList list;
    if (++keys % 2 == 0) {  // the others find their own square roots
      EngineRoots(list, m % 4 == 3 ? m : 4 * m, N, c);
    }
    const uint32_t key = m % 4 != 3 && keys % 3 == 0 ? 4 * m : m;
    const int32_t n = FindInvariantRoot(curve, N, c, list, key);
    const std::vector<std::string> roots = test::SplitText(row[7], ',');
    EXPECT_TRUE(n >= 1 && std::any_of(curve, curve + n, [&](const BigInt& j) {
      return std::count(roots.begin(), roots.end(), BigToHex(j)) == 1;
    }));
  }
  EXPECT_GE(keys, 200);
}

}  // namespace
}  // namespace karvo
