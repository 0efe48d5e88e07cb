// The tower of a class-group record over the complex numbers, at the
// record's precision: the invariant in walk order, then level by level from
// the finest cosets to the coarsest.

#include <algorithm>

#include "base/Errors.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassStats.h"
#include "classpolys/QuadForms.h"
#include "classpolys/TowerInternal.h"

namespace karvo {

namespace {

constexpr int kUnit = 1002;

struct TWalk {
  int32_t Generators[3] = {};
  int32_t Orders[3] = {};
  int32_t CountCode = 0;
};

TWalk WalkOf(const TGaloisDat& record) {
  TWalk walk;
  walk.CountCode = static_cast<int32_t>(record.Orders.size()) - 1;
  for (size_t k = 0; k < record.Orders.size() && k < 3; ++k) {
    walk.Generators[k] = record.Generators[k];
    walk.Orders[k] = record.Orders[k];
  }
  return walk;
}

bool IsPrime(int32_t q) {
  if (q < 2) {
    return false;
  }
  for (int32_t p = 2; p * p <= q; ++p) {
    if (q % p == 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

// Below 4 the polynomial is tiny, from 256 on or with many genera the record
// format has no room, and a prime quotient admits no tower.
bool TowerApplies(int32_t h, int32_t genusCount) {
  const int32_t q = (h / genusCount) % 256;
  return h >= 4 && h < 256 && genusCount < 16 && q != 1 && !IsPrime(q);
}

// n takes whole orders from the innermost generator outwards and then a divisor of
// the next one.
bool CosetsOfSubgroup(const TDynSInt32Array& orders, int32_t n) {
  for (size_t k = orders.size(); k-- > 0 && n > 1;) {
    if (n % orders[k] != 0) {
      return orders[k] % n == 0;
    }
    n /= orders[k];
  }
  return n == 1;
}

void EvalInGroupOrder(TDynBigComplexArray& values, uint32_t m, const int32_t generators[3],
                      int32_t generatorCountCode, const int32_t orders[3], int32_t code,
                      int32_t h) {
  const uint32_t disc = m % 4 == 3 ? m : 4 * m;
  TQFormList forms;
  forms.Build(disc, code, false);
  if (forms.ClassNumber != h) {
    InternalError(kUnit, 100, 1);
  }
  const TDynSInt32Array position =
      BuildOrderedForms(m, h, generators, generatorCountCode, orders);
  TDynBigComplexArray formValues;
  EvalAllForms(formValues, forms, code, m, disc);
  values.resize(static_cast<size_t>(h));
  size_t at = 0;
  for (int32_t i = 0; i < forms.Count; ++i) {
    BigComplex& v = formValues[static_cast<size_t>(i)];
    Assign(values[static_cast<size_t>(position[at++])], v);
    if (forms.Forms[static_cast<size_t>(i)].Single == 0) {
      Negate(v.Im);
      Assign(values[static_cast<size_t>(position[at++])], v);
    }
  }
}

bool RecordFitsKey(const TGaloisDat& record, uint32_t m) {
  const int32_t h = record.ClassNumber;
  if (ClassNumber(m) != h || record.Orders.empty() || record.Orders.size() > 3 ||
      (record.InvariantConstant != 0 && record.LevelDegrees[record.LevelCount - 1] % 2 != 0)) {
    return false;
  }
  int32_t n = 1;
  for (int32_t i = 0; i + 1 < record.LevelCount; ++i) {
    n *= record.LevelDegrees[i];
    if (record.LevelIndices[i] >= record.LevelDegrees[i + 1] ||
        !CosetsOfSubgroup(record.Orders, n)) {
      return false;
    }
  }
  const TWalk walk = WalkOf(record);
  TDynSInt32Array position =
      BuildOrderedForms(m, h, walk.Generators, walk.CountCode, walk.Orders);
  std::sort(position.begin(), position.end());
  for (int32_t p = 0; p < h; ++p) {
    if (position[static_cast<size_t>(p)] != p) {
      return false;
    }
  }
  return true;
}

void CreateGaloisRec(TGaloisRec& tower, const TGaloisDat& record) {
  if (record.LevelCount < 2 || record.LevelCount > TowerMaxLevels) {
    InternalError(kUnit, 104, 1);
  }
  tower = TGaloisRec();
  tower.LevelCount = record.LevelCount;
  tower.Code = record.Code;
  tower.ReciprocalConstants[record.LevelCount - 1] = record.InvariantConstant;
  for (int32_t i = 1; i < record.LevelCount; ++i) {
    const auto degree = static_cast<size_t>(record.LevelDegrees[i]);
    tower.CoefficientPolynomials.emplace_back(degree);
    tower.Denominators.emplace_back(degree);
  }
  tower.Orders = record.Orders;
  tower.Generators = record.Generators;
}

int32_t BuildTower(TGaloisRec& tower, const TGaloisDat& record, uint32_t m) {
  CreateGaloisRec(tower, record);
  PrecisionScope scope(32 * record.PrecisionWords);
  const TWalk walk = WalkOf(record);
  TDynBigComplexArray values;
  EvalInGroupOrder(values, m, walk.Generators, walk.CountCode, walk.Orders, record.Code,
                   record.ClassNumber);
  TKeyPrimes primes;
  FactorKey(primes, m);
  int32_t n = record.ClassNumber;
  int32_t margin = INT32_MAX;
  for (int32_t i = record.LevelCount - 1; i >= 1; --i) {
    n /= record.LevelDegrees[i];
    const auto level = static_cast<size_t>(i - 1);
    margin = std::min(margin, BuildLevel(values, n, record.LevelDegrees[i],
                                         record.LevelIndices[i - 1], primes,
                                         tower.LevelPolynomial,
                                         tower.CoefficientPolynomials[level],
                                         tower.Denominators[level], i == 1));
    if (margin < 1) {
      break;
    }
  }
  return margin;
}

}  // namespace karvo
