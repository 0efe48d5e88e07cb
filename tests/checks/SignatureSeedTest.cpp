// The seed from an injected clock.

#include <gtest/gtest.h>

#include <cstdio>
#include <chrono>

#include "ChecksTestData.h"
#include "base/Clock.h"
#include "checks/Signature.h"

namespace karvo {
namespace {

using test::TRow;

// Holds the clock at one instant and gives the system clock back on exit.
class FixedClock {
 public:
  explicit FixedClock(std::chrono::system_clock::time_point when) {
    SetClock([when] { return when; });
  }
  ~FixedClock() { SetClock(nullptr); }
  FixedClock(const FixedClock&) = delete;
  FixedClock& operator=(const FixedClock&) = delete;
};

std::chrono::system_clock::time_point UtcInstant(int year, unsigned month, unsigned day, int hour,
                                                 int minute, int second, int millisecond) {
  using namespace std::chrono;
  const sys_days date = std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day};
  return time_point_cast<system_clock::duration>(date + hours{hour} + minutes{minute} +
                                                 seconds{second} + milliseconds{millisecond});
}

TEST(SignatureSeedTest, MatchesEveryKnownAnswer) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadVectorRows("SignatureSeed", rows, error)) << error;
  int matched = 0;
  for (const TRow& row : rows) {
    ASSERT_EQ(row.size(), 4u) << "malformed row " << (row.size() > 1 ? row[1] : "");
    SCOPED_TRACE(row[1]);
    const std::vector<std::string> text = test::SplitText(row[2], ',');
    ASSERT_EQ(text.size(), 8u);
    int f[8];
    for (size_t k = 0; k < 8; ++k) {
      f[k] = std::stoi(text[k]);
    }
    FixedClock clock(UtcInstant(f[0], static_cast<unsigned>(f[1]), static_cast<unsigned>(f[3]), f[4],
                                f[5], f[6], f[7]));
    // The day of week comes from the clock, not from the row: they must agree.
    const TDateTimeFields now = UtcNow();
    ASSERT_EQ(now.DayOfWeek, f[2]);
    BigInt seed;
    SignatureSeed(seed);
    EXPECT_EQ(SignatureText(seed), row[3]);
    matched += SignatureText(seed) == row[3] ? 1 : 0;
  }
  EXPECT_EQ(matched, static_cast<int>(rows.size()));
  testing::Test::RecordProperty("rows_matched", matched);
  std::printf("SignatureSeed: %d of %zu known answers matched\n", matched, rows.size());
}

TEST(SignatureSeedTest, OneMillisecondLaterGivesAnotherSeed) {
  BigInt first;
  BigInt second;
  {
    FixedClock clock(UtcInstant(2031, 12, 31, 23, 59, 59, 998));
    SignatureSeed(first);
  }
  {
    FixedClock clock(UtcInstant(2031, 12, 31, 23, 59, 59, 999));
    SignatureSeed(second);
  }
  EXPECT_NE(SignatureText(first), SignatureText(second));
  EXPECT_LE(BigBitSize(first), 160);
  EXPECT_LE(BigBitSize(second), 160);
}

TEST(SignatureSeedTest, SystemClockGivesAStorableSeed) {
  BigInt seed;
  SignatureSeed(seed);
  EXPECT_FALSE(BigIsNegative(seed));
  EXPECT_LE(BigBitSize(seed), 160);
  EXPECT_EQ(SignatureText(seed).size(), 40u);
}

}  // namespace
}  // namespace karvo
