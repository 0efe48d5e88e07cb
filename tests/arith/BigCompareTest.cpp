// Signed and magnitude comparisons against GMP: different signs, different
// lengths, equal values, values that differ only in their lowest word.

#include <gtest/gtest.h>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

int Sign(int v) { return (v > 0) - (v < 0); }

testing::AssertionResult CheckComparisons(const BigInt& x, const BigInt& y) {
  MpzValue a;
  MpzValue b;
  test::MpzFromBig(a, x);
  test::MpzFromBig(b, y);
  const int cmp = Sign(mpz_cmp(a, b));
  const int cmpAbs = Sign(mpz_cmpabs(a, b));
  auto fail = [&](const char* what) {
    return testing::AssertionFailure() << what << " of " << test::MpzShown(a) << " and " << test::MpzShown(b);
  };
  if (BigCompare(x, y) != cmp) {
    return fail("BigCompare") << " gave " << BigCompare(x, y);
  }
  if (BigCompareAbs(x, y) != cmpAbs) {
    return fail("BigCompareAbs") << " gave " << BigCompareAbs(x, y);
  }
  if (BigEqual(x, y) != (cmp == 0)) {
    return fail("BigEqual");
  }
  if (BigEqualAbs(x, y) != (cmpAbs == 0)) {
    return fail("BigEqualAbs");
  }
  return testing::AssertionSuccess();
}

TEST(BigCompareTest, AgreesWithGmp) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(20); ++round) {
    for (int32_t n = 0; n <= 12; ++n) {
      for (int32_t m : {0, 1, n - 1, n, n + 1}) {
        if (m < 0) {
          continue;
        }
        BigInt x;
        BigInt y;
        MpzValue ignored;
        const Shape shape = test::AllShapes[random.Between(0, 4)];
        random.SignedOperand(x, ignored, n, shape);
        random.SignedOperand(y, ignored, m, shape);
        ASSERT_TRUE(CheckComparisons(x, y));
        ASSERT_TRUE(CheckComparisons(y, x));
        ASSERT_TRUE(CheckComparisons(x, x));
        // Equal values in separate records, then the same magnitude negated,
        // then a difference in the lowest or the top word only.
        BigAssign(y, x);
        ASSERT_TRUE(CheckComparisons(x, y));
        BigNegate(y);
        ASSERT_TRUE(CheckComparisons(x, y));
        if (n > 0) {
          y.Words[0] ^= 1;
          BigNormalize(y);
          ASSERT_TRUE(CheckComparisons(x, y));
          ASSERT_TRUE(CheckComparisons(y, x));
          BigAssign(y, x);
          y.Words[n - 1] ^= 0x40000000u;
          BigNormalize(y);
          ASSERT_TRUE(CheckComparisons(x, y));
          ASSERT_TRUE(CheckComparisons(y, x));
        }
      }
    }
  }
}

TEST(BigCompareTest, CompareWordIsMinusOneForAnyNegative) {
  BigRandom random;
  for (int32_t n = 0; n <= 4; ++n) {
    for (Word w : {0u, 1u, 2u, 0x80000000u, 0xFFFFFFFFu, random.NextWord()}) {
      for (int round = 0; round < 8; ++round) {
        BigInt x;
        MpzValue value;
        random.SignedOperand(x, value, n, round < 4 ? Shape::Uniform : Shape::Special);
        if (round == 0 && n == 1) {
          test::BigFromWords(x, {w}, 0);
          test::MpzFromBig(value, x);
        }
        const int want = mpz_sgn(value) < 0 ? -1 : Sign(mpz_cmp_ui(value, w));
        ASSERT_EQ(BigCompareWord(x, w), want) << test::MpzShown(value) << " vs " << w;
        const bool equals = mpz_cmp_ui(value, w) == 0;
        ASSERT_EQ(BigEqualsWord(x, w), equals) << test::MpzShown(value) << " vs " << w;
      }
    }
  }
}

TEST(BigCompareTest, OneAndMinusOne) {
  BigInt x;
  EXPECT_FALSE(BigIsOne(x));
  EXPECT_FALSE(BigIsMinusOne(x));
  EXPECT_TRUE(BigEqualsWord(x, 0));
  BigSetOne(x);
  EXPECT_TRUE(BigIsOne(x));
  EXPECT_FALSE(BigIsMinusOne(x));
  BigSetMinusOne(x);
  EXPECT_FALSE(BigIsOne(x));
  EXPECT_TRUE(BigIsMinusOne(x));
  EXPECT_FALSE(BigEqualsWord(x, 1));
  EXPECT_EQ(BigCompareWord(x, 0), -1);
  test::BigFromWords(x, {1, 1}, 0);
  EXPECT_FALSE(BigIsOne(x));
  EXPECT_FALSE(BigEqualsWord(x, 1));
}

// Zeros compare equal whatever storage they keep.
TEST(BigCompareTest, ZerosAreEqual) {
  BigInt fresh;
  BigInt used;
  BigSetInt(used, -5);
  BigAddWord(used, 5);
  EXPECT_TRUE(CheckComparisons(fresh, used));
  EXPECT_EQ(BigCompare(fresh, used), 0);
  EXPECT_EQ(BigCompareWord(used, 0), 0);
}

}  // namespace
}  // namespace karvo
