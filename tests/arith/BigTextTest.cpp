// Text conversions against GMP: reading decimal and hexadecimal with the
// blank and sign rules of the input files, writing hexadecimal with groups,
// padding and sign, and the decimal size.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "GmpBridge.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

std::string MpzText(mpz_srcptr v, int base) {
  std::string text(mpz_sizeinbase(v, base) + 2, '\0');
  mpz_get_str(text.data(), base, v);
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// Reads text in base and compares with the expected value.
testing::AssertionResult Reads(const std::string& text, int base, mpz_srcptr expected) {
  BigInt x;
  BigSetInt(x, -3);  // a stale value must not survive
  try {
    BigFromString(x, text, base);
  } catch (const std::exception& error) {
    return testing::AssertionFailure() << "\"" << text << "\" base " << base << " raised " << error.what();
  }
  if (auto result = test::BigMatches(x, expected); !result) {
    return testing::AssertionFailure() << "\"" << text << "\" base " << base << ": " << result.message();
  }
  if (!BigIsNumberText(text, base)) {
    return testing::AssertionFailure() << "BigIsNumberText rejects \"" << text << "\" base " << base;
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult Rejects(const std::string& text, int base) {
  if (BigIsNumberText(text, base)) {
    return testing::AssertionFailure() << "BigIsNumberText accepts \"" << text << "\" base " << base;
  }
  BigInt x;
  return test::RaisesInternalError([&] { BigFromString(x, text, base); }, "1000.30.2")
         << " for \"" << text << "\" base " << base;
}

// Digit counts of every residue modulo 9 (the decimal chunks) and modulo 8
// (the hexadecimal words), with GMP's text as the source.
TEST(BigFromStringTest, ReadsGmpTextInBothBases) {
  BigRandom random;
  for (int32_t n = 0; n <= 120; ++n) {
    for (Shape shape : test::AllShapes) {
      MpzValue value;
      test::MpzFromWords(value, random.Words(n, shape), random.Coin());
      for (int base : {10, 16}) {
        const std::string text = MpzText(value, base);
        ASSERT_TRUE(Reads(text, base, value));
        if (base == 16) {
          ASSERT_TRUE(Reads(Upper(text), base, value));
        }
      }
    }
  }
}

TEST(BigFromStringTest, EveryDigitCount) {
  BigRandom random;
  for (int base : {10, 16}) {
    for (int digits = 1; digits <= 200; ++digits) {
      std::string text;
      for (int i = 0; i < digits; ++i) {
        const int digit = random.Between(i == 0 ? 1 : 0, base - 1);
        text += "0123456789abcdef"[digit];
      }
      MpzValue value;
      mpz_set_str(value, text.c_str(), base);
      ASSERT_TRUE(Reads(text, base, value));
      ASSERT_TRUE(Reads(std::string(digits, base == 10 ? '9' : 'f'), base,
                        [&] {
                          MpzValue all;
                          mpz_ui_pow_ui(all, static_cast<unsigned long>(base), static_cast<unsigned long>(digits));
                          mpz_sub_ui(all, all, 1);
                          return all;
                        }()));
    }
  }
}

// Blanks (TAB, LF, CR, space, backslash) anywhere, one leading sign and
// leading zeros change nothing.
TEST(BigFromStringTest, BlanksSignAndLeadingZeros) {
  BigRandom random;
  const char blanks[] = {'\t', '\n', '\r', ' ', '\\'};
  for (int32_t round = 0; round < test::Rounds(500); ++round) {
    const int base = random.Coin() ? 10 : 16;
    MpzValue value;
    test::MpzFromWords(value, random.Words(random.Between(0, 12), Shape::Uniform), 0);
    std::string digits = std::string(static_cast<size_t>(random.Between(0, 12)), '0') + MpzText(value, base);
    const int sign = random.Between(0, 2);
    std::string text = sign == 0 ? "" : sign == 1 ? "+" : "-";
    text += digits;
    std::string blanked;
    for (char c : text) {
      while (random.Between(0, 3) == 0) {
        blanked += blanks[random.Between(0, 4)];
      }
      blanked += c;
    }
    blanked += std::string(static_cast<size_t>(random.Between(0, 2)), blanks[random.Between(0, 4)]);
    if (sign == 2) {
      mpz_neg(value, value);
    }
    ASSERT_TRUE(Reads(blanked, base, value));
  }
}

TEST(BigFromStringTest, BlanksMinusZerosBackslashExample) {
  BigInt x;
  BigFromString(x, "  -00012\\ 345", 10);
  EXPECT_TRUE(test::BigMatches(x, MpzValue(-12345)));
}

TEST(BigFromStringTest, EmptyBlankAndZeroTextsGiveZero) {
  for (int base : {10, 16}) {
    for (const char* text : {"", " ", "\t\n\r \\", "0", "0000", "-0", "+0", " - 0 0 ", "-000000000000000000000"}) {
      ASSERT_TRUE(Reads(text, base, MpzValue(0))) << "\"" << text << "\"";
    }
  }
}

TEST(BigFromStringTest, RejectsWhatIsNotANumberOfTheBase) {
  for (const char* text : {"12a", "1F", "x", "1.5", "1e5", "--5", "+-5", "-+5", "5-", "5+", "1 2-3", "0x10",
                           "\v12", "12\f", "\xC2\xA0" "12", "１"}) {
    ASSERT_TRUE(Rejects(text, 10));
  }
  for (const char* text : {"G", "0x1F", "1g", "--F", "F-", "12 z", "\v1"}) {
    ASSERT_TRUE(Rejects(text, 16));
  }
}

// Only bases 10 and 16 are numbers at all.
TEST(BigFromStringTest, OtherBasesAreNeverNumberText) {
  for (int base : {0, 2, 8, 15, 17, 36}) {
    EXPECT_FALSE(BigIsNumberText("1", base)) << base;
    EXPECT_FALSE(BigIsNumberText("", base)) << base;
  }
}

// The rejection may come at any chunk: a bad character after many digits.
TEST(BigFromStringTest, RejectsLateBadCharacter) {
  const std::string digits(100, '7');
  ASSERT_TRUE(Rejects(digits + "a", 10));
  ASSERT_TRUE(Rejects(digits + "a" + digits, 10));
  ASSERT_TRUE(Rejects(digits + "g", 16));
}

// Hexadecimal as the file formats write it: digits grouped from the right,
// the leftmost group padded with zeros on request, "-" for negatives.
std::string ReferenceHex(mpz_srcptr value, int32_t group, bool pad, bool withSign) {
  MpzValue magnitude;
  mpz_abs(magnitude, value);
  std::string digits = Upper(MpzText(magnitude, 16));
  if (group > 0 && pad && digits.size() % static_cast<size_t>(group) != 0) {
    digits.insert(0, group - digits.size() % static_cast<size_t>(group), '0');
  }
  if (group > 0 && pad && mpz_sgn(value) == 0) {
    digits.assign(static_cast<size_t>(group), '0');
  }
  std::string grouped;
  if (group > 0) {
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % static_cast<size_t>(group) == 0) {
        grouped += ' ';
      }
      grouped += digits[i];
    }
  } else {
    grouped = digits;
  }
  return (withSign && mpz_sgn(value) < 0 ? "-" : "") + grouped;
}

TEST(BigToHexTest, AgreesWithGmpForEveryGrouping) {
  BigRandom random;
  for (int32_t n = 0; n <= 40; ++n) {
    for (Shape shape : test::AllShapes) {
      BigInt x;
      MpzValue value;
      random.SignedOperand(x, value, n, shape);
      if (n > 0 && random.Coin()) {
        // Shorten the top word so every digit count of it occurs.
        const auto shift = static_cast<uint32_t>(random.Between(0, 31));
        BigShiftRight(x, shift);
        mpz_tdiv_q_2exp(value, value, shift);
      }
      for (int32_t group : {0, 1, 3, 4, 8, 40}) {
        for (bool pad : {false, true}) {
          for (bool withSign : {false, true}) {
            ASSERT_EQ(BigToHex(x, group, pad, withSign), ReferenceHex(value, group, pad, withSign))
                << "group " << group << ", pad " << pad << ", sign " << withSign;
          }
        }
      }
      ASSERT_TRUE(test::BigMatches(x, value));
    }
  }
}

TEST(BigToHexTest, Examples) {
  BigInt x;
  BigSetWord(x, 255);
  const std::string padded = BigToHex(x, 40, true);
  EXPECT_EQ(padded.size(), 40u);
  EXPECT_EQ(padded, std::string(38, '0') + "FF");
  EXPECT_EQ(BigToHex(x, 0, false), "FF");
  BigSetInt(x, -255);
  EXPECT_EQ(BigToHex(x, 0, false, true), "-FF");
  EXPECT_EQ(BigToHex(x, 0, false, false), "FF");
  BigSetZero(x);
  EXPECT_EQ(BigToHex(x), "0");
  EXPECT_EQ(BigToHex(x, 0, true), "0");
  EXPECT_EQ(BigToHex(x, 40, false), "0");
  EXPECT_EQ(BigToHex(x, 40, true), std::string(40, '0'));
}

// Hexadecimal and decimal text round trip through the reader.
TEST(BigToHexTest, RoundTripsThroughBigFromString) {
  BigRandom random;
  for (int32_t n : {0, 1, 2, 9, 100, 1000}) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, Shape::Runs);
    BigInt back;
    BigFromString(back, BigToHex(x, 40, true), 16);
    ASSERT_TRUE(test::BigMatches(back, value));
    BigFromString(back, BigToDecimal(x), 10);
    ASSERT_TRUE(test::BigMatches(back, value));
  }
}

TEST(BigToDecimalTest, AgreesWithGmp) {
  BigRandom random;
  for (int32_t n = 0; n <= 120; ++n) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, test::AllShapes[n % 5]);
    ASSERT_EQ(BigToDecimal(x), MpzText(value, 10));
  }
}

// The exact digit count; mpz_sizeinbase may be one too large, so it is
// corrected against the power of ten.
int32_t ReferenceDecimalSize(mpz_srcptr value) {
  if (mpz_sgn(value) == 0) {
    return 0;
  }
  MpzValue magnitude;
  mpz_abs(magnitude, value);
  const auto size = static_cast<int32_t>(mpz_sizeinbase(magnitude, 10));
  MpzValue power;
  mpz_ui_pow_ui(power, 10, static_cast<unsigned long>(size - 1));
  return mpz_cmp(magnitude, power) < 0 ? size - 1 : size;
}

TEST(BigDecimalSizeTest, AgreesWithGmpOnRandomValues) {
  BigRandom random;
  for (int32_t n = 0; n <= 300; ++n) {
    BigInt x;
    MpzValue value;
    random.SignedOperand(x, value, n, test::AllShapes[n % 5]);
    ASSERT_EQ(BigDecimalSize(x), ReferenceDecimalSize(value)) << n << " words";
  }
}

TEST(BigDecimalSizeTest, AroundPowersOfTen) {
  std::vector<unsigned long> exponents;
  for (unsigned long k = 1; k <= 400; ++k) {
    exponents.push_back(k);
  }
  for (unsigned long k : {1000ul, 1233ul, 1234ul, 4932ul, 9864ul, 19728ul, 39457ul, 39458ul}) {
    exponents.push_back(k);
  }
  for (unsigned long k : exponents) {
    MpzValue power;
    mpz_ui_pow_ui(power, 10, k);
    for (int delta = -1; delta <= 1; ++delta) {
      MpzValue value;
      if (delta < 0) {
        mpz_sub_ui(value, power, 1);
      } else {
        mpz_add_ui(value, power, static_cast<unsigned long>(delta));
      }
      BigInt x;
      test::BigFromMpz(x, value);
      const auto want = static_cast<int32_t>(k) + (delta < 0 ? 0 : 1);
      ASSERT_EQ(BigDecimalSize(x), want) << "10^" << k << " + " << delta;
      BigNegate(x);
      ASSERT_EQ(BigDecimalSize(x), want) << "-(10^" << k << " + " << delta << ")";
    }
  }
}

// Above 2^29 bits the estimate is not refined: the size is reported as −1.
TEST(BigDecimalSizeTest, BeyondTwoTo29BitsIsMinusOne) {
  BigInt x;
  BigSetWord(x, 3);
  BigShiftLeft(x, int64_t{1} << 29);
  ASSERT_EQ(BigBitSize(x), (1 << 29) + 2);
  EXPECT_EQ(BigDecimalSize(x), -1);
  BigClear(x);
}

TEST(BigDecimalSizeTest, Examples) {
  BigInt x;
  EXPECT_EQ(BigDecimalSize(x), 0);
  for (int32_t v = 1; v <= 1001; ++v) {
    BigSetInt(x, v);
    ASSERT_EQ(BigDecimalSize(x), static_cast<int32_t>(std::to_string(v).size())) << v;
  }
  BigSetWord(x, 999);
  EXPECT_EQ(BigDecimalSize(x), 3);
  BigSetWord(x, 1000);
  EXPECT_EQ(BigDecimalSize(x), 4);
  BigSetWord(x, 0xFFFFFFFFu);
  EXPECT_EQ(BigDecimalSize(x), 10);
}

}  // namespace
}  // namespace karvo
