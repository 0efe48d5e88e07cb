// Floor square roots and the perfect-square flag, against mpz_sqrtrem.

#include <gtest/gtest.h>

#include <cmath>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

testing::AssertionResult CheckIsqrt(mpz_srcptr value) {
  MpzValue root;
  MpzValue rem;
  mpz_sqrtrem(root, rem, value);
  BigInt x;
  test::BigFromMpz(x, value);
  const bool square = BigIsqrt(x);
  if (auto result = test::BigMatches(x, root); !result) {
    return testing::AssertionFailure() << "isqrt(" << test::MpzShown(value) << "): " << result.message();
  }
  if (square != (mpz_sgn(rem) == 0)) {
    return testing::AssertionFailure() << "isqrt(" << test::MpzShown(value) << "): square flag " << square;
  }
  return testing::AssertionSuccess();
}

// r^2 − 1, r^2 and r^2 + 1: the flag and the final correction of the root.
testing::AssertionResult CheckAroundSquare(mpz_srcptr root) {
  MpzValue square;
  mpz_mul(square, root, root);
  for (int delta = -1; delta <= 1; ++delta) {
    MpzValue value;
    if (delta < 0) {
      mpz_sub_ui(value, square, 1);
    } else {
      mpz_add_ui(value, square, static_cast<unsigned long>(delta));
    }
    if (mpz_sgn(value) < 0) {
      continue;
    }
    if (auto result = CheckIsqrt(value); !result) {
      return result;
    }
  }
  return testing::AssertionSuccess();
}

TEST(BigIsqrtTest, AgreesWithGmpAtEveryLength) {
  BigRandom random;
  for (int32_t n : test::TestLengths()) {
    for (Shape shape : test::AllShapes) {
      MpzValue value;
      test::MpzFromWords(value, random.Words(n, shape), 0);
      ASSERT_TRUE(CheckIsqrt(value)) << n << " words, " << test::ShapeName(shape);
    }
  }
}

TEST(BigIsqrtTest, AroundExactSquaresAtEveryLength) {
  BigRandom random;
  for (int32_t n = 1; n <= 150; ++n) {
    MpzValue root;
    test::MpzFromWords(root, random.Words(n, test::AllShapes[n % 5]), 0);
    ASSERT_TRUE(CheckAroundSquare(root)) << n << "-word root";
  }
}

TEST(BigIsqrtTest, AgreesWithGmpOnLargeOperands) {
  BigRandom random;
  for (int32_t n : {511, 512, 1000, 2048, 4096}) {
    MpzValue root;
    test::MpzFromWords(root, random.Words(n / 2, Shape::Runs), 0);
    ASSERT_TRUE(CheckAroundSquare(root)) << n << " words";
    MpzValue value;
    test::MpzFromWords(value, random.Words(n, Shape::Uniform), 0);
    ASSERT_TRUE(CheckIsqrt(value)) << n << " words";
  }
}

// Powers of two of every exponent (even and odd bit counts, the shift that
// fills the top word) and all-ones values.
TEST(BigIsqrtTest, PowersOfTwoAndAllOnes) {
  for (unsigned long k = 0; k < 700; ++k) {
    MpzValue value;
    mpz_setbit(value, k);
    ASSERT_TRUE(CheckIsqrt(value)) << "2^" << k;
    mpz_sub_ui(value, value, 1);
    ASSERT_TRUE(CheckIsqrt(value)) << "2^" << k << " - 1";
    mpz_add_ui(value, value, 2);
    ASSERT_TRUE(CheckIsqrt(value)) << "2^" << k << " + 1";
  }
}

TEST(BigIsqrtTest, TwoToThe64MinusOneIsNotASquare) {
  BigInt x;
  BigSetUInt64(x, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_FALSE(BigIsqrt(x));
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0xFFFFFFFFl)));
}

TEST(BigIsqrtTest, SquareOfTwoTo100PlusOneIsASquare) {
  MpzValue root;
  mpz_setbit(root, 100);
  mpz_add_ui(root, root, 1);
  MpzValue value;
  mpz_mul(value, root, root);
  BigInt x;
  test::BigFromMpz(x, value);
  EXPECT_TRUE(BigIsqrt(x));
  EXPECT_TRUE(test::BigMatches(x, root));
}

TEST(BigIsqrtTest, ZeroIsASquare) {
  BigInt x;
  EXPECT_TRUE(BigIsqrt(x));
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetOne(x);
  EXPECT_TRUE(BigIsqrt(x));
  EXPECT_TRUE(test::BigMatches(x, MpzValue(1)));
}

// Word roots: exhaustively below 2^16 + 1, around every square, random words.
Word ReferenceRoot(Word w) {
  auto r = static_cast<uint64_t>(std::sqrt(static_cast<double>(w)));
  while (r * r > w) {
    --r;
  }
  while ((r + 1) * (r + 1) <= w) {
    ++r;
  }
  return static_cast<Word>(r);
}

testing::AssertionResult CheckWordIsqrt(Word w) {
  bool square = false;
  const Word root = WordIsqrt(w, square);
  const Word want = ReferenceRoot(w);
  if (root != want || square != (static_cast<uint64_t>(want) * want == w)) {
    return testing::AssertionFailure() << "WordIsqrt(" << w << ") = " << root << ", " << square << "; expected "
                                       << want;
  }
  return testing::AssertionSuccess();
}

TEST(WordIsqrtTest, ExhaustiveUpToTwoTo16) {
  for (Word w = 0; w <= 65536; ++w) {
    ASSERT_TRUE(CheckWordIsqrt(w));
  }
}

TEST(WordIsqrtTest, AroundEverySquare) {
  for (uint64_t r = 0; r <= 65535; ++r) {
    const auto square = static_cast<Word>(r * r);
    ASSERT_TRUE(CheckWordIsqrt(square));
    ASSERT_TRUE(CheckWordIsqrt(square - 1));
    ASSERT_TRUE(CheckWordIsqrt(square + 1));
  }
  ASSERT_TRUE(CheckWordIsqrt(0xFFFFFFFFu));
  ASSERT_TRUE(CheckWordIsqrt(0xFFFE0001u));
  ASSERT_TRUE(CheckWordIsqrt(0x80000000u));
  ASSERT_TRUE(CheckWordIsqrt(0x40000000u));
}

TEST(WordIsqrtTest, RandomWords) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(200000); ++round) {
    ASSERT_TRUE(CheckWordIsqrt(random.NextWord()));
  }
}

}  // namespace
}  // namespace karvo
