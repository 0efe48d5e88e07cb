#include "arith/PrimeTable.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "arith/PrimeGenerator.h"
#include "base/Poll.h"
#include "base/Settings.h"

namespace karvo {

TPrimeEntry* PrimeTable = nullptr;
int32_t PrimeTableCount = 0;

namespace {

// π(2^k) for k = 1..30.
constexpr std::array<int32_t, 30> PrimeCounts = {
    1,      2,      4,       6,       11,      18,      31,       54,       97,       172,
    309,    564,    1028,    1900,    3512,    6542,    12251,    23000,    43390,    82025,
    155611, 295947, 564163,  1077871, 2063689, 3957809, 7603553,  14630843, 28192750, 54400028};

// Owns PrimeTable's storage.
std::unique_ptr<TPrimeEntry[]> tableStorage;

constexpr int32_t PollInterval = 4096;

}  // namespace

int32_t PrimeCountPowerOfTwo(int32_t k) {
  return (k >= 1 && k <= 30) ? PrimeCounts[k - 1] : 0;
}

int32_t PrimeTableBits(int32_t msc) {
  return std::clamp(msc, MinPrimeTableBits, MaxPrimeTableBits);
}

int32_t WantedPrimeTableSize() {
  return PrimeCountPowerOfTwo(PrimeTableBits(Settings.MSC));
}

void ReleasePrimeTable() {
  PrimeTable = nullptr;
  PrimeTableCount = 0;
  tableStorage.reset();
}

void BuildPrimeTable() {
  const int32_t wanted = WantedPrimeTableSize();
  if (PrimeTableCount == wanted) {
    return;
  }
  // Free first: the old table is of no use, and holding both would raise the
  // peak memory. From here until the end the table reads as empty.
  ReleasePrimeTable();
  std::unique_ptr<TPrimeEntry[]> table;
  std::unique_ptr<TPrimeGenerator> generator;
  try {
    table = std::make_unique_for_overwrite<TPrimeEntry[]>(wanted);
    generator = std::make_unique<TPrimeGenerator>();
  } catch (const std::bad_alloc&) {
    // Left empty: start-up sees the count fall short and says so.
    return;
  }
  table[0] = {generator->Init(), 0, 0};
  for (int32_t i = 1; i < wanted; ++i) {
    if (i % PollInterval == 0) {
      CheckPoll();
    }
    const Word p = generator->Next();
    table[i] = {p, WordInverse(p), 0};
  }
  tableStorage = std::move(table);
  PrimeTable = tableStorage.get();
  PrimeTableCount = wanted;
}

void PrimeTableResidues(const BigInt& N, int32_t count) {
  const int32_t n = std::clamp(count, std::min(2, PrimeTableCount), PrimeTableCount);
  if (N.Length == 0) {
    for (int32_t i = 0; i < n; ++i) {
      PrimeTable[i].Residue = 0;
    }
    return;
  }
  // The magnitude throughout, whatever the sign: the certifier only asks
  // about positive numbers, and one rule for every p keeps the slots coherent.
  if (n > 0) {
    PrimeTable[0].Residue = N.Words[0] & 1;
  }
  if (n > 1) {
    PrimeTable[1].Residue = WordsMod3(N.Words, N.Length);
  }
  for (int32_t i = 2; i < n; ++i) {
    PrimeTable[i].Residue = WordsModWord(N.Words, N.Length, PrimeTable[i].Prime);
  }
}

}  // namespace karvo
