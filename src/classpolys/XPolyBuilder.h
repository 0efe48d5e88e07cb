#pragma once

// Products of many linear and quadratic real factors, multiplied in balanced
// order (the two of lowest degree first, like a Huffman merge) so that the
// large products run through Karatsuba. Failures are InternalError(299, ...).

#include <cstdint>
#include <vector>

#include "classpolys/BigFloat.h"
#include "polys/ZPoly.h"

namespace karvo {

// Coefficient i at index i; storage grows in blocks of 8.
struct TXPoly {
  std::vector<BigFloat> Coeffs;
  int32_t Degree = -1;
};

// r := a·b; r distinct from both; scratch is grown as needed and kept for
// reuse. A degree above 8388607 is 299.2.1.
void XPolyMul(TXPoly& r, const TXPoly& a, const TXPoly& b, std::vector<BigFloat>& scratch);

class TXPolyBuilder {
 public:
  // Empties the list and makes room for capacity factors.
  void Reset(int32_t capacity);
  // x² - 2·Re z·x + |z|², for z and its conjugate.
  void AddQuadratic(const BigComplex& z);
  // x - r.
  void AddLinear(const BigFloat& r);
  // The product, constant first; the list is left empty.
  void FinishReal(std::vector<BigFloat>& coefficients);
  // The product with its coefficients rounded to the nearest integers.
  // Returns the margin: the least number of bits by which a coefficient's
  // distance to its integer (or, when it is one, its last place) lies below 1.
  int32_t FinishInteger(ZPoly& polynomial);
  // The largest bit length + exponent over the product's coefficients.
  int32_t FinishBits();

 private:
  TXPoly& Append(int32_t degree);
  void Restore();
  void Combine();

  std::vector<TXPoly> list_;
  std::vector<BigFloat> scratch_;
  int32_t count_ = 0;
};

// Bits by which a, once rounded to an integer, is accurate (see FinishInteger);
// rounded receives the integer.
int32_t RoundingMargin(BigInt& rounded, const BigFloat& a);
// The largest bit length + exponent of the coefficients.
int32_t MagnitudeBits(const std::vector<BigFloat>& coefficients);

}  // namespace karvo
