#pragma once

// Class numbers and genus counts by which the certification engine ranks its
// discriminant keys E (discriminant -4E when E mod 4 is 1 or 2, else -E). No
// primitivity test: the keys are meant to be fundamental.

#include <cstdint>

namespace karvo {

// The reduced forms, an ambiguous one counted once and any other twice.
int32_t ClassNumber(uint32_t e);
// The same, or 0 as soon as the count exceeds bound.
int32_t ClassNumberUpTo(uint32_t e, int32_t bound);
// 2^(t-1) for the t prime discriminant factors (1 when t < 2).
int32_t GenusCount(uint32_t e);
// The same, but 0 for E < 0, E ≡ 0 (mod 16) and an odd square factor.
int32_t GenusCountIfFundamental(int64_t e);

}  // namespace karvo
