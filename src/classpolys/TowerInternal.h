#pragma once

// The subfield tower of a key with a class-group record: the class group
// walked in the record's order gives the invariant's values position by
// position; each level groups them by the cosets of a subgroup, and one
// coefficient θ of each coset's polynomial generates the level below. Only
// integer polynomials are kept: the coarsest level's, and per finer level
// the coefficients T_j(θ)/L_j of its coset polynomial as functions of θ.
// Failures are InternalError(1002, 100..104, ...).

#include <cstdint>
#include <vector>

#include "arith/BigInt.h"
#include "arith/Words.h"
#include "classpolys/BigFloat.h"
#include "classpolys/DataFiles.h"
#include "polys/ZPoly.h"

namespace karvo {

inline constexpr int32_t TowerMaxLevels = 6;

// The distinct primes of a key, 2 first when it is even; a seventh is
// 1002.101.1.
struct TKeyPrimes {
  int32_t Primes[TowerMaxLevels] = {};
  int32_t Count = 0;
};
void FactorKey(TKeyPrimes& record, uint32_t m);

// Level 1 is LevelPolynomial; level i ≥ 2 has the coefficient polynomials
// CoefficientPolynomials[i - 2][j] and their denominators.
struct TGaloisRec {
  int32_t LevelCount = 0;
  int32_t Code = 0;
  int32_t ReciprocalConstants[TowerMaxLevels] = {};
  ZPoly LevelPolynomial;
  std::vector<std::vector<ZPoly>> CoefficientPolynomials;
  std::vector<std::vector<BigInt>> Denominators;
  TDynSInt32Array Orders;
  TDynSInt32Array Generators;
};
void CreateGaloisRec(TGaloisRec& tower, const TGaloisDat& record);

// Whether a key of class number h and genusCount genera may have a tower.
bool TowerApplies(int32_t h, int32_t genusCount);

// Positions of the walk by orders modulo n are the cosets of a subgroup.
bool CosetsOfSubgroup(const TDynSInt32Array& orders, int32_t n);

// True when the record describes the class group of m: its class number,
// a walk that visits every class once, levels whose cosets are those of
// subgroups of the walk, coefficient indices within their levels.
bool RecordFitsKey(const TGaloisDat& record, uint32_t m);

// The invariant of code at every class, in walk order; the class number
// must be h (else 1002.100.1).
void EvalInGroupOrder(TDynBigComplexArray& values, uint32_t m, const int32_t generators[3],
                      int32_t generatorCountCode, const int32_t orders[3], int32_t code,
                      int32_t h);

// |discriminant| with each of primes (last first) that divides it an odd
// number of times divided out once, then its square root; zero is
// 1002.103.1, a non-square 1002.103.2.
void DenominatorRoot(BigInt& result, const TKeyPrimes& primes, const BigInt& discriminant);

// What interpolation needs of the level polynomial P at its roots θ_c:
// 1/P'(θ_c) and P(x)/(x - θ_c).
struct TInterpolationBasis {
  TDynBigComplexArray Weights;
  TDynBigComplexMatrix Quotients;
};
// T with T(θ_c)·L = values[c] for all c, scaled by delta to integers and
// reduced to the least common denominator L, negated when negate. Returns
// the rounding margin in bits.
int32_t InterpolateCoefficient(ZPoly& T, BigInt& L, const TDynBigComplexArray& values,
                               const TInterpolationBasis& basis, const BigInt& delta,
                               bool negate);

// One level: values holds cosets·cosetSize values, coset c at positions
// c + k·cosets. Fills polynomial (the θ polynomial), T and L (the finer
// level, one per coefficient) and, unless last, replaces values by the θ.
// Returns the least rounding margin in bits; below 1 it stops after the θ
// polynomial.
int32_t BuildLevel(TDynBigComplexArray& values, int32_t cosets, int32_t cosetSize,
                   int32_t index, const TKeyPrimes& primes, ZPoly& polynomial,
                   std::vector<ZPoly>& T, std::vector<BigInt>& L, bool last);

// Every level of tower at the record's precision; the least rounding margin.
// A margin below 1 stops the build at that level: the tower is incomplete.
int32_t BuildTower(TGaloisRec& tower, const TGaloisDat& record, uint32_t m);

// Records are written with 24 bits of rounding to spare; a tower that rounds
// with less than this was built from a record that does not fit the key.
inline constexpr int32_t TowerMinMargin = 8;

// The descent modulo N: polynomial := x + f0, -f0 the root of the last
// level, or zero when a level has no root. False when a denominator has no
// inverse.
bool DescendTower(ZPoly& polynomial, const TGaloisRec& tower, const BigInt& N,
                  const BigInt& c);

// polynomial := x + f0 with -f0 the invariant's root modulo N, code := the
// record's invariant code; a zero polynomial when a level had no root
// (N composite). False, for the other routes, when m has no record, the
// record does not fit m, or a denominator has no inverse modulo N.
bool RootByTower(ZPoly& polynomial, uint32_t m, const BigInt& N, int32_t& code,
                 const BigInt& c);

}  // namespace karvo
