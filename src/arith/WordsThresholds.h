#pragma once

#include <cstdint>

namespace karvo {

// Operand lengths in 32-bit words at which the product and the square switch
// method, from karvo-bench-thresholds and sweeps of the same kind on the
// 2-core EPYC build machine (each crossover measured with the thresholds
// below in use for the recursion). Under Karatsuba the basecase runs by
// columns (below): from 48 words Karatsuba wins by 2..6% at lengths 0 mod 4
// but loses by 10..23% up to 58 at lengths 2 mod 4, whose halves are odd;
// from 60 on it wins at both. The column square beats Karatsuba up to 64
// words, where the columns end; from there Karatsuba takes 0.74..0.92 of
// the rows' time.
inline constexpr int32_t MulKaratsubaThreshold = 60;   // crossover 60
inline constexpr int32_t MulToom3Threshold = 520;      // wash 456..1040, see below
inline constexpr int32_t SqrKaratsubaThreshold = 65;   // crossover 65
inline constexpr int32_t SqrToom3Threshold = 520;      // wash 456..1040, see below
// Toom-3 (pieces rounded up to eight words) against Karatsuba on even
// halves: Karatsuba ahead by 6..10% at 336 and 512 words for products and
// squares alike, a wash within the noise from 456 to 1040, Toom-3 ahead by
// 3..5% at 2048.
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
// low half and one modulo B^k - 1) instead of word by word.
inline constexpr int32_t RedcByProductsFrom = 240;  // crossover 225..241, odd and even k
// From these lengths in words the schoolbook product, the cross products
// of the square and REDC run as one mulx/adcx/adox loop over limb rows
// (even lengths only for the last two) instead of the portable two-row pass;
// below, the fixed cost of each row outweighs its faster limbs.
inline constexpr int32_t AdxMulRowsFrom = 14;  // crossover 10..14 over three runs
inline constexpr int32_t AdxRedcFrom = 8;      // crossover 6..10 (product and REDC together)
// Ahead of the rows, squares from AdxSqrColumnsFrom to below AdxSqrRowsFrom
// words, products of two equal lengths in AdxMulColumnsFrom..AdxMulColumnsTo
// and REDC of even lengths up to AdxRedcColumnsTo go by columns: unrolled
// code for each length up to ColumnLimbsTo limbs, which beats the rows at
// every length it is built for. Its size grows with the cube of that limit
// (0.74 MB of code with g++ at 32 limbs); longer, each length's code would
// outgrow the instruction cache.
inline constexpr int32_t ColumnLimbsTo = 32;
inline constexpr int32_t AdxSqrColumnsFrom = 4;  // portable loop 1.7x the time at 4 words
inline constexpr int32_t AdxSqrRowsFrom = 65;    // columns 0.56..0.73 of the rows' time at 16..64
inline constexpr int32_t AdxMulColumnsFrom = 3;  // portable loop 1.5x the time at 4 words
inline constexpr int32_t AdxMulColumnsTo = 64;   // columns 0.56..0.96 of the rows' time at 8..62
inline constexpr int32_t AdxRedcColumnsTo = 64;  // columns 0.69..0.95 of the rows' at 8..64
static_assert(AdxSqrRowsFrom <= 2 * ColumnLimbsTo + 1 && AdxMulColumnsTo <= 2 * ColumnLimbsTo &&
              AdxRedcColumnsTo <= 2 * ColumnLimbsTo);

}  // namespace karvo
