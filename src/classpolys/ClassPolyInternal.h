#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "arith/BigInt.h"
#include "base/Errors.h"
#include "base/Settings.h"
#include "classpolys/BigFloat.h"
#include "classpolys/ClassPolynomial.h"

namespace karvo {

// Coefficients must round from within 2^-16 of their integers.
inline constexpr int32_t kSafeMarginBits = 16;
// Evaluations at a working precision before a build gives up (299.4.1).
inline constexpr int32_t kMaxAttempts = 5;

// The precision of the measuring evaluation.
inline int32_t StartPrecision(int32_t h, int32_t genusCount) {
  const int32_t extra = genusCount >= 16 ? 32 : 0;
  return (h < 128 ? 128 : h < 256 ? 160 : 192) + extra;
}

// 15 % and at least 64 bits above the largest coefficient, scaled by the
// CPC setting (a percentage, 100 to 500).
inline int32_t PrecisionFor(int32_t bits) {
  const int64_t precision = int64_t{bits} + std::max<int64_t>(64, int64_t{bits} * 15 / 100);
  const int64_t scaled = Settings.CPC > 100 ? precision * Settings.CPC / 100 : precision;
  return static_cast<int32_t>(std::min<int64_t>(scaled, INT32_MAX / 2));
}

// One evaluation at the working precision: the margin reached and the
// largest coefficient's bit length + exponent.
struct TAttempt {
  int32_t Margin = 0;
  int32_t Bits = 0;
};

// Runs attempt at precision, and again higher until it rounds safely. A
// precision of 0 first measures at start, and keeps that evaluation when its
// precision is already what the measurement asks for.
template <class F>
void WithSafeRounding(int32_t start, int32_t precision, TClassPolyInfo* info, F attempt) {
  if (precision <= 0) {
    PrecisionScope scope(start);
    const TAttempt measured = attempt();
    precision = PrecisionFor(measured.Bits);
    if (precision <= GetPrecision() && measured.Margin >= kSafeMarginBits) {
      if (info != nullptr) {
        *info = {GetPrecision(), measured.Margin, 1};
      }
      return;
    }
  }
  for (int32_t i = 1;; ++i) {
    PrecisionScope scope(precision);
    const TAttempt result = attempt();
    if (result.Margin >= kSafeMarginBits) {
      if (info != nullptr) {
        *info = {GetPrecision(), result.Margin, i};
      }
      return;
    }
    if (i == kMaxAttempts) {
      InternalError(299, 4, 1);
    }
    precision = std::max(GetPrecision() + 64, PrecisionFor(result.Bits));
  }
}

}  // namespace karvo
