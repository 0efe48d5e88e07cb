// The curve step's pieces against independent counts: the twists of class
// number one and the seed sign against the number of points counted by
// Legendre symbols, the gain table, level 6's admissible indices, damaged
// table entries and a search resumed after its position.

#include <gtest/gtest.h>

#include <cmath>

#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "certifs/CurveSearch.h"
#include "certifs/CurveTwists.h"
#include "checks/EcCurves.h"
#include "classpolys/DataFiles.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo::test {
namespace {

long Legendre(long a, long p) {
  MpzValue x(a), n(p);
  return mpz_legendre(x, n);
}
// #E(F_p) of y^2 = x^3 + a x + b.
long CountPoints(long a, long b, long p) {
  long count = p + 1;
  for (long x = 0; x < p; ++x) count += Legendre(((x * x % p + a) % p * x + b) % p, p);
  return count;
}
long Value(const BigInt& x) { return static_cast<long>(BigLowUInt64(x)) * (BigIsNegative(x) ? -1 : 1); }
BigInt Big(long v) { BigInt b; BigSetInt64(b, v); return b; }
bool IsPrime(long n) { MpzValue x(n); return mpz_probab_prime_p(x, 25) != 0; }

// Every solution of 4N = U^2 + d'V^2 for d = 1 (d' = 4) and d = 3 (d' = 3) gives a curve with N + 1 - U
// points; the rows of the text (N = 13 and N = 7) give the listed coefficients.
TEST(CurveTwists, OrderIsNPlusOneMinusU) {
  const struct { int d; long n, u, v, coefficient; } rows[] = {
      {1, 13, 4, 3, 2}, {1, 13, -4, 3, -6}, {1, 13, 6, 2, -1}, {1, 13, -6, 2, 1}, {3, 7, 5, 1, -3},
      {3, 7, -5, 1, 3}, {3, 7, 4, 2, -1},   {3, 7, -4, 2, 1},  {3, 7, 1, 3, -2}};
  BigInt c;
  for (const auto& row : rows) {
    row.d == 1 ? TwistD1(c, Big(row.u), Big(row.v), Big(row.n)) : TwistD3(c, Big(row.u), Big(row.v), Big(row.n));
    EXPECT_EQ(Value(c), row.coefficient) << row.n << " " << row.u;
  }
  int checked = 0;
  for (long n = 5; n < 1500 * TestMultiplier(); n += 2) {
    if (!IsPrime(n)) continue;
    for (const long dp : {4L, 3L}) {
      for (long u = -2 * static_cast<long>(std::sqrt(n)) - 1; u * u < 4 * n; ++u) {
        const long t = 4 * n - u * u, v = std::lround(std::sqrt(static_cast<double>(t / dp)));
        if (t % dp != 0 || v * v != t / dp || v == 0) continue;
        dp == 4 ? TwistD1(c, Big(u), Big(v), Big(n)) : TwistD3(c, Big(u), Big(v), Big(n));
        const long a = dp == 4 ? Value(c) : 0, b = dp == 4 ? 0 : Value(c);
        ASSERT_EQ(CountPoints((a % n + n) % n, (b % n + n) % n, n), n + 1 - u) << n << " " << u << " " << v;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 500);
}

// The sign is +1 exactly for the order of the curve itself, -1 for its quadratic twist.
TEST(CurveTwists, SeedSignSelectsTheTwist) {
  for (const int32_t d : {2, 7, 11, 19, 43, 67, 163}) {
    int checked = 0;
    for (long n = 211; checked < 12; n += 2) {
      if (!IsPrime(n)) continue;
      BigInt A, B;
      EcClassOneCurve(A, B, d);
      BigMod(A, Big(n)), BigMod(B, Big(n));
      if ((4 * Value(A) % n * Value(A) % n * Value(A) + 27 * Value(B) % n * Value(B)) % n == 0) continue;
      const long t = CountPoints(Value(A), Value(B), n) - n - 1;
      if (t == 0 || t % n == 0 || Legendre(d == 2 ? -8 : -d, n) != 1) continue;
      EXPECT_EQ(ClassOneSeedSign(d, Big(t), Big(n)), 1) << d << " " << n;
      EXPECT_EQ(ClassOneSeedSign(d, Big(-t), Big(n)), -1) << d << " " << n;
      ++checked;
    }
  }
}

TEST(CurveSearch, GainTableAndLevel6Indices) {
  const struct { int32_t level, bits, tests, gain; } gains[] = {
      {1, 128, 0, 9}, {1, 129, 0, 8}, {1, 200, 9, 8}, {1, 640, 0, 5}, {1, 896, 0, 3}, {1, 897, 0, 2},
      {2, 200, 9, 2}, {3, 3000, 5, 3}, {4, 3000, 4, 2}, {5, 3073, 5, 4}, {6, 4000, 9, 2}};
  for (const auto& g : gains) EXPECT_EQ(CurveMinimumGain(g.level, g.bits, g.tests), g.gain) << g.level << " " << g.bits;
  // Residues mod 8 admitted after d for N mod 8 = 1, 3, 5, 7.
  const std::string admitted[] = {"1235671", "2372", "1357", "3673"};
  for (int32_t k = 0; k < 4; ++k) {
    std::string seen;
    for (uint32_t d = 0; seen.size() < admitted[k].size();)
      seen += static_cast<char>('0' + (d = NextLevel6Index(d, 2 * k + 1)) % 8);
    EXPECT_EQ(seen, admitted[k]) << 2 * k + 1;
  }
}

// N = a^2 + b^2 with a step of discriminant index 1 at level 2. A table of damaged entries (0, an index too
// large for the forms whose low bits read as 1, one of 64 genera) finds nothing; with index 1 among them the step
// is found there, and a search resumed after that position does not find it again.
TEST(CurveSearch, DamagedEntriesAreSkippedAndPositionsResume) {
  if (PrimeTableCount == 0) BuildPrimeTable();
  MpzValue seed(TestSeed()), n;
  TCertifier k;
  std::vector<uint32_t>& table = DiscriminantTables[1];
  for (uint64_t a = (mpz_get_ui(seed) % 100000) * 2 + 1000001, tries = 0;; a += 2, ++tries) {
    ASSERT_LT(tries, 2000u);
    const uint64_t N = a * a + 4000000ULL * 4000000ULL;
    if (!IsPrime(static_cast<long>(N))) continue;
    BigSetUInt64(k.N, N), BigAssign(k.SqrtN, k.N), BigIsqrt(k.SqrtN), BigAssign(k.NPlus1, k.N);
    BigIncrement(k.NPlus1);
    k.Bits = BigBitSize(k.N), k.NMod8 = static_cast<int32_t>(N % 8), k.Level = 2;
    k.PrimeBound = TCertifier::PrimeBoundFor(k.Bits);
    PrimeTableResidues(k.NPlus1, k.PrimeBound);
    table = {0, 0, 0, (1u << 30) + 1, 3u * 5 * 7 * 11 * 13 * 17 * 19, 1};
    int32_t position = 1;
    if (SearchCurve(k, position) != TCurveSearchResult::Found) continue;
    EXPECT_EQ(position, 6);
    EXPECT_EQ(k.FoundDiscriminant * 10 + k.FoundType, 10 - 3);
    EXPECT_EQ(SearchCurve(k, position), TCurveSearchResult::NotFound);
    table.pop_back();
    position = 1;
    EXPECT_EQ(SearchCurve(k, position), TCurveSearchResult::NotFound);
    break;
  }
  table.clear();
}

}  // namespace
}  // namespace karvo::test
