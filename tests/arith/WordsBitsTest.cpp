#include <gtest/gtest.h>

#include <algorithm>

#include "WordsTestSupport.h"
#include "arith/Words.h"

namespace karvo::wordstest {
namespace {

TEST(WordsBitsTest, CompareOfNoWordsIsZero) {
  const Word a = 1;
  const Word b = 2;
  EXPECT_EQ(WordsCompare(&a, &b, 0), 0);
}

TEST(WordsBitsTest, CompareAgreesWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 100; ++n) {
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    // Equal, then differing in one word at a time from the bottom up.
    for (int32_t i = -1; i < n; ++i) {
      WordVector b = a;
      if (i >= 0) {
        b[static_cast<size_t>(i)] = static_cast<Word>(rng());
      }
      SCOPED_TRACE(testing::Message() << "n = " << n << ", word " << i);
      const LimbVector la = ToLimbs(a);
      const LimbVector lb = ToLimbs(b);
      const int expected = mpn_cmp(la.data(), lb.data(), static_cast<mp_size_t>(la.size()));
      ASSERT_EQ(WordsCompare(a.data(), b.data(), n), (expected > 0) - (expected < 0));
    }
  }
}

TEST(WordsBitsTest, LowestBitOfZeroIsMinusOne) {
  const WordVector zeros(7, 0);
  EXPECT_EQ(WordsLowestBit(zeros.data(), 7), -1);
  EXPECT_EQ(WordsLowestBit(zeros.data(), 0), -1);
}

TEST(WordsBitsTest, LowestBitAtEveryPosition) {
  for (int32_t bit = 0; bit < 5 * 32; ++bit) {
    WordVector a(5, 0);
    a[static_cast<size_t>(bit / 32)] = Word{1} << (bit % 32);
    a[4] |= 0x80000000u;
    EXPECT_EQ(WordsLowestBit(a.data(), 5), bit);
  }
}

TEST(WordsBitsTest, PopCountAgreesWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  EXPECT_EQ(WordsPopCount(nullptr, 0), 0);
  for (int32_t n = 1; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      const WordVector a = RandomWords(rng, n, shape);
      const LimbVector la = ToLimbs(a);
      ASSERT_EQ(WordsPopCount(a.data(), n),
                static_cast<int32_t>(mpn_popcount(la.data(), static_cast<mp_size_t>(la.size()))))
          << "n = " << n << ", " << ShapeName(shape);
    }
  }
}

TEST(WordsBitsTest, XorFillAndCopy) {
  WordVector a = {0xF0F0F0F0u, 1, 2, 3, 4};
  const WordVector b = {0x0FF00FF0u, 1, 0, 7, 4};
  WordsXor(a.data(), b.data(), 5);
  EXPECT_EQ(a, (WordVector{0xFF00FF00u, 0, 2, 4, 0}));
  WordsFill(9, a.data() + 1, 3);
  EXPECT_EQ(a, (WordVector{0xFF00FF00u, 9, 9, 9, 0}));
  WordsFill(5, a.data(), 0);
  WordsCopy(b.data(), a.data(), 0);
  EXPECT_EQ(a, (WordVector{0xFF00FF00u, 9, 9, 9, 0}));
  WordsCopy(b.data(), a.data(), 5);
  EXPECT_EQ(a, b);
}

TEST(WordsBitsTest, CopyMovesTowardsLowerAddresses) {
  WordVector a = {0, 0, 1, 2, 3, 4, 5};
  WordsCopy(a.data() + 2, a.data(), 5);
  EXPECT_EQ(a, (WordVector{1, 2, 3, 4, 5, 4, 5}));
}

TEST(WordsBitsTest, ShiftUpWordsMovesUpAndZeroesBelow) {
  WordVector a = {1, 2, 3, 4, 5, 0, 0};
  WordsShiftUpWords(a.data(), a.data() + 2, 5, 2);
  EXPECT_EQ(a, (WordVector{0, 0, 1, 2, 3, 4, 5}));
  WordVector b = {7, 8, 9, 0};
  WordsShiftUpWords(b.data(), b.data() + 1, 3, 1);
  EXPECT_EQ(b, (WordVector{0, 7, 8, 9}));
}

// mpn_lshift over the padded operand and one more zero word: the words out
// of the top land in word n.
TEST(WordsBitsTest, ShiftLeftBitsAgreesWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 70; ++n) {
    const WordVector a = RandomWords(rng, n, AllWordShapes[n % 3]);
    WordVector padded = a;
    padded.push_back(0);
    const LimbVector la = ToLimbs(padded);
    for (int s = 1; s < 32; ++s) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", s = " << s);
      LimbVector shifted(la.size());
      mpn_lshift(shifted.data(), la.data(), static_cast<mp_size_t>(la.size()),
                 static_cast<unsigned>(s));
      const WordVector expected = ToWords(shifted.data(), n + 1);
      WordVector x = a;
      ASSERT_EQ(WordsShiftLeftBits(x.data(), n, s), expected[static_cast<size_t>(n)]);
      ASSERT_TRUE(std::equal(x.begin(), x.end(), expected.begin()));
    }
    WordVector x = a;
    ASSERT_EQ(WordsShiftLeftBits(x.data(), n, 0), 0u);
    ASSERT_EQ(x, a);
  }
}

TEST(WordsBitsTest, ShiftRightBitsAgreesWithGmp) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 70; ++n) {
    WordVector a = RandomWords(rng, n, AllWordShapes[n % 3]);
    // Small top words, so that some shifts clear the top word and some do not.
    a.back() >>= rng() % 32;
    const LimbVector la = ToLimbs(a);
    for (int s = 1; s < 32; ++s) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", s = " << s);
      LimbVector shifted(la.size());
      mpn_rshift(shifted.data(), la.data(), static_cast<mp_size_t>(la.size()),
                 static_cast<unsigned>(s));
      const WordVector expected = ToWords(shifted.data(), n);
      WordVector x = a;
      ASSERT_EQ(WordsShiftRightBits(x.data(), n, s), expected.back() == 0 ? 1u : 0u);
      ASSERT_EQ(x, expected);
    }
  }
}

TEST(WordsBitsTest, ShiftRightBitsReportsTopWordBecomingZero) {
  WordVector a = {0, 0x80000000u};
  EXPECT_EQ(WordsShiftRightBits(a.data(), 2, 31), 0u);
  EXPECT_EQ(a, (WordVector{0, 1}));
  EXPECT_EQ(WordsShiftRightBits(a.data(), 2, 1), 1u);
  EXPECT_EQ(a, (WordVector{0x80000000u, 0}));
}

TEST(WordsBitsTest, ShiftRight1ReportsTopWordOne) {
  WordVector a = {3, 1};
  EXPECT_TRUE(WordsShiftRight1(a.data(), 2));
  EXPECT_EQ(a, (WordVector{0x80000001u, 0}));
  WordVector b = {3, 2};
  EXPECT_FALSE(WordsShiftRight1(b.data(), 2));
  EXPECT_EQ(b, (WordVector{0x00000001u, 1}));
  WordVector c = {6};
  EXPECT_FALSE(WordsShiftRight1(c.data(), 1));
  EXPECT_EQ(c, (WordVector{3}));
}

}  // namespace
}  // namespace karvo::wordstest
