#pragma once

#include <cstdint>
#include <string>

namespace karvo {

// Kernel plus user time charged to this process, in 100-ns units.
uint64_t ProcessTime();

// Centiseconds of process time since start (a ProcessTime value), rounded.
int64_t ElapsedCentiseconds(uint64_t start);

// "1h 0mn 5s", "12.34s": hundredths only below one minute and only when
// asked for; "unknown" from 100 × 2^32 centiseconds on (and for negative t).
std::string FormatRunningTime(bool withHundredths, int64_t t);

}  // namespace karvo
