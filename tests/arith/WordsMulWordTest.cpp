#include <gtest/gtest.h>

#include <algorithm>

#include "WordsTestSupport.h"
#include "arith/Words.h"

namespace karvo::wordstest {
namespace {

constexpr Word EdgeFactors[] = {2, 3, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};

// {a, n}·k (+ {acc, n} when given) by mpn, as n + 1 words.
WordVector GmpMulWord(const WordVector& a, Word k, const WordVector* acc) {
  const auto n = static_cast<int32_t>(a.size());
  const LimbVector la = ToLimbs(a);
  LimbVector r = acc != nullptr ? ToLimbs(*acc) : LimbVector(la.size());
  r.push_back(0);
  const auto limbs = static_cast<mp_size_t>(la.size());
  r[la.size()] = acc != nullptr ? mpn_addmul_1(r.data(), la.data(), limbs, k)
                                : mpn_mul_1(r.data(), la.data(), limbs, k);
  return ToWords(r.data(), n + 1);
}

std::vector<Word> FactorsToTry(std::mt19937_64& rng) {
  std::vector<Word> factors(std::begin(EdgeFactors), std::end(EdgeFactors));
  // At least 2: WordsMulWordInPlace leaves the array alone for 0 and 1.
  factors.push_back(std::max<Word>(2, static_cast<Word>(rng())));
  factors.push_back(std::max<Word>(2, static_cast<Word>(rng()) >> 16));
  return factors;
}

TEST(WordsMulWordTest, MulWordAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    const WordShape shape = AllWordShapes[n % 3];
    const WordVector a = RandomWords(rng, n, shape);
    for (Word k : FactorsToTry(rng)) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", k = " << k << ", " << ShapeName(shape));
      const WordVector expected = GmpMulWord(a, k, nullptr);
      const Word high = expected[static_cast<size_t>(n)];
      WordVector dst(static_cast<size_t>(n), 0x5A5A5A5Au);
      ASSERT_EQ(WordsMulWord(dst.data(), a.data(), n, k), high);
      ASSERT_TRUE(std::equal(dst.begin(), dst.end(), expected.begin()));
      // The destination may be the source.
      dst = a;
      ASSERT_EQ(WordsMulWord(dst.data(), dst.data(), n, k), high);
      ASSERT_TRUE(std::equal(dst.begin(), dst.end(), expected.begin()));
      dst = a;
      ASSERT_EQ(WordsMulWordInPlace(dst.data(), n, k), high);
      ASSERT_TRUE(std::equal(dst.begin(), dst.end(), expected.begin()));
    }
  }
}

TEST(WordsMulWordTest, MulWordByZeroZeroesAndByOneCopies) {
  const WordVector a = {1, 2, ~Word{0}};
  WordVector dst(3, 0x5A5A5A5Au);
  EXPECT_EQ(WordsMulWord(dst.data(), a.data(), 3, 0), 0u);
  EXPECT_EQ(dst, WordVector(3, 0));
  EXPECT_EQ(WordsMulWord(dst.data(), a.data(), 3, 1), 0u);
  EXPECT_EQ(dst, a);
}

TEST(WordsMulWordTest, MulWordInPlaceBelowTwoLeavesArray) {
  const WordVector a = {1, 2, ~Word{0}};
  WordVector x = a;
  EXPECT_EQ(WordsMulWordInPlace(x.data(), 3, 0), 0u);
  EXPECT_EQ(WordsMulWordInPlace(x.data(), 3, 1), 0u);
  EXPECT_EQ(x, a);
  EXPECT_EQ(WordsMulWordInPlace(x.data(), 3, 2), 1u);
  EXPECT_EQ(x, (WordVector{2, 4, 0xFFFFFFFEu}));
}

TEST(WordsMulWordTest, AddMulWordAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    const WordShape shape = AllWordShapes[n % 3];
    const WordVector a = RandomWords(rng, n, shape);
    const WordVector acc = RandomWords(rng, n, shape);
    std::vector<Word> factors = FactorsToTry(rng);
    factors.push_back(1);
    for (Word k : factors) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", k = " << k << ", " << ShapeName(shape));
      const WordVector expected = GmpMulWord(a, k, &acc);
      WordVector dst = acc;
      ASSERT_EQ(WordsAddMulWord(dst.data(), a.data(), n, k), expected[static_cast<size_t>(n)]);
      ASSERT_TRUE(std::equal(dst.begin(), dst.end(), expected.begin()));
    }
  }
}

TEST(WordsMulWordTest, AddMulWordByZeroChangesNothing) {
  const WordVector a = {1, 2, 3};
  WordVector dst = {~Word{0}, ~Word{0}, ~Word{0}};
  EXPECT_EQ(WordsAddMulWord(dst.data(), a.data(), 3, 0), 0u);
  EXPECT_EQ(dst, WordVector(3, ~Word{0}));
}

TEST(WordsMulWordTest, AllOnesCarries) {
  for (int32_t n : {1, 2, 3, 8, 9}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    const WordVector ones(static_cast<size_t>(n), ~Word{0});
    // (B^n - 1) + k·(B^n - 1) = k·B^n + (B^n - 1 - k): every word but the
    // lowest stays all ones, the carry is k.
    for (Word k : {Word{2}, Word{3}, ~Word{0}}) {
      WordVector dst = ones;
      const Word carry = WordsAddMulWord(dst.data(), ones.data(), n, k);
      EXPECT_EQ(carry, k);
      WordVector expected = ones;
      expected[0] = ~k;
      EXPECT_EQ(dst, expected);
    }
  }
}

}  // namespace
}  // namespace karvo::wordstest

namespace karvo::wordstest {
namespace {

// D - src·k must come out as the n stored words minus borrow·2^(32n).
TEST(WordsSubMulWordTest, BorrowAndWordsRebuildTheDifference) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 120; ++n) {
    const WordShape shape = AllWordShapes[n % 3];
    const WordVector src = RandomWords(rng, n, shape);
    const WordVector before = RandomWords(rng, n, shape);
    for (Word k : {Word{0}, Word{1}, Word{2}, ~Word{0}, static_cast<Word>(rng())}) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", k = " << k);
      WordVector dst = before;
      const Word borrow = WordsSubMulWord(dst.data(), src.data(), n, k);
      mpz_t d, s, r, lhs;
      mpz_inits(d, s, r, lhs, nullptr);
      mpz_import(d, static_cast<size_t>(n), -1, sizeof(Word), 0, 0, before.data());
      mpz_import(s, static_cast<size_t>(n), -1, sizeof(Word), 0, 0, src.data());
      mpz_import(r, static_cast<size_t>(n), -1, sizeof(Word), 0, 0, dst.data());
      mpz_submul_ui(d, s, k);
      mpz_set_ui(lhs, borrow);
      mpz_mul_2exp(lhs, lhs, 32 * static_cast<mp_bitcnt_t>(n));
      mpz_add(lhs, lhs, d);
      EXPECT_EQ(mpz_cmp(lhs, r), 0);
      mpz_clears(d, s, r, lhs, nullptr);
    }
  }
}

}  // namespace
}  // namespace karvo::wordstest
