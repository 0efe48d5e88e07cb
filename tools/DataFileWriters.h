#pragma once

// The discriminant keys of the five tables and the writers of the nine data
// files, in the layouts the readers of classpolys/DataFiles.h impose.

#include <cstdint>
#include <string>
#include <vector>

namespace karvo {

inline constexpr uint32_t KeyLimit = uint32_t{1} << 25;
inline constexpr uint32_t KeyMaxRatio = 80;  // h/g
inline constexpr uint32_t KeyMaxFactors = 6;  // prime discriminant factors, g ≤ 32

struct TKeyClass {
  uint32_t D = 0;
  uint32_t H = 0;  // class number
  uint32_t G = 0;  // number of genera
};

// Every squarefree d < limit whose discriminant (−d or −4d, fundamental) has
// at most KeyMaxFactors prime discriminant factors and h/g ≤ maxRatio, in
// the order the engine should try them: by h/g, then h, then d.
std::vector<TKeyClass> AdmissibleKeys(uint32_t limit, uint32_t maxRatio);

// The five tables (n_K entries each) filled in that order after their
// reserved positions (1 and 2 of table 1, 1 of the others), which hold 0.
// `leftOut` gets the keys that did not fit.
std::vector<std::vector<uint32_t>> DealDiscriminantTables(const std::vector<TKeyClass>& keys,
                                                          size_t& leftOut);

void WriteDiscriminantTable(const std::string& path, int32_t k,
                            const std::vector<uint32_t>& entries);

struct TClassGroupRecord {
  uint32_t Key = 0;
  std::vector<uint8_t> Bytes;
};
// Records sorted by key, keys strictly between the two sentinels, each of 1
// to 256 bytes; the sentinel keys are added here.
void WriteClassGroupFile(const std::string& path, int32_t f,
                         const std::vector<TClassGroupRecord>& records);

}  // namespace karvo
