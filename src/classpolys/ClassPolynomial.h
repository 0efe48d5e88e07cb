#pragma once

// The class polynomial of a key's invariant, with integer coefficients
// (direct route), or one genus factor of it reduced modulo N (genus route).
// Both evaluate the invariant at every reduced form twice: once at a low
// precision to measure the coefficients, then at the precision that
// measurement asks for. A coefficient that does not round safely (within
// 2^-16 of an integer) makes the build start again at a higher precision.
// Keys of class number one (code 0) are refused with 1002.1.1.

#include <cstdint>
#include <vector>

#include "arith/BigInt.h"
#include "classpolys/QuadForms.h"
#include "polys/ZPoly.h"

namespace karvo {

// What a build used: its final precision, the rounding margin reached (bits
// below 1 of the worst coefficient's distance to its integer) and the
// number of evaluations at a working precision.
struct TClassPolyInfo {
  int32_t PrecisionBits = 0;
  int32_t MarginBits = 0;
  int32_t Attempts = 0;
};

// A prime discriminant code with a square root of it modulo N.
struct TCodeRoot {
  int32_t Code = 0;
  BigInt Root;
};

// Bits for the direct route; forms were built for (disc, code).
int32_t EstimatePrecision(const TQFormList& forms, uint32_t m, uint32_t disc, int32_t code);
// precision 0 takes EstimatePrecision; any other value is tried first.
void BuildClassPolynomial(ZPoly& polynomial, const TQFormList& forms, uint32_t disc,
                          int32_t code, uint32_t m, int32_t precision = 0,
                          TClassPolyInfo* info = nullptr);

// Bits for the genus route; forms were built with their genera.
int32_t EstimateGenusPrecision(const TQFormList& forms, uint32_t m, uint32_t disc,
                               int32_t code, int32_t genusCount, int32_t h);
// The factor of degree h/G of genus 0 under the embedding that the roots
// fix, monic, coefficients in the symmetric range modulo the prime N. roots
// covers every prime discriminant code of the key, its 2-part (if any)
// first, or is empty (roots then come from BigSqrtMod with c =
// BigNonResidue(N)). Forms without genera, or more than 32 genera: 299.5.1.
void BuildGenusFactor(ZPoly& polynomial, const TQFormList& forms, const BigInt& N,
                      std::vector<TCodeRoot>& roots, int32_t code, uint32_t m, uint32_t disc,
                      const BigInt& c, int32_t precision = 0, TClassPolyInfo* info = nullptr);

}  // namespace karvo
