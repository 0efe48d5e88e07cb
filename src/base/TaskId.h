#pragma once

#include <cstdint>
#include <string>

#include "base/Clock.h"

namespace karvo {

// Day number of a date, 1 January of year 1 being day 1 (proleptic Gregorian).
int64_t DayNumber(int year, int month, int day);

// day × 2^32 + milliseconds since midnight, upper-case hexadecimal, at least
// 13 digits.
std::string TaskIDFromTimeStamp(const TDateTimeFields& local);

// Sets TaskID from the local time now.
void NewTaskID();

}  // namespace karvo
