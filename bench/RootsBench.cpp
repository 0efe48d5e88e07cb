// karvo-bench-roots [KEYS [BITS...]]: the time of FindInvariantRoot for KEYS
// keys (default 20) with h/g = 12, 24, 48 and 80 (the tables end at 80), by
// the tower where the committed class-group files hold a record, and by the
// genus route (the direct route for odd h) without them, at N of 1000 and
// 3000 bits, in CSV:
//
//   d,h,g,route,bits,karvo_ms
//
// N = u² + m is a probable prime, which splits completely in the ring class
// field. One call per case: the time includes the record's look-up, the
// invariant values and the root finding.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "SplitPrime.h"
#include "TowerRecords.h"
#include "arith/BigMod.h"
#include "base/Globals.h"
#include "classpolys/ClassStats.h"
#include "classpolys/DataFiles.h"
#include "classpolys/InvariantRoot.h"
#include "classpolys/TowerInternal.h"

namespace karvo {
namespace {

bool Fundamental(uint32_t m) {
  if (m % 4 == 0) return false;
  for (uint32_t p = 3; p * p <= m; p += 2) {
    if (m % (p * p) == 0) return false;
  }
  return true;
}

// Keys of h/g = q with a tower record first, then others the tower is tried for.
std::vector<uint32_t> Keys(uint32_t q, size_t count, const std::vector<uint32_t>& recorded) {
  std::vector<uint32_t> keys;
  for (const uint32_t m : recorded) {
    if (keys.size() < count && uint32_t(ClassNumber(m) / GenusCount(m)) == q) {
      keys.push_back(m);
    }
  }
  for (uint32_t m = 5; keys.size() < count && m < (1u << 25); ++m) {
    const int32_t h = ClassNumber(m), g = GenusCount(m);
    if (Fundamental(m) && uint32_t(h / g) == q && TowerApplies(h, g) &&
        std::find(keys.begin(), keys.end(), m) == keys.end()) {
      keys.push_back(m);
    }
  }
  return keys;
}

std::vector<uint32_t> RecordedKeys(const std::string& path) {
  std::vector<uint32_t> keys;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    uint32_t m = 0;
    std::vector<uint8_t> bytes;
    if (ParseTowerLine(line, m, bytes) && !bytes.empty()) keys.push_back(m);
  }
  return keys;
}

double RootMs(uint32_t m, const BigInt& N, const BigInt& c) {
  BigInt curve[4];
  TQStarRootList roots;
  const auto start = std::chrono::steady_clock::now();
  const int32_t n = FindInvariantRoot(curve, N, c, roots, m);
  const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
  return n >= 1 ? ms.count() : -1;
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  using namespace karvo;
  BaseStartup();
  const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
  std::vector<int32_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 3000};
  const std::vector<uint32_t> recorded = RecordedKeys(KARVO_DATA_DIR "/towers.tsv");
  std::printf("d,h,g,route,bits,karvo_ms\n");
  for (const uint32_t q : {12u, 24u, 48u, 80u}) {
    for (const uint32_t m : Keys(q, count, recorded)) {
      const int32_t h = ClassNumber(m), g = GenusCount(m);
      for (const int32_t bits : sizes) {
        BigInt N, c;
        bench::SplitPrime(N, m, bits, 1);
        BigNonResidue(c, N);
        SetProgramFolder(KARVO_DATA_DIR);
        TGaloisDat record;
        if (ReadGaloisData(record, m)) {
          std::printf("%u,%d,%d,tower,%d,%.1f\n", m, h, g, bits, RootMs(m, N, c));
        }
        SetProgramFolder(KARVO_BENCH_EMPTY_DIR);
        std::printf("%u,%d,%d,%s,%d,%.1f\n", m, h, g, h % 2 == 0 ? "genus" : "direct", bits,
                    RootMs(m, N, c));
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
