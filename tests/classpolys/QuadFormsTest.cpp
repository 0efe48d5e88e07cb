// Quadratic forms against PARI/GP: class numbers, genera, the sets of reduced
// forms, compositions and class-group walks of tests/data/forms.tsv.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <string>
#include <vector>

#include "arith/BigMod.h"
#include "classpolys/QuadForms.h"
#include "support/TsvRows.h"

namespace karvo {

void PrintTo(const TQuadForm32& f, std::ostream* os) { *os << "(" << f.A << ", " << f.B << ", " << f.C << ")"; }

namespace {

using test::TRow;

const std::vector<TRow>& Rows() {
  static std::vector<TRow> rows;
  static std::string error;
  static const bool read = test::ReadRows(std::string(KARVO_TESTDATA_DIR) + "/forms.tsv", rows, error);
  EXPECT_TRUE(read) << error;
  return rows;
}

int64_t Field(const TRow& row, size_t i) { return std::stoll(row.at(i)); }
TQuadForm32 FormAt(const TRow& r, size_t i) { return {int32_t(Field(r, i)), int32_t(Field(r, i + 1)), int32_t(Field(r, i + 2))}; }

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
  for (int32_t i = 0; i < list.Count * list.GenusCount; ++i) {
    const TQuadForm f = list.GetForm(i / list.GenusCount);
    const int32_t g = i % list.GenusCount;
    ASSERT_EQ(list.GetGenusSign(g, static_cast<int32_t>(f.Genus)), IntJacobi(list.GetGenusFieldValue(g), f.M));
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
      for (const int32_t code : {-1, 0}) {  // halved, and left full
        TQFormList other;
        other.Build(d, code, false);
        EXPECT_EQ(other.D, code < 0 ? d / 4 : d);
        EXPECT_EQ(Expanded(other), all);
      }
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
  std::printf("PARI rows: %lld keys, %lld forms\n", static_cast<long long>(keys), static_cast<long long>(forms));
}

// Near 2^25 an unreduced r made b3² leave 64 bits.
TEST(QuadFormsPari, ComposeEqualsReducedComposition) {
  for (const TRow& row : Rows()) {
    if (row[0] == "C") {
      SCOPED_TRACE(row[1]);
      const auto d = static_cast<uint32_t>(Field(row, 1));
      EXPECT_EQ(ComposeForms(FormAt(row, 2), FormAt(row, 5), d), FormAt(row, 8));
    }
  }
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
    EXPECT_EQ(positions.at(0), 0);
    // g1 stands at i = 1, j = k = 0.
    EXPECT_EQ(positions[static_cast<size_t>(generators[0])],
              code == 0 ? 1 : orders[1] * (code == 2 ? orders[2] : 1));
    TDynSInt32Array each(static_cast<size_t>(h));
    std::iota(each.begin(), each.end(), 0);
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, each);
  }
}

}  // namespace
}  // namespace karvo
