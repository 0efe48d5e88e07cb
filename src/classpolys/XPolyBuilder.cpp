#include "classpolys/XPolyBuilder.h"

#include <algorithm>

namespace karvo {

namespace {

void Reserve(TXPoly& p, int32_t degree) {
  const auto needed = static_cast<size_t>((degree + 8) / 8 * 8);
  if (p.Coeffs.size() < needed) {
    p.Coeffs.resize(needed);
  }
  p.Degree = degree;
}

}  // namespace

int32_t RoundingMargin(BigInt& rounded, const BigFloat& a) {
  if (IsZero(a)) {
    BigSetZero(rounded);
    return GetPrecision();
  }
  ToBigInt(rounded, a);
  FloatTemps t(1);
  BigFloat& error = t[0];
  SetBig(error, rounded);
  Sub(error, a, error);
  if (IsZero(error)) {
    return -a.Exponent;
  }
  return -(BigBitSize(error.Mantissa) + error.Exponent);
}

int32_t MagnitudeBits(const std::vector<BigFloat>& coefficients) {
  int32_t bits = INT32_MIN;
  for (const BigFloat& c : coefficients) {
    if (!IsZero(c)) {
      bits = std::max(bits, BigBitSize(c.Mantissa) + c.Exponent);
    }
  }
  return bits;
}

void TXPolyBuilder::Reset(int32_t capacity) {
  count_ = 0;
  if (list_.size() < static_cast<size_t>(capacity)) {
    list_.resize(static_cast<size_t>(capacity));
  }
}

TXPoly& TXPolyBuilder::Append(int32_t degree) {
  if (static_cast<size_t>(count_) == list_.size()) {
    list_.resize(list_.size() + 8);
  }
  TXPoly& p = list_[static_cast<size_t>(count_++)];
  Reserve(p, degree);
  SetOne(p.Coeffs[static_cast<size_t>(degree)]);
  return p;
}

// Moves the last polynomial towards the front past lighter ones.
void TXPolyBuilder::Restore() {
  for (int32_t i = count_ - 1; i > 0; --i) {
    TXPoly& prev = list_[static_cast<size_t>(i - 1)];
    TXPoly& cur = list_[static_cast<size_t>(i)];
    if (prev.Degree >= cur.Degree) {
      break;
    }
    std::swap(prev, cur);
  }
}

void TXPolyBuilder::AddQuadratic(const BigComplex& z) {
  TXPoly& p = Append(2);
  SquaredModulus(p.Coeffs[0], z);
  Assign(p.Coeffs[1], z.Re);
  MulPow2(p.Coeffs[1], 1);
  Negate(p.Coeffs[1]);
  Restore();
}

void TXPolyBuilder::AddLinear(const BigFloat& r) {
  TXPoly& p = Append(1);
  Assign(p.Coeffs[0], r);
  Negate(p.Coeffs[0]);
  Restore();
}

// Multiplies the two lightest into one until a single polynomial is left.
void TXPolyBuilder::Combine() {
  if (count_ == 0) {
    Append(0);
    return;
  }
  TXPoly product;
  while (count_ > 1) {
    XPolyMul(product, list_[static_cast<size_t>(count_ - 2)],
             list_[static_cast<size_t>(count_ - 1)], scratch_);
    --count_;
    std::swap(list_[static_cast<size_t>(count_ - 1)], product);
    Restore();
  }
}

void TXPolyBuilder::FinishReal(std::vector<BigFloat>& coefficients) {
  Combine();
  TXPoly& p = list_[0];
  coefficients.resize(static_cast<size_t>(p.Degree + 1));
  for (int32_t i = 0; i <= p.Degree; ++i) {
    Swap(coefficients[static_cast<size_t>(i)], p.Coeffs[static_cast<size_t>(i)]);
  }
  count_ = 0;
}

int32_t TXPolyBuilder::FinishInteger(ZPoly& polynomial) {
  std::vector<BigFloat> real;
  FinishReal(real);
  const auto degree = static_cast<int32_t>(real.size()) - 1;
  ZPolySetZeroDegree(polynomial, degree);
  int32_t margin = INT32_MAX;
  for (int32_t i = 0; i <= degree; ++i) {
    margin = std::min(margin, RoundingMargin(polynomial.Coeffs[static_cast<size_t>(i)],
                                             real[static_cast<size_t>(i)]));
  }
  polynomial.Degree = degree;
  return margin;
}

int32_t TXPolyBuilder::FinishBits() {
  std::vector<BigFloat> real;
  FinishReal(real);
  return MagnitudeBits(real);
}

}  // namespace karvo
