#pragma once

// The table of the primes below 2^MSC with their word inverses and a slot for
// the residue of the current number modulo each of them, used by trial
// division and by the certifier's sieving of candidate orders.

#include <cstdint>

#include "arith/BigInt.h"
#include "arith/Words.h"

namespace karvo {

struct TPrimeEntry {
  Word Prime;
  Word Inverse;  // Prime^-1 mod 2^32; 0 for 2
  Word Residue;  // N mod Prime, filled by PrimeTableResidues
};

// PrimeTableCount entries, in increasing order of the primes; null when empty.
extern TPrimeEntry* PrimeTable;
extern int32_t PrimeTableCount;

// π(2^k), the number of primes below 2^k, for k = 1..30 (others: 0).
int32_t PrimeCountPowerOfTwo(int32_t k);
// MSC clamped to the table sizes the program supports, 2^20 .. 2^26.
inline constexpr int32_t MinPrimeTableBits = 20;
inline constexpr int32_t MaxPrimeTableBits = 26;
int32_t PrimeTableBits(int32_t msc);
// π(2^m) for m = PrimeTableBits(Settings.MSC).
int32_t WantedPrimeTableSize();

// Builds the table with WantedPrimeTableSize() entries unless it already has
// that many. The old table is freed first. An abort raised by the poll leaves
// the table empty; so does lack of memory, which is not raised: start-up
// compares PrimeTableCount with the wanted size.
void BuildPrimeTable();
// Frees the table (shutdown).
void ReleasePrimeTable();

// Residue slots of the first count entries := |N| mod p. The slots of 2 and 3
// are always filled, even for count < 2; count is capped at PrimeTableCount.
void PrimeTableResidues(const BigInt& N, int32_t count);

}  // namespace karvo
