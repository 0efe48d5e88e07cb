// The pool of temporaries: records come out zero, marks nest like a stack
// and are restored on every exit, trimming gives storage back.

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "GmpBridge.h"
#include "arith/BigTempPool.h"

namespace karvo {
namespace {

using test::MpzValue;

TEST(BigTempPoolTest, TakenRecordsAreZeroAndKeepTheirStorage) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Take(2);
  BigSetInt(pool.At(mark), -5);
  BigGrow(pool.At(mark + 1), 40);
  BigSetWord(pool.At(mark + 1), 9);
  pool.Release(mark);
  EXPECT_EQ(pool.Mark(), mark);
  EXPECT_EQ(pool.Take(2), mark);
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(pool.At(mark + i).Length, 0);
    EXPECT_EQ(pool.At(mark + i).Sign, 0);
    EXPECT_TRUE(test::BigIsValid(pool.At(mark + i)));
  }
  EXPECT_GE(pool.At(mark + 1).Capacity, 40);
  pool.Release(mark);
}

TEST(BigTempPoolTest, TrimFreesTheWordsAboveTheMark) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Take(3);
  for (int32_t i = 0; i < 3; ++i) {
    BigSetWord(pool.At(mark + i), 7);
  }
  pool.Release(mark + 1);
  pool.Trim();
  EXPECT_TRUE(test::BigMatches(pool.At(mark), MpzValue(7)));
  EXPECT_EQ(pool.At(mark + 1).Capacity, 0);
  EXPECT_EQ(pool.At(mark + 2).Capacity, 0);
  pool.Release(mark);
}

TEST(BigTempPoolTest, ManyTemporariesAreDistinctAndZero) {
  const int32_t mark = BigTempPool::Instance().Mark();
  {
    BigTemps temps(300);
    std::set<const BigInt*> seen;
    for (int32_t i = 0; i < 300; ++i) {
      EXPECT_TRUE(seen.insert(&temps[i]).second);
      EXPECT_TRUE(test::BigMatches(temps[i], MpzValue(0)));
      BigSetInt(temps[i], i);
    }
    for (int32_t i = 0; i < 300; ++i) {
      ASSERT_TRUE(test::BigMatches(temps[i], MpzValue(i)));
    }
    EXPECT_EQ(BigTempPool::Instance().Mark(), mark + 300);
  }
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark);
}

TEST(BigTempPoolTest, NestedScopesRestoreTheirMarks) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Mark();
  {
    BigTemps outer(2);
    EXPECT_EQ(pool.Mark(), mark + 2);
    BigSetInt(outer[0], 11);
    {
      BigTemps inner(3);
      EXPECT_EQ(pool.Mark(), mark + 5);
      BigSetInt(inner[2], 12);
    }
    EXPECT_EQ(pool.Mark(), mark + 2);
    EXPECT_TRUE(test::BigMatches(outer[0], MpzValue(11)));
    BigTemps again(3);
    EXPECT_TRUE(test::BigMatches(again[2], MpzValue(0)));
  }
  EXPECT_EQ(pool.Mark(), mark);
}

TEST(BigTempPoolTest, ExceptionUnwindingRestoresTheMark) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Mark();
  try {
    BigTemps outer(1);
    {
      BigTemps inner(4);
      BigSetInt(inner[3], 1);
      throw std::runtime_error("unwind");
    }
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(pool.Mark(), mark);
  BigTemps after(5);
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(test::BigMatches(after[i], MpzValue(0)));
  }
}

// Giving back the scratch storage between tasks leaves arithmetic intact.
TEST(BigTempPoolTest, ArithmeticWorksAfterReleasingScratch) {
  test::BigRandom random;
  BigInt x;
  BigInt y;
  MpzValue a;
  MpzValue b;
  random.Operand(x, a, 400, test::Shape::Uniform, 0);
  random.Operand(y, b, 250, test::Shape::Uniform, 1);
  for (int round = 0; round < 2; ++round) {
    BigInt z;
    BigMulTo(z, x, y);
    MpzValue expected;
    mpz_mul(expected, a, b);
    ASSERT_TRUE(test::BigMatches(z, expected));
    BigInt q;
    BigInt r;
    BigDivMod(q, r, z, x);
    ASSERT_TRUE(test::BigMatches(q, b));
    BigSqr(z);
    mpz_mul(expected, expected, expected);
    ASSERT_TRUE(test::BigMatches(z, expected));
    BigReleaseScratch();
    BigTempPool::Instance().Trim();
  }
}

}  // namespace
}  // namespace karvo
