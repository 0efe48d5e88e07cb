// Construction, assignment, storage growth and the binary stream form.

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

TEST(BigSetTest, SmallValues) {
  for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{0xFFFFFFFF}, int64_t{0x100000000}, -int64_t{0x100000000},
                    int64_t{INT32_MIN}, int64_t{INT32_MAX}, INT64_MAX, INT64_MIN, INT64_MIN + 1}) {
    BigInt x;
    BigSetInt64(x, v);
    MpzValue expected;
    mpz_set_si(expected, v);
    ASSERT_TRUE(test::BigMatches(x, expected)) << v;
    ASSERT_LE(x.Length, 2);
    if (v >= INT32_MIN && v <= INT32_MAX) {
      BigSetInt(x, static_cast<int32_t>(v));
      ASSERT_TRUE(test::BigMatches(x, expected)) << v;
    }
    const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    EXPECT_EQ(BigLowUInt64(x), magnitude);
  }
  BigInt x;
  BigSetUInt64(x, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_TRUE(test::BigMatches(x, MpzValue("18446744073709551615")));
  BigSetWord(x, 0);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetWord(x, 0xFFFFFFFFu);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0xFFFFFFFFl)));
  BigSetOne(x);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(1)));
  BigSetMinusOne(x);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-1)));
}

TEST(BigSetTest, LowUInt64OfLongValues) {
  BigRandom random;
  for (int32_t n = 0; n <= 5; ++n) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, Shape::Uniform);
    mpz_abs(value, value);
    mpz_fdiv_r_2exp(value, value, 64);
    EXPECT_EQ(BigLowUInt64(x), mpz_get_ui(value));
  }
}

TEST(BigSetTest, FromWordsNormalises) {
  BigRandom random;
  for (int32_t n = 0; n <= 40; ++n) {
    for (int32_t zeros : {0, 1, 9}) {
      std::vector<Word> words = random.Words(n, Shape::Uniform);
      words.resize(words.size() + static_cast<size_t>(zeros), 0);
      for (int sign = 0; sign < 2; ++sign) {
        BigInt x;
        BigSetInt(x, 77);
        BigSetFromWords(x, words.data(), static_cast<int32_t>(words.size()) - 1, sign);
        MpzValue expected;
        test::MpzFromWords(expected, words, sign);
        ASSERT_TRUE(test::BigMatches(x, expected)) << n << " words, " << zeros << " zero words on top";
      }
    }
  }
  // All-zero words with Sign 1 are zero with Sign 0.
  const Word zeros[3] = {0, 0, 0};
  BigInt x;
  BigSetFromWords(x, zeros, 2, 1);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetFromWords(x, zeros, -1, 1);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

TEST(BigSetTest, FromBytesLeastSignificantFirst) {
  BigRandom random;
  for (int32_t count = 0; count <= 70; ++count) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (uint8_t& b : bytes) {
      b = static_cast<uint8_t>(random.NextWord());
    }
    if (count > 0 && random.Coin()) {
      bytes.back() = 0;  // a zero top byte must be normalised away
    }
    BigInt x;
    BigSetInt(x, -1);
    BigSetFromBytes(x, bytes.data(), count);
    MpzValue expected;
    if (count > 0) {
      mpz_import(expected, bytes.size(), -1, 1, 0, 0, bytes.data());
    }
    ASSERT_TRUE(test::BigMatches(x, expected)) << count << " bytes";
  }
  BigInt x;
  BigSetInt(x, 5);
  const uint8_t one = 1;
  BigSetFromBytes(x, &one, -4);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

TEST(BigSetTest, TakeTopWordsKeepsSign) {
  BigRandom random;
  for (int32_t n = 0; n <= 12; ++n) {
    for (int32_t k = 0; k <= n + 2; ++k) {
      BigInt y;
      MpzValue value;
      random.SignedOperand(y, value, n, Shape::Runs);
      const int32_t taken = std::min(k, n);
      MpzValue expected;
      mpz_tdiv_q_2exp(expected, value, static_cast<mp_bitcnt_t>(32 * (n - taken)));
      BigInt x;
      BigSetInt(x, 3);
      BigTakeTopWords(x, y, k);
      ASSERT_TRUE(test::BigMatches(x, expected)) << "top " << k << " of " << n << " words";
      ASSERT_TRUE(test::BigMatches(y, value));
    }
  }
}

TEST(BigStorageTest, OneWordValueAllocatesEightWords) {
  BigInt x;
  BigSetWord(x, 5);
  EXPECT_EQ(x.Capacity, 8);
  BigInt y;
  BigSetInt(y, -5);
  EXPECT_EQ(y.Capacity, 8);
  BigInt z;
  BigSetOne(z);
  EXPECT_EQ(z.Capacity, 8);
}

TEST(BigStorageTest, GrowRoundsUpToEightAndKeepsValue) {
  BigInt x;
  BigSetInt(x, -12345);
  for (int32_t words : {1, 8, 9, 16, 17, 100}) {
    BigGrow(x, words);
    EXPECT_GE(x.Capacity, words);
    EXPECT_TRUE(test::BigMatches(x, MpzValue(-12345)));
  }
  EXPECT_EQ(x.Capacity, 104);
  BigShrinkToFit(x);
  EXPECT_EQ(x.Capacity, 8);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-12345)));
  BigSetZero(x);
  BigShrinkToFit(x);
  EXPECT_EQ(x.Capacity, 0);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
  BigSetInt(x, 4);
  BigClear(x);
  EXPECT_EQ(x.Capacity, 0);
  EXPECT_EQ(x.Words, nullptr);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(0)));
}

// A carry out of the top word when Length = Capacity grows Capacity by 8.
struct CarryCase {
  const char* name;
  void (*run)(BigInt& x);
};

void PrintTo(const CarryCase& v, std::ostream* out) { *out << v.name; }

class BigCarryGrowthTest : public testing::TestWithParam<CarryCase> {};

TEST_P(BigCarryGrowthTest, CapacityGrowsByEight) {
  for (int32_t n : {8, 16}) {
    const std::vector<Word> ones(static_cast<size_t>(n), 0xFFFFFFFFu);
    BigInt x;
    BigSetFromWords(x, ones.data(), n - 1, 0);
    ASSERT_EQ(x.Capacity, n) << "setting " << n << " words";
    ASSERT_EQ(x.Length, n);
    GetParam().run(x);
    EXPECT_EQ(x.Length, n + 1);
    EXPECT_EQ(x.Capacity, n + 8);
    EXPECT_TRUE(test::BigIsValid(x));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BigCarryGrowthTest,
    testing::Values(CarryCase{"BigAddWord", [](BigInt& x) { BigAddWord(x, 1); }},
                    CarryCase{"BigIncrement", [](BigInt& x) { BigIncrement(x); }},
                    CarryCase{"BigAdd", [](BigInt& x) {
                                BigInt one;
                                BigSetOne(one);
                                BigAdd(x, one);
                              }},
                    CarryCase{"BigMulWord", [](BigInt& x) { BigMulWord(x, 2); }},
                    CarryCase{"BigShiftLeft", [](BigInt& x) { BigShiftLeft(x, 1); }},
                    CarryCase{"BigShiftLeft1", [](BigInt& x) { BigShiftLeft1(x); }}),
    [](const testing::TestParamInfo<CarryCase>& info) { return std::string(info.param.name); });

TEST(BigStorageTest, AssignCopiesAndSwapExchanges) {
  BigRandom random;
  BigInt x;
  MpzValue a;
  random.Operand(x, a, 20, Shape::Uniform, 1);
  BigInt y;
  BigAssign(y, x);
  EXPECT_TRUE(test::BigMatches(y, a));
  EXPECT_NE(y.Words, x.Words);
  y.Words[0] ^= 1;  // records never share words
  EXPECT_TRUE(test::BigMatches(x, a));
  BigAssign(x, x);
  EXPECT_TRUE(test::BigMatches(x, a));
  BigInt z;
  BigSetInt(z, 42);
  const Word* xWords = x.Words;
  BigSwap(x, z);
  EXPECT_TRUE(test::BigMatches(z, a));
  EXPECT_TRUE(test::BigMatches(x, MpzValue(42)));
  EXPECT_EQ(z.Words, xWords);
  // A zero source gives a zero that keeps its own storage.
  BigInt zero;
  BigAssign(z, zero);
  EXPECT_TRUE(test::BigMatches(z, MpzValue(0)));
}

TEST(BigStorageTest, MoveLeavesAValidSource) {
  BigInt x;
  BigSetInt(x, -9);
  BigInt y(std::move(x));
  EXPECT_TRUE(test::BigMatches(y, MpzValue(-9)));
  EXPECT_TRUE(test::BigIsValid(x));  // NOLINT(bugprone-use-after-move): the moved-from state is under test
  BigInt z;
  BigSetInt(z, 3);
  z = std::move(y);
  EXPECT_TRUE(test::BigMatches(z, MpzValue(-9)));
  EXPECT_TRUE(test::BigIsValid(y));  // NOLINT(bugprone-use-after-move)
}

std::string StreamBytes(const BigInt& x) {
  std::ostringstream out(std::ios::binary);
  BigWriteStream(x, out);
  return out.str();
}

TEST(BigStreamTest, LittleEndianLayout) {
  BigInt x;
  test::BigFromWords(x, {0x04030201u, 0x00000A09u}, 1);
  const std::string want("\x02\x00\x00\x00\x01\x00\x00\x00\x01\x02\x03\x04\x09\x0A\x00\x00", 16);
  EXPECT_EQ(StreamBytes(x), want);
  BigSetZero(x);
  EXPECT_EQ(StreamBytes(x), std::string(8, '\0'));
}

TEST(BigStreamTest, RoundTripsIntoSmallerAndLargerRecords) {
  BigRandom random;
  std::stringstream stream(std::ios::in | std::ios::out | std::ios::binary);
  std::vector<MpzValue> values;
  for (int32_t n : {0, 1, 2, 7, 8, 9, 100, 1000}) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, Shape::Runs);
    BigWriteStream(x, stream);
    values.push_back(value);
  }
  for (const MpzValue& value : values) {
    BigInt x;
    test::BigFromWords(x, random.Words(random.Between(0, 300), Shape::Uniform), 1);
    ASSERT_TRUE(BigReadStream(x, stream));
    ASSERT_TRUE(test::BigMatches(x, value));
  }
}

// Every cut of a stream is refused and leaves the record as it was.
TEST(BigStreamTest, TruncatedStreamIsRefused) {
  BigRandom random;
  BigInt x;
  MpzValue value;
  random.SignedOperand(x, value, 5, Shape::Uniform);
  const std::string bytes = StreamBytes(x);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::istringstream in(bytes.substr(0, cut), std::ios::binary);
    BigInt y;
    BigSetInt(y, -77);
    ASSERT_FALSE(BigReadStream(y, in)) << "cut at " << cut;
    ASSERT_TRUE(test::BigMatches(y, MpzValue(-77))) << "cut at " << cut;
  }
}

TEST(BigStreamTest, MalformedLengthIsRefused) {
  for (const std::string& header : {std::string("\xFF\xFF\xFF\xFF\x00\x00\x00\x00", 8),
                                    std::string("\xFF\xFF\xFF\x7F\x00\x00\x00\x00", 8)}) {
    std::istringstream in(header + std::string(64, '\x01'), std::ios::binary);
    BigInt y;
    BigSetInt(y, 5);
    ASSERT_FALSE(BigReadStream(y, in));
    ASSERT_TRUE(test::BigMatches(y, MpzValue(5)));
  }
}

}  // namespace
}  // namespace karvo
