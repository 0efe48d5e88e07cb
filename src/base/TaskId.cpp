#include "base/TaskId.h"

#include <chrono>
#include <cstdio>

#include "base/Globals.h"

namespace karvo {

int64_t DayNumber(int year, int month, int day) {
  using namespace std::chrono;
  const sys_days date{std::chrono::year{year} / month / day};
  const sys_days first{std::chrono::year{1} / January / 1};
  return (date - first).count() + 1;
}

std::string TaskIDFromTimeStamp(const TDateTimeFields& local) {
  const uint64_t millis = ((static_cast<uint64_t>(local.Hour) * 60 + local.Minute) * 60 +
                           local.Second) * 1000 + local.Millisecond;
  const uint64_t stamp =
      (static_cast<uint64_t>(DayNumber(local.Year, local.Month, local.Day)) << 32) + millis;
  char text[24];
  std::snprintf(text, sizeof text, "%013llX", static_cast<unsigned long long>(stamp));
  return text;
}

void NewTaskID() { TaskID = TaskIDFromTimeStamp(LocalNow()); }

}  // namespace karvo
