// Shifts and bit operations on the magnitude, against GMP. Shifts keep the
// Sign, so a right shift of a negative value truncates toward zero.

#include <gtest/gtest.h>

#include <climits>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

// Shift counts: every bit offset within a word, whole words, and past the end.
std::vector<int64_t> ShiftCounts(BigRandom& random) {
  std::vector<int64_t> counts;
  for (int64_t k = 0; k <= 70; ++k) {
    counts.push_back(k);
  }
  for (int64_t k : {95, 96, 97, 127, 128, 1000, 4096, 9631}) {
    counts.push_back(k);
  }
  counts.push_back(random.Between(0, 20000));
  return counts;
}

// Signed operands of every shape up to 40 words, shifted by each count.
void CheckShifts(void (*shift)(BigInt&, int64_t),
                 void (*reference)(mpz_ptr, mpz_srcptr, mp_bitcnt_t), const char* op) {
  BigRandom random;
  for (int32_t n = 0; n <= 40; ++n) {
    const Shape shape = test::AllShapes[n % 5];
    for (int64_t k : ShiftCounts(random)) {
      BigInt x;
      MpzValue expected;
      random.SignedOperand(x, expected, n, shape);
      reference(expected, expected, static_cast<mp_bitcnt_t>(k));
      shift(x, k);
      ASSERT_TRUE(test::BigMatches(x, expected)) << n << " words " << op << " " << k;
    }
  }
}

TEST(BigShiftTest, LeftShiftAgreesWithGmp) { CheckShifts(BigShiftLeft, mpz_mul_2exp, "<<"); }

TEST(BigShiftTest, RightShiftTruncatesMagnitudeTowardZero) {
  CheckShifts(BigShiftRight, mpz_tdiv_q_2exp, ">>");
}

TEST(BigShiftTest, OneBitShifts) {
  BigRandom random;
  for (int32_t n = 0; n <= 300; ++n) {
    const Shape shape = test::AllShapes[n % 5];
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, shape);
    MpzValue expected;
    mpz_mul_2exp(expected, value, 1);
    BigShiftLeft1(x);
    ASSERT_TRUE(test::BigMatches(x, expected)) << n << " words << 1";
    random.SignedOperand(x, value, n, shape);
    mpz_tdiv_q_2exp(expected, value, 1);
    const Word out = BigShiftRight1(x);
    ASSERT_EQ(out, mpz_tstbit(value, 0) != 0 ? 1u : 0u) << n << " words >> 1";
    ASSERT_TRUE(test::BigMatches(x, expected)) << n << " words >> 1";
  }
}

// A shift right past every bit, including of a negative value, leaves zero
// with Sign 0.
TEST(BigShiftTest, RightShiftPastTheEndIsPositiveZero) {
  BigInt x;
  BigSetInt(x, -12345);
  BigShiftRight(x, 14);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetInt(x, -1);
  EXPECT_EQ(BigShiftRight1(x), 1u);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetInt(x, -7);
  BigShiftRight(x, 1LL << 29);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

TEST(BigBitsTest, BitSizeTestBitAndPopCount) {
  BigRandom random;
  for (int32_t n = 0; n <= 120; ++n) {
    for (Shape shape : test::AllShapes) {
      BigInt x;
      MpzValue value;
      random.SignedOperand(x, value, n, shape);
      MpzValue magnitude;
      mpz_abs(magnitude, value);
      const auto bits = n == 0 ? 0 : static_cast<int32_t>(mpz_sizeinbase(magnitude, 2));
      ASSERT_EQ(BigBitSize(x), bits);
      ASSERT_EQ(BigPopCount(x), static_cast<int32_t>(mpz_popcount(magnitude)));
      for (int32_t k : {0, 1, 31, 32, 33, bits - 1, bits, bits + 1, 32 * n + 5, random.Between(0, 32 * n + 40)}) {
        if (k >= 0) {
          ASSERT_EQ(BigTestBit(x, k), mpz_tstbit(magnitude, static_cast<mp_bitcnt_t>(k)) != 0) << "bit " << k;
        }
      }
      ASSERT_TRUE(test::BigMatches(x, value));
    }
  }
}

// Bit fields of every width 0..32 at offsets that start in a word, straddle
// two words and run past the top.
TEST(BigBitsTest, BitFieldAgreesWithGmp) {
  BigRandom random;
  for (int32_t n = 0; n <= 6; ++n) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, test::AllShapes[n % 5]);
    mpz_abs(value, value);
    for (int32_t k = 0; k <= 32 * n + 40; ++k) {
      for (int32_t width = 0; width <= 32; ++width) {
        MpzValue field;
        mpz_tdiv_q_2exp(field, value, static_cast<mp_bitcnt_t>(k));
        mpz_fdiv_r_2exp(field, field, static_cast<mp_bitcnt_t>(width));
        ASSERT_EQ(BigBitField(x, k, width), static_cast<Word>(mpz_get_ui(field)))
            << n << " words, field " << k << "+" << width;
      }
    }
  }
}

// Offsets near the top of int32 read zeros; k + n must not wrap around.
TEST(BigBitsTest, FarOffsetsReadZero) {
  BigInt x;
  test::BigFromWords(x, {0xFFFFFFFFu, 0xFFFFFFFFu}, 1);
  for (int32_t k : {64, 1 << 29, INT32_MAX - 40, INT32_MAX - 31, INT32_MAX}) {
    EXPECT_EQ(BigBitField(x, k, 32), 0u) << k;
    EXPECT_EQ(BigBitField(x, k, 1), 0u) << k;
    EXPECT_FALSE(BigTestBit(x, k)) << k;
  }
  EXPECT_EQ(BigBitField(x, 63, 32), 1u);
  EXPECT_EQ(BigBitField(x, 60, 8), 0xFu);
}

TEST(BigBitsTest, SetBitGrowsWithZeroWords) {
  BigRandom random;
  for (int32_t n = 0; n <= 10; ++n) {
    for (int32_t k : {0, 1, 31, 32, 63, 64, 100, 32 * n - 1, 32 * n, 32 * n + 1, 1000}) {
      if (k < 0) {
        continue;
      }
      BigInt x;
      MpzValue value;
      random.SignedOperand(x, value, n, Shape::Runs);
      const int negative = mpz_sgn(value) < 0;
      mpz_abs(value, value);
      mpz_setbit(value, static_cast<mp_bitcnt_t>(k));
      if (negative != 0) {
        mpz_neg(value, value);
      }
      BigSetBit(x, k);
      ASSERT_TRUE(test::BigMatches(x, value)) << n << " words, bit " << k;
    }
  }
}

TEST(BigBitsTest, RemoveTrailingZerosReturnsTheirCount) {
  BigRandom random;
  for (int32_t n = 1; n <= 12; ++n) {
    for (unsigned long zeros : {0ul, 1ul, 31ul, 32ul, 33ul, 64ul, 200ul}) {
      BigInt x;
      MpzValue value;
      random.SignedOperand(x, value, n, Shape::Uniform);
      mpz_setbit(value, 0);
      mpz_mul_2exp(value, value, zeros);
      test::BigFromMpz(x, value);
      ASSERT_EQ(BigRemoveTrailingZeros(x), static_cast<int32_t>(zeros));
      mpz_tdiv_q_2exp(value, value, zeros);
      ASSERT_TRUE(test::BigMatches(x, value));
    }
  }
  BigInt zero;
  EXPECT_EQ(BigRemoveTrailingZeros(zero), -1);
  EXPECT_TRUE(test::BigMatches(zero, MpzValue(0)));
}

TEST(BigBitsTest, XorOfMagnitudes) {
  BigRandom random;
  for (int32_t n = 0; n <= 20; ++n) {
    for (int32_t m : {0, 1, n / 2, n, n + 3}) {
      BigInt x;
      BigInt y;
      MpzValue a;
      MpzValue b;
      random.Operand(x, a, n, test::AllShapes[n % 5], 0);
      random.Operand(y, b, m, Shape::Uniform, 0);
      MpzValue expected;
      mpz_xor(expected, a, b);
      BigXor(x, y);
      ASSERT_TRUE(test::BigMatches(x, expected)) << n << " ^ " << m << " words";
    }
  }
  // Equal values cancel to zero, whose Sign is 0 whatever x's was.
  BigInt x;
  BigInt y;
  BigSetInt(x, -77);
  BigSetInt(y, 77);
  BigXor(x, y);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

TEST(BigBitsTest, NegateAndAbs) {
  BigInt x;
  BigNegate(x);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetInt(x, 5);
  BigNegate(x);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-5)));
  BigAbs(x);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(5)));
}

}  // namespace
}  // namespace karvo
