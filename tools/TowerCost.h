#pragma once

// What a root of the class invariant costs at the sizes the curve step
// spends its time on, by the tower and by the genus or direct route, so
// that the generator writes a record only where the tower is faster. The
// model is fitted to karvo-bench-roots at N of 1000 bits on the 2-core build
// machine; what matters is the order of magnitude, since the records it
// admits are typically ten times faster than the route.

#include <cstdint>
#include <vector>

namespace karvo {

// Finding the roots of a degree-d factor modulo N.
double RootFindingMs(int32_t degree);

// The h invariant values and the levels built from them at bits.
double FloatMs(int32_t h, int32_t bits);

// The route works at routeBits and finds a root of degree h/g (h when g = 1).
double RouteMs(int32_t h, int32_t g, int32_t routeBits);

double TowerMs(int32_t h, int32_t bits, const std::vector<int32_t>& degrees);

// The most bits at which the tower of these degrees still beats routeMs;
// zero when its root finding alone does not.
int32_t BreakEvenBits(int32_t h, const std::vector<int32_t>& degrees, double routeMs);

}  // namespace karvo
