// Floored reduction, Barrett reduction with its reciprocal, and the
// registered modulus with its one saved level, against GMP.

#include <gtest/gtest.h>

#include <stdexcept>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

// Clears the registered modulus around each test so that no test sees
// another's registration.
class BigModTest : public testing::Test {
 protected:
  void SetUp() override { BigClearModulus(); }
  void TearDown() override { BigClearModulus(); }
};

BigInt Small(int32_t v) {
  BigInt x;
  BigSetInt(x, v);
  return x;
}

TEST_F(BigModTest, FlooredSignRules) {
  struct Case {
    int32_t x, m, expected;
  };
  const Case cases[] = {{-1, 7, 6},  {1, -7, -6}, {-7, 7, 0},   {7, -7, 0},  {0, 7, 0},   {0, -7, 0},
                        {13, 7, 6},  {-13, 7, 1}, {13, -7, -1}, {-13, -7, -6}, {6, 7, 6}, {-6, -7, -6},
                        {5, 1, 0},   {-5, 1, 0},  {5, -1, 0}};
  for (const Case& c : cases) {
    BigInt x = Small(c.x);
    BigMod(x, Small(c.m));
    EXPECT_TRUE(test::BigMatchesRecord(x, Small(c.expected))) << c.x << " mod " << c.m;
  }
}

TEST_F(BigModTest, ZeroModulusRaises) {
  BigInt x = Small(5);
  EXPECT_TRUE(test::RaisesInternalError([&] { BigMod(x, BigInt()); }, "1000.17.1"));
}

TEST_F(BigModTest, SameRecordGivesZero) {
  BigInt x = Small(-12345);
  BigMod(x, x);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_TRUE(BigIsZero(x));
}

// mpz_fdiv_r is the floored remainder: zero or the sign of the divisor.
TEST_F(BigModTest, AgreesWithGmpFloorRemainder) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(300); ++round) {
    const int32_t mn = random.Between(1, 40);
    const int32_t xn = random.Between(0, 90);
    Pair x;
    Pair m;
    test::RandomValue(random, x, xn, random.Coin());
    random.Operand(m.big, m.ref, mn, random.Coin() ? test::Shape::Uniform : test::Shape::Runs,
                   random.Coin());
    MpzValue expected;
    mpz_fdiv_r(expected, x.ref, m.ref);
    BigMod(x.big, m.big);
    ASSERT_TRUE(test::BigMatches(x.big, expected)) << xn << " words mod " << mn << " words";
    ASSERT_TRUE(test::BigMatches(m.big, m.ref)) << "modulus changed";
  }
}

TEST_F(BigModTest, ReciprocalIsFloorOfPowerOverN) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t n : {1, 2, 3, 7, 31, 32, 33, 100, 244}) {
    for (bool odd : {true, false}) {
      Pair N;
      test::RandomModulus(random, N, n, odd);
      MpzValue expected;
      mpz_setbit(expected, static_cast<mp_bitcnt_t>(64 * n));
      mpz_fdiv_q(expected, expected, N.ref);
      BigInt r;
      BigReciprocal(r, N.big);
      EXPECT_TRUE(test::BigMatches(r, expected)) << n << " words";
      // The result may overwrite the modulus.
      BigReciprocal(N.big, N.big);
      EXPECT_TRUE(test::BigMatches(N.big, expected)) << n << " words, in place";
    }
  }
  BigInt r;
  BigReciprocal(r, Small(3));
  EXPECT_EQ(BigLowUInt64(r), 0xFFFFFFFFFFFFFFFFull / 3);
}

TEST_F(BigModTest, ReciprocalRejectsSmallModuli) {
  BigInt r;
  for (int32_t n : {2, 1, 0, -5}) {
    EXPECT_TRUE(test::RaisesInternalError([&] { BigReciprocal(r, Small(n)); }, "1000.24.1")) << n;
  }
}

// Inputs of every size up to and beyond 2^(64k), both signs, and values
// just around multiples of N where the quotient estimate is tight.
TEST_F(BigModTest, BarrettAgreesWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t n : {1, 2, 3, 4, 8, 31, 33, 64, 170, 250}) {
    for (bool odd : {true, false}) {
      Pair N;
      test::RandomModulus(random, N, n, odd);
      if (mpz_cmp_ui(N.ref, 3) < 0) {
        continue;
      }
      BigInt mu;
      BigReciprocal(mu, N.big);
      const int32_t rounds = n > 100 ? 4 : test::Rounds(20);
      for (int32_t round = 0; round < rounds; ++round) {
        SCOPED_TRACE(testing::Message() << n << " words, round " << round);
        Pair x;
        const int32_t xn = random.Between(0, round % 4 == 0 ? 5 * n + 3 : 2 * n);
        test::RandomValue(random, x, xn, random.Coin());
        if (round % 5 == 1) {
          // q·N ± small: the corrections after the estimate.
          MpzValue q;
          test::MpzFromWords(q, random.Words(n, test::Shape::Uniform), 0);
          mpz_mul(x.ref, q, N.ref);
          const int32_t offset = random.Between(-2, 2);
          if (offset >= 0) {
            mpz_add_ui(x.ref, x.ref, static_cast<unsigned long>(offset));
          } else {
            mpz_sub_ui(x.ref, x.ref, static_cast<unsigned long>(-offset));
          }
          x.Set(MpzValue(x.ref));
        }
        MpzValue expected;
        mpz_mod(expected, x.ref, N.ref);
        BigBarrettReduce(x.big, N.big, mu);
        ASSERT_TRUE(test::BigMatches(x.big, expected));
      }
    }
  }
}

TEST_F(BigModTest, BarrettOfFullSizeInputs) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t n : {2, 5, 40}) {
    Pair N;
    test::RandomModulus(random, N, n, true);
    BigInt mu;
    BigReciprocal(mu, N.big);
    // 2^(64k) - 1 and -(2^(64k) - 1): the largest single-pass inputs.
    Pair x;
    MpzValue v;
    mpz_setbit(v, static_cast<mp_bitcnt_t>(64 * n));
    mpz_sub_ui(v, v, 1);
    for (int sign : {1, -1}) {
      MpzValue signedV;
      mpz_mul_si(signedV, v, sign);
      x.Set(signedV);
      MpzValue expected;
      mpz_mod(expected, x.ref, N.ref);
      BigBarrettReduce(x.big, N.big, mu);
      EXPECT_TRUE(test::BigMatches(x.big, expected)) << n << " words, sign " << sign;
    }
  }
}

TEST_F(BigModTest, PushRegistersAndPopRestores) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  Pair outer;
  Pair inner;
  test::RandomModulus(random, outer, 6, true);
  test::RandomModulus(random, inner, 9, true);
  EXPECT_FALSE(BigHasModulus());
  BigPushModulus(outer.big);
  EXPECT_TRUE(BigHasModulus());
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer.big));
  BigPushModulus(inner.big);
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), inner.big));
  BigPopModulus();
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer.big));
  BigPopModulus();
  EXPECT_FALSE(BigHasModulus());
  EXPECT_TRUE(BigIsZero(BigRegisteredModulus()));
}

// One level is saved: a third registration overwrites the first.
TEST_F(BigModTest, OnlyOneLevelIsSaved) {
  BigPushModulus(Small(11));
  BigPushModulus(Small(13));
  BigPushModulus(Small(17));
  BigPopModulus();
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), Small(13)));
  BigPopModulus();
  EXPECT_FALSE(BigHasModulus());
}

TEST_F(BigModTest, SetModulusReplacesWithoutSaving) {
  BigPushModulus(Small(11));
  BigPushModulus(Small(13));
  BigSetModulus(Small(20));  // no checks: even is accepted
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), Small(20)));
  BigPopModulus();
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), Small(11)));
}

TEST_F(BigModTest, PushingTheRegisteredRecordItself) {
  BigPushModulus(Small(101));
  BigPushModulus(BigRegisteredModulus());
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), Small(101)));
  BigPopModulus();
  EXPECT_TRUE(BigEqual(BigRegisteredModulus(), Small(101)));
}

TEST_F(BigModTest, PushRejectsEvenAndNonPositive) {
  for (int32_t n : {0, 10, -7, -8}) {
    EXPECT_TRUE(test::RaisesInternalError([&] { BigPushModulus(Small(n)); }, "1000.23.1")) << n;
  }
  EXPECT_FALSE(BigHasModulus());
}

TEST_F(BigModTest, ScopeRestoresOnExitAndOnException) {
  const BigInt outer = Small(1000003);
  const BigInt inner = Small(999983);
  {
    BigModulusScope scope(outer);
    {
      BigModulusScope nested(inner);
      EXPECT_TRUE(BigEqual(BigRegisteredModulus(), inner));
    }
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer));
    try {
      BigModulusScope nested(inner);
      throw EKVAbort("Operation aborted");
    } catch (const EKVAbort&) {
    }
    EXPECT_TRUE(BigEqual(BigRegisteredModulus(), outer));
  }
  EXPECT_FALSE(BigHasModulus());
}

// With N registered, BigMod by an equal record (not the registered one)
// reduces by Barrett; results must match GMP for every input size and sign.
TEST_F(BigModTest, RegisteredModulusReducesByBarrett) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t n : {2, 3, 17, 64}) {
    Pair N;
    test::RandomModulus(random, N, n, true);
    BigModulusScope scope(N.big);
    for (int32_t round = 0; round < test::Rounds(30); ++round) {
      Pair x;
      test::RandomValue(random, x, random.Between(0, 3 * n), random.Coin());
      MpzValue expected;
      mpz_mod(expected, x.ref, N.ref);
      BigMod(x.big, N.big);
      ASSERT_TRUE(test::BigMatches(x.big, expected)) << n << " words, round " << round;
    }
  }
}

TEST_F(BigModTest, ClearForgetsBothLevels) {
  BigPushModulus(Small(11));
  BigPushModulus(Small(13));
  BigClearModulus();
  EXPECT_FALSE(BigHasModulus());
  BigPopModulus();  // nothing saved: stays empty
  EXPECT_FALSE(BigHasModulus());
}

}  // namespace
}  // namespace karvo
