#pragma once

// The data files beside the program. Five discriminant tables
// (karvo.xd1..xd5): the keys the curve step tries at each effort level, in
// the order it tries them. Four class-group files (karvo.xp1..xp4): for
// selected keys, the class group's structure and a tower of subfields that
// finds a root without the whole class polynomial. Little-endian; a 64-byte
// header that nothing reads.

#include <cstdint>
#include <string>
#include <vector>

#include "arith/Words.h"

namespace karvo {

inline constexpr int32_t DiscriminantTableLevels = 5;
inline constexpr int32_t ClassGroupFileCount = 4;
inline constexpr uint32_t DataFileHeaderSize = 64;
inline constexpr uint32_t ClassGroupRecordMax = 256;
inline constexpr uint32_t ClassGroupFirstKey = 0;
inline constexpr uint32_t ClassGroupLastKey = 0xFFFFFFFF;

// n_K, the entries of table K at index K − 1.
inline constexpr uint32_t DiscriminantTableSizes[DiscriminantTableLevels] = {
    97452, 153280, 214756, 269113, 139268};

// Table K at index K − 1 while loaded: n_K + 1 words, word 0 is 0 and the
// entries are words 1 .. n_K; empty otherwise.
extern std::vector<uint32_t> DiscriminantTables[DiscriminantTableLevels];

// "karvo.xd1" .. "karvo.xd5", "karvo.xp1" .. "karvo.xp4".
std::string DiscriminantTableName(int32_t k);
std::string ClassGroupFileName(int32_t f);

// From ProgramFolder. False for k outside 1..5, a missing or short file, or
// a count word other than n_K + 1; bytes after the last entry are ignored.
bool LoadDiscriminantTable(int32_t k);
void FreeDiscriminantTable(int32_t k);

// The class-group file of key m: 1 for m ≡ 1, 5 (mod 8), 2 for 2, 6, 3 for 3,
// 4 for 7; internal error 1002.102.1 otherwise.
int32_t ClassGroupFileNumber(uint32_t m);

struct TGaloisDat {
  int32_t Code = 0;
  uint32_t Key = 0;
  int32_t ClassNumber = 0;
  int32_t LevelCount = 0;
  int32_t InvariantConstant = 0;
  int32_t PrecisionWords = 0;
  int32_t LevelDegrees[6] = {};
  int32_t LevelIndices[5] = {};
  TDynSInt32Array Orders;
  TDynSInt32Array Generators;
};

// Looks m up in its class-group file (opened for this call only) and decodes
// its record. False when m is not there, and when the file or the record is
// damaged in any way (counts, order of keys or offsets, sizes, fields out of
// range or inconsistent), so that the caller takes its fallback route.
// Internal error 1002.102.3 for an invariant type outside the list.
bool ReadGaloisData(TGaloisDat& record, uint32_t m);

// One record: r, orders, generators, L, degrees, invariant type, L − 1
// indices, precision; bytes past length are zero. False when the fields
// are out of range or inconsistent.
bool DecodeGaloisRecord(const uint8_t (&bytes)[ClassGroupRecordMax], uint32_t length,
                        uint32_t m, TGaloisDat& record);

// 2p, one more above class number 63, and an allowance by the last level's
// degree.
int32_t GaloisPrecisionWords(int32_t p, int32_t classNumber, int32_t lastDegree);

}  // namespace karvo
