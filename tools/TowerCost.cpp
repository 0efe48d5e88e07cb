#include "TowerCost.h"

#include <cmath>

namespace karvo {

namespace {

// Measured at 1000 bits: a square root is one modular power; the general
// root finding grew as d^1.2 from degree 12 to 96 (65, 290, 440, 750 ms).
constexpr double kSquareRootMs = 2.0;
constexpr double kRootScaleMs = 4.0;
constexpr double kRootExponent = 1.2;
// Building a tower of h = 96 took 11, 46, 71, 244 and 915 ms at 864, 2080,
// 4128, 8224 and 16352 bits.
constexpr double kValueMs = 0.003;
constexpr double kValuePerKbitMs = 0.144;
constexpr double kPrecisionExponent = 1.5;

}  // namespace

double RootFindingMs(int32_t degree) {
  if (degree <= 1) {
    return 0;
  }
  return degree == 2 ? kSquareRootMs : kRootScaleMs * std::pow(degree, kRootExponent);
}

double FloatMs(int32_t h, int32_t bits) {
  return h * (kValueMs + kValuePerKbitMs * std::pow(bits / 1000.0, kPrecisionExponent));
}

double RouteMs(int32_t h, int32_t g, int32_t routeBits) {
  return FloatMs(h, routeBits) + RootFindingMs(h / g);
}

double TowerMs(int32_t h, int32_t bits, const std::vector<int32_t>& degrees) {
  double ms = FloatMs(h, bits);
  for (const int32_t d : degrees) {
    ms += RootFindingMs(d);
  }
  return ms;
}

int32_t BreakEvenBits(int32_t h, const std::vector<int32_t>& degrees, double routeMs) {
  const double spare = routeMs - TowerMs(h, 0, degrees);
  if (spare <= 0) {
    return 0;
  }
  const double kbits = std::pow(spare / (h * kValuePerKbitMs), 1 / kPrecisionExponent);
  return static_cast<int32_t>(1000 * kbits);
}

}  // namespace karvo
