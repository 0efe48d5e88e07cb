// Products, squares and powers against GMP: every length through the
// schoolbook, Karatsuba and Toom-3 ranges, unbalanced operands (the long one
// is cut into pieces), and every aliasing of result and operands.

#include <gtest/gtest.h>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::Alias;
using test::BigRandom;
using test::BinaryForm;
using test::MpzValue;
using test::Shape;

void MulTo(BigInt& z, BigInt& x, BigInt& y) { BigMulTo(z, x, y); }
void MulInPlace(BigInt& z, BigInt&, BigInt& y) { BigMul(z, y); }
void SqrInPlace(BigInt& z, BigInt&, BigInt&) { BigSqr(z); }
void SqrTo(BigInt& z, BigInt& x, BigInt&) { BigSqrTo(z, x); }

// Squares are binary forms whose two operands are one record.
const BinaryForm mulForms[] = {
    {"BigMulTo", Alias::None, MulTo, mpz_mul},     {"BigMulTo", Alias::ZisX, MulTo, mpz_mul},
    {"BigMulTo", Alias::ZisY, MulTo, mpz_mul},     {"BigMulTo", Alias::XisY, MulTo, mpz_mul},
    {"BigMulTo", Alias::All, MulTo, mpz_mul},      {"BigMul", Alias::ZisX, MulInPlace, mpz_mul},
    {"BigMul", Alias::All, MulInPlace, mpz_mul},   {"BigSqr", Alias::All, SqrInPlace, mpz_mul},
    {"BigSqrTo", Alias::XisY, SqrTo, mpz_mul},     {"BigSqrTo", Alias::All, SqrTo, mpz_mul},
};

class BigMulFormTest : public testing::TestWithParam<BinaryForm> {};

// Every length from 1 to 300 words with every operand shape, balanced and
// with a random shorter second operand.
TEST_P(BigMulFormTest, AgreesWithGmpAtEveryLength) {
  BigRandom random;
  const bool square = GetParam().alias == Alias::XisY || GetParam().alias == Alias::All;
  for (int32_t n : test::TestLengths()) {
    for (Shape shape : test::AllShapes) {
      const auto x = random.Words(n, shape);
      const auto y = random.Words(n, random.Coin() ? shape : Shape::Uniform);
      ASSERT_TRUE(test::CheckBinary(GetParam(), x, random.Coin(), y, random.Coin()))
          << n << " words, " << test::ShapeName(shape);
      if (!square) {
        const auto shorter = random.Words(random.Between(1, n), shape);
        ASSERT_TRUE(test::CheckBinary(GetParam(), x, random.Coin(), shorter, random.Coin()))
            << n << " words, " << test::ShapeName(shape);
        ASSERT_TRUE(test::CheckBinary(GetParam(), shorter, random.Coin(), x, random.Coin()))
            << n << " words, " << test::ShapeName(shape);
      }
    }
  }
}

// Toom-3 recursing into Toom-3, and sizes up to 4096 words; shapes rotate so
// that the slow sanitizer build stays quick.
TEST_P(BigMulFormTest, AgreesWithGmpOnLargeOperands) {
  BigRandom random;
  int32_t turn = 0;
  for (int32_t n : test::LargeLengths()) {
    const Shape shape = test::AllShapes[turn++ % 5];
    ASSERT_TRUE(test::CheckBinary(GetParam(), random.Words(n, shape), random.Coin(),
                                  random.Words(n, Shape::Runs), random.Coin()))
        << n << " words, " << test::ShapeName(shape);
  }
}

TEST_P(BigMulFormTest, ZeroAndOneOperands) {
  BigRandom random;
  const auto x = random.Words(40, Shape::Uniform);
  for (int s = 0; s < 2; ++s) {
    ASSERT_TRUE(test::CheckBinary(GetParam(), {}, 0, x, s));
    ASSERT_TRUE(test::CheckBinary(GetParam(), x, s, {}, 0));
    ASSERT_TRUE(test::CheckBinary(GetParam(), {1}, s, x, s));
    ASSERT_TRUE(test::CheckBinary(GetParam(), x, s, {1}, 1 - s));
  }
}

std::string FormTestName(const testing::TestParamInfo<BinaryForm>& info) {
  static const char* const aliasTags[] = {"Distinct", "ResultIsX", "ResultIsY", "XIsY", "AllOneRecord"};
  return std::string(info.param.name) + "_" + aliasTags[static_cast<int>(info.param.alias)];
}

INSTANTIATE_TEST_SUITE_P(Forms, BigMulFormTest, testing::ValuesIn(mulForms), FormTestName);

// Unbalanced products: the long operand is cut into pieces of the short
// one's length, and the roles swap when the rest becomes shorter.
struct Unbalanced {
  int32_t longer;
  int32_t shorter;
};

void PrintTo(const Unbalanced& v, std::ostream* out) { *out << v.longer << "x" << v.shorter; }

class BigMulUnbalancedTest : public testing::TestWithParam<Unbalanced> {};

TEST_P(BigMulUnbalancedTest, AgreesWithGmp) {
  BigRandom random;
  const BinaryForm distinct = mulForms[0];
  const BinaryForm inPlace = mulForms[5];
  for (Shape shape : test::AllShapes) {
    const auto x = random.Words(GetParam().longer, shape);
    const auto y = random.Words(GetParam().shorter, shape == Shape::Halves ? Shape::Uniform : shape);
    ASSERT_TRUE(test::CheckBinary(distinct, x, random.Coin(), y, random.Coin())) << test::ShapeName(shape);
    ASSERT_TRUE(test::CheckBinary(inPlace, y, random.Coin(), x, random.Coin())) << test::ShapeName(shape);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, BigMulUnbalancedTest,
    testing::Values(Unbalanced{1000, 40}, Unbalanced{700, 33}, Unbalanced{4096, 200}, Unbalanced{1000, 1},
                    Unbalanced{1000, 2}, Unbalanced{1000, 31}, Unbalanced{1000, 32}, Unbalanced{95, 32},
                    Unbalanced{96, 32}, Unbalanced{97, 32}, Unbalanced{63, 32}, Unbalanced{64, 33},
                    Unbalanced{500, 250}, Unbalanced{500, 251}, Unbalanced{601, 196}, Unbalanced{600, 199},
                    Unbalanced{2000, 224}, Unbalanced{300, 299}, Unbalanced{130, 64}, Unbalanced{1025, 512},
                    // Consecutive Fibonacci numbers: the longest chain of role swaps.
                    Unbalanced{987, 610}, Unbalanced{1597, 987}, Unbalanced{1000, 377}),
    [](const testing::TestParamInfo<Unbalanced>& info) {
      return std::to_string(info.param.longer) + "x" + std::to_string(info.param.shorter);
    });

TEST(BigMulTest, RandomUnbalancedLengths) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(400); ++round) {
    const int32_t shorter = random.Between(1, 120);
    const int32_t longer = random.Between(shorter, 900);
    const Shape shape = test::AllShapes[random.Between(0, 4)];
    ASSERT_TRUE(test::CheckBinary(mulForms[0], random.Words(longer, shape), random.Coin(),
                                  random.Words(shorter, shape), random.Coin()))
        << longer << "x" << shorter << " words";
  }
}

// A zero product of a negative operand is zero with Sign 0.
TEST(BigMulTest, NegativeTimesZeroIsZeroWithSignZero) {
  BigInt x;
  BigInt zero;
  BigInt z;
  BigSetInt(x, -5);
  BigMulTo(z, x, zero);
  EXPECT_TRUE(test::BigIsValid(z));
  EXPECT_TRUE(BigIsZero(z));
  BigMul(x, zero);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_TRUE(BigIsZero(x));
}

// Identity: (x + y)^2 = x^2 + 2xy + y^2 at the thresholds of the square.
TEST(BigMulTest, SquareOfSumMatchesExpansion) {
  BigRandom random;
  for (int32_t n : {39, 40, 41, 223, 224, 225, 450}) {
    BigInt x;
    BigInt y;
    MpzValue ignored;
    random.SignedOperand(x, ignored, n, Shape::Runs);
    random.SignedOperand(y, ignored, n, Shape::Uniform);
    BigInt left;
    BigAddTo(left, x, y);
    BigSqr(left);
    BigInt right;
    BigInt term;
    BigSqrTo(right, x);
    BigSqrTo(term, y);
    BigAdd(right, term);
    BigMulTo(term, x, y);
    BigShiftLeft1(term);
    BigAdd(right, term);
    ASSERT_TRUE(test::BigMatchesRecord(left, right)) << n << " words";
  }
}

// BigPower and BigSetPower against mpz_pow_ui.
TEST(BigPowerTest, AgreesWithGmp) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(100); ++round) {
    for (int32_t n : {1, 2, 3, 5, 8}) {
      BigInt x;
      MpzValue base;
      random.SignedOperand(x, base, n, test::AllShapes[random.Between(0, 4)]);
      if (random.Coin()) {
        // Trailing zero bits are taken out before powering and shifted back in.
        const auto shift = static_cast<uint32_t>(random.Between(1, 70));
        BigShiftLeft(x, shift);
        mpz_mul_2exp(base, base, shift);
      }
      const auto e = static_cast<Word>(random.Between(0, 1200 / n));
      MpzValue expected;
      mpz_pow_ui(expected, base, e);
      BigPower(x, e);
      ASSERT_TRUE(test::BigMatches(x, expected)) << "(" << test::MpzShown(base) << ")^" << e;
    }
  }
}

TEST(BigPowerTest, SmallBasesAndExponents) {
  for (int32_t b = -17; b <= 17; ++b) {
    for (Word e = 0; e <= 70; ++e) {
      BigInt x;
      BigSetInt(x, b);
      BigPower(x, e);
      MpzValue expected;
      mpz_ui_pow_ui(expected, static_cast<unsigned long>(b < 0 ? -b : b), e);
      if (b < 0 && (e & 1) != 0) {
        mpz_neg(expected, expected);
      }
      ASSERT_TRUE(test::BigMatches(x, expected)) << b << "^" << e;
    }
  }
}

TEST(BigPowerTest, NegativeBaseSignFollowsParityOfExponent) {
  BigInt x;
  BigSetInt(x, -2);
  BigPower(x, 3);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-8)));
  BigSetMinusOne(x);
  BigPower(x, 4);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(1)));
  BigSetMinusOne(x);
  BigPower(x, 0xFFFFFFFFu);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-1)));
  BigSetZero(x);
  BigPower(x, 0);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(1)));
  BigSetZero(x);
  BigPower(x, 1000000);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

// Powers of two are a pure shift: large exponents stay cheap.
TEST(BigPowerTest, PowersOfTwoShiftByTheirExponent) {
  for (Word e : {31u, 32u, 33u, 1000u, 100000u}) {
    for (int32_t b : {2, -2, 8, -32}) {
      BigInt x;
      BigSetInt(x, b);
      BigPower(x, e);
      MpzValue expected(b);
      mpz_pow_ui(expected, expected, e);
      ASSERT_TRUE(test::BigMatches(x, expected)) << b << "^" << e;
    }
  }
}

TEST(BigSetPowerTest, AgreesWithGmp) {
  BigRandom random;
  const Word bases[] = {0, 1, 2, 3, 10, 65536, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (Word b : bases) {
    for (Word e : {0u, 1u, 2u, 3u, 31u, 32u, 100u, 257u}) {
      BigInt x;
      BigSetInt(x, -1);  // a stale value and Sign
      BigSetPower(x, b, e);
      MpzValue expected;
      mpz_ui_pow_ui(expected, b, e);
      ASSERT_TRUE(test::BigMatches(x, expected)) << b << "^" << e;
    }
  }
  for (int32_t round = 0; round < test::Rounds(50); ++round) {
    const Word b = random.NextWord();
    const auto e = static_cast<Word>(random.Between(0, 300));
    BigInt x;
    BigSetPower(x, b, e);
    MpzValue expected;
    mpz_ui_pow_ui(expected, b, e);
    ASSERT_TRUE(test::BigMatches(x, expected)) << b << "^" << e;
  }
  // b = 2 sets a single bit, however high.
  BigInt x;
  BigSetPower(x, 2, 1000000);
  MpzValue expected;
  mpz_setbit(expected, 1000000);
  EXPECT_TRUE(test::BigMatches(x, expected));
}

}  // namespace
}  // namespace karvo
