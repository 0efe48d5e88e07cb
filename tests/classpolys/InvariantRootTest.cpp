// The root of the class invariant, by whichever route its key takes, against
// PARI/GP (tests/data/classpolys.tsv and towers.tsv): the j it leads to is a
// root of polclass(D) modulo N. The genus and direct routes run without
// class-group files, the tower with the committed ones.

#include <gtest/gtest.h>

#include <algorithm>

#include "arith/BigMod.h"
#include "base/Globals.h"
#include "classpolys/InvariantRoot.h"
#include "classpolys/QuadForms.h"
#include "classpolys/TowerInternal.h"
#include "support/ProgramFolder.h"
#include "support/TsvRows.h"

namespace karvo {
namespace {

using test::TProgramFolder;

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

// Calls back with m, N and the roots of polclass(D) of every row of kind.
template <class F>
int32_t ForEachKey(const char* file, const std::string& kind, size_t rootsColumn, F check) {
  std::vector<test::TRow> rows;
  std::string error;
  EXPECT_TRUE(test::ReadRows(std::string(KARVO_TESTDATA_DIR "/") + file, rows, error)) << error;
  int32_t keys = 0;
  for (const test::TRow& row : rows) {
    if (row[0] != kind || (kind == "P" && row[2] != "4")) {
      continue;
    }
    SCOPED_TRACE("m " + row[1]);
    BigInt N, c;
    BigFromString(N, row[rootsColumn - 1], 16);
    BigNonResidue(c, N);
    check(static_cast<uint32_t>(std::stoul(row[1])), N, c,
          test::SplitText(row[rootsColumn], ','), ++keys);
  }
  return keys;
}

void ExpectRootOfPolclass(uint32_t key, const BigInt& N, const BigInt& c,
                          const std::vector<std::string>& roots, TQStarRootList& list) {
  BigInt curve[4];
  const int32_t n = FindInvariantRoot(curve, N, c, list, key);
  EXPECT_TRUE(n >= 1 && std::any_of(curve, curve + n, [&](const BigInt& j) {
    return std::count(roots.begin(), roots.end(), BigToHex(j)) == 1;
  }));
}

TEST(InvariantRoot, GenusAndDirectRoutesLeadToARootOfPolclass) {
  TProgramFolder without(KARVO_TESTDATA_DIR);
  const auto check = [](uint32_t m, const BigInt& N, const BigInt& c,
                        const std::vector<std::string>& roots, int32_t row) {
    TQStarRootList list;
    if (row % 2 == 0) {  // the others find their own square roots
      EngineRoots(list, m % 4 == 3 ? m : 4 * m, N, c);
    }
    ExpectRootOfPolclass(m % 4 != 3 && row % 3 == 0 ? 4 * m : m, N, c, roots, list);
  };
  EXPECT_GE(ForEachKey("classpolys.tsv", "P", 7, check), 200);
}

TEST(InvariantRoot, TowerLeadsToARootOfPolclass) {
  TProgramFolder with(KARVO_DATA_DIR);
  int32_t towers = 0;
  const auto check = [&towers](uint32_t m, const BigInt& N, const BigInt& c,
                               const std::vector<std::string>& roots, int32_t) {
    ZPoly f;
    int32_t code = 0;
    towers += RootByTower(f, m, N, code, c) && f.Degree == 1;
    TQStarRootList none;
    ExpectRootOfPolclass(m, N, c, roots, none);
  };
  ForEachKey("towers.tsv", "T", 5, check);
  EXPECT_GE(towers, 25);
}

}  // namespace
}  // namespace karvo
