// Curve checks, the fixed curves of class number one, curves from a
// j-invariant, and the point search on curves whose order is counted here.

#include <gtest/gtest.h>

#include <utility>

#include "EcTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigFromMpz;
using test::MpzFromBig;
using test::MpzValue;
using test::RefPoint;

TEST(EcCurveTest, CheckCurveRejectsSingularCurves) {
  BigInt A, B, N;
  BigFromString(N, "1000000007", 10);
  BigSetInt(A, -3);
  BigSetInt(B, 2);  // 4(-27) + 27·4 = 0
  test::ExpectInternalError([&] { EcCheckCurve(A, B, N); }, "1003.1.1");
  BigSetZero(A);
  BigSetZero(B);
  test::ExpectInternalError([&] { EcCheckCurve(A, B, N); }, "1003.1.1");
  BigSetInt(A, 1);
  BigSetInt(B, 1);
  EcCheckCurve(A, B, N);
  // Singular modulo N only: 4 + 27·4 ≡ 0 (mod 7).
  BigSetInt(N, 7);
  BigSetInt(B, 2);
  test::ExpectInternalError([&] { EcCheckCurve(A, B, N); }, "1003.1.1");
  BigSetInt(B, -5);
  test::ExpectInternalError([&] { EcCheckCurve(A, B, N); }, "1003.1.1");
}

TEST(EcCurveTest, CoprimeDiscriminantSeesEveryFactor) {
  BigInt A, B, N;
  BigSetInt(N, 35);
  BigSetInt(A, 1);
  BigSetInt(B, 1);  // 31, coprime to 35
  EXPECT_TRUE(EcCurveCoprimeDiscriminant(A, B, N));
  // 4 + 27·9 = 247 = 13·19: coprime; B = 2: 112 = 16·7, singular modulo 7 only.
  BigSetInt(B, 2);
  EcCheckCurve(A, B, N);
  EXPECT_FALSE(EcCurveCoprimeDiscriminant(A, B, N));
}

TEST(EcCurveTest, ClassOneCurves) {
  struct TRow {
    int32_t D;
    const char* A;
    const char* B;
  };
  static constexpr TRow kRows[] = {
      {1, "1", "0"},          {2, "-30", "56"},         {3, "0", "1"},
      {7, "-35", "98"},       {11, "-264", "1694"},     {19, "-152", "722"},
      {43, "-3440", "77658"}, {67, "-29480", "1948226"}, {163, "-8697680", "9873093538"},
  };
  BigInt A, B, want, N;
  BigFromString(N, "1000000000000000000000000000057", 10);
  for (const TRow& row : kRows) {
    EcClassOneCurve(A, B, row.D);
    BigFromString(want, row.A, 10);
    EXPECT_TRUE(BigEqual(A, want)) << row.D;
    BigFromString(want, row.B, 10);
    EXPECT_TRUE(BigEqual(B, want)) << row.D;
    EcCheckCurve(A, B, N);
  }
  for (int32_t d : {0, -3, 4, 5, 8, 164, 1000}) {
    test::ExpectInternalError([&] { EcClassOneCurve(A, B, d); }, "1003.10.1");
  }
}

TEST(EcCurveTest, CurveFromJ) {
  BigInt A, B, J, N;
  BigFromString(N, "1000000007", 10);
  for (int32_t j : {0, 1728}) {
    BigSetInt(J, j);
    EcCurveFromJ(A, B, J, N);
    EXPECT_TRUE(BigIsZero(A) && BigIsZero(B)) << j;
  }
  // Against the formulas, with a reduced and centred result.
  test::EcRandom random(21);
  MpzValue n, j, c, a, b, h, v;
  for (unsigned bits : {64u, 300u}) {
    random.Prime(n, bits);
    BigFromMpz(N, n);
    mpz_fdiv_q_2exp(h, n, 1);
    for (int i = 0; i < 20; ++i) {
      random.Bits(j, bits + 5);
      if (i % 2 == 1) mpz_neg(j, j);
      BigFromMpz(J, j);
      EcCurveFromJ(A, B, J, N);
      mpz_mod(j, j, n);
      mpz_ui_sub(c, 1728, j);
      mpz_mul(a, j, c);
      mpz_mul_ui(a, a, 3);
      mpz_mul(b, j, c);
      mpz_mul(b, b, c);
      mpz_mul_2exp(b, b, 1);
      for (auto [got, want] : {std::pair<const BigInt*, mpz_ptr>{&A, a}, {&B, b}, {&J, j}}) {
        MpzFromBig(v, *got);
        EXPECT_LE(mpz_cmpabs(v, h), 0);
        mpz_sub(v, v, want);
        EXPECT_TRUE(mpz_divisible_p(v, n));
      }
    }
  }
  // The centring boundary: |v| ≤ floor(N/2) stays, 51 of 101 becomes -50.
  BigSetInt(N, 101);
  BigSetInt(J, 50);
  EcCurveFromJ(A, B, J, N);
  EXPECT_TRUE(BigEqualsWord(J, 50));
  BigSetInt(J, 51);
  EcCurveFromJ(A, B, J, N);
  BigInt want;
  BigSetInt(want, -50);
  EXPECT_TRUE(BigEqual(J, want));
}

// Points counted by brute force on y^2 = x^3 + a x + b modulo a small prime.
long CountPoints(long p, long a, long b) {
  MpzValue n(p);
  long count = 1;
  for (long x = 0; x < p; ++x) {
    const long r = (((x * x) % p * x) % p + a * x % p + b) % p;
    count += r == 0 ? 1 : (mpz_si_kronecker(r, n) == 1 ? 2 : 0);
  }
  return count;
}

// Whether the seed T gives [S]P ≠ O and [S R]P = O, by the reference.
void ExpectSeedWorks(const BigInt& T, long s, long r, long p, long a, long b) {
  BigInt x, y, A2, u, A, B, N;
  BigSetInt(A, static_cast<int32_t>(a));
  BigSetInt(B, static_cast<int32_t>(b));
  BigSetInt(N, static_cast<int32_t>(p));
  EcSeedPoint(x, y, A2, u, T, A, B, N);
  MpzValue n(p), a2;
  RefPoint P;
  MpzFromBig(P.X, x);
  MpzFromBig(P.Y, y);
  MpzFromBig(a2, A2);
  mpz_mod(P.X, P.X, n);
  mpz_mod(P.Y, P.Y, n);
  mpz_mod(a2, a2, n);
  P.Finite = true;
  MpzValue k(s);
  EXPECT_TRUE(test::RefMultiply(P, k, a2, n).Finite);
  mpz_mul_si(k, k, r);
  EXPECT_FALSE(test::RefMultiply(P, k, a2, n).Finite);
}

TEST(EcCurveTest, FindPointOnCurvesOfKnownOrder) {
  struct TCurveRow {
    long p, a, b;
  };
  static constexpr TCurveRow kCurves[] = {{1009, 2, 3}, {10007, 5, 11}, {65537, 7, 1}};
  for (const TCurveRow& row : kCurves) {
    SCOPED_TRACE(row.p);
    const long order = CountPoints(row.p, row.a, row.b);
    const long twist = 2 * row.p + 2 - order;
    ASSERT_NE(order, twist);
    BigInt T, S, R, A, B, N;
    BigSetInt(A, static_cast<int32_t>(row.a));
    BigSetInt(B, static_cast<int32_t>(row.b));
    BigSetInt(N, static_cast<int32_t>(row.p));
    // Squares u keep the curve; S·R the order.
    long s = 1;
    long r = order;
    for (long f = 2; f * f <= r; ++f) {
      while (r % f == 0 && r / f > 1 && f <= 3) {
        s *= f;
        r /= f;
      }
    }
    BigSetInt(S, static_cast<int32_t>(s));
    BigSetInt(R, static_cast<int32_t>(r));
    ASSERT_TRUE(EcFindPoint(T, S, R, A, B, N, 1));
    ExpectSeedWorks(T, s, r, row.p, row.a, row.b);
    // The order of the twist: the first attempt on the curve itself usually
    // fails and the search moves to the twist.
    BigSetInt(S, 1);
    BigSetInt(R, static_cast<int32_t>(twist));
    ASSERT_TRUE(EcFindPoint(T, S, R, A, B, N, 1));
    ExpectSeedWorks(T, 1, twist, row.p, row.a, row.b);
    ASSERT_TRUE(EcFindPoint(T, S, R, A, B, N, -1));
    ExpectSeedWorks(T, 1, twist, row.p, row.a, row.b);
    // A prime that divides neither order: both attempts fail.
    long q = order + twist;
    for (;; ++q) {
      bool prime = q > 1;
      for (long f = 2; f * f <= q; ++f) prime = prime && q % f != 0;
      if (prime && order % q != 0 && twist % q != 0) break;
    }
    BigSetInt(R, static_cast<int32_t>(q));
    EXPECT_FALSE(EcFindPoint(T, S, R, A, B, N, 0));
  }
}

TEST(EcCurveTest, FindPointFirstSeed) {
  // S = 1 and R a multiple of both twists' orders: the first usable seed wins.
  const long p = 1009;
  BigInt T, S, R, A, B, N;
  BigSetInt(N, static_cast<int32_t>(p));
  BigSetInt(S, 1);
  struct TRow {
    long a, b, firstSeed;
  };
  for (const TRow& row : {TRow{2, 3, 0}, TRow{0, 3, 1}, TRow{2, 0, 1}}) {
    const long order = CountPoints(p, row.a, row.b);
    BigSetInt(R, static_cast<int32_t>(order * (2 * p + 2 - order)));
    BigSetInt(A, static_cast<int32_t>(row.a));
    BigSetInt(B, static_cast<int32_t>(row.b));
    ASSERT_TRUE(EcFindPoint(T, S, R, A, B, N, 0));
    EXPECT_TRUE(BigEqualsWord(T, static_cast<Word>(row.firstSeed))) << row.a << " " << row.b;
  }
}

TEST(EcCurveTest, FindPointRaisesOnAFactorOfN) {
  // Modulo p every point is killed by S, modulo q hardly any: Z of [S]P is
  // a non-zero multiple of p.
  const long p = 1009;
  const long q = 1013;
  const long order = CountPoints(p, 2, 3);
  BigInt T, S, R, A, B, N;
  BigSetInt(N, static_cast<int32_t>(p * q));
  BigSetInt64(S, static_cast<int64_t>(order) * (2 * p + 2 - order));
  BigSetInt(R, 1);
  BigSetInt(A, 2);
  BigSetInt(B, 3);
  test::ExpectInternalError([&] { EcFindPoint(T, S, R, A, B, N, 0); }, "1003.4.1");
}

}  // namespace
}  // namespace karvo
