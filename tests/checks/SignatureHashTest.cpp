// The signature hash and chain against the known answers of an independent
// implementation (tests/data/hash-vectors.tsv), one row at a time.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <vector>

#include "base/Clock.h"
#include "checks/Hash.h"
#include "checks/Signature.h"
#include "support/TestEnv.h"
#include "support/TsvRows.h"

namespace karvo::test {
namespace {

void FromHex(BigInt& x, const std::string& text) { BigFromString(x, text, 16); }

// The digest of |x| fed in random pieces, which must equal the one-shot hash.
std::string PieceWiseHash(const BigInt& x, std::mt19937_64& random) {
  const int32_t bits = BigBitSize(x);
  std::vector<uint8_t> bytes(static_cast<size_t>((bits + 7) / 8));
  for (size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<uint8_t>(x.Words[k / 4] >> (8 * (k % 4)));
  }
  THashContext context;
  HashInit(context);
  HashUpdate(context, bytes.data(), 0);
  for (size_t at = 0; at < bytes.size();) {
    const size_t take = std::min<size_t>(bytes.size() - at, 1 + random() % 130);
    const int64_t pieceBits = at + take == bytes.size() ? bits - 8 * static_cast<int64_t>(at)
                                                        : 8 * static_cast<int64_t>(take);
    HashUpdate(context, bytes.data() + at, pieceBits);
    at += take;
  }
  THashDigest digest;
  HashFinal(context, digest);
  BigInt h;
  BigSetFromBytes(h, digest.data(), HashDigestBytes);
  return SignatureText(h);
}

TEST(SignatureHashTest, MatchesEveryKnownAnswer) {
  const std::string path = std::string(KARVO_TESTDATA_DIR) + "/hash-vectors.tsv";
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(ReadRows(path, rows, error)) << error;
  ASSERT_GE(rows.size(), 20u) << "too few rows in " << path;
  std::mt19937_64 random(TestSeed());
  for (const TRow& row : rows) {
    SCOPED_TRACE(row[0] + ": " + row[1]);
    BigInt x;
    if (row[0] == "HashBigInt" && row.size() == 5) {
      FromHex(x, row[3]);
      ASSERT_EQ(BigBitSize(x), std::stoi(row[2]));
      EXPECT_EQ(PieceWiseHash(x, random), row[4]);
      HashBigInt(x);
      EXPECT_FALSE(BigIsNegative(x));
      EXPECT_EQ(SignatureText(x), row[4]);
    } else if (row[0] == "SignatureSeed" && row.size() == 4) {
      const std::vector<std::string> text = SplitText(row[2], ',');
      ASSERT_EQ(text.size(), 8u);
      int f[8];
      for (size_t k = 0; k < 8; ++k) {
        f[k] = std::stoi(text[k]);
      }
      using namespace std::chrono;
      const sys_days date = year{f[0]} / month{static_cast<unsigned>(f[1])} /
                            day{static_cast<unsigned>(f[3])};
      const auto when = time_point_cast<system_clock::duration>(
          date + hours{f[4]} + minutes{f[5]} + seconds{f[6]} + milliseconds{f[7]});
      SetClock([when] { return when; });
      ASSERT_EQ(UtcNow().DayOfWeek, f[2]);
      SignatureSeed(x);
      SetClock(nullptr);
      EXPECT_EQ(SignatureText(x), row[3]);
    } else if (row[0] == "SignatureUpdate" && row.size() == 6) {
      // Stored as text and read back, as a certificate keeps its chain.
      SignatureFromText(x, row[2] == "0" ? "" : row[2]);
      std::vector<std::unique_ptr<BigInt>> owned;
      std::vector<const BigInt*> values;
      for (const std::string& item : SplitText(row[4], ',')) {
        owned.push_back(std::make_unique<BigInt>());
        FromHex(*owned.back(), item);
        values.push_back(owned.back().get());
      }
      SignatureUpdate(x, static_cast<uint32_t>(std::stoul(row[3])), values);
      EXPECT_EQ(SignatureText(x), row[5]);
      EXPECT_TRUE(SignatureMatches(x, row[5]));
    } else {
      ADD_FAILURE() << "malformed row in " << path;
    }
  }
}

}  // namespace
}  // namespace karvo::test
