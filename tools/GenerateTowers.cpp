// karvo-gen-towers RECORDS FOLDER TABLE... [--quotient Q] : finds the tower
// records of the keys of the given discriminant tables (1..5, read from
// FOLDER), in table order, appending one line per key to RECORDS and
// skipping the keys already there, so that an interrupted run resumes. With
// --quotient only the keys of h/g = Q are tried.
// karvo-gen-towers --check RECORDS COUNT : recomputes the first COUNT lines
// and compares them with the file.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "TowerRecords.h"
#include "base/Globals.h"
#include "classpolys/ClassStats.h"
#include "classpolys/DataFiles.h"
#include "classpolys/TowerInternal.h"

namespace karvo {
namespace {

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  }
  return lines;
}

bool EndsInLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() <= 0) {
    return true;
  }
  in.seekg(-1, std::ios::end);
  return in.get() == '\n';
}

int Check(const std::string& path, size_t count) {
  const std::vector<std::string> lines = ReadLines(path);
  size_t differ = 0;
  for (size_t i = 0; i < lines.size() && i < count; ++i) {
    uint32_t m = 0;
    std::vector<uint8_t> bytes;
    if (!ParseTowerLine(lines[i], m, bytes)) {
      std::printf("not a record line: %s\n", lines[i].c_str());
      ++differ;
      continue;
    }
    const std::string now = TowerLine(m, FindTowerRecord(m));
    if (now != lines[i]) {
      std::printf("differs: %s\n    now: %s\n", lines[i].c_str(), now.c_str());
      ++differ;
    }
  }
  std::printf("%zu of %zu lines recomputed, %zu differ\n", std::min(count, lines.size()),
              lines.size(), differ);
  return differ == 0 ? 0 : 1;
}

int Generate(const std::string& path, const std::string& folder,
             const std::vector<int32_t>& tables, int32_t quotient) {
  std::set<uint32_t> done;
  for (const std::string& line : ReadLines(path)) {
    uint32_t m = 0;
    std::vector<uint8_t> bytes;
    if (ParseTowerLine(line, m, bytes)) done.insert(m);
  }
  SetProgramFolder(folder);
  std::ofstream out(path, std::ios::app);
  out << (EndsInLine(path) ? "" : "\n");  // after a run stopped mid-line
  for (const int32_t k : tables) {
    if (!LoadDiscriminantTable(k)) {
      std::fprintf(stderr, "cannot load table %d from %s\n", k, folder.c_str());
      return 1;
    }
    std::vector<uint32_t> table = DiscriminantTables[k - 1];
    FreeDiscriminantTable(k);
    if (quotient != 0) {
      // The table is sorted by h/g after its placeholders: one range.
      const auto below = [quotient](uint32_t m) {
        return m == 0 || ClassNumber(m) / GenusCount(m) < quotient;
      };
      const auto first = std::partition_point(table.begin(), table.end(), below);
      const auto end = std::partition_point(first, table.end(), [quotient](uint32_t m) {
        return ClassNumber(m) / GenusCount(m) == quotient;
      });
      table = std::vector<uint32_t>(first, end);
    }
    size_t tried = 0, found = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const uint32_t m : table) {
      if (m == 0 || done.count(m) != 0) {
        continue;
      }
      const int32_t h = ClassNumber(m), g = GenusCount(m);
      if (!TowerApplies(h, g)) {
        continue;
      }
      const TTowerOutcome outcome = FindTowerRecord(m);
      out << TowerLine(m, outcome) << '\n' << std::flush;
      ++tried;
      found += outcome.Bytes.empty() ? 0 : 1;
    }
    const std::chrono::duration<double> s = std::chrono::steady_clock::now() - start;
    std::printf("table %d: %zu keys tried, %zu records, %.0f s\n", k, tried, found, s.count());
  }
  return 0;
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::string(argv[1]) == "--check") {
      return karvo::Check(argv[2], std::stoul(argv[3]));
    }
    int32_t quotient = 0;
    if (argc >= 6 && std::string(argv[argc - 2]) == "--quotient") {
      quotient = std::stoi(argv[argc - 1]);
      argc -= 2;
    }
    if (argc >= 4) {
      std::vector<int32_t> tables;
      for (int i = 3; i < argc; ++i) tables.push_back(std::stoi(argv[i]));
      return karvo::Generate(argv[1], argv[2], tables, quotient);
    }
    std::fprintf(stderr,
                 "usage: karvo-gen-towers RECORDS FOLDER TABLE... [--quotient Q]\n"
                 "       karvo-gen-towers --check RECORDS COUNT\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "karvo-gen-towers: %s\n", e.what());
    return 1;
  }
}
