#pragma once

// Shared helpers of the checks suite: the known-answer files of the shared
// test data folder (read into rows by support/TsvRows.h) and random
// magnitudes.

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "arith/BigInt.h"
#include "support/TsvRows.h"

namespace karvo::test {

// Full path of a file of the shared test data folder.
std::string TestDataPath(std::string_view relative);

// Rows of hash-vectors.tsv whose first column is routine.
bool ReadVectorRows(std::string_view routine, std::vector<TRow>& rows, std::string& error);

// Hexadecimal with an optional "-".
void BigFromHex(BigInt& x, std::string_view text);

// A magnitude of exactly bits bits (zero for bits = 0), with the given sign.
void BigRandomBits(BigInt& x, int32_t bits, bool negative, std::mt19937_64& random);

// A generator seeded from KARVO_TEST_SEED, distinct per salt.
std::mt19937_64 SeededRandom(uint64_t salt);

}  // namespace karvo::test
