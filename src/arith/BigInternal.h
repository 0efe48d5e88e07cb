#pragma once

// Shared internals of the big-integer unit.

#include "arith/BigInt.h"

namespace karvo {

// Left shift without the caller-facing bound of BigShiftLeft; BigPower
// shifts by up to 2^31 bits.
void ShiftLeftUnchecked(BigInt& x, int64_t k);
// Frees the powers of ten that the decimal conversions keep.
void ReleaseDecimalPowers();

}  // namespace karvo

// Scratch records, each reserved to one routine family. A routine that uses
// one never calls another that uses the same record while its value is live.
namespace karvo::scratch {

extern BigInt Product;           // BigMul, BigMulTo
extern BigInt Square;            // BigSqr, BigSqrTo
extern BigInt Divisor;           // normalised divisor of long division
extern BigInt Quotient;          // quotient of long division
extern BigInt Dividend;          // shifted dividend, then remainder, of long division
extern BigInt Remainder;         // remainder that BigDiv only tests for zero

void ReleaseAll();

}  // namespace karvo::scratch
