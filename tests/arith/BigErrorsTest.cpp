// Every internal error of the big-integer unit: the exact code in the text,
// raised as EKV (not as an abort), with the pool of temporaries left as found.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "GmpBridge.h"

namespace karvo {
namespace {

struct ErrorCase {
  const char* name;
  const char* code;
  void (*action)();
};

void PrintTo(const ErrorCase& v, std::ostream* out) { *out << v.name; }

// A multi-word non-zero value, so that no zero-dividend shortcut can hide a
// missing divisor check.
void SetLong(BigInt& x) { test::BigFromWords(x, {0x12345678u, 0x9ABCDEF0u, 0x0FEDCBA9u}, 0); }

const ErrorCase errorCases[] = {
    {"BigDivModByZero", "1000.26.1",
     [] {
       BigInt x, y, q, r;
       SetLong(x);
       BigDivMod(q, r, x, y);
     }},
    {"BigDivModOfOneWordByZero", "1000.26.1",
     [] {
       BigInt x, y, q, r;
       BigSetInt(x, -7);
       BigDivMod(q, r, x, y);
     }},
    {"BigDivByZero", "1000.4.1",
     [] {
       BigInt x, y;
       SetLong(x);
       BigDiv(x, y);
     }},
    {"BigRemByZero", "1000.25.1",
     [] {
       BigInt x, y;
       SetLong(x);
       BigRem(x, y);
     }},
    {"BigDivWordByZero", "1000.8.1",
     [] {
       BigInt x;
       SetLong(x);
       BigDivWord(x, 0);
     }},
    {"BigDivIntByZero", "1000.7.1",
     [] {
       BigInt x;
       SetLong(x);
       BigDivInt(x, 0);
     }},
    {"BigDivExactByWordZero", "1000.5.1",
     [] {
       BigInt x;
       SetLong(x);
       BigDivExactByWord(x, 0);
     }},
    {"BigIsDivisibleByWordZero", "1000.6.1",
     [] {
       BigInt x;
       SetLong(x);
       BigIsDivisibleByWord(x, 0);
     }},
    {"BigModWordZero", "1000.18.1",
     [] {
       BigInt x;
       SetLong(x);
       BigModWord(x, 0);
     }},
    {"BigSetBitAtTwoTo29", "1000.2.1",
     [] {
       BigInt x;
       BigSetBit(x, 1 << 29);
     }},
    {"BigSetBitAtIntMax", "1000.2.1",
     [] {
       BigInt x;
       BigSetBit(x, INT32_MAX);
     }},
    {"BigBitFieldNegativeStart", "1000.9.1",
     [] {
       BigInt x;
       SetLong(x);
       BigBitField(x, -1, 4);
     }},
    {"BigBitFieldWiderThanAWord", "1000.9.2",
     [] {
       BigInt x;
       SetLong(x);
       BigBitField(x, 0, 33);
     }},
    {"BigSetFromBytesOverTwoTo26", "1000.28.1",
     [] {
       BigInt x;
       const uint8_t byte = 1;
       BigSetFromBytes(x, &byte, 67108865);
     }},
    {"BigSetFromWordsTopBelowMinusOne", "1000.29.1",
     [] {
       BigInt x;
       const Word word = 1;
       BigSetFromWords(x, &word, -2, 0);
     }},
    {"BigSetFromWordsTopAbove16777215", "1000.29.1",
     [] {
       BigInt x;
       const Word word = 1;
       BigSetFromWords(x, &word, 16777216, 0);
     }},
    {"BigFromStringBase8", "1000.30.1",
     [] {
       BigInt x;
       BigFromString(x, "17", 8);
     }},
    {"BigFromStringBase2", "1000.30.1",
     [] {
       BigInt x;
       BigFromString(x, "101", 2);
     }},
    {"BigFromStringBase36", "1000.30.1",
     [] {
       BigInt x;
       BigFromString(x, "z", 36);
     }},
    {"BigFromStringDecimalWithLetter", "1000.30.2",
     [] {
       BigInt x;
       BigFromString(x, "12a45", 10);
     }},
    {"BigFromStringHexWithG", "1000.30.2",
     [] {
       BigInt x;
       BigFromString(x, "ABCG", 16);
     }},
    {"BigShiftLeftAboveTwoTo29", "1000.32.1",
     [] {
       BigInt x;
       BigSetOne(x);
       BigShiftLeft(x, (int64_t{1} << 29) + 1);
     }},
    // A count that a 32-bit truncation would turn into a small shift.
    {"BigShiftLeftByTwoTo32Plus5", "1000.32.1",
     [] {
       BigInt x;
       BigSetOne(x);
       BigShiftLeft(x, (int64_t{1} << 32) + 5);
     }},
    {"BigShiftRightAboveTwoTo29", "1000.33.1",
     [] {
       BigInt x;
       SetLong(x);
       BigShiftRight(x, (int64_t{1} << 29) + 1);
     }},
    {"BigShiftRightByTwoTo32Plus5", "1000.33.1",
     [] {
       BigInt x;
       SetLong(x);
       BigShiftRight(x, (int64_t{1} << 32) + 5);
     }},
    {"BigIsqrtNegative", "1000.35.1",
     [] {
       BigInt x;
       BigSetMinusOne(x);
       BigIsqrt(x);
     }},
    {"BigIsqrtLongNegative", "1000.35.1",
     [] {
       BigInt x;
       SetLong(x);
       BigNegate(x);
       BigIsqrt(x);
     }},
    // The shift z·e of BigPower reaches 2^31.
    {"BigPowerTwoToTwoTo31", "1000.20.1",
     [] {
       BigInt x;
       BigSetWord(x, 2);
       BigPower(x, 0x80000000u);
     }},
    // z·e = 2·(2^31 + 1) = 2^32 + 2 wraps to 2 in 32 bits, which would give 4.
    {"BigPowerFourToTwoTo31Plus1", "1000.20.1",
     [] {
       BigInt x;
       BigSetWord(x, 4);
       BigPower(x, 2147483649u);
     }},
    // z·e = 31·138547333 = 2^32 + 27 wraps to 27.
    {"BigPowerTwoTo31ToWrappingExponent", "1000.20.1",
     [] {
       BigInt x;
       BigSetWord(x, 0x80000000u);
       BigPower(x, 138547333u);
     }},
    {"BigPowerMinusTwoToMaxWord", "1000.20.1",
     [] {
       BigInt x;
       BigSetInt(x, -2);
       BigPower(x, 0xFFFFFFFFu);
     }},
    // z = 64 from two zero words: 64·2^25 = 2^31.
    {"BigPowerTwoTo64ToTwoTo25", "1000.20.1",
     [] {
       BigInt x;
       BigSetBit(x, 64);
       BigPower(x, 1u << 25);
     }},
};

class BigErrorsTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(BigErrorsTest, RaisesInternalErrorWithItsCode) {
  EXPECT_TRUE(test::RaisesInternalError(GetParam().action, GetParam().code));
}

INSTANTIATE_TEST_SUITE_P(Cases, BigErrorsTest, testing::ValuesIn(errorCases),
                         [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// The limits themselves are allowed.
TEST(BigLimitsTest, LimitsThemselvesAreAccepted) {
  BigInt x;
  EXPECT_NO_THROW(BigShiftLeft(x, int64_t{1} << 29));
  EXPECT_TRUE(test::BigMatches(x, test::MpzValue(0)));
  BigSetOne(x);
  EXPECT_NO_THROW(BigShiftRight(x, int64_t{1} << 29));
  EXPECT_TRUE(test::BigMatches(x, test::MpzValue(0)));
  EXPECT_NO_THROW(BigBitField(x, 0, 32));
  EXPECT_NO_THROW(BigBitField(x, 0, 0));
  const Word word = 5;
  EXPECT_NO_THROW(BigSetFromWords(x, &word, 0, 0));
  EXPECT_NO_THROW(BigSetFromWords(x, &word, -1, 0));
  EXPECT_TRUE(test::BigMatches(x, test::MpzValue(0)));
  // The shift z·e below the limit: (2^31)^3 = 2^93.
  BigSetWord(x, 0x80000000u);
  BigPower(x, 3);
  test::MpzValue expected;
  mpz_setbit(expected, 93);
  EXPECT_TRUE(test::BigMatches(x, expected));
}

// The largest sizes each bound admits (64 MiB each), so that an off-by-one in
// a bound shows.
TEST(BigLimitsTest, LargestAcceptedSizes) {
  BigInt x;
  {
    std::vector<uint8_t> bytes(67108864, 0);
    bytes.back() = 0x80;
    BigSetFromBytes(x, bytes.data(), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(BigBitSize(x), 1 << 29);
  }
  {
    std::vector<Word> words(16777216, 0);
    words.back() = 1;
    BigSetFromWords(x, words.data(), 16777215, 1);
    EXPECT_EQ(BigBitSize(x), 32 * 16777215 + 1);
    EXPECT_EQ(x.Sign, 1);
  }
  BigSetZero(x);
  BigSetBit(x, (1 << 29) - 1);
  EXPECT_EQ(BigBitSize(x), 1 << 29);
  BigSetOne(x);
  BigShiftLeft(x, int64_t{1} << 29);
  EXPECT_EQ(BigBitSize(x), (1 << 29) + 1);
  EXPECT_EQ(BigPopCount(x), 1);
  BigShiftRight(x, int64_t{1} << 29);
  EXPECT_TRUE(test::BigMatches(x, test::MpzValue(1)));
  BigClear(x);
}

}  // namespace
}  // namespace karvo
