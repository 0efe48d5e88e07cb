// The trial-division bound grows with the size of N up to the whole table.

#include <gtest/gtest.h>

#include <cmath>

#include "arith/PrimeTable.h"
#include "certifs/Certifier.h"

namespace karvo {
namespace {

TEST(PrimeBoundTest, FollowsTheSizeOfN) {
  BuildPrimeTable();
  ASSERT_GT(PrimeTableCount, 6542);
  EXPECT_EQ(TCertifier::PrimeBoundFor(17), 6542);
  EXPECT_EQ(TCertifier::PrimeBoundFor(192), 6542);
  for (int32_t bits : {193, 500, 1000, 2000, 3000}) {
    const auto expected = static_cast<int32_t>(
        std::trunc(std::exp(8.2211785393328 + 0.00292652678116846 * bits)));
    EXPECT_EQ(TCertifier::PrimeBoundFor(bits),
              std::min(std::max(expected, 6542), PrimeTableCount))
        << bits;
  }
  EXPECT_EQ(TCertifier::PrimeBoundFor(4096), PrimeTableCount);
  EXPECT_EQ(TCertifier::PrimeBoundFor(4097), PrimeTableCount);
  EXPECT_EQ(TCertifier::PrimeBoundFor(131072), PrimeTableCount);
}

}  // namespace
}  // namespace karvo
