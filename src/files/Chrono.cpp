#include "files/Chrono.h"

#include <ctime>

namespace karvo {

uint64_t ProcessTime() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<uint64_t>(now.tv_sec) * 10000000u + static_cast<uint64_t>(now.tv_nsec) / 100u;
}

int64_t ElapsedCentiseconds(uint64_t start) {
  const uint64_t now = ProcessTime();
  if (now <= start) {
    return 0;
  }
  return static_cast<int64_t>((now - start + 50000) / 100000);
}

std::string FormatRunningTime(bool withHundredths, int64_t t) {
  constexpr int64_t unknownFrom = int64_t{100} << 32;
  if (t < 0 || t >= unknownFrom) {
    return "unknown";
  }
  const int64_t cs = t % 100;
  const int64_t s = t / 100;
  const int64_t sec = s % 60;
  const int64_t m = s / 60;
  const int64_t min = m % 60;
  const int64_t h = m / 60;

  std::string text;
  bool hundredths = withHundredths;
  if (h > 0) {
    text += std::to_string(h) + "h ";
    hundredths = false;
  }
  if (min == 0 && !text.empty()) {
    text += "0mn ";
  }
  if (min > 0) {
    text += std::to_string(min) + "mn ";
    hundredths = false;
  }
  text += std::to_string(sec);
  if (hundredths) {
    text += '.';
    text += static_cast<char>('0' + cs / 10);
    text += static_cast<char>('0' + cs % 10);
  }
  text += 's';
  return text;
}

}  // namespace karvo
