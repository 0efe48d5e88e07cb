// karvo-gen-data FOLDER: writes karvo.xd1..xd5 and karvo.xp1..xp4 into
// FOLDER and prints what went into them. The output depends on nothing but
// this code: two runs give the same bytes.

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "DataFileWriters.h"
#include "TowerRecords.h"
#include "classpolys/DataFiles.h"

namespace karvo {
namespace {

void PrintKeyCounts(const std::vector<TKeyClass>& keys, size_t leftOut) {
  std::map<uint32_t, size_t> byRatio;
  for (const TKeyClass& key : keys) {
    ++byRatio[key.H / key.G];
  }
  std::printf("%zu keys with h/g <= %u, %zu left out\nkeys per h/g:", keys.size(), KeyMaxRatio,
              leftOut);
  for (const auto& [ratio, count] : byRatio) {
    std::printf("%s%u:%zu", ratio % 10 == 1 ? "\n  " : " ", ratio, count);
  }
  std::printf("\n");
}

// The keys of table k: h/g and h ranges, largest d, keys per number of genera.
void PrintTable(int32_t k, std::vector<TKeyClass>::const_iterator first, size_t count) {
  uint32_t hLow = UINT32_MAX, hHigh = 0, dHigh = 0;
  size_t byGenera[KeyMaxFactors] = {};
  for (auto key = first; key != first + static_cast<ptrdiff_t>(count); ++key) {
    hLow = std::min(hLow, key->H), hHigh = std::max(hHigh, key->H);
    dHigh = std::max(dHigh, key->D);
    ++byGenera[std::countr_zero(key->G)];
  }
  const TKeyClass& last = first[static_cast<ptrdiff_t>(count) - 1];
  std::printf("table %d: %zu keys, h/g %u..%u, h %u..%u, largest d %u, g = 1..32:", k, count,
              first->H / first->G, last.H / last.G, hLow, hHigh, dHigh);
  for (const size_t n : byGenera) {
    std::printf(" %zu", n);
  }
  std::printf("\n");
}

// The records of the tower generator's file, by class-group file.
std::vector<std::vector<TClassGroupRecord>> TowerRecords(const std::string& path) {
  std::vector<std::vector<TClassGroupRecord>> files(ClassGroupFileCount);
  if (path.empty()) {
    return files;
  }
  std::ifstream in(path);
  if (!in) {
    throw std::runtime_error("cannot read " + path);
  }
  for (std::string line; std::getline(in, line);) {
    TClassGroupRecord record;
    if (!line.empty() && line[0] != '#' && ParseTowerLine(line, record.Key, record.Bytes) &&
        !record.Bytes.empty()) {
      files[static_cast<size_t>(ClassGroupFileNumber(record.Key) - 1)].push_back(record);
    }
  }
  for (std::vector<TClassGroupRecord>& records : files) {
    std::sort(records.begin(), records.end(),
              [](const auto& x, const auto& y) { return x.Key < y.Key; });
  }
  return files;
}

void WriteTables(const std::string& folder) {
  const std::vector<TKeyClass> keys = AdmissibleKeys(KeyLimit, KeyMaxRatio);
  size_t leftOut = 0;
  const std::vector<std::vector<uint32_t>> tables = DealDiscriminantTables(keys, leftOut);
  PrintKeyCounts(keys, leftOut);
  size_t dealt = 0;
  for (int32_t k = 1; k <= DiscriminantTableLevels; ++k) {
    const std::vector<uint32_t>& table = tables[static_cast<size_t>(k - 1)];
    PrintTable(k, keys.begin() + static_cast<ptrdiff_t>(dealt),
               table.size() - (k == 1 ? 2 : 1));
    dealt += table.size() - (k == 1 ? 2 : 1);
    WriteDiscriminantTable(folder + "/" + DiscriminantTableName(k), k, table);
  }
}

// The class-group files from TOWERS (none: empty files with their sentinels).
int Generate(const std::string& folder, const std::string& towers, bool classGroupsOnly) {
  const auto start = std::chrono::steady_clock::now();
  if (!classGroupsOnly) {
    WriteTables(folder);
  }
  const std::vector<std::vector<TClassGroupRecord>> records = TowerRecords(towers);
  for (int32_t f = 1; f <= ClassGroupFileCount; ++f) {
    const std::vector<TClassGroupRecord>& file = records[static_cast<size_t>(f - 1)];
    std::printf("%s: %zu tower records\n", ClassGroupFileName(f).c_str(), file.size());
    WriteClassGroupFile(folder + "/" + ClassGroupFileName(f), f, file);
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("written to %s in %.1f s\n", folder.c_str(), seconds.count());
  return 0;
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  const bool classGroupsOnly = argc > 1 && std::string(argv[1]) == "--class-groups-only";
  const int first = classGroupsOnly ? 2 : 1;
  if (argc - first < 1 || argc - first > 2) {
    std::fprintf(stderr, "usage: karvo-gen-data [--class-groups-only] FOLDER [TOWERS]\n");
    return 2;
  }
  try {
    return karvo::Generate(argv[first], argc - first == 2 ? argv[first + 1] : "",
                           classGroupsOnly);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "karvo-gen-data: %s\n", e.what());
    return 1;
  }
}
