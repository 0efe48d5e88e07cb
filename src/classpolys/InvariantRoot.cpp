// The three routes to a root of the class invariant: the subfield tower when
// the key has a class-group record, else one genus factor (even h) or the
// whole class polynomial (odd h).

#include "classpolys/InvariantRoot.h"

#include <algorithm>

#include "arith/BigMod.h"
#include "base/Globals.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolynomial.h"
#include "classpolys/ClassStats.h"
#include "classpolys/TowerInternal.h"
#include "polys/InvariantToJ.h"
#include "polys/ZPolyRoots.h"

namespace karvo {

namespace {

bool IsTwoPart(const TCodeRoot& r) { return r.Code == -4 || r.Code == -8 || r.Code == 8; }

// The engine's square roots in the order the genus factor takes them.
std::vector<TCodeRoot> GenusRootsOf(const TQStarRootList& list) {
  const auto count = static_cast<size_t>(
      std::clamp<int32_t>(list.Count, 0, static_cast<int32_t>(
                                             std::min(list.QStars.size(), list.Roots.size()))));
  std::vector<TCodeRoot> roots(count);
  for (size_t i = 0; i < count; ++i) {
    roots[i].Code = list.QStars[i];
    BigAssign(roots[i].Root, list.Roots[i]);
  }
  std::stable_partition(roots.begin(), roots.end(), IsTwoPart);
  return roots;
}

// The class polynomial (odd h) or the genus factor (even h) reduced modulo N.
void BuildByFormList(ZPoly& f, uint32_t m, uint32_t disc, int32_t code, const BigInt& N,
                     const BigInt& c, const TQStarRootList& list) {
  TQFormList forms;
  forms.Build(disc, code, code < 0 && m % 2 == 1);
  if (forms.ClassNumber % 2 == 1) {
    BuildClassPolynomial(f, forms, disc, code, m);
  } else {
    forms.ComputeGenera();
    forms.ComputeGenusSigns();
    std::vector<TCodeRoot> roots = GenusRootsOf(list);
    BuildGenusFactor(f, forms, N, roots, code, m, disc, c);
  }
  ZPolyReduce(f, N);
}

}  // namespace

int32_t FindInvariantRoot(BigInt* Curve, const BigInt& N, const BigInt& c,
                          TQStarRootList& Roots, uint32_t Key) {
  for (int32_t i = 0; i < 4; ++i) {
    BigSetZero(Curve[i]);
  }
  const uint32_t m = Key % 4 == 0 ? Key / 4 : Key;
  const uint32_t disc = m % 4 == 3 ? m : 4 * m;
  int32_t code = ChooseInvariant(m, 4);
  const int32_t h = ClassNumber(m);
  CurrentDegree = h;
  DegreeChanged = true;
  ZPoly f;
  if (!TowerApplies(h, GenusCount(m)) || !RootByTower(f, m, N, code, c)) {
    if (h < 32) {
      code = ChooseInvariant(m, 1);
    }
    BuildByFormList(f, m, disc, code, N, c, Roots);
  }
  if (f.Degree > 3 && f.Degree % 2 == 0) {
    const int32_t k = ZPolyReciprocityConstant(f, static_cast<int32_t>(m), N, code);
    if (k != 0 && !ZPolyFindRootReciprocal(f, k, N, c)) {
      return 0;
    }
  }
  if (f.Degree > 1 && !ZPolyFindRoot(f, N, c)) {
    return 0;
  }
  if (f.Degree != 1) {
    return 0;
  }
  BigAssign(Curve[0], N);
  BigSub(Curve[0], f.Coeffs[0]);
  BigMod(Curve[0], N);
  return InvariantToJ(Curve, N, c, code, code < 0 && m % 2 == 1);
}

}  // namespace karvo
