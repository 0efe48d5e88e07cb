#pragma once

#include <cstdint>

namespace karvo::test {

// Seed of all random test data: KARVO_TEST_SEED, or one drawn at start-up and
// printed so that a failure can be replayed.
uint64_t TestSeed();

// Depth knob: KARVO_TEST_MULTIPLIER (default 1) scales the number of random
// cases; CI runs 1, a local soak more.
int TestMultiplier();

void InitTestEnv();

}  // namespace karvo::test
