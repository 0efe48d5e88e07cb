// The tower's descent modulo N: a root of the coarsest level's polynomial,
// then at each finer level the coset polynomial that root determines.

#include <algorithm>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "classpolys/TowerInternal.h"
#include "polys/ZPolyRoots.h"

namespace karvo {

namespace {

// f := x + f0 for a root -f0 of f; constant ≠ 0 takes the reciprocal search.
bool LevelRoot(ZPoly& f, int32_t constant, const BigInt& N, const BigInt& c) {
  if (constant != 0 && f.Degree > 1) {
    return ZPolyFindRootReciprocal(f, constant, N, c);
  }
  return f.Degree == 1 || ZPolyFindRoot(f, N, c);
}

// The inverses modulo N of the denominators, in batches the inverter takes.
bool InvertAll(std::vector<BigInt>& inverses, const std::vector<BigInt>& denominators,
               const BigInt& N) {
  inverses.resize(denominators.size());
  for (size_t j = 0; j < denominators.size(); ++j) {
    BigAssign(inverses[j], denominators[j]);
    BigMod(inverses[j], N);
  }
  for (size_t at = 0; at < inverses.size(); at += InvModBatchLimit) {
    const auto count = static_cast<int32_t>(
        std::min<size_t>(InvModBatchLimit, inverses.size() - at));
    if (!BigInvModBatch(inverses.data() + at, count, N)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool DescendTower(ZPoly& polynomial, const TGaloisRec& tower, const BigInt& N,
                  const BigInt& c) {
  ZPolyAssign(polynomial, tower.LevelPolynomial);
  ZPolyReduce(polynomial, N);
  BigTemps t(2);
  BigInt& root = t[0];
  std::vector<BigInt> inverses;
  for (int32_t level = 0;; ++level) {
    if (!LevelRoot(polynomial, tower.ReciprocalConstants[level], N, c) ||
        polynomial.Degree != 1) {
      polynomial.Degree = -1;
      return true;
    }
    if (level + 1 == tower.LevelCount) {
      return true;
    }
    BigAssign(root, N);
    BigSub(root, polynomial.Coeffs[0]);
    BigMod(root, N);
    const std::vector<ZPoly>& T = tower.CoefficientPolynomials[static_cast<size_t>(level)];
    const std::vector<BigInt>& L = tower.Denominators[static_cast<size_t>(level)];
    if (!InvertAll(inverses, L, N)) {
      return false;
    }
    const auto degree = static_cast<int32_t>(T.size());
    ZPolySetMonomial(polynomial, degree);
    for (size_t j = 0; j < T.size(); ++j) {
      BigInt& coefficient = polynomial.Coeffs[j];
      ZPolyEval(coefficient, root, N, T[j]);
      if (!BigIsOne(L[j])) {
        BigMul(coefficient, inverses[j]);
        BigMod(coefficient, N);
      }
    }
  }
}

bool RootByTower(ZPoly& polynomial, uint32_t m, const BigInt& N, int32_t& code,
                 const BigInt& c) {
  TGaloisDat record;
  if (!ReadGaloisData(record, m) || !RecordFitsKey(record, m)) {
    return false;
  }
  TGaloisRec tower;
  if (BuildTower(tower, record, m) < TowerMinMargin || !DescendTower(polynomial, tower, N, c)) {
    return false;
  }
  code = tower.Code;
  return true;
}

}  // namespace karvo
