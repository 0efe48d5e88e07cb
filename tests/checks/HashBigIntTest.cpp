// HashBigInt against the known answers of an independent implementation,
// and against the hash of the magnitude's bytes fed by hand.

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "ChecksTestData.h"
#include "checks/Hash.h"

namespace karvo {
namespace {

using test::TRow;

std::string Hex40(const BigInt& x) { return BigToHex(x, 40, true, false); }

TEST(HashBigIntTest, MatchesEveryKnownAnswer) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadVectorRows("HashBigInt", rows, error)) << error;
  int matched = 0;
  for (const TRow& row : rows) {
    ASSERT_EQ(row.size(), 5u) << "malformed row " << (row.size() > 1 ? row[1] : "");
    SCOPED_TRACE(row[1]);
    BigInt x;
    test::BigFromHex(x, row[3]);
    ASSERT_EQ(BigBitSize(x), std::stoi(row[2])) << "the row's bit length disagrees with its value";
    HashBigInt(x);
    EXPECT_FALSE(BigIsNegative(x));
    EXPECT_LE(BigBitSize(x), 160);
    EXPECT_EQ(Hex40(x), row[4]);
    matched += Hex40(x) == row[4] ? 1 : 0;
  }
  EXPECT_EQ(matched, static_cast<int>(rows.size()));
  testing::Test::RecordProperty("rows_matched", matched);
  std::printf("HashBigInt: %d of %zu known answers matched\n", matched, rows.size());
}

TEST(HashBigIntTest, SignIsNotHashed) {
  auto random = test::SeededRandom(1);
  for (const int32_t bits : {1, 8, 77, 160, 2049, 9000}) {
    SCOPED_TRACE(bits);
    BigInt x;
    BigInt negated;
    test::BigRandomBits(x, bits, false, random);
    BigAssign(negated, x);
    BigNegate(negated);
    HashBigInt(x);
    HashBigInt(negated);
    EXPECT_TRUE(BigEqual(x, negated));
  }
}

// The magnitude's bytes, least significant first, as a plain byte string.
std::vector<uint8_t> MagnitudeBytes(const BigInt& x) {
  std::vector<uint8_t> bytes(static_cast<size_t>((BigBitSize(x) + 7) / 8));
  for (size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<uint8_t>(BigBitField(x, static_cast<int32_t>(8 * k), 8));
  }
  return bytes;
}

// Lengths around the stack block that HashBigInt feeds through (2048 bits)
// and around hash blocks (512 bits).
TEST(HashBigIntTest, EqualsDigestOfMagnitudeBytes) {
  auto random = test::SeededRandom(2);
  for (const int32_t bits : {0, 1, 7, 9, 440, 441, 447, 448, 449, 511, 512, 513, 2047, 2048, 2049,
                             2055, 2056, 2057, 4096, 4097, 6145, 131072}) {
    SCOPED_TRACE(bits);
    BigInt x;
    test::BigRandomBits(x, bits, (bits & 1) != 0, random);
    const std::vector<uint8_t> bytes = MagnitudeBytes(x);
    THashContext context;
    HashInit(context);
    HashUpdate(context, bytes.data(), bits);
    THashDigest digest;
    HashFinal(context, digest);
    BigInt expected;
    BigSetFromBytes(expected, digest.data(), HashDigestBytes);
    HashBigInt(x);
    EXPECT_EQ(Hex40(x), Hex40(expected));
  }
}

}  // namespace
}  // namespace karvo
