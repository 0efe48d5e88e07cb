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
// (Both Toom-3 switches held with its pieces rounded to eight words: 220
// for products and 250 for squares lose up to 10% at 232-320 words.)
// Low halves of products: rows below this length, above it a full product
// of the lower parts and two low halves of the upper ones, the upper parts
// this many eighths of the length (40 and 90 words, or two eighths, measured
// no better: the low half costs 0.75-0.85 of the product from 100 words up).
inline constexpr int32_t MulLowSplitFrom = 60;
inline constexpr int32_t MulLowUpperEighths = 3;
// Products modulo B^k - 1 split in halves down to this many words (36 and
// 60 alike, 100 slower by 4-30% at 128-512 words): 0.55-0.6 of a product.
inline constexpr int32_t MulWrapSplitFrom = 60;
// Montgomery moduli of this many words and more reduce by two products (a
// low half and one modulo B^k - 1) instead of word by word; odd lengths
// sooner, as their word-by-word steps miss the fast rows.
inline constexpr int32_t RedcByProductsFrom = 256;     // crossover 248..256
inline constexpr int32_t RedcByProductsFromOdd = 145;  // crossover 129..145
// From these lengths in words the schoolbook product, the cross products
// of the square and REDC run as one mulx/adcx/adox loop over limb rows
// (even lengths only for the last two) instead of the portable two-row pass;
// below, the fixed cost of each row outweighs its faster limbs.
inline constexpr int32_t AdxMulRowsFrom = 14;  // crossover 10..14 over three runs
inline constexpr int32_t AdxSqrRowsFrom = 28;  // crossover 24..32
inline constexpr int32_t AdxRedcFrom = 8;      // crossover 6..10 (product and REDC together)

}  // namespace karvo
