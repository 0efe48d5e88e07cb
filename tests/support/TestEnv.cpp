#include "support/TestEnv.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <random>

namespace karvo::test {

namespace {
uint64_t seed = 0;
int multiplier = 1;
}  // namespace

uint64_t TestSeed() { return seed; }

int TestMultiplier() { return multiplier; }

void InitTestEnv() {
  if (const char* text = std::getenv("KARVO_TEST_SEED")) {
    seed = std::strtoull(text, nullptr, 0);
  } else {
    seed = (static_cast<uint64_t>(std::random_device{}()) << 32) | std::random_device{}();
  }
  if (const char* text = std::getenv("KARVO_TEST_MULTIPLIER")) {
    multiplier = std::max(1, std::atoi(text));
  }
  std::printf("KARVO_TEST_SEED=%llu KARVO_TEST_MULTIPLIER=%d\n",
              static_cast<unsigned long long>(seed), multiplier);
}

}  // namespace karvo::test
