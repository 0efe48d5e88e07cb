#include <gtest/gtest.h>

#include <chrono>

#include "base/Clock.h"
#include "base/Globals.h"
#include "base/TaskId.h"

namespace karvo {
namespace {

TEST(DayNumberTest, CountsFromFirstOfJanuaryYearOne) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1, 12, 31), 365);
  EXPECT_EQ(DayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(DayNumber(2000, 2, 29), 730179);
  EXPECT_EQ(DayNumber(2026, 12, 6), 739956);
}

TEST(TaskIdTest, DayShiftedAbovePaddedMilliseconds) {
  TDateTimeFields t;
  t.Year = 2026;
  t.Month = 12;
  t.Day = 6;
  t.Hour = 13;
  t.Minute = 45;
  t.Second = 7;
  t.Millisecond = 123;
  EXPECT_EQ(TaskIDFromTimeStamp(t), "B4A7402F36B33");

  TDateTimeFields first;
  first.Year = 1;
  first.Month = 1;
  first.Day = 1;
  EXPECT_EQ(TaskIDFromTimeStamp(first), "0000100000000");

  TDateTimeFields last;
  last.Year = 9999;
  last.Month = 12;
  last.Day = 31;
  last.Hour = 23;
  last.Minute = 59;
  last.Second = 59;
  last.Millisecond = 999;
  EXPECT_EQ(TaskIDFromTimeStamp(last), "37B9DB05265BFF");
}

TEST(TaskIdTest, NewTaskIdUsesInjectedLocalClock) {
  const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} +
                    std::chrono::hours{12} + std::chrono::milliseconds{5};
  SetClock([when] { return when; });
  NewTaskID();
  const std::string expected = TaskIDFromTimeStamp(LocalNow());
  SetClock(nullptr);
  EXPECT_EQ(TaskID, expected);
  EXPECT_EQ(TaskID.size(), 13u);
  EXPECT_EQ(TaskID.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(ClockTest, UtcFieldsOfKnownInstant) {
  // 2026-12-06 was a Sunday.
  const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} +
                    std::chrono::hours{23} + std::chrono::minutes{4} +
                    std::chrono::seconds{5} + std::chrono::milliseconds{678};
  SetClock([when] { return when; });
  const TDateTimeFields f = UtcNow();
  SetClock(nullptr);
  EXPECT_EQ(f.Year, 2026);
  EXPECT_EQ(f.Month, 12);
  EXPECT_EQ(f.DayOfWeek, 0);
  EXPECT_EQ(f.Day, 6);
  EXPECT_EQ(f.Hour, 23);
  EXPECT_EQ(f.Minute, 4);
  EXPECT_EQ(f.Second, 5);
  EXPECT_EQ(f.Millisecond, 678);
}

}  // namespace
}  // namespace karvo
