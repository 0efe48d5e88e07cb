#pragma once

#include <cstdint>

namespace karvo {

// Operand lengths in 32-bit words at which the product and the square switch
// method, from karvo-bench-thresholds on the 2-core EPYC build machine (each
// crossover measured with the thresholds below in use for the recursion).
// With the mulx/adcx/adox rows the schoolbook wins longer; lengths 2 mod 4,
// whose Karatsuba halves are odd, stay with it longest.
// The schoolbook square forms each cross product once, so Karatsuba pays
// for squares only much later than for products.
inline constexpr int32_t MulKaratsubaThreshold = 60;   // crossover 56..64 (fast rows)
inline constexpr int32_t MulToom3Threshold = 270;      // crossover 262..278
inline constexpr int32_t SqrKaratsubaThreshold = 136;  // crossover 131..140 (fast rows)
inline constexpr int32_t SqrToom3Threshold = 336;      // crossover 336
// From these lengths in words the schoolbook product, the cross products
// of the square and REDC run as one mulx/adcx/adox loop over limb rows
// (even lengths only for the last two) instead of the portable two-row pass;
// below, the fixed cost of each row outweighs its faster limbs.
inline constexpr int32_t AdxMulRowsFrom = 14;  // crossover 10..14 over three runs
inline constexpr int32_t AdxRedcFrom = 8;      // crossover 6..10 (product and REDC together)
// Squares of AdxSqrColumnsFrom up to AdxSqrRowsFrom words, and REDC of even
// lengths up to AdxRedcColumnsTo words, go by columns (unrolled code for each
// length up to ColumnLimbsTo limbs) ahead of the rows. Columns beat the rows
// at every length they are built for (squares 0.73 of the rows at 64 words,
// REDC 0.97); beyond, the code would outgrow the instruction cache.
inline constexpr int32_t ColumnLimbsTo = 32;
inline constexpr int32_t AdxSqrColumnsFrom = 4;   // the portable loop takes 1.7x as long at 4
inline constexpr int32_t AdxSqrRowsFrom = 65;     // columns still 0.73 of the rows at 64
inline constexpr int32_t AdxRedcColumnsTo = 64;   // columns 0.92..0.97 of the rows at 8..64
static_assert(AdxSqrRowsFrom <= 2 * ColumnLimbsTo + 1 && AdxRedcColumnsTo <= 2 * ColumnLimbsTo);

}  // namespace karvo
