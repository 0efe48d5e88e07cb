#include "DataFileWriters.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <tuple>

#include "ClassNumberSieve.h"
#include "classpolys/DataFiles.h"

namespace karvo {

namespace {

constexpr uint32_t kSegment = uint32_t{1} << 20;

void Fail(const std::string& what) { throw std::runtime_error(what); }

void PutWord(std::string& bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes += static_cast<char>((word >> shift) & 0xFF);
  }
}

// The unread header: what the file is, for a person with a hex dump.
std::string Header(const std::string& text) {
  std::string header = text.substr(0, DataFileHeaderSize - 1) + "\n";
  header.resize(DataFileHeaderSize, '\0');
  return header;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    Fail("cannot write " + path);
  }
}

}  // namespace

std::vector<TKeyClass> AdmissibleKeys(uint32_t limit, uint32_t maxRatio) {
  std::vector<TKeyClass> keys;
  for (uint32_t lo = 0; lo < limit; lo += std::min(kSegment, limit - lo)) {
    const uint32_t hi = lo + std::min(kSegment, limit - lo);
    const std::vector<uint32_t> h = SieveClassNumbers(lo, hi);
    const std::vector<uint8_t> t = SievePrimeDiscriminantCounts(lo, hi);
    for (uint32_t d = lo; d < hi; ++d) {
      const uint32_t factors = t[d - lo];
      if (factors == 0 || factors > KeyMaxFactors) {
        continue;
      }
      const TKeyClass key{d, h[d - lo], uint32_t{1} << (factors - 1)};
      // Genus theory: g divides h for a fundamental discriminant.
      if (key.H == 0 || key.H % key.G != 0) {
        Fail("class number " + std::to_string(key.H) + " of key " + std::to_string(d) +
             " is no multiple of its " + std::to_string(key.G) + " genera");
      }
      if (key.H / key.G <= maxRatio) {
        keys.push_back(key);
      }
    }
  }
  std::sort(keys.begin(), keys.end(), [](const TKeyClass& x, const TKeyClass& y) {
    return std::tuple(x.H / x.G, x.H, x.D) < std::tuple(y.H / y.G, y.H, y.D);
  });
  return keys;
}

std::vector<std::vector<uint32_t>> DealDiscriminantTables(const std::vector<TKeyClass>& keys,
                                                          size_t& leftOut) {
  std::vector<std::vector<uint32_t>> tables;
  size_t next = 0;
  for (int32_t k = 1; k <= DiscriminantTableLevels; ++k) {
    // Positions that stand for the N-1 and N+1 steps, or where the search
    // starts, are never read as keys.
    std::vector<uint32_t> table(k == 1 ? 2 : 1, 0);
    const size_t size = DiscriminantTableSizes[k - 1];
    while (table.size() < size && next < keys.size()) {
      table.push_back(keys[next++].D);
    }
    table.resize(size, 0);
    tables.push_back(std::move(table));
  }
  leftOut = keys.size() - next;
  return tables;
}

void WriteDiscriminantTable(const std::string& path, int32_t k,
                            const std::vector<uint32_t>& entries) {
  std::string bytes = Header("Karvo discriminant table " + std::to_string(k) +
                             ", format 1: keys by (h/g, h, d)");
  PutWord(bytes, static_cast<uint32_t>(entries.size()) + 1);
  for (const uint32_t entry : entries) {
    PutWord(bytes, entry);
  }
  WriteFile(path, bytes);
}

void WriteClassGroupFile(const std::string& path, int32_t f,
                         const std::vector<TClassGroupRecord>& records) {
  const auto n = static_cast<uint32_t>(records.size() + 2);
  uint32_t offset = DataFileHeaderSize + 4 + 8 * n;
  std::string keys;
  std::string offsets;
  std::string body;
  PutWord(keys, ClassGroupFirstKey);
  PutWord(offsets, offset);  // the first sentinel's empty record
  uint32_t previous = ClassGroupFirstKey;
  for (const TClassGroupRecord& record : records) {
    if (record.Key <= previous || record.Key == ClassGroupLastKey || record.Bytes.empty() ||
        record.Bytes.size() > ClassGroupRecordMax) {
      Fail("class-group record of key " + std::to_string(record.Key) + " out of order or size");
    }
    previous = record.Key;
    PutWord(keys, record.Key);
    PutWord(offsets, offset);
    body.append(record.Bytes.begin(), record.Bytes.end());
    offset += static_cast<uint32_t>(record.Bytes.size());
  }
  PutWord(keys, ClassGroupLastKey);
  PutWord(offsets, offset);  // the end of the file
  std::string bytes = Header("Karvo class-group file " + std::to_string(f) +
                             ", format 1: " + std::to_string(records.size()) + " records");
  PutWord(bytes, n);
  WriteFile(path, bytes + keys + offsets + body);
}

}  // namespace karvo
