#pragma once

// Segmented sieve of Eratosthenes over the primes below 2^32.

#include <array>
#include <cstdint>

#include "arith/SmallPrimes.h"
#include "arith/Words.h"

namespace karvo {

// Enumerates 2, 3, 5, ... up to 4294967291 in increasing order. Each segment
// covers 65536 integers with one byte per odd number, so the sieve (32 KB)
// stays in the cache; every odd small prime carries the index of its next
// multiple from one segment to the following one. About 59 KB: allocate it on
// the heap.
class TPrimeGenerator {
 public:
  static constexpr int32_t SegmentCount = 65536;    // 2^32 / SegmentNumbers
  static constexpr uint32_t SegmentNumbers = 65536; // integers per segment
  static constexpr uint32_t SieveBytes = SegmentNumbers / 2;

  // Prepares the generator for 3 and returns the first prime, 2.
  Word Init();
  // The next prime, or 1 once the primes below 2^32 are exhausted (and on
  // every later call).
  Word Next();
  // Restarts at segment s (0..SegmentCount; the last value means exhausted):
  // Next then returns the odd primes from s·65536 on. Segment 0 starts at 3,
  // as after Init.
  void SkipToSegment(int32_t s);

 private:
  // Computes every sieving prime's first odd multiple in the current segment
  // (never the prime itself) and sieves the segment from there.
  void StartSegment();
  // Sieves the current segment with the carried offsets.
  void SieveSegment();

  int32_t Segment = 0;    // block of SegmentNumbers integers being sieved
  uint32_t Position = 0;  // next sieve byte to examine
  // Byte i stands for Segment·65536 + 2i + 1; 1 means crossed out.
  std::array<uint8_t, SieveBytes> Sieve{};
  // Per odd small prime (SmallPrimes[k + 2]), the sieve index of its next
  // multiple counted from the start of the coming segment.
  std::array<uint32_t, OddSmallPrimeCount> NextOffsets{};
};

}  // namespace karvo
