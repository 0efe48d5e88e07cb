// Operations of a BigInt with one word or one signed 32-bit integer, against
// GMP: crossing zero, carries out of the top word, and the word extremes.

#include <gtest/gtest.h>

#include <climits>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

struct WordForm {
  const char* name;
  void (*run)(BigInt& x, Word w);
  void (*reference)(mpz_ptr x, Word w);
};

void PrintTo(const WordForm& v, std::ostream* out) { *out << v.name; }

const WordForm wordForms[] = {
    {"BigAddWord", BigAddWord, [](mpz_ptr x, Word w) { mpz_add_ui(x, x, w); }},
    {"BigSubWord", BigSubWord, [](mpz_ptr x, Word w) { mpz_sub_ui(x, x, w); }},
    {"BigIncrement", [](BigInt& x, Word) { BigIncrement(x); }, [](mpz_ptr x, Word) { mpz_add_ui(x, x, 1); }},
    {"BigDecrement", [](BigInt& x, Word) { BigDecrement(x); }, [](mpz_ptr x, Word) { mpz_sub_ui(x, x, 1); }},
    {"BigMulWord", BigMulWord, [](mpz_ptr x, Word w) { mpz_mul_ui(x, x, w); }},
    {"BigMulInt", [](BigInt& x, Word w) { BigMulInt(x, static_cast<int32_t>(w)); },
     [](mpz_ptr x, Word w) { mpz_mul_si(x, x, static_cast<int32_t>(w)); }},
};

class BigWordOpTest : public testing::TestWithParam<WordForm> {
 protected:
  // Runs the operation on ±words and checks it against GMP.
  static testing::AssertionResult Check(const std::vector<Word>& words, int sign, Word w) {
    BigInt x;
    MpzValue expected;
    test::BigFromWords(x, words, sign);
    test::MpzFromBig(expected, x);
    const std::string before = test::MpzShown(expected);
    GetParam().reference(expected, w);
    GetParam().run(x, w);
    testing::AssertionResult result = test::BigMatches(x, expected);
    if (!result) {
      return testing::AssertionFailure() << GetParam().name << "(" << before << ", 0x" << std::hex << w
                                         << "): " << result.message();
    }
    return result;
  }
};

constexpr Word extremeWords[] = {0, 1, 2, 3, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFEu, 0xFFFFFFFFu};

TEST_P(BigWordOpTest, AgreesWithGmpOnRandomOperands) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(3); ++round) {
    for (int32_t n = 0; n <= 70; ++n) {
      for (Shape shape : test::AllShapes) {
        const auto words = random.Words(n, shape);
        for (Word w : extremeWords) {
          ASSERT_TRUE(Check(words, random.Coin(), w));
        }
        ASSERT_TRUE(Check(words, random.Coin(), random.NextWord()));
      }
    }
  }
}

// Small values of both signs against small words: every crossing of zero.
TEST_P(BigWordOpTest, CrossesZeroBothWays) {
  for (Word magnitude : {0u, 1u, 2u, 3u, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    for (int sign = 0; sign < 2; ++sign) {
      for (Word w : extremeWords) {
        ASSERT_TRUE(Check(magnitude == 0 ? std::vector<Word>{} : std::vector<Word>{magnitude}, sign, w));
      }
    }
  }
}

// B^n − 1 + w, B^n − w and their negatives: carries and borrows across all words.
TEST_P(BigWordOpTest, CarriesAndBorrowsAcrossAllWords) {
  for (int32_t n = 1; n <= 9; ++n) {
    std::vector<Word> ones(static_cast<size_t>(n), 0xFFFFFFFFu);
    std::vector<Word> power(static_cast<size_t>(n) + 1, 0);
    power.back() = 1;
    for (int sign = 0; sign < 2; ++sign) {
      for (Word w : extremeWords) {
        ASSERT_TRUE(Check(ones, sign, w));
        ASSERT_TRUE(Check(power, sign, w));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, BigWordOpTest, testing::ValuesIn(wordForms),
                         [](const testing::TestParamInfo<WordForm>& info) { return std::string(info.param.name); });

TEST(BigWordOpsTest, DecrementOfZeroIsMinusOneOfOneWord) {
  BigInt x;
  BigDecrement(x);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Length, 1);
  EXPECT_EQ(x.Sign, 1);
  EXPECT_EQ(x.Words[0], 1u);
  BigSetZero(x);
  BigSubWord(x, 1);
  EXPECT_TRUE(BigIsMinusOne(x));
  EXPECT_EQ(x.Length, 1);
}

TEST(BigWordOpsTest, IncrementOfMinusOneIsZeroWithSignZero) {
  BigInt x;
  BigSetMinusOne(x);
  BigIncrement(x);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Length, 0);
  EXPECT_EQ(x.Sign, 0);
  BigSetInt(x, -7);
  BigAddWord(x, 7);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Sign, 0);
}

TEST(BigWordOpsTest, MulByZeroGivesZeroWithSignZero) {
  BigInt x;
  BigSetInt(x, -99);
  BigMulWord(x, 0);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_TRUE(BigIsZero(x));
  BigSetInt(x, -99);
  BigMulInt(x, 0);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_TRUE(BigIsZero(x));
}

// −2^31 has no positive int32 counterpart: negating it must not overflow.
TEST(BigWordOpsTest, MulIntByMostNegativeInt) {
  BigInt x;
  BigSetInt(x, -3);
  BigMulInt(x, INT32_MIN);
  MpzValue expected(-3);
  mpz_mul_si(expected, expected, INT32_MIN);
  EXPECT_TRUE(test::BigMatches(x, expected));
}

}  // namespace
}  // namespace karvo
