#include "base/Clock.h"

#include <ctime>

namespace karvo {

namespace {

TClock currentClock;

std::chrono::system_clock::time_point Now() {
  return currentClock ? currentClock() : std::chrono::system_clock::now();
}

TDateTimeFields Split(std::chrono::system_clock::time_point when, bool local) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto millis = duration_cast<milliseconds>(when - seconds).count();
  const std::time_t t = system_clock::to_time_t(seconds);
  std::tm parts{};
  if (local) {
    localtime_r(&t, &parts);
  } else {
    gmtime_r(&t, &parts);
  }
  TDateTimeFields f;
  f.Year = static_cast<uint16_t>(parts.tm_year + 1900);
  f.Month = static_cast<uint16_t>(parts.tm_mon + 1);
  f.DayOfWeek = static_cast<uint16_t>(parts.tm_wday);
  f.Day = static_cast<uint16_t>(parts.tm_mday);
  f.Hour = static_cast<uint16_t>(parts.tm_hour);
  f.Minute = static_cast<uint16_t>(parts.tm_min);
  f.Second = static_cast<uint16_t>(parts.tm_sec);
  f.Millisecond = static_cast<uint16_t>(millis);
  return f;
}

}  // namespace

void SetClock(TClock clock) { currentClock = std::move(clock); }

TDateTimeFields LocalNow() { return Split(Now(), true); }

TDateTimeFields UtcNow() { return Split(Now(), false); }

}  // namespace karvo
