// The stored form of "1$" and "2$": writing, reading, comparing.

#include <gtest/gtest.h>

#include "ChecksTestData.h"
#include "base/Errors.h"
#include "checks/Signature.h"

namespace karvo {
namespace {

TEST(SignatureTextTest, FortyDigitsWithLeadingZeros) {
  BigInt x;
  EXPECT_EQ(SignatureText(x), std::string(40, '0'));
  BigSetWord(x, 0xAB);
  EXPECT_EQ(SignatureText(x), std::string(38, '0') + "AB");
  test::BigFromHex(x, "167C4A167F2463DF5C93520921CCA602CD370AD");
  EXPECT_EQ(SignatureText(x), "0167C4A167F2463DF5C93520921CCA602CD370AD");
  BigSetZero(x);
  BigSetBit(x, 160);
  BigDecrement(x);
  EXPECT_EQ(SignatureText(x), std::string(40, 'F'));
}

TEST(SignatureTextTest, ReadingRoundTrips) {
  auto random = test::SeededRandom(31);
  for (const int32_t bits : {0, 1, 4, 5, 100, 156, 157, 160}) {
    BigInt x;
    test::BigRandomBits(x, bits, false, random);
    BigInt back;
    SignatureFromText(back, SignatureText(x));
    EXPECT_TRUE(BigEqual(back, x)) << bits << " bits";
  }
}

TEST(SignatureTextTest, EmptyReadsAsZero) {
  BigInt x;
  BigSetWord(x, 12345);
  SignatureFromText(x, "");
  EXPECT_TRUE(BigIsZero(x));
  EXPECT_TRUE(SignatureMatches(x, std::string(40, '0')));
}

TEST(SignatureTextTest, ReadsLowerCase) {
  BigInt x;
  SignatureFromText(x, "00000000000000000000000000000000deadbeef");
  EXPECT_EQ(BigLowUInt64(x), 0xDEADBEEFu);
}

TEST(SignatureTextTest, NonHexadecimalTextIsRejected) {
  BigInt x;
  EXPECT_THROW(SignatureFromText(x, "12G4"), EKV);
}

// The stored text is compared as written, not as a number.
TEST(SignatureTextTest, MatchesComparesPlainStrings) {
  BigInt x;
  test::BigFromHex(x, "DEADBEEF");
  const std::string text = SignatureText(x);
  EXPECT_TRUE(SignatureMatches(x, text));
  EXPECT_FALSE(SignatureMatches(x, "DEADBEEF"));
  EXPECT_FALSE(SignatureMatches(x, "00000000000000000000000000000000deadbeef"));
  EXPECT_FALSE(SignatureMatches(x, text + " "));
  EXPECT_FALSE(SignatureMatches(x, ""));
}

}  // namespace
}  // namespace karvo
