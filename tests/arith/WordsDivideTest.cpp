#include <gtest/gtest.h>

#include "WordsTestSupport.h"
#include "arith/Words.h"

namespace karvo::wordstest {
namespace {

// Divisors at the edges of the normalisation and of the word, and a few
// random ones.
std::vector<Word> DivisorsToTry(std::mt19937_64& rng) {
  std::vector<Word> divisors = {
      1, 2, 3, 7, 10, 65521, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFBu, 0xFFFFFFFFu};
  divisors.push_back(static_cast<Word>(rng()) | 1);
  divisors.push_back(static_cast<Word>(rng()) >> (rng() % 31));
  if (divisors.back() == 0) {
    divisors.back() = 5;
  }
  return divisors;
}

Word GmpMod(const WordVector& a, Word d) {
  if (a.empty()) {
    return 0;
  }
  const LimbVector la = ToLimbs(a);
  return static_cast<Word>(mpn_mod_1(la.data(), static_cast<mp_size_t>(la.size()), d));
}

TEST(WordsDivideTest, DivWordAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 1; n <= 300; ++n) {
    const WordVector a = RandomWords(rng, n, AllWordShapes[n % 3]);
    const LimbVector la = ToLimbs(a);
    for (Word d : DivisorsToTry(rng)) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", d = " << d);
      LimbVector quotient(la.size());
      const auto remainder = static_cast<Word>(
          mpn_divrem_1(quotient.data(), 0, la.data(), static_cast<mp_size_t>(la.size()), d));
      WordVector x = a;
      ASSERT_EQ(WordsDivWord(x.data(), n, d), remainder);
      ASSERT_EQ(x, ToWords(quotient.data(), n));
    }
  }
}

TEST(WordsDivideTest, DivWordByOneLeavesArray) {
  WordVector a = {5, ~Word{0}, 7};
  EXPECT_EQ(WordsDivWord(a.data(), 3, 1), 0u);
  EXPECT_EQ(a, (WordVector{5, ~Word{0}, 7}));
}

// Lengths below and from 5 words take different algorithms.
TEST(WordsDivideTest, ModWordAgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 0; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      const WordVector a = RandomWords(rng, n, shape);
      for (Word d : DivisorsToTry(rng)) {
        SCOPED_TRACE(testing::Message()
                     << "n = " << n << ", d = " << d << ", " << ShapeName(shape));
        ASSERT_EQ(WordsModWord(a.data(), n, d), GmpMod(a, d));
      }
    }
  }
}

TEST(WordsDivideTest, ModWordSameForFourAndFiveWords) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(50); ++round) {
    WordVector a = RandomWords(rng, 5, AllWordShapes[round % 3]);
    a[4] = 0;
    for (Word d : DivisorsToTry(rng)) {
      SCOPED_TRACE(testing::Message() << "d = " << d);
      ASSERT_EQ(WordsModWord(a.data(), 4, d), WordsModWord(a.data(), 5, d));
    }
  }
}

// A remainder of zero exactly for multiples: q·d and q·d + r for every small
// r, or a random r below d.
TEST(WordsDivideTest, ModExactOddZeroExactlyForMultiples) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (Word d : {Word{1}, Word{3}, Word{65521}, 0xFFFFFFFFu, static_cast<Word>(rng()) | 1}) {
    for (int32_t n : {1, 2, 3, 4, 5, 8, 17, 64}) {
      SCOPED_TRACE(testing::Message() << "d = " << d << ", n = " << n);
      WordVector multiple = RandomWords(rng, n, WordShape::Uniform);
      multiple.back() >>= 1;  // room for the factor
      multiple.push_back(WordsMulWord(multiple.data(), multiple.data(), n, d));
      const auto m = static_cast<int32_t>(multiple.size());
      ASSERT_EQ(WordsModExactOdd(multiple.data(), m, 0, d), 0u);
      for (Word r : {Word{1}, Word{2}, static_cast<Word>(1 + rng() % d)}) {
        if (r >= d) {
          continue;
        }
        WordVector x = multiple;
        ASSERT_EQ(WordsAddWord(r, x.data(), m), 0u);
        EXPECT_NE(WordsModExactOdd(x.data(), m, 0, d), 0u) << "r = " << r;
      }
    }
  }
}

TEST(WordsDivideTest, ModExactOddAgreesWithGmpOnDivisibility) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(2000); ++round) {
    const auto n = static_cast<int32_t>(1 + rng() % 40);
    const WordVector a = RandomWords(rng, n, AllWordShapes[round % 3]);
    const Word d =
        round % 2 == 0 ? static_cast<Word>(3 + 2 * (rng() % 50)) : static_cast<Word>(rng()) | 1;
    SCOPED_TRACE(testing::Message() << "n = " << n << ", d = " << d);
    ASSERT_EQ(WordsModExactOdd(a.data(), n, 0, d) == 0, GmpMod(a, d) == 0);
  }
}

// With a stored residue c < d as initial borrow, zero means a ≡ c (mod d).
TEST(WordsDivideTest, ModExactOddInvMatchesStoredResidue) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(300); ++round) {
    const Word d = round % 3 == 0 ? 65521 : static_cast<Word>(rng()) | 1;
    const Word inv = WordInverse(d);
    const auto n = static_cast<int32_t>(1 + rng() % 20);
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    const Word residue = GmpMod(a, d);
    SCOPED_TRACE(testing::Message() << "n = " << n << ", d = " << d);
    ASSERT_EQ(WordsModExactOddInv(a.data(), n, residue, d, inv), 0u);
    if (d > 1) {
      const Word other = residue == 0 ? 1 : residue - 1;
      ASSERT_NE(WordsModExactOddInv(a.data(), n, other, d, inv), 0u);
    }
  }
}

TEST(WordsDivideTest, DivExactOddRecoversQuotient) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t round = 0; round < Scaled(300); ++round) {
    const Word d = round % 4 == 0 ? 3 : static_cast<Word>(rng()) | 1;
    const auto n = static_cast<int32_t>(1 + rng() % 40);
    WordVector quotient = RandomWords(rng, n, AllWordShapes[round % 3]);
    quotient.push_back(0);
    WordVector product = quotient;
    product.back() = WordsMulWordInPlace(product.data(), n, d);
    SCOPED_TRACE(testing::Message() << "n = " << n << ", d = " << d);
    WordsDivExactOdd(product.data(), n + 1, WordInverse(d), d);
    ASSERT_EQ(product, quotient);
  }
}

TEST(WordsDivideTest, WordInverseForOddWords) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (Word d = 1; d < 1u << 17; d += 2) {
    ASSERT_EQ(d * WordInverse(d), 1u) << "d = " << d;
  }
  for (int32_t round = 0; round < Scaled(10000); ++round) {
    const Word d = static_cast<Word>(rng()) | 1;
    ASSERT_EQ(d * WordInverse(d), 1u) << "d = " << d;
  }
  EXPECT_EQ(WordInverse(3), InverseOf3);
  EXPECT_EQ(0xFFFFFFFFu * WordInverse(0xFFFFFFFFu), 1u);
}

TEST(WordsDivideTest, ByteInverseTableHoldsInversesModulo256) {
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(((2 * i + 1) * ByteInverseTable[i]) & 0xFF, 1) << "d = " << 2 * i + 1;
  }
}

TEST(WordsDivideTest, Mod3AgreesWithGmpAtEveryLength) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n = 0; n <= 300; ++n) {
    for (WordShape shape : AllWordShapes) {
      SCOPED_TRACE(testing::Message() << "n = " << n << ", " << ShapeName(shape));
      const WordVector a = RandomWords(rng, n, shape);
      ASSERT_EQ(WordsMod3(a.data(), n), GmpMod(a, 3));
    }
  }
}

}  // namespace
}  // namespace karvo::wordstest
