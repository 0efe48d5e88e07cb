#pragma once

// Class numbers and genus counts of every discriminant key in a range at
// once, by sieving: each reduced form adds its weight to the key it belongs
// to, so a whole range costs about as much as its forms, not one
// enumeration per key.

#include <cstdint>
#include <vector>

namespace karvo {

// A key d stands for the discriminant −d when d ≡ 3 (mod 4), else −4d.
// Reduced forms of that discriminant are counted as the full enumeration
// counts them: 1 for an ambiguous form or one with a = c, 2 otherwise.
// Entries of keys ≡ 0 (mod 4) stay 0. Result index: d − lo.
std::vector<uint32_t> SieveClassNumbers(uint32_t lo, uint32_t hi);

// Number of prime discriminant factors t of the key's discriminant, or 0
// when d is not squarefree (then the discriminant is not fundamental).
std::vector<uint8_t> SievePrimeDiscriminantCounts(uint32_t lo, uint32_t hi);

}  // namespace karvo
