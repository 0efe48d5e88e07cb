// Signed addition and subtraction against GMP, in every calling form and
// every aliasing of result and operands.

#include <gtest/gtest.h>

#include <utility>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::Alias;
using test::BigRandom;
using test::BinaryForm;
using test::MpzValue;
using test::Shape;

void SubFromReference(mpz_ptr out, mpz_srcptr x, mpz_srcptr y) { mpz_sub(out, y, x); }

const BinaryForm addSubForms[] = {
    {"BigAdd", Alias::ZisX, [](BigInt& z, BigInt&, BigInt& y) { BigAdd(z, y); }, mpz_add},
    {"BigAdd", Alias::All, [](BigInt& z, BigInt&, BigInt& y) { BigAdd(z, y); }, mpz_add},
    {"BigSub", Alias::ZisX, [](BigInt& z, BigInt&, BigInt& y) { BigSub(z, y); }, mpz_sub},
    {"BigSub", Alias::All, [](BigInt& z, BigInt&, BigInt& y) { BigSub(z, y); }, mpz_sub},
    {"BigSubFrom", Alias::ZisX, [](BigInt& z, BigInt&, BigInt& y) { BigSubFrom(z, y); }, SubFromReference},
    {"BigSubFrom", Alias::All, [](BigInt& z, BigInt&, BigInt& y) { BigSubFrom(z, y); }, SubFromReference},
    {"BigAddTo", Alias::None, [](BigInt& z, BigInt& x, BigInt& y) { BigAddTo(z, x, y); }, mpz_add},
    {"BigAddTo", Alias::ZisX, [](BigInt& z, BigInt& x, BigInt& y) { BigAddTo(z, x, y); }, mpz_add},
    {"BigAddTo", Alias::ZisY, [](BigInt& z, BigInt& x, BigInt& y) { BigAddTo(z, x, y); }, mpz_add},
    {"BigAddTo", Alias::XisY, [](BigInt& z, BigInt& x, BigInt& y) { BigAddTo(z, x, y); }, mpz_add},
    {"BigAddTo", Alias::All, [](BigInt& z, BigInt& x, BigInt& y) { BigAddTo(z, x, y); }, mpz_add},
    {"BigSubTo", Alias::None, [](BigInt& z, BigInt& x, BigInt& y) { BigSubTo(z, x, y); }, mpz_sub},
    {"BigSubTo", Alias::ZisX, [](BigInt& z, BigInt& x, BigInt& y) { BigSubTo(z, x, y); }, mpz_sub},
    {"BigSubTo", Alias::ZisY, [](BigInt& z, BigInt& x, BigInt& y) { BigSubTo(z, x, y); }, mpz_sub},
    {"BigSubTo", Alias::XisY, [](BigInt& z, BigInt& x, BigInt& y) { BigSubTo(z, x, y); }, mpz_sub},
    {"BigSubTo", Alias::All, [](BigInt& z, BigInt& x, BigInt& y) { BigSubTo(z, x, y); }, mpz_sub},
};

class BigAddSubFormTest : public testing::TestWithParam<BinaryForm> {};

// Lengths equal and different both ways, every shape, random signs: the
// longer-operand copy, the carry and borrow propagation and the swap of roles
// when |x| < |y| all get exercised.
TEST_P(BigAddSubFormTest, AgreesWithGmpAtEveryLength) {
  BigRandom random;
  for (int32_t n : test::TestLengths()) {
    for (Shape shape : test::AllShapes) {
      const int32_t shorter = random.Between(1, n);
      for (auto [xn, yn] : {std::pair{n, n}, std::pair{n, shorter}, std::pair{shorter, n}}) {
        const auto x = random.Words(xn, shape);
        const auto y = random.Words(yn, random.Coin() ? shape : Shape::Uniform);
        ASSERT_TRUE(test::CheckBinary(GetParam(), x, random.Coin(), y, random.Coin()))
            << n << " words, " << test::ShapeName(shape);
      }
    }
  }
}

TEST_P(BigAddSubFormTest, AgreesWithGmpOnLargeOperands) {
  BigRandom random;
  for (int32_t n : test::LargeLengths()) {
    const auto x = random.Words(n, Shape::Runs);
    const auto y = random.Words(random.Between(1, n), Shape::AllOnes);
    ASSERT_TRUE(test::CheckBinary(GetParam(), x, random.Coin(), y, random.Coin())) << n << " words";
    ASSERT_TRUE(test::CheckBinary(GetParam(), y, random.Coin(), x, random.Coin())) << n << " words";
  }
}

// Carries and borrows that run through every word: B^n - 1 against 1, B^n
// against 1, and operands that differ only in the lowest word.
TEST_P(BigAddSubFormTest, CarriesAndBorrowsThroughEveryWord) {
  BigRandom random;
  for (int32_t n : {1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 33, 100}) {
    std::vector<Word> ones(static_cast<size_t>(n), 0xFFFFFFFFu);
    std::vector<Word> power(static_cast<size_t>(n) + 1, 0);
    power.back() = 1;
    std::vector<Word> almost = random.Words(n, Shape::Uniform);
    std::vector<Word> other = almost;
    other[0] ^= 1;
    for (int xs = 0; xs < 2; ++xs) {
      for (int ys = 0; ys < 2; ++ys) {
        ASSERT_TRUE(test::CheckBinary(GetParam(), ones, xs, {1}, ys));
        ASSERT_TRUE(test::CheckBinary(GetParam(), {1}, xs, ones, ys));
        ASSERT_TRUE(test::CheckBinary(GetParam(), power, xs, {1}, ys));
        ASSERT_TRUE(test::CheckBinary(GetParam(), {1}, xs, power, ys));
        ASSERT_TRUE(test::CheckBinary(GetParam(), almost, xs, other, ys));
        ASSERT_TRUE(test::CheckBinary(GetParam(), almost, xs, almost, ys));
      }
    }
  }
}

TEST_P(BigAddSubFormTest, ZeroOperands) {
  BigRandom random;
  const auto x = random.Words(5, Shape::Uniform);
  for (int s = 0; s < 2; ++s) {
    ASSERT_TRUE(test::CheckBinary(GetParam(), {}, 0, x, s));
    ASSERT_TRUE(test::CheckBinary(GetParam(), x, s, {}, 0));
  }
  ASSERT_TRUE(test::CheckBinary(GetParam(), {}, 0, {}, 0));
}

std::string FormTestName(const testing::TestParamInfo<BinaryForm>& info) {
  static const char* const aliasTags[] = {"Distinct", "ResultIsX", "ResultIsY", "XIsY", "AllOneRecord"};
  return std::string(info.param.name) + "_" + aliasTags[static_cast<int>(info.param.alias)];
}

INSTANTIATE_TEST_SUITE_P(Forms, BigAddSubFormTest, testing::ValuesIn(addSubForms), FormTestName);

TEST(BigAddSubTest, ZeroMinusOneIsMinusOneOfOneWord) {
  BigInt x;
  BigInt one;
  BigSetOne(one);
  BigSub(x, one);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Length, 1);
  EXPECT_EQ(x.Sign, 1);
  EXPECT_EQ(x.Words[0], 1u);
  EXPECT_TRUE(BigIsMinusOne(x));
}

TEST(BigAddSubTest, MinusOnePlusOneIsZeroWithSignZero) {
  BigInt x;
  BigInt one;
  BigSetMinusOne(x);
  BigSetOne(one);
  BigAdd(x, one);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Length, 0);
  EXPECT_EQ(x.Sign, 0);
}

TEST(BigAddSubTest, NegativeMinusItselfIsZeroWithSignZero) {
  BigInt x;
  BigInt y;
  BigSetInt(x, -123456);
  BigSetInt(y, -123456);
  BigSub(x, y);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Length, 0);
  EXPECT_EQ(x.Sign, 0);
  BigSetInt(x, -5);
  BigSub(x, x);
  EXPECT_TRUE(test::BigIsValid(x));
  EXPECT_EQ(x.Sign, 0);
}

// The result takes the Sign of the operand of larger magnitude.
TEST(BigAddSubTest, DifferentSignsTakeSignOfLargerMagnitude) {
  BigInt x;
  BigInt y;
  for (auto [a, b] : {std::pair{-7, 5}, std::pair{7, -5}, std::pair{-5, 7}, std::pair{5, -7}}) {
    BigSetInt(x, a);
    BigSetInt(y, b);
    BigAdd(x, y);
    MpzValue expected(a + b);
    EXPECT_TRUE(test::BigMatches(x, expected)) << a << " + " << b;
  }
}

// Identity: (a − b)(c − d) = ac − ad − bc + bd, with every sign of the four.
TEST(BigAddSubTest, ProductOfDifferencesMatchesItsExpansion) {
  BigRandom random;
  for (int32_t round = 0; round < test::Rounds(500); ++round) {
    BigInt v[4];
    MpzValue ignored;
    for (BigInt& value : v) {
      random.SignedOperand(value, ignored, random.Between(1, 60), test::AllShapes[random.Between(0, 4)]);
    }
    BigInt left;
    BigInt right;
    BigInt term;
    BigSubTo(left, v[0], v[1]);
    BigSubTo(term, v[2], v[3]);
    BigMul(left, term);
    BigMulTo(right, v[0], v[2]);
    BigMulTo(term, v[0], v[3]);
    BigSub(right, term);
    BigMulTo(term, v[1], v[2]);
    BigSub(right, term);
    BigMulTo(term, v[1], v[3]);
    BigAdd(right, term);
    ASSERT_TRUE(test::BigIsValid(left));
    ASSERT_TRUE(test::BigMatchesRecord(left, right)) << "round " << round;
  }
}

}  // namespace
}  // namespace karvo
