// The prime table: sizes from MSC, the entries against the generator and
// their inverses, consistency after an abort, and the residue slots against
// GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include "GmpBridge.h"
#include "PrimeTestSupport.h"
#include "arith/PrimeTable.h"
#include "base/Errors.h"
#include "base/Settings.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;

// Every case leaves MSC as it found it and the table released.
class PrimeTableTest : public testing::Test {
 protected:
  void TearDown() override {
    Settings.MSC = savedMsc_;
    ReleasePrimeTable();
  }

  void BuildWithMsc(int32_t msc) {
    Settings.MSC = msc;
    BuildPrimeTable();
  }

 private:
  int32_t savedMsc_ = Settings.MSC;
};

// The entries are the primes in order (against the reference sieve), 2 has
// inverse 0 and every other prime its inverse modulo 2^32.
testing::AssertionResult TableIsConsistent(int32_t bits) {
  const std::vector<bool> reference = test::ReferenceSieve(uint32_t{1} << bits);
  int32_t i = 0;
  for (uint32_t n = 0; n < reference.size(); ++n) {
    if (!reference[n]) {
      continue;
    }
    if (i >= PrimeTableCount) {
      return testing::AssertionFailure() << "only " << PrimeTableCount << " entries";
    }
    const TPrimeEntry& entry = PrimeTable[i];
    if (entry.Prime != n) {
      return testing::AssertionFailure() << "entry " << i << " is " << entry.Prime << ", expected " << n;
    }
    const Word expected = n == 2 ? 0 : 1;
    if (entry.Prime * entry.Inverse != expected) {
      return testing::AssertionFailure() << "entry " << i << ": inverse " << entry.Inverse << " of " << n;
    }
    ++i;
  }
  if (i != PrimeTableCount) {
    return testing::AssertionFailure() << PrimeTableCount << " entries, expected " << i;
  }
  return testing::AssertionSuccess();
}

TEST_F(PrimeTableTest, PrimeCountsOfPowersOfTwo) {
  const int32_t small[] = {1, 2, 4, 6, 11, 18, 31, 54};
  for (int32_t k = 1; k <= 8; ++k) {
    EXPECT_EQ(PrimeCountPowerOfTwo(k), small[k - 1]) << k;
  }
  EXPECT_EQ(PrimeCountPowerOfTwo(16), 6542);
  EXPECT_EQ(PrimeCountPowerOfTwo(30), 54400028);
  EXPECT_EQ(PrimeCountPowerOfTwo(0), 0);
  EXPECT_EQ(PrimeCountPowerOfTwo(31), 0);
}

TEST_F(PrimeTableTest, MscIsClampedToTwentyThroughTwentySix) {
  EXPECT_EQ(PrimeTableBits(30), 26);
  EXPECT_EQ(PrimeTableBits(5), 20);
  EXPECT_EQ(PrimeTableBits(-1), 20);
  EXPECT_EQ(PrimeTableBits(23), 23);
  const int32_t sizes[] = {82025, 155611, 295947, 564163, 1077871, 2063689, 3957809};
  for (int32_t msc = 20; msc <= 26; ++msc) {
    Settings.MSC = msc;
    EXPECT_EQ(WantedPrimeTableSize(), sizes[msc - 20]) << msc;
  }
  Settings.MSC = 30;
  EXPECT_EQ(WantedPrimeTableSize(), 3957809);
  Settings.MSC = 5;
  EXPECT_EQ(WantedPrimeTableSize(), 82025);
}

TEST_F(PrimeTableTest, SmallestTable) {
  BuildWithMsc(20);
  ASSERT_EQ(PrimeTableCount, 82025);
  EXPECT_EQ(PrimeTable[PrimeTableCount - 1].Prime, 1048573u);
  EXPECT_TRUE(TableIsConsistent(20));
}

TEST_F(PrimeTableTest, DefaultTable) {
  BuildWithMsc(23);
  ASSERT_EQ(PrimeTableCount, 564163);
  EXPECT_EQ(PrimeTable[PrimeTableCount - 1].Prime, 8388593u);
  EXPECT_TRUE(TableIsConsistent(23));
}

#ifndef KARVO_SANITIZE
TEST_F(PrimeTableTest, LargestTable) {
  BuildWithMsc(30);
  ASSERT_EQ(PrimeTableCount, 3957809);
  EXPECT_EQ(PrimeTable[PrimeTableCount - 1].Prime, 67108859u);
  EXPECT_TRUE(TableIsConsistent(26));
}
#endif

TEST_F(PrimeTableTest, RebuildOnlyWhenTheSizeChanges) {
  BuildWithMsc(20);
  const TPrimeEntry* first = PrimeTable;
  PrimeTable[5].Residue = 12345;
  BuildWithMsc(20);
  EXPECT_EQ(PrimeTable, first);
  EXPECT_EQ(PrimeTable[5].Residue, 12345u);
  BuildWithMsc(21);
  EXPECT_EQ(PrimeTableCount, 155611);
  EXPECT_TRUE(TableIsConsistent(21));
}

TEST_F(PrimeTableTest, AbortLeavesTheTableEmptyAndABuildAfterwardsWorks) {
  BuildWithMsc(20);
  {
    test::AbortAtNextPoll abort;
    Settings.MSC = 21;
    EXPECT_THROW(BuildPrimeTable(), EKVAbort);
  }
  EXPECT_EQ(PrimeTableCount, 0);
  EXPECT_EQ(PrimeTable, nullptr);
  BuildPrimeTable();
  EXPECT_EQ(PrimeTableCount, 155611);
  EXPECT_TRUE(TableIsConsistent(21));
}

// Fills every slot with a marker, then checks the first count slots against
// GMP's |x| mod p and that the others still hold the marker.
testing::AssertionResult CheckResidues(const BigInt& x, mpz_srcptr reference, int32_t count) {
  constexpr Word marker = 0xDEADBEEF;
  for (int32_t i = 0; i < PrimeTableCount; ++i) {
    PrimeTable[i].Residue = marker;
  }
  PrimeTableResidues(x, count);
  const int32_t filled = std::max(count, 2);
  for (int32_t i = 0; i < PrimeTableCount; ++i) {
    const Word expected = i < filled ? static_cast<Word>(mpz_fdiv_ui(reference, PrimeTable[i].Prime)) : marker;
    // mpz_fdiv_ui gives the residue of the magnitude.
    if (PrimeTable[i].Residue != expected) {
      return testing::AssertionFailure() << "count " << count << ", slot " << i << " (p = " << PrimeTable[i].Prime
                                         << "): " << PrimeTable[i].Residue << ", expected " << expected;
    }
  }
  return testing::AssertionSuccess();
}

TEST_F(PrimeTableTest, ResiduesAgreeWithGmp) {
  BuildWithMsc(20);
  BigRandom random;
  for (int32_t i = 0; i < test::Rounds(20); ++i) {
    const auto shape = test::AllShapes[i % std::size(test::AllShapes)];
    BigInt x;
    MpzValue reference;
    random.Operand(x, reference, random.Between(1, 30), shape, 0);
    const int32_t count = i == 0 ? PrimeTableCount : random.Between(3, 20000);
    ASSERT_TRUE(CheckResidues(x, reference, count)) << test::MpzHex(reference);
  }
}

TEST_F(PrimeTableTest, ResiduesOfANegativeNumberAreThoseOfItsMagnitude) {
  BuildWithMsc(20);
  BigRandom random;
  BigInt x;
  MpzValue magnitude;
  random.Operand(x, magnitude, 5, test::Shape::Uniform, 1);
  mpz_abs(magnitude, magnitude);
  EXPECT_TRUE(CheckResidues(x, magnitude, 1000));
}

TEST_F(PrimeTableTest, ResiduesOfZeroAreZero) {
  BuildWithMsc(20);
  BigInt zero;
  MpzValue reference;
  EXPECT_TRUE(CheckResidues(zero, reference, 1000));
  EXPECT_TRUE(CheckResidues(zero, reference, 0));
}

TEST_F(PrimeTableTest, CountBelowThreeFillsTheSlotsOfTwoAndThree) {
  BuildWithMsc(20);
  BigInt x;
  BigFromString(x, "123456789012345678901234567890123", 10);
  MpzValue reference("123456789012345678901234567890123");
  for (int32_t count = -1; count < 3; ++count) {
    EXPECT_TRUE(CheckResidues(x, reference, count));
  }
  // A count past the end is capped.
  EXPECT_TRUE(CheckResidues(x, reference, PrimeTableCount + 100));
}

}  // namespace
}  // namespace karvo
