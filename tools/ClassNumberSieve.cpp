#include "ClassNumberSieve.h"

#include <algorithm>

#include "arith/SmallPrimes.h"

namespace karvo {

namespace {

uint64_t CeilDiv(uint64_t x, uint64_t y) { return (x + y - 1) / y; }

// Adds the weights of the forms with first coefficient a and middle
// coefficient b for every c ≥ a with key = scale·a·c − b² in [lo, hi) and
// c ≡ residue (mod step / a); weight 1 at c = a, else `weight`.
void AddProgression(std::vector<uint32_t>& h, uint64_t lo, uint64_t hi, uint64_t scale,
                    uint64_t a, uint64_t b, uint64_t modulus, uint64_t residue,
                    uint32_t weight) {
  uint64_t c = std::max(a, CeilDiv(lo + b * b, scale * a));
  c += (residue + modulus - c % modulus) % modulus;
  uint64_t key = scale * a * c - b * b;
  const uint64_t step = scale * a * modulus;
  if (c == a && key < hi) {
    h[key - lo] += 1;
    key += step;
  }
  for (; key < hi; key += step) {
    h[key - lo] += weight;
  }
}

}  // namespace

std::vector<uint32_t> SieveClassNumbers(uint32_t lo, uint32_t hi) {
  std::vector<uint32_t> h(hi - lo, 0);
  // Keys ≡ 3 (mod 4): forms (a, b, c) of discriminant −d, b odd, 0 < b ≤ a ≤ c,
  // d = 4ac − b² ≥ 3a².
  for (uint64_t a = 1; 3 * a * a < hi; ++a) {
    for (uint64_t b = 1; b <= a; b += 2) {
      AddProgression(h, lo, hi, 4, a, b, 1, 0, b == a ? 1 : 2);
    }
  }
  // Keys ≡ 1, 2 (mod 4): forms (a, 2b, c) of discriminant −4d, 0 ≤ 2b ≤ a ≤ c,
  // d = ac − b² ≥ 3a²/4; the residue of c mod 4 picks the keys' residues.
  for (uint64_t a = 1; 3 * a * a < 4 * uint64_t{hi}; ++a) {
    for (uint64_t b = 0; 2 * b <= a; ++b) {
      const uint32_t weight = b == 0 || 2 * b == a ? 1 : 2;
      for (uint64_t r = 0; r < 4; ++r) {
        const uint64_t key = (a * r + 4 * 4 - b * b % 4) % 4;
        if (key == 1 || key == 2) {
          AddProgression(h, lo, hi, 1, a, b, 4, r, weight);
        }
      }
    }
  }
  return h;
}

std::vector<uint8_t> SievePrimeDiscriminantCounts(uint32_t lo, uint32_t hi) {
  const size_t size = hi - lo;
  std::vector<uint32_t> product(size, 1);
  std::vector<uint8_t> t(size, 0);
  std::vector<bool> squarefree(size, true);
  for (size_t i = 1; i < SmallPrimes.size(); ++i) {
    const uint64_t p = SmallPrimes[i];
    if (p * p >= hi) {
      break;
    }
    for (uint64_t d = CeilDiv(lo, p) * p; d < hi; d += p) {
      product[d - lo] *= static_cast<uint32_t>(p);
      ++t[d - lo];
    }
    for (uint64_t d = CeilDiv(lo, p * p) * p * p; d < hi; d += p * p) {
      squarefree[d - lo] = false;
    }
  }
  for (uint64_t d = lo; d < hi; ++d) {
    const size_t i = d - lo;
    // An odd prime above √hi is left over at most once; the discriminant of
    // a key ≡ 1 (mod 4) has the factor −4 besides those of d.
    t[i] = d == 0 || !squarefree[i]
               ? 0
               : static_cast<uint8_t>(t[i] + (product[i] != d) + (d % 4 == 1));
  }
  return t;
}

}  // namespace karvo
