#pragma once

#include <cstdint>

namespace karvo {

// Operand lengths in 32-bit words at which the product and the square switch
// method. These are the design's values; bench/ has the sweep that measures
// the crossovers on this machine.
inline constexpr int32_t MulKaratsubaThreshold = 32;
inline constexpr int32_t MulToom3Threshold = 196;
inline constexpr int32_t SqrKaratsubaThreshold = 40;
inline constexpr int32_t SqrToom3Threshold = 224;

}  // namespace karvo
