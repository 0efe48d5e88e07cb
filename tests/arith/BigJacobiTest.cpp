// Jacobi symbols in all four forms against mpz_jacobi.

#include <gtest/gtest.h>

#include <climits>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

TEST(BigJacobiTest, KnownValues) {
  EXPECT_EQ(IntJacobi(2, 7), 1);
  EXPECT_EQ(IntJacobi(2, 5), -1);
  EXPECT_EQ(IntJacobi(3, 9), 0);
  EXPECT_EQ(IntJacobi(-1, 7), -1);
  EXPECT_EQ(IntJacobi(-1, 5), 1);
  EXPECT_EQ(IntJacobi(0, 3), 0);
  EXPECT_EQ(IntJacobi(1, 3), 1);
  BigInt n;
  BigSetWord(n, 7);
  BigInt x;
  BigSetWord(x, 2);
  EXPECT_EQ(BigJacobi(x, n), 1);
  EXPECT_EQ(BigJacobiInt(2, n), 1);
  BigSetWord(n, 5);
  EXPECT_EQ(BigJacobi(x, n), -1);
  EXPECT_EQ(BigJacobiInt(2, n), -1);
  BigSetWord(n, 9);
  BigSetWord(x, 3);
  EXPECT_EQ(BigJacobi(x, n), 0);
  EXPECT_EQ(BigJacobiInt(3, n), 0);
}

TEST(BigJacobiTest, BigFormsAgreeWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(500); ++round) {
    const int32_t nWords = round % 25 == 0 ? random.Between(100, 300) : random.Between(1, 30);
    Pair n;
    test::RandomModulus(random, n, nWords, true);
    Pair x;
    test::RandomValue(random, x, random.Between(0, nWords + 2), random.Coin());
    if (round % 7 == 3) {
      // A common factor: the symbol is 0.
      mpz_mul(x.ref, x.ref, n.ref);
      mpz_add(x.ref, x.ref, n.ref);
      x.Set(MpzValue(x.ref));
    }
    ASSERT_EQ(BigJacobi(x.big, n.big), mpz_jacobi(x.ref, n.ref)) << nWords << " words, round " << round;
    ASSERT_TRUE(test::BigMatches(x.big, x.ref));
    const auto i = static_cast<int32_t>(random.NextWord());
    ASSERT_EQ(BigJacobiInt(i, n.big), mpz_si_kronecker(i, n.ref)) << i;
  }
}

TEST(BigJacobiTest, WordFormsAgreeWithGmp) {
  SCOPED_TRACE(test::SeedNote());
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(20000); ++round) {
    Word w = (random.NextWord() >> random.Between(0, 29)) | 1;
    if (w < 3) {
      w = 3;
    }
    const int32_t i = round % 10 == 0 ? INT32_MIN + round % 3 : static_cast<int32_t>(random.NextWord());
    MpzValue n;
    mpz_set_ui(n, w);
    const int expected = mpz_si_kronecker(i, n);
    ASSERT_EQ(WordJacobi(i, w), expected) << i << " over " << w;
    if (w <= static_cast<Word>(INT32_MAX)) {
      ASSERT_EQ(IntJacobi(i, static_cast<int32_t>(w)), expected) << i << " over " << w;
    }
  }
}

TEST(BigJacobiTest, EvenOrSmallModulusRaises) {
  BigInt x;
  BigSetWord(x, 5);
  for (int32_t n : {1, 2, 8, 0, -3}) {
    BigInt N;
    BigSetInt(N, n);
    EXPECT_TRUE(test::RaisesInternalError([&] { IntJacobi(5, n); }, "1000.14.1")) << n;
    EXPECT_TRUE(test::RaisesInternalError([&] { BigJacobiInt(5, N); }, "1000.15.1")) << n;
    EXPECT_TRUE(test::RaisesInternalError([&] { BigJacobi(x, N); }, "1000.16.1")) << n;
  }
}

}  // namespace
}  // namespace karvo
