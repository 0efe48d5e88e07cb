// The tower's parts on hand-made cases: the key's primes, the denominator
// root, records that do not fit their key (the fallback), and a level of
// more coefficients than one batch inversion takes.

#include <gtest/gtest.h>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "classpolys/TowerInternal.h"

namespace karvo {
namespace {

TEST(Tower, FactorKeyListsTheDistinctPrimesTwoFirst) {
  const struct {
    uint32_t M;
    std::vector<int32_t> Primes;
  } cases[] = {{30, {2, 3, 5}}, {1155, {3, 5, 7, 11}}, {4 * 33554393u, {2, 33554393}},
               {3 * 3 * 5 * 13 * 17 * 19 * 23, {3, 5, 13, 17, 19, 23}}};
  for (const auto& c : cases) {
    TKeyPrimes primes;
    FactorKey(primes, c.M);
    EXPECT_EQ(std::vector<int32_t>(primes.Primes, primes.Primes + primes.Count), c.Primes);
  }
  TKeyPrimes primes;
  EXPECT_THROW(FactorKey(primes, 510510), EKV);  // seven primes
  EXPECT_EQ(LastInternalError, "1002.101.1");
}

TEST(Tower, DenominatorRootDividesOddPowersOfTheKeysPrimesOnce) {
  const struct {
    int64_t Discriminant;
    std::vector<int32_t> Primes;
    int64_t Root;  // 0: the internal error Error
    const char* Error;
  } cases[] = {{-2 * 9 * 25, {2, 3, 5}, 15, ""}, {8 * 27 * 49, {2, 3}, 14 * 3, ""},
               {7 * 4, {2, 7}, 2, ""},  {0, {2}, 0, "1002.103.1"},
               {7, {2, 3}, 0, "1002.103.2"}, {-8, {3}, 0, "1002.103.2"}};
  for (const auto& c : cases) {
    TKeyPrimes primes;
    for (const int32_t p : c.Primes) primes.Primes[primes.Count++] = p;
    BigInt d, root;
    BigSetInt64(d, c.Discriminant);
    if (c.Root == 0) {
      EXPECT_THROW(DenominatorRoot(root, primes, d), EKV) << c.Discriminant;
      EXPECT_EQ(LastInternalError, c.Error);
    } else {
      DenominatorRoot(root, primes, d);
      EXPECT_EQ(BigLowUInt64(root), uint64_t(c.Root)) << c.Discriminant;
    }
  }
}

// Key 41 (h = 8, cyclic) and 89 (h = 12, cyclic) with variants of records
// that work.
TEST(Tower, RecordsThatDoNotDescribeTheKeysGroupAreRefused) {
  const struct {
    uint32_t M;
    std::vector<uint8_t> Bytes;
    bool Fits;
  } cases[] = {
      {41, {1, 8, 2, 3, 2, 2, 2, 0, 0, 1, 0}, true},
      {41, {1, 8, 2, 2, 4, 2, 0, 1, 0}, true},
      {41, {1, 8, 0, 3, 2, 2, 2, 0, 0, 1, 0}, false},        // the identity walks nowhere
      {41, {2, 4, 2, 2, 3, 3, 2, 2, 2, 0, 0, 1, 0}, false},  // (4, 2) in a cyclic group
      {41, {1, 8, 2, 3, 2, 2, 2, 0, 0, 2, 0}, false},        // index beyond its level
      {89, {1, 8, 2, 3, 2, 2, 2, 0, 0, 1, 0}, false},        // another class number
      {89, {1, 12, 2, 3, 2, 2, 3, 0, 0, 1, 0}, true},
      {89, {1, 12, 2, 3, 2, 3, 2, 0, 0, 1, 0}, true},
      {89, {1, 12, 2, 3, 2, 2, 3, 1, 0, 1, 0}, false},       // reciprocal, odd last degree
  };
  for (const auto& c : cases) {
    uint8_t bytes[ClassGroupRecordMax] = {};
    std::copy(c.Bytes.begin(), c.Bytes.end(), bytes);
    TGaloisDat record;
    ASSERT_TRUE(DecodeGaloisRecord(bytes, uint32_t(c.Bytes.size()), c.M, record));
    EXPECT_EQ(RecordFitsKey(record, c.M), c.Fits) << c.M << " " << c.Bytes.size();
  }
}

// x^70 - 3^70 from 70 coefficients over denominators 7: a root r of it,
// with r^70 = 3^70, though one batch inversion takes at most 64 values.
TEST(Tower, LevelsOfManyCoefficientsDescend) {
  TGaloisDat record;
  record.LevelCount = 2;
  record.LevelDegrees[0] = 2;
  record.LevelDegrees[1] = 70;
  TGaloisRec tower;
  CreateGaloisRec(tower, record);
  ZPolySetInts(tower.LevelPolynomial, {-25, 0, 1});  // x² - 25
  BigInt N, c, power, target;
  BigFromString(N, "340282366920938463463374607431768211297", 10);  // 2^128 - 159
  BigNonResidue(c, N);
  for (size_t j = 0; j < 70; ++j) {
    ZPolySetInts(tower.CoefficientPolynomials[0][j], {0});
    BigSetInt(tower.Denominators[0][j], 7);
  }
  BigSetInt(target, 3);
  BigPowModWord(target, 70, N);  // 3^70 mod N
  BigMulInt(target, -7);
  ZPoly& t0 = tower.CoefficientPolynomials[0][0];
  ZPolySetInts(t0, {1});
  BigAssign(t0.Coeffs[0], target);
  ZPoly f;
  ASSERT_TRUE(DescendTower(f, tower, N, c));
  ASSERT_EQ(f.Degree, 1);
  BigAssign(power, N);
  BigSub(power, f.Coeffs[0]);
  BigPowModWord(power, 70, N);
  BigSetInt(target, 3);
  BigPowModWord(target, 70, N);
  EXPECT_TRUE(BigEqual(power, target));
}

}  // namespace
}  // namespace karvo
