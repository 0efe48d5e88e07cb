// The signature chain against the known answers of an independent
// implementation, and the properties a verifier relies on.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "ChecksTestData.h"
#include "checks/Signature.h"
#include "support/TestEnv.h"

namespace karvo {
namespace {

using test::TRow;

// Values of a comma-separated hexadecimal list, kept alive with their pointers.
struct ValueList {
  std::vector<std::unique_ptr<BigInt>> owned;
  std::vector<const BigInt*> pointers;

  explicit ValueList(const std::string& text) {
    for (const std::string& item : test::SplitText(text, ',')) {
      owned.push_back(std::make_unique<BigInt>());
      test::BigFromHex(*owned.back(), item);
      pointers.push_back(owned.back().get());
    }
  }
};

void Update(BigInt& chain, uint32_t testNumber, const ValueList& values) {
  SignatureUpdate(chain, testNumber, values.pointers);
}

const TRow* FindRow(const std::vector<TRow>& rows, std::string_view name) {
  for (const TRow& row : rows) {
    if (row[1] == name) {
      return &row;
    }
  }
  return nullptr;
}

TEST(SignatureUpdateTest, MatchesEveryKnownAnswer) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadVectorRows("SignatureUpdate", rows, error)) << error;
  int matched = 0;
  for (const TRow& row : rows) {
    ASSERT_EQ(row.size(), 6u) << "malformed row " << (row.size() > 1 ? row[1] : "");
    SCOPED_TRACE(row[1]);
    BigInt chain;
    test::BigFromHex(chain, row[2]);
    Update(chain, static_cast<uint32_t>(std::stoul(row[3])), ValueList(row[4]));
    EXPECT_EQ(SignatureText(chain), row[5]);
    matched += SignatureText(chain) == row[5] ? 1 : 0;
  }
  EXPECT_EQ(matched, static_cast<int>(rows.size()));
  testing::Test::RecordProperty("rows_matched", matched);
  std::printf("SignatureUpdate: %d of %zu known answers matched\n", matched, rows.size());
}

// Each step starts from our own previous result, the first from the seed.
TEST(SignatureUpdateTest, ChainOfThreeFollowsTheSeed) {
  std::vector<TRow> seeds;
  std::vector<TRow> updates;
  std::string error;
  ASSERT_TRUE(test::ReadVectorRows("SignatureSeed", seeds, error)) << error;
  ASSERT_TRUE(test::ReadVectorRows("SignatureUpdate", updates, error)) << error;
  BigInt chain;
  SignatureFromText(chain, seeds.front().back());
  for (const char* name : {"chain of 3, step 1", "chain of 3, step 2", "chain of 3, step 3"}) {
    SCOPED_TRACE(name);
    const TRow* row = FindRow(updates, name);
    ASSERT_NE(row, nullptr) << "row missing";
    Update(chain, static_cast<uint32_t>(std::stoul((*row)[3])), ValueList((*row)[4]));
    EXPECT_EQ(SignatureText(chain), (*row)[5]);
  }
}

TEST(SignatureUpdateTest, ManyValuesEqualOneValueAtATime) {
  auto random = test::SeededRandom(21);
  BigInt a, b, c, d;
  test::BigRandomBits(a, 300, false, random);
  test::BigRandomBits(b, 0, false, random);
  test::BigRandomBits(c, 40, true, random);
  test::BigRandomBits(d, 3000, false, random);
  BigInt together;
  BigInt apart;
  test::BigRandomBits(together, 159, false, random);
  BigAssign(apart, together);
  SignatureUpdate(together, 7, {&a, &b, &c, &d});
  for (const BigInt* v : {&a, &b, &c, &d}) {
    SignatureUpdate(apart, 7, {v});
  }
  EXPECT_EQ(SignatureText(together), SignatureText(apart));
}

TEST(SignatureUpdateTest, SignOfAValueChangesTheChain) {
  BigInt value;
  BigInt negated;
  test::BigFromHex(value, "32BECCE8AB56BFE66F40126");
  BigAssign(negated, value);
  BigNegate(negated);
  BigInt first;
  BigInt second;
  test::BigFromHex(first, "BD08462FC99A0F5B806E0295FF45DE44BAC6B143");
  BigAssign(second, first);
  SignatureUpdate(first, 3, {&value});
  SignatureUpdate(second, 3, {&negated});
  EXPECT_NE(SignatureText(first), SignatureText(second));
}

TEST(SignatureUpdateTest, TestNumberChangesTheChain) {
  BigInt value;
  test::BigFromHex(value, "10001");
  std::vector<std::string> texts;
  for (const uint32_t testNumber : {0u, 1u, 2u, 3u, 255u, 256u}) {
    BigInt chain;
    test::BigFromHex(chain, "123456789");
    SignatureUpdate(chain, testNumber, {&value});
    texts.push_back(SignatureText(chain));
  }
  for (size_t k = 0; k < texts.size(); ++k) {
    for (size_t m = k + 1; m < texts.size(); ++m) {
      EXPECT_NE(texts[k], texts[m]) << "test numbers at " << k << " and " << m;
    }
  }
}

TEST(SignatureUpdateTest, OrderOfValuesMatters) {
  BigInt a;
  BigInt b;
  BigSetWord(a, 3);
  BigSetWord(b, 5);
  BigInt first;
  BigInt second;
  SignatureUpdate(first, 1, {&a, &b});
  SignatureUpdate(second, 1, {&b, &a});
  EXPECT_NE(SignatureText(first), SignatureText(second));
}

// An empty "1$" reads as zero, and a zero chain starts from 2^160.
TEST(SignatureUpdateTest, EmptySeedStartsFromTheZeroChain) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadVectorRows("SignatureUpdate", rows, error)) << error;
  const TRow* row = FindRow(rows, "chain 0 (a zero chain starts from 2^160)");
  ASSERT_NE(row, nullptr) << "row missing";
  BigInt chain;
  BigSetWord(chain, 99);
  SignatureFromText(chain, "");
  Update(chain, static_cast<uint32_t>(std::stoul((*row)[3])), ValueList((*row)[4]));
  EXPECT_EQ(SignatureText(chain), (*row)[5]);
}

TEST(SignatureUpdateTest, StaysBelow2Pow160) {
  auto random = test::SeededRandom(22);
  BigInt chain;
  BigInt value;
  for (int step = 0; step < 50 * test::TestMultiplier(); ++step) {
    test::BigRandomBits(value, static_cast<int32_t>(random() % 700), (random() & 1) != 0, random);
    SignatureUpdate(chain, static_cast<uint32_t>(random() % 300), {&value});
    ASSERT_FALSE(BigIsNegative(chain));
    ASSERT_LE(BigBitSize(chain), 160);
    ASSERT_EQ(SignatureText(chain).size(), 40u);
  }
}

TEST(SignatureUpdateTest, NoValuesLeaveTheChain) {
  BigInt chain;
  test::BigFromHex(chain, "123456789");
  SignatureUpdate(chain, 4, {});
  EXPECT_EQ(SignatureText(chain), "0000000000000000000000000000000123456789");
}

TEST(SignatureUpdateTest, ChainFedToItselfUsesItsValueBeforeTheStep) {
  BigInt chain;
  BigInt copy;
  BigInt expected;
  test::BigFromHex(chain, "BD08462FC99A0F5B806E0295FF45DE44BAC6B143");
  BigAssign(copy, chain);
  BigAssign(expected, chain);
  SignatureUpdate(expected, 2, {&copy});
  SignatureUpdate(chain, 2, {&chain});
  EXPECT_EQ(SignatureText(chain), SignatureText(expected));
}

}  // namespace
}  // namespace karvo
