// The streaming interface: pieces against one shot, lengths in bits, the
// padding block built by hand through HashCompress.

#include <gtest/gtest.h>

#include <vector>

#include "ChecksTestData.h"
#include "checks/Hash.h"

namespace karvo {
namespace {

THashDigest Finish(THashContext& context) {
  THashDigest digest;
  HashFinal(context, digest);
  return digest;
}

THashDigest OneShot(const uint8_t* bytes, int64_t bits) {
  THashContext context;
  HashInit(context);
  HashUpdate(context, bytes, bits);
  return Finish(context);
}

THashDigest DigestOfBigInt(Word value) {
  BigInt x;
  BigSetWord(x, value);
  HashBigInt(x);
  THashDigest digest{};
  for (int k = 0; k < HashDigestBytes; ++k) {
    digest[static_cast<size_t>(k)] = static_cast<uint8_t>(BigBitField(x, 8 * k, 8));
  }
  return digest;
}

std::vector<uint8_t> RandomBytes(size_t count, uint64_t salt) {
  auto random = test::SeededRandom(salt);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(random());
  }
  return bytes;
}

// Three pieces at every pair of cut points, so every Fill on entry meets
// every length, across the 56-byte padding edge and whole blocks.
TEST(HashUpdateTest, PiecesAtEverySplitEqualOneShot) {
  const std::vector<uint8_t> message = RandomBytes(150, 11);
  const int64_t total = static_cast<int64_t>(message.size());
  const THashDigest expected = OneShot(message.data(), 8 * total);
  for (int64_t first = 0; first <= total; ++first) {
    for (int64_t second = first; second <= total; ++second) {
      THashContext context;
      HashInit(context);
      HashUpdate(context, message.data(), 8 * first);
      HashUpdate(context, message.data() + first, 8 * (second - first));
      HashUpdate(context, message.data() + second, 8 * (total - second));
      ASSERT_EQ(Finish(context), expected) << "cuts at " << first << " and " << second;
    }
  }
}

TEST(HashUpdateTest, ByteByByteEqualsOneShot) {
  const std::vector<uint8_t> message = RandomBytes(1000, 12);
  THashContext context;
  HashInit(context);
  for (const uint8_t& b : message) {
    HashUpdate(context, &b, 8);
  }
  EXPECT_EQ(Finish(context), OneShot(message.data(), 8 * static_cast<int64_t>(message.size())));
}

TEST(HashUpdateTest, ZeroBitsFeedsNothing) {
  const uint8_t byte = 0x5A;
  THashContext context;
  HashInit(context);
  HashUpdate(context, nullptr, 0);
  HashUpdate(context, &byte, 0);
  EXPECT_EQ(context.Fill, 0);
  EXPECT_EQ(context.BitCount, 0u);
  EXPECT_EQ(Finish(context), DigestOfBigInt(0));
}

// A length that is not a whole number of bytes feeds the whole last byte but
// counts only the stated bits.
TEST(HashUpdateTest, CountsBitsNotBytes) {
  const uint8_t twoBytes[] = {0x01, 0x01};
  EXPECT_EQ(OneShot(twoBytes, 9), DigestOfBigInt(0x101));
  EXPECT_NE(OneShot(twoBytes, 16), OneShot(twoBytes, 9));
  const uint8_t five = 0x05;
  EXPECT_EQ(OneShot(&five, 3), DigestOfBigInt(5));
  EXPECT_NE(OneShot(&five, 8), OneShot(&five, 3));

  THashContext context;
  HashInit(context);
  HashUpdate(context, twoBytes, 9);
  EXPECT_EQ(context.Fill, 2);
  EXPECT_EQ(context.BitCount, 9u);
}

TEST(HashUpdateTest, WholeBlocksLeaveNothingWaiting) {
  const std::vector<uint8_t> message = RandomBytes(200, 13);
  THashContext context;
  HashInit(context);
  HashUpdate(context, message.data(), 8 * 128);
  EXPECT_EQ(context.Fill, 0);
  HashUpdate(context, message.data() + 128, 8 * 70);
  EXPECT_EQ(context.Fill, 6);
  EXPECT_EQ(context.BitCount, 8u * 198);
}

// The empty message is the padding block alone: 0x80, zeros, a zero count.
TEST(HashCompressTest, PaddingBlockByHandEqualsEmptyMessage) {
  THashContext context;
  HashInit(context);
  context.Buffer[0] = 0x80;
  HashCompress(context);
  THashDigest digest{};
  for (int k = 0; k < HashDigestBytes; ++k) {
    digest[static_cast<size_t>(k)] = static_cast<uint8_t>(context.H[k / 4] >> (8 * (k % 4)));
  }
  EXPECT_EQ(digest, DigestOfBigInt(0));
}

TEST(HashInitTest, ClearsAUsedContext) {
  const std::vector<uint8_t> message = RandomBytes(100, 14);
  THashContext context;
  HashInit(context);
  HashUpdate(context, message.data(), 8 * 100);
  HashInit(context);
  EXPECT_EQ(Finish(context), DigestOfBigInt(0));
}

}  // namespace
}  // namespace karvo
