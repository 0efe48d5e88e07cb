#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace karvo {

// A calendar time split into the eight 16-bit fields that the signature seed
// and the file dates use, in this order.
struct TDateTimeFields {
  uint16_t Year = 0;
  uint16_t Month = 0;      // 1..12
  uint16_t DayOfWeek = 0;  // Sunday = 0
  uint16_t Day = 0;        // 1..31
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint16_t Millisecond = 0;
};

// The clock every time stamp comes from; tests inject a fixed one. An empty
// clock restores the system clock.
using TClock = std::function<std::chrono::system_clock::time_point()>;
void SetClock(TClock clock);

TDateTimeFields LocalNow();
TDateTimeFields UtcNow();

}  // namespace karvo
