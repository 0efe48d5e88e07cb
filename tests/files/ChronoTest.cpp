#include <gtest/gtest.h>

#include <cstdint>

#include "files/Chrono.h"

namespace karvo {
namespace {

struct RunningTimeCase {
  bool withHundredths;
  int64_t t;
  const char* text;
};

class FormatRunningTimeTest : public testing::TestWithParam<RunningTimeCase> {};

TEST_P(FormatRunningTimeTest, MatchesCompactNotation) {
  const RunningTimeCase& c = GetParam();
  EXPECT_EQ(FormatRunningTime(c.withHundredths, c.t), c.text);
}

constexpr int64_t unknownFrom = int64_t{100} << 32;

INSTANTIATE_TEST_SUITE_P(
    Values, FormatRunningTimeTest,
    testing::Values(RunningTimeCase{true, 5, "0.05s"}, RunningTimeCase{true, 1234, "12.34s"},
                    RunningTimeCase{true, 0, "0.00s"}, RunningTimeCase{true, 6000, "1mn 0s"},
                    RunningTimeCase{true, 366100, "1h 1mn 1s"},
                    RunningTimeCase{true, 360500, "1h 0mn 5s"},
                    RunningTimeCase{false, 1234, "12s"}, RunningTimeCase{false, 0, "0s"},
                    RunningTimeCase{true, 5999, "59.99s"}, RunningTimeCase{true, 359999, "59mn 59s"},
                    RunningTimeCase{true, 360000, "1h 0mn 0s"},
                    RunningTimeCase{false, 360099, "1h 0mn 0s"},
                    RunningTimeCase{true, 100, "1.00s"}, RunningTimeCase{true, 6099, "1mn 0s"},
                    RunningTimeCase{true, 8640000, "24h 0mn 0s"},
                    RunningTimeCase{true, unknownFrom, "unknown"},
                    RunningTimeCase{false, unknownFrom - 1, "1193046h 28mn 15s"},
                    RunningTimeCase{true, -1, "unknown"}));

TEST(ProcessTimeTest, ElapsedFollowsWorkDone) {
  const uint64_t start = ProcessTime();
  volatile uint64_t sink = 0;
  while (ElapsedCentiseconds(start) < 2) {
    for (int i = 0; i < 100000; ++i) {
      sink = sink + static_cast<uint64_t>(i);
    }
  }
  EXPECT_GE(ProcessTime(), start + 200000 - 50000);
  EXPECT_EQ(ElapsedCentiseconds(ProcessTime() + 1000000), 0);
}

}  // namespace
}  // namespace karvo
