#pragma once

// Roots modulo a probable prime N of polynomials over Z/NZ. A single-root
// finder replaces f by a monic x + r, the root being -r mod N. c is
// BigNonResidue(N), passed through to BigSqrtMod. The finders return false,
// never loop, when f has no root modulo N or N shows itself composite (a
// leading coefficient without inverse): the caller tries its next candidate.
// Progress goes to CurrentDegree/DegreeChanged.

#include <cstdint>

#include "arith/BigInt.h"
#include "polys/ZPoly.h"

namespace karvo {

// Splitting with an r-th root of unity, r | N - 1 as large as 2·deg f;
// degree below 11 with N below 96 bits takes ZPolyFindRootSmall.
bool ZPolyFindRoot(ZPoly& f, const BigInt& N, const BigInt& c);
// The same with r = 2.
bool ZPolyFindRootSmall(ZPoly& f, const BigInt& N, const BigInt& c);
// Direct solvers for a monic f of degree 2, 3 and 4: false (f unchanged)
// when they cannot give a root; they never give a non-root.
bool ZPolySolveQuadratic(ZPoly& f, const BigInt& N, const BigInt& c);
bool ZPolySolveCubic(ZPoly& f, const BigInt& N);
bool ZPolySolveQuartic(ZPoly& f, const BigInt& N, const BigInt& c);
// r := the largest divisor of N - 1 in 2..2d, e := (N - 1)/r, zeta := a
// primitive r-th root of unity; false when none is found (N not prime).
bool RootOfUnityOrder(BigInt& e, BigInt& zeta, int32_t& r, const BigInt& N, int32_t d);
// For f of even degree 2m (odd is 300.12.1) equal to x^m·G(x + c/x), or to
// x^m·G(x - 1/x) for c = -1: a root of f through one of G, checked on f.
bool ZPolyFindRootReciprocal(ZPoly& f, int32_t c, const BigInt& N, const BigInt& h);
// The constant c of that symmetry for invariant code, or 0.
int32_t ZPolyReciprocityConstant(const ZPoly& f, int32_t d, const BigInt& N, int32_t code);
// f := the product of the distinct linear factors of f; false when N shows
// itself composite.
bool ZPolyRootPart(ZPoly& f, const BigInt& N);
// Stores the roots of the split f (a double root once) in roots[0..max-1] and
// returns their number; f becomes 1. More roots than max is 12.1.1, a
// quadratic factor without roots 12.1.2, an f that does not split (or a
// composite N) 12.1.3.
int32_t ZPolyAllRoots(BigInt* roots, int32_t max, ZPoly& f, const BigInt& c, const BigInt& N);
// v := V_k, w := V_(k+1) of the Lucas sequence with parameters P and Q = 1.
void LucasLadderV(BigInt& v, BigInt& w, const BigInt& P, const BigInt& N, const BigInt& k);

}  // namespace karvo
