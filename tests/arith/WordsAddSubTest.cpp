#include <gtest/gtest.h>

#include "WordsTestSupport.h"
#include "arith/Words.h"

namespace karvo::wordstest {
namespace {

// mpn's n-limb sum or difference of the padded operands, as n + 1 words:
// the result and, in word n, what carried or borrowed out of word n - 1.
WordVector GmpSumOrDifference(const WordVector& a, const WordVector& b, bool subtract) {
  const auto n = static_cast<int32_t>(a.size());
  const LimbVector la = ToLimbs(a);
  const LimbVector lb = ToLimbs(b);
  LimbVector r(la.size() + 1);
  const auto limbs = static_cast<mp_size_t>(la.size());
  const mp_limb_t out = subtract ? mpn_sub_n(r.data(), la.data(), lb.data(), limbs)
                                 : mpn_add_n(r.data(), la.data(), lb.data(), limbs);
  r[la.size()] = subtract ? 0 - out : out;
  return ToWords(r.data(), n + 1);
}

WordVector Low(const WordVector& words, int32_t n) {
  return WordVector(words.begin(), words.begin() + n);
}

Word CarryWord(const WordVector& expected, int32_t n) { return expected[static_cast<size_t>(n)]; }

TEST(WordsAddSubTest, AddNAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      const WordVector a = RandomWords(rng, n, shape);
      const WordVector b =
          RandomWords(rng, n, shape == WordShape::AllOnes ? WordShape::Runs : shape);
      const WordVector expected = GmpSumOrDifference(a, b, false);
      WordVector dst = a;
      ASSERT_EQ(WordsAddN(dst.data(), b.data(), n), CarryWord(expected, n));
      ASSERT_EQ(dst, Low(expected, n));
    }
  }
}

TEST(WordsAddSubTest, SubtractionsAgreeWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      const WordVector a = RandomWords(rng, n, shape);
      const WordVector b =
          RandomWords(rng, n, shape == WordShape::AllOnes ? WordShape::Runs : shape);
      const WordVector aMinusB = GmpSumOrDifference(a, b, true);
      const WordVector bMinusA = GmpSumOrDifference(b, a, true);

      WordVector dst = a;
      ASSERT_EQ(WordsSubN(dst.data(), b.data(), n), CarryWord(aMinusB, n));
      ASSERT_EQ(dst, Low(aMinusB, n));

      dst = a;
      ASSERT_EQ(WordsRevSubN(dst.data(), b.data(), n), CarryWord(bMinusA, n));
      ASSERT_EQ(dst, Low(bMinusA, n));

      dst.assign(static_cast<size_t>(n), 0x5A5A5A5Au);
      ASSERT_EQ(WordsSub3(dst.data(), a.data(), b.data(), n), CarryWord(aMinusB, n));
      ASSERT_EQ(dst, Low(aMinusB, n));
    }
  }
}

TEST(WordsAddSubTest, Sub3ResultMayOverwriteEitherOperand) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : {1, 2, 3, 7, 8, 9, 33, 64}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    const WordVector b = RandomWords(rng, n, WordShape::Uniform);
    const WordVector expected = GmpSumOrDifference(a, b, true);
    WordVector x = a;
    ASSERT_EQ(WordsSub3(x.data(), x.data(), b.data(), n), CarryWord(expected, n));
    ASSERT_EQ(x, Low(expected, n));
    WordVector y = b;
    ASSERT_EQ(WordsSub3(y.data(), a.data(), y.data(), n), CarryWord(expected, n));
    ASSERT_EQ(y, Low(expected, n));
  }
}

TEST(WordsAddSubTest, AllOnesCarries) {
  for (int32_t n : {1, 2, 3, 8, 9, 17}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const WordVector ones(static_cast<size_t>(n), ~Word{0});
    WordVector one(static_cast<size_t>(n), 0);
    one[0] = 1;
    WordVector dst = ones;
    EXPECT_EQ(WordsAddN(dst.data(), one.data(), n), 1u);
    EXPECT_EQ(dst, WordVector(static_cast<size_t>(n), 0));
    EXPECT_EQ(WordsSubN(dst.data(), one.data(), n), 0xFFFFFFFFu);
    EXPECT_EQ(dst, ones);
    dst = ones;
    EXPECT_EQ(WordsAddN(dst.data(), ones.data(), n), 1u);
    EXPECT_EQ(dst[0], 0xFFFFFFFEu);
    EXPECT_EQ(WordsSubN(dst.data(), ones.data(), n), 0xFFFFFFFFu);
    EXPECT_EQ(dst, ones);
  }
}

TEST(WordsAddSubTest, AddWordCarriesAtMostThroughCount) {
  WordVector words = {~Word{0}, ~Word{0}, ~Word{0}, 5};
  EXPECT_EQ(WordsAddWord(1, words.data(), 3), 1u);
  EXPECT_EQ(words, (WordVector{0, 0, 0, 5}));
  EXPECT_EQ(WordsAddWord(7, words.data(), 2), 0u);
  EXPECT_EQ(words, (WordVector{7, 0, 0, 5}));
  EXPECT_EQ(WordsAddWord(0xFFFFFFFAu, words.data(), 4), 0u);
  EXPECT_EQ(words, (WordVector{1, 1, 0, 5}));
  EXPECT_EQ(WordsAddWord(9, words.data(), 0), 9u);
  EXPECT_EQ(WordsAddWord(9, words.data(), -1), 9u);
  EXPECT_EQ(words, (WordVector{1, 1, 0, 5}));
}

TEST(WordsAddSubTest, IncrementCarriesThroughAllOnes) {
  WordVector words = {0xFFFFFFF0u, ~Word{0}, ~Word{0}, 41, 9};
  WordsIncrement(words.data(), 0x10);
  EXPECT_EQ(words, (WordVector{0, 0, 0, 42, 9}));
  WordsIncrement(words.data(), 3);
  EXPECT_EQ(words, (WordVector{3, 0, 0, 42, 9}));
}

TEST(WordsAddSubTest, DecrementBorrowsThroughZeros) {
  WordVector words = {5, 0, 0, 43, 9};
  WordsDecrement(words.data(), 6);
  EXPECT_EQ(words, (WordVector{~Word{0}, ~Word{0}, ~Word{0}, 42, 9}));
  WordsDecrement(words.data(), ~Word{0});
  EXPECT_EQ(words, (WordVector{0, ~Word{0}, ~Word{0}, 42, 9}));
}

}  // namespace
}  // namespace karvo::wordstest
