#include "ChecksTestData.h"

#include "support/TestEnv.h"

#ifndef KARVO_TESTDATA_DIR
#error "KARVO_TESTDATA_DIR must name the shared test data folder"
#endif

namespace karvo::test {

std::string TestDataPath(std::string_view relative) {
  return std::string(KARVO_TESTDATA_DIR) + "/" + std::string(relative);
}

bool ReadVectorRows(std::string_view routine, std::vector<TRow>& rows, std::string& error) {
  std::vector<TRow> all;
  if (!ReadRows(TestDataPath("hash-vectors.tsv"), all, error)) {
    return false;
  }
  rows.clear();
  for (TRow& row : all) {
    if (row.front() == routine) {
      rows.push_back(std::move(row));
    }
  }
  if (rows.empty()) {
    error = "no " + std::string(routine) + " rows in " + TestDataPath("hash-vectors.tsv");
    return false;
  }
  return true;
}

void BigFromHex(BigInt& x, std::string_view text) { BigFromString(x, text, 16); }

void BigRandomBits(BigInt& x, int32_t bits, bool negative, std::mt19937_64& random) {
  std::vector<uint8_t> bytes(static_cast<size_t>((bits + 7) / 8));
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(random());
  }
  BigSetFromBytes(x, bytes.data(), static_cast<int32_t>(bytes.size()));
  if (bits > 0) {
    BigShiftRight(x, 8 * static_cast<int64_t>(bytes.size()) - bits);
    BigSetBit(x, bits - 1);
  }
  if (negative) {
    BigNegate(x);
  }
}

std::mt19937_64 SeededRandom(uint64_t salt) {
  return std::mt19937_64(TestSeed() ^ (salt * 0x9E3779B97F4A7C15ull));
}

}  // namespace karvo::test
