#include "arith/PrimeGenerator.h"

#include <algorithm>
#include <cstring>

namespace karvo {

namespace {

constexpr uint32_t SieveBytes = TPrimeGenerator::SieveBytes;

// Crosses out j, j + p, j + 2p, ... below SieveBytes and returns the first
// index past the end, minus SieveBytes: the offset of p in the next segment.
// j may already lie past the end; then only the offset is rebased.
inline uint32_t CrossOut(uint8_t* sieve, uint32_t j, uint32_t p) {
  const uint32_t p2 = 2 * p;
  const uint32_t p3 = 3 * p;
  const uint32_t p4 = 4 * p;
  // Four crossings per round while the last one is inside. The wrap test
  // keeps the loop bounded should the index ever near 2^32; with indices
  // below 2^17 it never fires.
  while (j + p3 < SieveBytes && j + p3 > j) {
    sieve[j] = 1;
    sieve[j + p] = 1;
    sieve[j + p2] = 1;
    sieve[j + p3] = 1;
    j += p4;
  }
  while (j < SieveBytes) {
    sieve[j] = 1;
    j += p;
  }
  return j - SieveBytes;
}

}  // namespace

Word TPrimeGenerator::Init() {
  SkipToSegment(0);
  return 2;
}

void TPrimeGenerator::SkipToSegment(int32_t s) {
  Segment = std::clamp(s, 0, SegmentCount);
  // Index 0 of segment 0 stands for 1, which is not prime.
  Position = Segment == 0 ? 1 : 0;
  Sieve.fill(0);
  if (Segment < SegmentCount) {
    StartSegment();
  }
}

void TPrimeGenerator::StartSegment() {
  const uint64_t base = static_cast<uint64_t>(Segment) * SegmentNumbers;
  for (int32_t k = 0; k < OddSmallPrimeCount; ++k) {
    const uint64_t p = SmallPrimes[k + 2];
    // First odd multiple of p at or above base, and at least 3p so that p
    // itself survives in segment 0.
    uint64_t m = std::max((base + p - 1) / p, uint64_t{3}) * p;
    if ((m & 1) == 0) {
      m += p;
    }
    // Below 2^17: the multiple lies at most 2p past base.
    const auto j = static_cast<uint32_t>((m - base) >> 1);
    NextOffsets[k] = CrossOut(Sieve.data(), j, static_cast<uint32_t>(p));
  }
}

void TPrimeGenerator::SieveSegment() {
  uint8_t* const sieve = Sieve.data();
  for (int32_t k = 0; k < OddSmallPrimeCount; ++k) {
    NextOffsets[k] = CrossOut(sieve, NextOffsets[k], SmallPrimes[k + 2]);
  }
}

Word TPrimeGenerator::Next() {
  while (Segment < SegmentCount) {
    // Find the next byte still 0; memchr scans many bytes per step, which
    // matters since composites outnumber primes by 10 to 1 and more.
    if (Position < SieveBytes) {
      const void* hit = std::memchr(Sieve.data() + Position, 0, SieveBytes - Position);
      if (hit != nullptr) {
        const auto i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - Sieve.data());
        Position = i + 1;
        return static_cast<Word>(Segment) * SegmentNumbers + 2 * i + 1;
      }
    }
    // Segment used up: clear it in one pass and sieve the next one.
    Position = 0;
    ++Segment;
    if (Segment == SegmentCount) {
      return 1;
    }
    Sieve.fill(0);
    SieveSegment();
  }
  return 1;
}

}  // namespace karvo
