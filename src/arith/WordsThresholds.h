#pragma once

#include <cstdint>

namespace karvo {

// Operand lengths in 32-bit words at which the product and the square switch
// method, from karvo-bench-thresholds on the 2-core EPYC build machine (each
// crossover measured with the thresholds below in use for the recursion).
// The schoolbook square forms each cross product once, so Karatsuba pays
// for squares only much later than for products.
inline constexpr int32_t MulKaratsubaThreshold = 40;  // crossover 39..53 over two runs
inline constexpr int32_t MulToom3Threshold = 270;     // crossover 262..278
inline constexpr int32_t SqrKaratsubaThreshold = 80;  // crossover 75
inline constexpr int32_t SqrToom3Threshold = 336;     // crossover 336
// Row length in words from which one mulx/adcx/adox row per limb beats the
// portable two-row pass (products, the long rows of squares, REDC); below,
// the fixed cost of a row outweighs its 20-30% faster limbs.
inline constexpr int32_t AdxRowsFrom = 48;  // crossover 40..56 over three runs

}  // namespace karvo
