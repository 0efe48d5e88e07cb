// Quadratic forms against PARI/GP: class numbers, genera, the sets of reduced
// forms, compositions and class-group walks of tests/data/forms.tsv.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "classpolys/QuadForms.h"
#include "support/TestEnv.h"
#include "support/TsvRows.h"

namespace karvo {

void PrintTo(const TQuadForm32& f, std::ostream* os) { *os << "(" << f.A << ", " << f.B << ", " << f.C << ")"; }

namespace {

using test::TRow;

const std::vector<TRow>& Rows() {
  static const std::vector<TRow> rows = [] {
    std::vector<TRow> r;
    std::string error;
    if (!test::ReadRows(std::string(KARVO_TESTDATA_DIR) + "/forms.tsv", r, error)) {
      ADD_FAILURE() << error;
    }
    return r;
  }();
  return rows;
}

int64_t Field(const TRow& row, size_t i) { return std::stoll(row.at(i)); }
TQuadForm32 FormAt(const TRow& row, size_t i) {
  return {static_cast<int32_t>(Field(row, i)), static_cast<int32_t>(Field(row, i + 1)),
          static_cast<int32_t>(Field(row, i + 2))};
}

// The order-free fingerprint of make-forms.gp.
int64_t Fingerprint(const TDynQuadForm32Array& forms) {
  constexpr int64_t q = 1000000007;
  int64_t sum = 0;
  for (const TQuadForm32& f : forms) {
    int64_t v = ((int64_t{f.A} * 65537 + f.B) % q + q) % q;
    v = (v * 65537 + f.C) % q;
    sum = (sum + v * v) % q;
  }
  return sum;
}

// The stored forms with their twins, b of the full representation.
TDynQuadForm32Array Expanded(const TQFormList& list) {
  TDynQuadForm32Array out;
  const int32_t scale = list.FullB ? 1 : 2;
  for (int32_t i = 0; i < list.Count; ++i) {
    const TQuadForm f = list.GetForm(i);
    out.push_back({f.A, scale * f.B, f.C});
    if (!f.Single) {
      out.push_back({f.A, -scale * f.B, f.C});
    }
  }
  return out;
}

TDynQuadForm32Array Doubled(TDynQuadForm32Array forms) {
  for (TQuadForm32& f : forms) {
    f.B *= 2;
  }
  return forms;
}

// Every class counted in one of GenusCount equal genera, and each genus sign
// is the Jacobi symbol of its genus field value at the represented M.
void ExpectGenera(TQFormList& list) {
  list.ComputeGenera();
  std::vector<int32_t> perGenus(static_cast<size_t>(list.GenusCount));
  for (int32_t i = 0; i < list.Count; ++i) {
    const TQuadForm f = list.GetForm(i);
    ASSERT_TRUE(f.M >= 3 && f.M % 2 == 1 && std::gcd(uint32_t(f.M), list.D) == 1) << f.M;
    ASSERT_LT(f.Genus, perGenus.size());
    perGenus[f.Genus] += f.Single ? 1 : 2;
  }
  for (int32_t n : perGenus) {
    EXPECT_EQ(n * list.GenusCount, list.ClassNumber);
  }
  if (list.FactorCount > 6) {
    return;
  }
  list.ComputeGenusSigns();
  for (int32_t i = 0; i < list.Count; ++i) {
    for (int32_t g = 0; g < list.GenusCount; ++g) {
      const TQuadForm f = list.GetForm(i);
      ASSERT_EQ(list.GetGenusSign(g, static_cast<int32_t>(f.Genus)),
                IntJacobi(list.GetGenusFieldValue(g), f.M));
    }
  }
}

TEST(QuadFormsPari, ClassNumbersGeneraAndReducedForms) {
  int64_t keys = 0;
  int64_t forms = 0;
  for (const TRow& row : Rows()) {
    const std::string& kind = row[0];
    if (kind != "F" && kind != "N" && kind != "H") {
      continue;
    }
    const auto d = static_cast<uint32_t>(Field(row, 1));
    const auto h = static_cast<int32_t>(Field(row, 2));
    const int64_t fp = Field(row, kind == "N" ? 3 : 4);
    SCOPED_TRACE(kind + " " + row[1]);
    TQFormList list;
    list.Build(d, kind == "H" ? 0 : 1, false);
    ASSERT_EQ(list.ClassNumber, h);
    const TDynQuadForm32Array all = Expanded(list);
    EXPECT_EQ(Fingerprint(all), fp);
    if (kind == "H") {
      EXPECT_EQ(Doubled(ListHalfForms(d, h, true)), all);
    } else {
      // The list keeps the enumeration order, each twin right after its form.
      EXPECT_EQ(ListForms(d, h, true), all);
    }
    if (kind == "F" && d % 4 == 0) {
      EXPECT_EQ(Doubled(ListHalfForms(d / 4, h, true)), all);
      TQFormList half;
      half.Build(d, -1, false);
      EXPECT_EQ(half.D, d / 4);
      EXPECT_EQ(Expanded(half), all);
    }
    if (kind != "N") {
      EXPECT_EQ(list.GenusCount, Field(row, 3));
    }
    if (kind == "F") {
      ExpectGenera(list);
    }
    ++keys;
    forms += h;
  }
  EXPECT_GT(keys, 14000);
  RecordProperty("keys", std::to_string(keys));
  RecordProperty("forms", std::to_string(forms));
  std::printf("PARI rows: %lld keys, %lld forms\n", static_cast<long long>(keys),
              static_cast<long long>(forms));
}

// Near 2^25 an unreduced r made b3² leave 64 bits.
TEST(QuadFormsPari, ComposeEqualsReducedComposition) {
  int32_t count = 0;
  for (const TRow& row : Rows()) {
    if (row[0] == "C") {
      SCOPED_TRACE(row[1]);
      const auto d = static_cast<uint32_t>(Field(row, 1));
      EXPECT_EQ(ComposeForms(FormAt(row, 2), FormAt(row, 5), d), FormAt(row, 8));
      ++count;
    }
  }
  EXPECT_GE(count, 200);
}

TEST(QuadFormsPari, WalkVisitsEveryClassOnce) {
  for (const TRow& row : Rows()) {
    if (row[0] != "W") {
      continue;
    }
    SCOPED_TRACE(row[1]);
    const auto m = static_cast<uint32_t>(Field(row, 1));
    const auto h = static_cast<int32_t>(Field(row, 2));
    const auto code = static_cast<int32_t>(Field(row, 3));
    const TDynQuadForm32Array forms =
        m % 8 == 3 ? ListForms(m, h, true) : Doubled(ListHalfForms(m, h, true));
    int32_t orders[3];
    int32_t generators[3] = {0, 0, 0};
    for (int32_t k = 0; k < 3; ++k) {
      orders[k] = static_cast<int32_t>(Field(row, 4 + k));
      if (k <= code) {
        const auto it = std::find(forms.begin(), forms.end(), FormAt(row, 7 + 3 * k));
        ASSERT_NE(it, forms.end());
        generators[k] = static_cast<int32_t>(it - forms.begin());
      }
    }
    TDynSInt32Array positions = BuildOrderedForms(m, h, generators, code, orders);
    ASSERT_EQ(positions.size(), size_t(h));
    EXPECT_EQ(positions[0], 0);
    // g1 stands at i = 1, j = k = 0.
    EXPECT_EQ(positions[static_cast<size_t>(generators[0])],
              code == 0 ? 1 : orders[1] * (code == 2 ? orders[2] : 1));
    std::sort(positions.begin(), positions.end());
    for (int32_t i = 0; i < h; ++i) {
      ASSERT_EQ(positions[static_cast<size_t>(i)], i);
    }
  }
}

TEST(QuadForms, ExtendedGcdCofactors) {
  std::mt19937_64 random(test::TestSeed());
  std::uniform_int_distribution<int32_t> any(-(1 << 30), 1 << 30);
  for (int32_t i = 0; i < 2000 * test::TestMultiplier(); ++i) {
    const int32_t a = any(random) >> (i % 31);
    const int32_t b = i % 7 == 0 ? 0 : any(random) >> (i % 29);
    const TGcdResult r = ExtendedGcd(a, b);
    ASSERT_EQ(int64_t{r.X} * a + int64_t{r.Y} * b, r.G) << a << " " << b;
    ASSERT_EQ(r.G, std::gcd(int64_t{a}, int64_t{b})) << a << " " << b;
  }
  const TGcdResult zero = ExtendedGcd(-4, 0);
  EXPECT_EQ(zero.G * 100 + zero.X * 10 + zero.Y, 4 * 100 - 10);
}

// Refusals: every internal error the unit raises, one row each.
TEST(QuadForms, InternalErrors) {
  const int32_t gens[3] = {0, 0, 0};
  const int32_t orders[3] = {1, 1, 1};
  const auto built = [](uint32_t d) {
    TQFormList list;
    list.Build(d, 1, true);
    return list;
  };
  const struct {
    const char* code;
    std::function<void()> call;
  } rows[] = {
      {"11.113.1", [] { TQFormList().Build(5, 1, false); }},
      {"11.113.1", [] { TQFormList().Build(6, -1, false); }},
      {"11.101.1", [] { TQFormList l; l.Build(23, 1, false); l.ComputeGenusSigns(); }},
      {"11.102.1", [&] { built(420).GetFactor(4); }},
      {"11.103.1", [&] { built(23).GetForm(2); }},
      {"11.107.1", [&] { built(420).GetGenusFieldValue(8); }},
      {"11.112.1", [&] { built(420).GetGenusSign(0, 8); }},
      {"11.1.1", [] { ListForms(23, 1, true); }},
      {"11.1.2", [] { ListForms(23, 2, true); }},
      {"11.1.3", [] { ListForms(23, 4, true); }},
      {"11.3.1", [] { ListHalfForms(5, 1, true); }},
      {"11.3.2", [] { ListHalfForms(14, 3, true); }},
      {"11.3.3", [] { ListHalfForms(5, 3, true); }},
      {"11.5.1", [&] { BuildOrderedForms(23, 3, gens, 3, orders); }},
  };
  for (const auto& row : rows) {
    try {
      row.call();
      ADD_FAILURE() << row.code << " not raised";
    } catch (const EKV& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Internal error ") + row.code);
    }
  }
}

}  // namespace
}  // namespace karvo
