#include "classpolys/DataFiles.h"

#include <bit>
#include <cstdio>
#include <memory>

#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"

namespace karvo {

static_assert(std::endian::native == std::endian::little, "the data files are little-endian");

std::vector<uint32_t> DiscriminantTables[DiscriminantTableLevels];

namespace {

constexpr int kUnit = 1002;
constexpr int kReadGaloisData = 102;
constexpr uint64_t kCountOffset = DataFileHeaderSize;
constexpr uint64_t kKeysOffset = kCountOffset + 4;

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

TFile OpenInProgramFolder(const std::string& name) {
  return TFile(std::fopen((ProgramFolder + name).c_str(), "rb"));
}

bool ReadAt(std::FILE* file, uint64_t offset, void* data, size_t size) {
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
         std::fread(data, 1, size, file) == size;
}

uint64_t FileSize(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) {
    return 0;
  }
  const long size = std::ftell(file);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// The search of the entries 1 .. n − 2 (the first and last are sentinels);
// -1 when m is not there.
int64_t FindKey(const std::vector<uint32_t>& keys, uint32_t m) {
  int64_t low = 1;
  int64_t high = static_cast<int64_t>(keys.size()) - 2;
  int64_t previous = -1;
  for (;;) {
    const int64_t mid = (low + high) / 2;
    if (mid == previous || high < low) {
      return -1;
    }
    const uint32_t key = keys[static_cast<size_t>(mid)];
    if (key > m) {
      high = mid - 1;
    } else if (key < m) {
      low = mid + 1;
    } else {
      return mid;
    }
    previous = mid;
  }
}

// Keys strictly increasing, records in file order, after the offset table
// and inside the file.
bool LayoutIsSound(const std::vector<uint32_t>& keys, const std::vector<uint32_t>& offsets,
                   uint64_t recordsStart, uint64_t size) {
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys[i] <= keys[i - 1] || offsets[i] < offsets[i - 1]) {
      return false;
    }
  }
  return offsets.front() >= recordsStart && offsets.back() <= size;
}

// Weber code used when the record's invariant type names none.
int32_t WeberCodeForKey(uint32_t m) {
  const bool three = m % 3 == 0;
  switch (m % 8) {
    case 1:
    case 2:
    case 6:
      return three ? -6 : -2;
    case 3:
      return 2;
    case 5:
      return three ? -12 : -4;
    case 7:
      return three ? -3 : -1;
    default:
      return 0;
  }
}

void SetInvariant(uint8_t type, uint32_t m, TGaloisDat& record) {
  struct TType {
    uint8_t Type;
    int32_t Code;
    int32_t Constant;
  };
  static constexpr TType types[] = {{0, 0, 0},   {1, 0, 1},    {3, 3, 729}, {5, 5, 125},
                                    {7, 7, 49},  {13, 13, 13}, {255, 0, -1}};
  for (const TType& entry : types) {
    if (entry.Type == type) {
      record.Code = entry.Code == 0 ? WeberCodeForKey(m) : entry.Code;
      record.InvariantConstant = entry.Constant;
      return;
    }
  }
  InternalError(kUnit, kReadGaloisData, 3);
}

}  // namespace

bool DecodeGaloisRecord(const uint8_t (&bytes)[ClassGroupRecordMax], uint32_t length,
                        uint32_t m, TGaloisDat& record) {
  uint32_t at = 0;
  const int32_t r = bytes[at++];
  if (r < 1 || r > 3) {
    return false;
  }
  record.ClassNumber = 1;
  for (int32_t i = 0; i < r; ++i) {
    record.Orders.push_back(bytes[at++]);
    record.ClassNumber *= record.Orders.back();
  }
  for (int32_t i = 0; i < r; ++i) {
    record.Generators.push_back(bytes[at++]);
  }
  record.LevelCount = bytes[at++];
  if (record.LevelCount < 2 || record.LevelCount > 6) {
    return false;
  }
  int64_t degrees = 1;  // six bytes overflow 32 bits
  for (int32_t i = 0; i < record.LevelCount; ++i) {
    record.LevelDegrees[i] = bytes[at++];
    degrees *= record.LevelDegrees[i];
  }
  const uint8_t type = bytes[at++];
  for (int32_t i = 0; i + 1 < record.LevelCount; ++i) {
    record.LevelIndices[i] = bytes[at++];
  }
  const int32_t p = bytes[at++];
  if (at > length) {
    return false;
  }
  SetInvariant(type, m, record);
  record.PrecisionWords =
      GaloisPrecisionWords(p, record.ClassNumber, record.LevelDegrees[record.LevelCount - 1]);
  // The tower and the walk must describe the same group.
  for (int32_t i = 0; i < record.LevelCount; ++i) {
    if (record.LevelDegrees[i] < 2) {
      return false;
    }
  }
  for (const int32_t generator : record.Generators) {
    if (generator >= record.ClassNumber) {
      return false;
    }
  }
  return degrees == record.ClassNumber;
}

std::string DiscriminantTableName(int32_t k) {
  return std::string(ProgramBaseName) + DiscriminantTableExtensions[k - 1];
}

std::string ClassGroupFileName(int32_t f) {
  return std::string(ProgramBaseName) + ClassGroupFileExtensions[f - 1];
}

bool LoadDiscriminantTable(int32_t k) {
  if (k < 1 || k > DiscriminantTableLevels) {
    return false;
  }
  std::vector<uint32_t>& table = DiscriminantTables[k - 1];
  table.clear();
  const uint32_t n = DiscriminantTableSizes[k - 1];
  std::vector<uint32_t> words(n + 1);
  const TFile file = OpenInProgramFolder(DiscriminantTableName(k));
  if (!file || !ReadAt(file.get(), kCountOffset, words.data(), words.size() * 4) ||
      words[0] != n + 1) {
    return false;
  }
  words[0] = 0;
  table = std::move(words);
  return true;
}

void FreeDiscriminantTable(int32_t k) {
  if (k >= 1 && k <= DiscriminantTableLevels) {
    std::vector<uint32_t>().swap(DiscriminantTables[k - 1]);
  }
}

int32_t ClassGroupFileNumber(uint32_t m) {
  switch (m % 8) {
    case 1:
    case 5:
      return 1;
    case 2:
    case 6:
      return 2;
    case 3:
      return 3;
    case 7:
      return 4;
    default:
      InternalError(kUnit, kReadGaloisData, 1);
  }
}

int32_t GaloisPrecisionWords(int32_t p, int32_t classNumber, int32_t lastDegree) {
  int32_t allowance = 4;
  if (lastDegree >= 2 && lastDegree <= 9) {
    allowance = 1;
  } else if (lastDegree >= 10 && lastDegree <= 19) {
    allowance = 2;
  } else if (lastDegree >= 20 && lastDegree <= 64) {
    allowance = 3;
  }
  return 2 * p + (classNumber > 63 ? 1 : 0) + allowance;
}

bool ReadGaloisData(TGaloisDat& record, uint32_t m) {
  record = TGaloisDat();
  const TFile file = OpenInProgramFolder(ClassGroupFileName(ClassGroupFileNumber(m)));
  if (!file) {
    return false;
  }
  const uint64_t size = FileSize(file.get());
  uint32_t n = 0;
  if (!ReadAt(file.get(), kCountOffset, &n, 4) || kKeysOffset + 8 * uint64_t{n} > size) {
    return false;
  }
  std::vector<uint32_t> keys(n);
  if (!ReadAt(file.get(), kKeysOffset, keys.data(), 4 * size_t{n})) {
    return false;
  }
  const int64_t i = FindKey(keys, m);
  std::vector<uint32_t> offsets(n);
  const uint64_t offsetsStart = kKeysOffset + 4 * uint64_t{n};
  if (i < 0 || !ReadAt(file.get(), offsetsStart, offsets.data(), 4 * size_t{n}) ||
      !LayoutIsSound(keys, offsets, offsetsStart + 4 * uint64_t{n}, size)) {
    return false;
  }
  const uint32_t start = offsets[static_cast<size_t>(i)];
  const uint32_t length = offsets[static_cast<size_t>(i) + 1] - start;
  uint8_t bytes[ClassGroupRecordMax] = {};
  if (length > ClassGroupRecordMax || !ReadAt(file.get(), start, bytes, length) ||
      !DecodeGaloisRecord(bytes, length, m, record)) {
    record = TGaloisDat();
    return false;
  }
  record.Key = m;
  return true;
}

}  // namespace karvo
