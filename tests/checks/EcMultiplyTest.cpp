// EcMultiply against the affine GMP reference: random curves, points and
// multipliers, both scalar methods around the window thresholds, the
// degenerate multipliers and points, and the internal errors it raises.

#include <gtest/gtest.h>

#include <iterator>

#include "EcTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigFromMpz;
using test::EcRandom;
using test::MpzValue;
using test::RefPoint;

// A random curve modulo a random prime with a point on it, in both forms.
struct TCase {
  MpzValue n, a, b;
  RefPoint p;
  BigInt N, A, x, y;

  TCase(EcRandom& random, unsigned nBits, bool centred) {
    random.Prime(n, nBits);
    random.Curve(a, b, p, n);
    BigFromMpz(N, n);
    MpzValue v;
    // The point search passes centred values; any representative must do.
    mpz_set(v, a);
    if (centred) mpz_sub(v, v, n);
    BigFromMpz(A, v);
    mpz_set(v, p.X);
    if (centred) mpz_sub(v, v, n);
    BigFromMpz(x, v);
    BigFromMpz(y, p.Y);
  }

  // [k]p by EcMultiply with the given width, checked against the reference.
  void Check(mpz_srcptr k, int32_t width) {
    BigInt X, Y, Z, K;
    BigAssign(X, x);
    BigAssign(Y, y);
    BigSetOne(Z);
    BigFromMpz(K, k);
    EcMultiply(X, Y, Z, K, A, N, width);
    const RefPoint got = test::RefFromJacobian(X, Y, Z, n);
    const RefPoint want = test::RefMultiply(p, k, a, n);
    EXPECT_TRUE(test::RefEqual(got, want))
        << "k bits " << mpz_sizeinbase(k, 2) << ", N bits " << BigBitSize(N) << ", width "
        << width;
  }
};

TEST(EcMultiplyTest, RandomCurvesMatchTheReference) {
  EcRandom random(1);
  static constexpr unsigned kSizes[] = {64, 80, 95, 96, 128, 200, 256, 521, 1024, 2048};
  const int cases = 20 * test::TestMultiplier();
  for (int i = 0; i < cases; ++i) {
    const unsigned nBits = kSizes[random.Uniform(0, std::size(kSizes) - 1)];
    // Long multipliers on the largest moduli cost most; keep them rarer.
    const unsigned kMax = (nBits >= 1024 && i % 4 != 0) ? 400 : 3000;
    TCase c(random, nBits, i % 2 == 1);
    MpzValue k;
    random.Bits(k, random.Uniform(1, kMax));
    c.Check(k, 0);
  }
  // The extremes of both ranges at least once.
  for (unsigned nBits : {64u, 2048u}) {
    TCase c(random, nBits, false);
    MpzValue k;
    random.Bits(k, 3000);
    c.Check(k, 0);
    random.Bits(k, 1);
    c.Check(k, 0);
  }
}

TEST(EcMultiplyTest, WidthRuleAroundTheThresholds) {
  EXPECT_EQ(EcMultiplyWidth(69, 60, 200), 3);
  EXPECT_EQ(EcMultiplyWidth(70, 60, 200), 4);
  // The sparse rule: weight at most 2^(w-1) + ceil(bits / w).
  EXPECT_EQ(EcMultiplyWidth(69, 4 + 23, 200), 1);
  EXPECT_EQ(EcMultiplyWidth(69, 4 + 24, 200), 3);
  // Below 96 bits of N the table is never used.
  EXPECT_EQ(EcMultiplyWidth(70, 60, 95), 1);
  EXPECT_EQ(EcMultiplyWidth(3000, 2000, 95), 1);
  EXPECT_EQ(EcMultiplyWidth(70, 60, 96), 4);
  EXPECT_EQ(EcMultiplyWidth(20, 15, 95), 2);
  EXPECT_EQ(EcMultiplyWidth(8, 8, 2048), 1);
  EXPECT_EQ(EcMultiplyWidth(3715, 3000, 2048), 8);
}

TEST(EcMultiplyTest, BothMethodsAgreeAroundTheThresholds) {
  EcRandom random(2);
  for (int round = 0; round < 2 * test::TestMultiplier(); ++round) {
    TCase c(random, 200, round % 2 == 1);
    for (unsigned bits : {69u, 70u}) {
      MpzValue k;
      mpz_setbit(k, bits);
      mpz_sub_ui(k, k, 1);
      mpz_clrbit(k, 5);  // a zero window inside
      for (int32_t width : {0, 1, 2, 3, 4}) {
        c.Check(k, width);
      }
    }
    // Every table size, up to 128 entries.
    MpzValue k;
    random.Bits(k, 700);
    for (int32_t width = 1; width <= 8; ++width) {
      c.Check(k, width);
    }
  }
  // Around 96 bits of N: the chain by the rule, the table when forced.
  for (unsigned nBits : {95u, 96u}) {
    TCase c(random, nBits, false);
    MpzValue k;
    random.Bits(k, 300);
    for (int32_t width : {0, 1, 5}) {
      c.Check(k, width);
    }
  }
}

TEST(EcMultiplyTest, SmallMultipliersMatchTheReference) {
  EcRandom random(3);
  TCase c(random, 128, false);
  for (long k = 0; k <= 40; ++k) {
    MpzValue K(k);
    c.Check(K, 0);
    c.Check(K, 3);
  }
}

TEST(EcMultiplyTest, ZeroAndOneAndPointsOfOrderTwo) {
  EcRandom random(4);
  TCase c(random, 200, true);
  BigInt X, Y, Z, K;
  BigAssign(X, c.x);
  BigAssign(Y, c.y);
  BigSetOne(Z);
  BigSetOne(K);
  EcMultiply(X, Y, Z, K, c.A, c.N);
  // Unchanged, centred coordinate included.
  EXPECT_TRUE(BigEqual(X, c.x));
  EXPECT_TRUE(BigEqual(Y, c.y));
  EXPECT_TRUE(BigIsOne(Z));
  BigSetZero(K);
  EcMultiply(X, Y, Z, K, c.A, c.N);
  EXPECT_TRUE(BigIsZero(Z));
  EXPECT_TRUE(BigIsOne(X));
  EXPECT_TRUE(BigIsOne(Y));

  // (x0, 0) on y^2 = x^3 + a x + b with b = -(x0^3 + a x0).
  BigInt x0;
  BigAssign(x0, c.x);
  BigMod(x0, c.N);
  for (long k : {3L, 1001L, 2L, 1000L}) {
    MpzValue big;
    mpz_set_si(big, k);
    mpz_mul_2exp(big, big, 100);
    if (k % 2 == 1) mpz_add_ui(big, big, 1);
    BigFromMpz(K, big);
    BigAssign(X, x0);
    BigSetZero(Y);
    BigSetOne(Z);
    EcMultiply(X, Y, Z, K, c.A, c.N);
    if (k % 2 == 1) {
      EXPECT_TRUE(BigEqual(X, x0));
      EXPECT_TRUE(BigIsZero(Y));
      EXPECT_TRUE(BigIsOne(Z));
    } else {
      EXPECT_TRUE(BigIsZero(Z));
    }
  }
}

TEST(EcMultiplyTest, OrderMinusOneGivesTheNegative) {
  // The use of a curve test: Q2 = [R - 1]Q must be -Q with Z2 invertible.
  const long p = 10007;
  MpzValue n(p), a(3), b(7);
  long count = 1;  // the identity
  for (long x = 0; x < p; ++x) {
    const long r = ((x * x % p) * x + 3 * x + 7) % p;
    count += r == 0 ? 1 : (mpz_si_kronecker(r, n) == 1 ? 2 : 0);
  }
  BigInt N, A, x, y, X, Y, Z, K;
  BigSetInt(N, static_cast<int32_t>(p));
  BigSetInt(A, 3);
  // A point: the first x whose right side is a non-zero square.
  for (long t = 1;; ++t) {
    const long r = ((t * t % p) * t + 3 * t + 7) % p;
    if (r != 0 && mpz_si_kronecker(r, n) == 1) {
      long root = 1;
      while (root * root % p != r) ++root;
      BigSetInt(x, static_cast<int32_t>(t));
      BigSetInt(y, static_cast<int32_t>(root));
      break;
    }
  }
  BigAssign(X, x);
  BigAssign(Y, y);
  BigSetOne(Z);
  BigSetInt(K, static_cast<int32_t>(count - 1));
  EcMultiply(X, Y, Z, K, A, N);
  EXPECT_TRUE(EcIsNegativeOf(X, Y, Z, x, y, N));
  EXPECT_TRUE(EcToAffine(X, Y, Z, N));
  BigSetInt(K, static_cast<int32_t>(count - 2));
  BigAssign(X, x);
  BigAssign(Y, y);
  BigSetOne(Z);
  EcMultiply(X, Y, Z, K, A, N);
  EXPECT_FALSE(EcIsNegativeOf(X, Y, Z, x, y, N));
}

TEST(EcMultiplyTest, InternalErrors) {
  BigInt N, A, X, Y, Z, K;
  BigFromString(N, "1000000007", 10);
  BigSetInt(A, 1);
  BigSetInt(X, 5);
  BigSetInt(Y, 7);
  BigSetOne(Z);
  BigSetInt(K, -1);
  test::ExpectInternalError([&] { EcMultiply(X, Y, Z, K, A, N); }, "1003.3.1");
  BigSetInt(K, 5);
  BigSetInt(Z, 2);
  test::ExpectInternalError([&] { EcMultiply(X, Y, Z, K, A, N); }, "1003.3.2");
  BigSetZero(Z);
  test::ExpectInternalError([&] { EcMultiply(X, Y, Z, K, A, N); }, "1003.3.2");

  // 2y shares the factor 3 with N: the table's first doubling cannot invert.
  EcRandom random(5);
  MpzValue q, k;
  random.Prime(q, 200);
  mpz_mul_ui(q, q, 3);
  BigFromMpz(N, q);
  random.Bits(k, 80);
  mpz_setbit(k, 0);
  for (int i = 0; i < 80; i += 2) mpz_setbit(k, static_cast<mp_bitcnt_t>(i));
  BigFromMpz(K, k);
  ASSERT_GE(EcMultiplyWidth(BigBitSize(K), BigPopCount(K), BigBitSize(N)), 3);
  BigSetInt(Y, 3);
  BigSetOne(Z);
  test::ExpectInternalError([&] { EcMultiply(X, Y, Z, K, A, N); }, "1003.3.3");
}

TEST(EcMultiplyTest, SmallOrderPointsThroughEveryWidth) {
  // Modulo a small prime the odd multiples in the table meet the identity
  // and each other; the forced widths ignore the 96-bit rule to reach them.
  const long p = 1009;
  MpzValue n(p), a(2);
  BigInt N, A, X, Y, Z, K;
  BigSetInt(N, static_cast<int32_t>(p));
  BigSetInt(A, 2);
  int points = 0;
  for (long x = 0; x < 120; ++x) {
    const long r = ((x * x % p) * x + 2 * x + 3) % p;
    long root = 0;
    while (root < p && root * root % p != r) ++root;
    if (root == p) continue;
    RefPoint P;
    mpz_set_si(P.X, x);
    mpz_set_si(P.Y, root);
    P.Finite = true;
    ++points;
    for (long k : {2L, 15L, 255L, 1000L, 1013L, 4093L, 65535L}) {
      MpzValue kk(k);
      const RefPoint want = test::RefMultiply(P, kk, a, n);
      for (int32_t width : {1, 3, 5, 8}) {
        BigSetInt(X, static_cast<int32_t>(x));
        BigSetInt(Y, static_cast<int32_t>(root));
        BigSetOne(Z);
        BigSetInt(K, static_cast<int32_t>(k));
        EcMultiply(X, Y, Z, K, A, N, width);
        EXPECT_TRUE(test::RefEqual(test::RefFromJacobian(X, Y, Z, n), want))
            << "x " << x << ", k " << k << ", width " << width;
      }
    }
  }
  EXPECT_GT(points, 50);
}

TEST(EcMultiplyTest, LeavesTheRegisteredModulusAsItFoundIt) {
  EcRandom random(6);
  TCase c(random, 256, false);
  MpzValue k;
  random.Bits(k, 200);
  EXPECT_FALSE(BigHasModulus());
  c.Check(k, 0);
  EXPECT_FALSE(BigHasModulus());
  BigInt other;
  BigFromString(other, "340282366920938463463374607431768211507", 10);
  {
    BigModulusScope outer(other);
    c.Check(k, 0);
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), other));
  }
  {
    BigModulusScope same(c.N);
    c.Check(k, 0);
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), c.N));
  }
  EXPECT_FALSE(BigHasModulus());
}

TEST(EcMultiplyTest, CompositeModulusCaughtByTheNegativeCheck) {
  // N = 5 · 88758883374439 with a point of prime order R modulo the large
  // factor: Z of [R]Q is 0 modulo N because the chain degenerates modulo 5,
  // yet [R - 1]Q is not -Q with an invertible Z.
  BigInt N, A, B, T, S, R, x, y, a, u, Z, X2, Y2, Z2;
  BigFromString(N, "443794416872195", 10);
  BigFromString(A, "138702983495838", 10);
  BigFromString(B, "216585432994145", 10);
  BigFromString(T, "355035533497757", 10);
  BigSetInt(S, 2);
  BigFromString(R, "44379441437489", 10);
  EcSeedPoint(x, y, a, u, T, A, B, N);
  BigSetOne(Z);
  EcMultiply(x, y, Z, S, a, N);
  ASSERT_TRUE(EcToAffine(x, y, Z, N));
  BigAssign(X2, x);
  BigAssign(Y2, y);
  BigSetOne(Z2);
  EcMultiply(X2, Y2, Z2, R, a, N);
  EXPECT_TRUE(BigIsZero(Z2));
  BigAssign(X2, x);
  BigAssign(Y2, y);
  BigSetOne(Z2);
  BigDecrement(R);
  EcMultiply(X2, Y2, Z2, R, a, N);
  BigInt z;
  BigAssign(z, Z2);
  EXPECT_FALSE(BigInvMod(z, N));
  EXPECT_FALSE(EcToAffine(X2, Y2, Z2, N));
}

}  // namespace
}  // namespace karvo
