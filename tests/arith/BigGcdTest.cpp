// Gcd, lcm and coprimality against GMP, and the Lehmer step against the
// exact Euclidean remainder sequence.

#include <gtest/gtest.h>

#include <vector>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"
#include "arith/BigModInternal.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

// Random operands with a common factor of random size (sometimes a power of
// two), so that gcds other than 1 occur.
void RandomGcdPair(BigRandom& random, Pair& x, Pair& y, int32_t xWords, int32_t yWords) {
  MpzValue g;
  const int32_t gWords = random.Between(0, std::min(xWords, yWords) / 2 + 1);
  if (gWords == 0) {
    mpz_set_ui(g, 1);
  } else {
    test::MpzFromWords(g, random.Words(gWords, test::Shape::Uniform), 0);
  }
  if (random.Between(0, 3) == 0) {
    mpz_mul_2exp(g, g, static_cast<mp_bitcnt_t>(random.Between(1, 70)));
  }
  MpzValue v;
  test::MpzFromWords(v, random.Words(std::max(1, xWords - gWords), test::Shape::Uniform), random.Coin());
  mpz_mul(v, v, g);
  x.Set(v);
  test::MpzFromWords(v, random.Words(std::max(1, yWords - gWords),
                                     random.Coin() ? test::Shape::Uniform : test::Shape::Runs),
                     random.Coin());
  mpz_mul(v, v, g);
  y.Set(v);
}

TEST(BigGcdTest, AgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(400); ++round) {
    const int32_t limit = round % 20 == 0 ? 400 : 40;
    Pair x;
    Pair y;
    RandomGcdPair(random, x, y, random.Between(1, limit), random.Between(1, limit));
    MpzValue expected;
    mpz_gcd(expected, x.ref, y.ref);
    const bool one = BigGcd(x.big, y.big);
    ASSERT_TRUE(test::BigMatches(x.big, expected)) << "round " << round;
    ASSERT_EQ(one, mpz_cmp_ui(expected, 1) == 0);
    ASSERT_TRUE(test::BigMatches(y.big, y.ref)) << "y changed";
  }
}

TEST(BigGcdTest, ZeroOneAndSameRecord) {
  BigInt x;
  BigInt y;
  BigSetInt(x, -12);
  BigSetZero(y);
  EXPECT_FALSE(BigGcd(x, y));
  EXPECT_EQ(BigCompareWord(x, 12), 0);
  BigSetZero(x);
  BigSetInt(y, -1);
  EXPECT_TRUE(BigGcd(x, y));
  EXPECT_TRUE(BigIsOne(x));
  BigSetZero(x);
  BigSetZero(y);
  EXPECT_FALSE(BigGcd(x, y));
  EXPECT_TRUE(BigIsZero(x));
  BigSetInt(x, -35);
  EXPECT_FALSE(BigGcd(x, x));
  EXPECT_EQ(BigCompareWord(x, 35), 0);
  EXPECT_TRUE(test::BigIsValid(x));
}

// Fibonacci neighbours: every quotient is 1, the longest Euclid there is.
TEST(BigGcdTest, ConsecutiveFibonacciNumbers) {
  MpzValue a;
  MpzValue b;
  mpz_fib2_ui(a, b, 5000);
  Pair x;
  Pair y;
  x.Set(a);
  y.Set(b);
  EXPECT_TRUE(BigGcd(x.big, y.big));
  EXPECT_TRUE(BigIsOne(x.big));
}

TEST(BigGcdTest, CoprimeAgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(200); ++round) {
    Pair x;
    Pair y;
    RandomGcdPair(random, x, y, random.Between(1, 20), random.Between(1, 20));
    MpzValue g;
    mpz_gcd(g, x.ref, y.ref);
    ASSERT_EQ(BigCoprime(x.big, y.big), mpz_cmp_ui(g, 1) == 0) << "round " << round;
    ASSERT_TRUE(test::BigMatches(x.big, x.ref));
    ASSERT_TRUE(test::BigMatches(y.big, y.ref));
  }
  BigInt zero;
  BigInt one;
  BigInt minusOne;
  BigInt two;
  BigSetOne(one);
  BigSetMinusOne(minusOne);
  BigSetWord(two, 2);
  EXPECT_TRUE(BigCoprime(zero, one));
  EXPECT_TRUE(BigCoprime(minusOne, zero));
  EXPECT_FALSE(BigCoprime(zero, two));
  EXPECT_FALSE(BigCoprime(zero, zero));
  EXPECT_FALSE(BigCoprime(two, two));
}

TEST(BigGcdTest, LcmAgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(200); ++round) {
    Pair x;
    Pair y;
    RandomGcdPair(random, x, y, random.Between(1, 30), random.Between(1, 30));
    if (round % 10 == 0) {
      x.SetSigned(0);
    }
    if (round % 10 == 5) {
      y.SetSigned(0);
    }
    MpzValue expected;
    mpz_lcm(expected, x.ref, y.ref);
    BigLcm(x.big, y.big);
    ASSERT_TRUE(test::BigMatches(x.big, expected)) << "round " << round;
  }
  BigInt x;
  BigSetInt(x, -6);
  BigLcm(x, x);
  EXPECT_EQ(BigCompareWord(x, 6), 0);
}

// Whether (a, b) is a pair of consecutive remainders of Euclid on (a0, b0).
bool IsRemainderPair(mpz_srcptr a0, mpz_srcptr b0, mpz_srcptr a, mpz_srcptr b) {
  MpzValue r0(0);
  MpzValue r1(0);
  mpz_set(r0, a0);
  mpz_set(r1, b0);
  for (int step = 0; step < 400 && mpz_sgn(r0) != 0; ++step) {
    if (mpz_cmp(r0, a) == 0 && mpz_cmp(r1, b) == 0) {
      return true;
    }
    MpzValue r;
    mpz_fdiv_r(r, r0, r1);
    mpz_swap(r0, r1);
    mpz_swap(r1, r);
    if (mpz_sgn(r0) == 0) {
      break;
    }
  }
  return false;
}

// Every accepted matrix must give exactly two consecutive remainders of the
// full values (the matrix form is applied here with GMP, independently of
// the routine that applies it in the gcd).
TEST(BigGcdTest, LehmerStepKeepsOnlyExactQuotients) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  int32_t accepted = 0;
  for (int32_t round = 0; round < test::Rounds(2000); ++round) {
    const int32_t aWords = random.Between(1, 12);
    MpzValue a;
    MpzValue b;
    test::MpzFromWords(a, random.Words(aWords, round % 3 == 0 ? test::Shape::Runs : test::Shape::Uniform), 0);
    switch (round % 4) {
      case 0:  // same leading bits: the hardest case for the estimate
        mpz_sub_ui(b, a, random.NextWord());
        break;
      case 1:  // a few bits shorter
        mpz_fdiv_q_2exp(b, a, static_cast<mp_bitcnt_t>(random.Between(0, 70)));
        mpz_add_ui(b, b, random.NextWord());
        break;
      default:
        test::MpzFromWords(b, random.Words(random.Between(1, aWords), test::Shape::Uniform), 0);
        break;
    }
    if (mpz_cmp(a, b) < 0) {
      mpz_swap(a, b);
    }
    if (mpz_sgn(b) <= 0) {
      continue;
    }
    Pair x;
    Pair y;
    x.Set(a);
    y.Set(b);
    LehmerMatrix m;
    if (!BigLehmerStep(x.big, y.big, m)) {
      continue;
    }
    ++accepted;
    MpzValue A, B, C, D, na, nb, t;
    mpz_import(A, 1, -1, sizeof m.A, 0, 0, &m.A);
    mpz_import(B, 1, -1, sizeof m.B, 0, 0, &m.B);
    mpz_import(C, 1, -1, sizeof m.C, 0, 0, &m.C);
    mpz_import(D, 1, -1, sizeof m.D, 0, 0, &m.D);
    mpz_mul(na, A, a);
    mpz_mul(t, B, b);
    mpz_sub(na, na, t);
    mpz_mul(nb, D, b);
    mpz_mul(t, C, a);
    mpz_sub(nb, nb, t);
    if (!m.Even) {
      mpz_neg(na, na);
      mpz_neg(nb, nb);
    }
    ASSERT_TRUE(IsRemainderPair(a, b, na, nb))
        << "a = 0x" << test::MpzHex(a) << ", b = 0x" << test::MpzHex(b) << " gave 0x" << test::MpzHex(na)
        << ", 0x" << test::MpzHex(nb);
    // And the routine that applies it in place agrees.
    BigInt spareA;
    BigInt spareB;
    LehmerApply(x.big, y.big, m, spareA, spareB);
    ASSERT_TRUE(test::BigMatches(x.big, na));
    ASSERT_TRUE(test::BigMatches(y.big, nb));
  }
  EXPECT_GT(accepted, test::Rounds(2000) / 8);
}

TEST(BigGcdTest, LehmerStepDeclinesFarApartOperands) {
  BigInt a;
  BigInt b;
  BigSetBit(a, 200);
  BigSetWord(b, 12345);
  LehmerMatrix m;
  EXPECT_FALSE(BigLehmerStep(a, b, m));
  BigSetZero(b);
  EXPECT_FALSE(BigLehmerStep(a, b, m));
}

}  // namespace
}  // namespace karvo
