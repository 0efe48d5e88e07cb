// The committed data files against class numbers from PARI/GP, and the
// readers on hand-made files: count words and lengths of tables, look-ups,
// sentinels, record decoding, damaged class-group files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "DataFileWriters.h"
#include "TowerRecords.h"
#include "arith/BigMod.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "classpolys/DataFiles.h"
#include "classpolys/TowerInternal.h"
#include "files/FilesTestSupport.h"
#include "support/ProgramFolder.h"
#include "support/TsvRows.h"

namespace karvo {
namespace {

using test::TProgramFolder;
void Poke(std::string& bytes, size_t at, uint32_t w) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = char(w >> (8 * i));
}
uint32_t Peek(const std::string& bytes, size_t at) {
  uint32_t w = 0;
  for (int i = 3; i >= 0; --i) w = w << 8 | uint8_t(bytes[at + size_t(i)]);
  return w;
}

TEST(CommittedDataFiles, TablesHoldEveryAdmissibleKeyOnceInOrder) {
  TProgramFolder at(KARVO_DATA_DIR);
  std::vector<std::pair<uint32_t, uint32_t>> places;  // key, place in the one sequence
  size_t zeros = 0;
  for (int32_t k = 1; k <= DiscriminantTableLevels; ++k) {
    ASSERT_TRUE(LoadDiscriminantTable(k)) << k;
    const std::vector<uint32_t>& table = DiscriminantTables[k - 1];
    EXPECT_EQ(std::filesystem::file_size(KARVO_DATA_DIR "/" + DiscriminantTableName(k)),
              68 + 4 * (table.size() - 1));
    const size_t reserved = k == 1 ? 2 : 1;  // placeholders 0, and nowhere else
    EXPECT_TRUE(table[0] == 0 && table[1] == 0 && table[reserved] == 0) << k;
    for (size_t i = reserved + 1; i < table.size(); ++i) {
      zeros += table[i] == 0;
      places.emplace_back(table[i], uint32_t(places.size()));
    }
    FreeDiscriminantTable(k);
    EXPECT_TRUE(DiscriminantTables[k - 1].empty());
  }
  EXPECT_EQ(zeros, 0u);
  EXPECT_EQ(places.size(), 873867u - 4);
  std::sort(places.begin(), places.end());
  EXPECT_EQ(std::adjacent_find(places.begin(), places.end(),
                               [](auto& x, auto& y) { return x.first == y.first; }),
            places.end());
  std::vector<bool> square(KeyLimit);  // has a square factor
  for (uint64_t p = 2; p * p < KeyLimit; ++p)
    for (uint64_t d = p * p; d < KeyLimit; d += p * p) square[d] = true;
  EXPECT_EQ(std::count_if(places.begin(), places.end(),
                          [&](auto& key) { return key.first >= KeyLimit || square[key.first]; }),
            0);
  // A sampled key is there exactly when admissible (4 of h/g = 80 did not
  // fit), and the sampled keys come in the order (h/g, h, d).
  std::vector<test::TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadRows(KARVO_TESTDATA_DIR "/datafile-keys.tsv", rows, error)) << error;
  ASSERT_GT(rows.size(), 4000u);
  std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> found;  // h/g, h, d, place
  for (const test::TRow& row : rows) {
    const auto d = uint32_t(std::stoul(row[0])), h = uint32_t(std::stoul(row[1]));
    const auto g = uint32_t(std::stoul(row[2]));
    const auto key = std::lower_bound(places.begin(), places.end(), std::pair(d, 0u));
    const bool in = key != places.end() && key->first == d;
    EXPECT_TRUE(in == (g <= 32 && h / g <= 80) || (!in && g <= 32 && h / g == 80)) << d;
    if (in) found.emplace_back(h / g, h, d, key->second);
  }
  std::sort(found.begin(), found.end());
  EXPECT_TRUE(std::is_sorted(found.begin(), found.end(),
                             [](auto& x, auto& y) { return std::get<3>(x) < std::get<3>(y); }));
  for (uint32_t i = 0; i < 9; ++i) {  // class number one: 1, 2, 3, 7, ..., 163 come first
    EXPECT_EQ(std::get<1>(found[i]) * 10 + std::get<3>(found[i]), 10 + i);
  }
}

// Every record of the tower generator's file, and only those, can be read
// back; a sample is checked against the class group of its key.
TEST(CommittedDataFiles, ClassGroupFilesHoldTheTowerRecords) {
  TProgramFolder at(KARVO_DATA_DIR);
  std::ifstream in(KARVO_DATA_DIR "/towers.tsv");
  uint32_t counts[ClassGroupFileCount] = {};
  TGaloisDat record;
  size_t lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    uint32_t m = 0;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ParseTowerLine(line, m, bytes)) << line;
    ASSERT_EQ(ReadGaloisData(record, m), !bytes.empty()) << m;
    counts[ClassGroupFileNumber(m) - 1] += bytes.empty() ? 0 : 1;
    EXPECT_TRUE(bytes.empty() || lines % 16 != 0 || RecordFitsKey(record, m)) << m;
    // γ2 is no class invariant when 3 divides m ≡ 3 (mod 8).
    EXPECT_FALSE(!bytes.empty() && m % 24 == 3 && record.Code == 2) << m;
  }
  EXPECT_GE(lines, 1500u);
  for (int32_t f = 1; f <= ClassGroupFileCount; ++f) {
    const std::string bytes = test::ReadBytes(KARVO_DATA_DIR "/" + ClassGroupFileName(f));
    EXPECT_EQ(Peek(bytes, 64), counts[f - 1] + 2) << f;
  }
  for (const uint32_t m : {10u, ~0u}) EXPECT_FALSE(ReadGaloisData(record, m)) << m;
}

TEST(DataFileReaders, TableNeedsItsCountWordAndAllEntries) {
  test::TempFolder folder;
  TProgramFolder at(folder.Folder().string());
  const uint32_t n = DiscriminantTableSizes[1];
  std::vector<uint32_t> entries(n);
  for (uint32_t i = 0; i < n; ++i) entries[i] = 8 * i + 3;
  WriteDiscriminantTable(folder.Path("good"), 2, entries);
  const std::string good = test::ReadBytes(folder.Path("good"));
  const std::function<void(std::string&)> damage[] = {
      [](std::string&) {}, [](std::string& b) { b += "longer"; },
      [&](std::string& b) { Poke(b, 64, n); }, [&](std::string& b) { Poke(b, 64, n + 2); },
      [](std::string& b) { b.pop_back(); }};
  for (size_t i = 0; i < std::size(damage); ++i) {
    std::string bytes = good;
    damage[i](bytes);
    test::WriteBytes(folder.Path("karvo.xd2"), bytes);
    const bool loads = i < 2;
    EXPECT_EQ(LoadDiscriminantTable(2), loads) << i;
    const std::vector<uint32_t>& table = DiscriminantTables[1];
    EXPECT_EQ(table.size(), loads ? n + 1 : 0) << i;
    EXPECT_TRUE(!loads || (table[0] == 0 && table[1] == 3 && table[n] == 8 * n - 5)) << i;
  }
  EXPECT_FALSE(LoadDiscriminantTable(0) || LoadDiscriminantTable(6) || LoadDiscriminantTable(1));
  FreeDiscriminantTable(2);
  EXPECT_TRUE(DiscriminantTables[1].empty());
}

// Fields of a decoded record, "" for none.
std::string Summary(bool found, const TGaloisDat& r) {
  const auto list = [](auto first, auto last) {
    std::string text;
    for (auto v = first; v != last; ++v) {
      text += std::string(v == first ? 0 : 1, ',') + std::to_string(*v);
    }
    return text;
  };
  if (!found) {
    const bool cleared = r.Code == 0 && r.Key == 0 && r.ClassNumber == 0 && r.Orders.empty() &&
                         r.LevelDegrees[0] == 0 && r.PrecisionWords == 0;
    return cleared ? "" : "not cleared";
  }
  return std::to_string(r.Key) + ": " + std::to_string(r.Code) + " " +
         std::to_string(r.InvariantConstant) + " h" + std::to_string(r.ClassNumber) + " w" +
         std::to_string(r.PrecisionWords) + " d" +
         list(r.LevelDegrees, r.LevelDegrees + r.LevelCount) + " i" +
         list(r.LevelIndices, r.LevelIndices + r.LevelCount - 1) + " o" +
         list(r.Orders.begin(), r.Orders.end()) + " g" +
         list(r.Generators.begin(), r.Generators.end());
}

struct TRecordRow {
  uint32_t M;
  std::vector<uint8_t> Bytes;
  std::string Expected;  // Summary
};
const TRecordRow recordRows[] = {
    {41, {1, 8, 1, 3, 2, 2, 2, 0, 0, 1, 4}, "41: -2 0 h8 w9 d2,2,2 i0,1 o8 g1"},
    {89, {1, 12, 5, 3, 2, 2, 3, 255, 1, 0, 6}, "89: -2 -1 h12 w13 d2,2,3 i1,0 o12 g5"},
    {161, {1, 64, 3, 6, 2, 2, 2, 2, 2, 2, 0, 1, 0, 1, 0, 1, 20},
     "161: -2 0 h64 w42 d2,2,2,2,2,2 i1,0,1,0,1 o64 g3"},
    {221, {2, 8, 2, 3, 1, 4, 2, 2, 2, 2, 1, 0, 1, 1, 7},
     "221: -4 1 h16 w15 d2,2,2,2 i0,1,1 o8,2 g3,1"},
    {1106, {2, 24, 2, 1, 2, 5, 2, 2, 2, 2, 3, 0, 1, 0, 1, 0, 30},
     "1106: -2 0 h48 w61 d2,2,2,2,3 i1,0,1,0 o24,2 g1,2"},
    {299, {1, 8, 1, 3, 2, 2, 2, 3, 1, 1, 4}, "299: 3 729 h8 w9 d2,2,2 i1,1 o8 g1"},
    {95, {1, 8, 2, 2, 4, 2, 13, 3, 40}, "95: 13 13 h8 w81 d4,2 i3 o8 g2"},
    {399, {2, 8, 2, 1, 4, 4, 2, 2, 2, 2, 0, 0, 1, 0, 33},
     "399: -3 0 h16 w67 d2,2,2,2 i0,1,0 o8,2 g1,4"},
    {113, {0, 8, 1, 3, 2, 2, 2, 0, 0, 1, 4}, ""},                          // r = 0
    {129, {4, 2, 2, 2, 2, 0, 0, 0, 0, 2, 4, 4, 0, 0, 1}, ""},              // r = 4
    {137, {1, 8, 1, 1, 8, 0, 4}, ""},                                      // L = 1
    {145, {1, 128, 1, 7, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 4}, ""},  // L = 7
    {153, {1, 8, 1, 3, 1, 2, 4, 0, 0, 0, 4}, ""},                          // a degree 1
    {169, {1, 8, 1, 2, 2, 2, 0, 0, 4}, ""},                                // degrees ≠ orders
    {177, {1, 8, 8, 3, 2, 2, 2, 0, 0, 0, 4}, ""},                          // generator ≥ h
    {185, {1, 8, 1, 3, 2, 2, 2, 0, 0, 0}, ""},                            // ends too soon
    {193, {1, 8, 1, 6, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 4}, ""},  // 2^48
};

// The rows' records in their files, in a fresh program folder.
void WriteRecordFiles(const test::TempFolder& folder) {
  std::vector<TClassGroupRecord> files[ClassGroupFileCount];
  for (const TRecordRow& row : recordRows)
    files[ClassGroupFileNumber(row.M) - 1].push_back({row.M, row.Bytes});
  for (int32_t f = 1; f <= ClassGroupFileCount; ++f) {
    auto& records = files[f - 1];
    std::sort(records.begin(), records.end(), [](auto& x, auto& y) { return x.Key < y.Key; });
    WriteClassGroupFile(folder.Path(ClassGroupFileName(f)), f, records);
  }
}

TEST(DataFileReaders, RecordsDecodeOrAreRefused) {
  test::TempFolder folder;
  TProgramFolder at(folder.Folder().string());
  WriteRecordFiles(folder);
  for (const TRecordRow& row : recordRows) {
    TGaloisDat record;
    record.Code = 99, record.Orders = {7};
    const bool found = ReadGaloisData(record, row.M);
    EXPECT_EQ(Summary(found, record), row.Expected);
  }
  TGaloisDat record;
  for (const uint32_t m : {25u, 1107u, ~0u}) EXPECT_FALSE(ReadGaloisData(record, m)) << m;
  WriteClassGroupFile(folder.Path("karvo.xp1"), 1, {{41, {1, 8, 1, 3, 2, 2, 2, 2, 0, 1, 4}}});
  const std::pair<uint32_t, const char*> errors[] = {
      {41, "1002.102.3"}, {0, "1002.102.1"}, {12, "1002.102.1"}};
  for (const auto& [m, code] : errors) {
    EXPECT_THROW(ReadGaloisData(record, m), EKV);
    EXPECT_EQ(LastInternalError, code);
  }
  struct TWordsRow { int32_t p, h, degree, words; };
  for (const TWordsRow& row : {TWordsRow{5, 64, 10, 13}, {0, 63, 9, 1}, {0, 64, 2, 2},
                               {1, 1, 19, 4}, {0, 1, 20, 3}, {0, 1, 64, 3}, {0, 1, 65, 4},
                               {0, 1, 1, 4}})
    EXPECT_EQ(GaloisPrecisionWords(row.p, row.h, row.degree), row.words) << row.degree;
}

TEST(DataFileReaders, DamagedClassGroupFilesAreRefused) {
  test::TempFolder folder;
  TProgramFolder at(folder.Folder().string());
  WriteRecordFiles(folder);
  const std::string path = folder.Path("karvo.xp1");
  const std::string good = test::ReadBytes(path);
  const uint32_t n = Peek(good, 64), offsets = 68 + 4 * n, last = offsets + 4 * (n - 1);
  struct TDamage {
    std::function<void(std::string&)> Change;
    uint32_t M;
    bool Found;
  };
  const TDamage damages[] = {
      {[](std::string& b) { Poke(b, 64, ~0u); }, 41, false},  // n beyond the file
      {[](std::string& b) { Poke(b, 64, 1); }, 41, false},
      {[](std::string& b) { b.resize(70); }, 41, false},
      {[](std::string& b) { b.pop_back(); }, 41, false},  // last record past the end
      {[&](std::string& b) { Poke(b, offsets, 0); }, 41, false},  // inside the tables
      {[&](std::string& b) { Poke(b, offsets + 8, Peek(b, offsets + 12) + 1); }, 41, false},
      {[](std::string& b) { Poke(b, 76, Peek(b, 72)); }, 41, false},  // keys not increasing
      // Sentinels: keys first and last are never looked at, not even where the
      // first one owns the record of 41, the first key.
      {[&](std::string& b) { Poke(b, 68, 9), Poke(b, offsets + 4, Peek(b, offsets + 8)); }, 9,
       false},
      {[](std::string& b) { Poke(b, 68, 9); }, 41, true},
      {[&](std::string& b) { Poke(b, 68 + 4 * (n - 1), 1001); }, 1001, false},
      // The last record (221) at the limit of 256 bytes, then beyond it.
      {[&](std::string& b) { b.resize(Peek(b, last - 4) + 256), Poke(b, last, b.size()); }, 221,
       true},
      {[&](std::string& b) { b.resize(Peek(b, last - 4) + 257), Poke(b, last, b.size()); }, 221,
       false},
  };
  for (size_t i = 0; i < std::size(damages); ++i) {
    std::string bytes = good;
    damages[i].Change(bytes);
    test::WriteBytes(path, bytes);
    TGaloisDat record;
    EXPECT_EQ(ReadGaloisData(record, damages[i].M), damages[i].Found) << i;
  }
}

// Key 4574 (h = 96) with its generated record, then with the precision byte
// cleared: a tower that does not round is no tower, and the key falls back.
TEST(DataFileReaders, ATowerShortOfPrecisionFallsBack) {
  test::TempFolder folder;
  TProgramFolder at(folder.Folder().string());
  BigInt N, c;
  BigFromString(N, "340282366920938463463374607431768211297", 10);  // 2^128 - 159
  BigNonResidue(c, N);
  const std::vector<uint8_t> good{1, 0x60, 4, 5, 2, 2, 2, 3, 4, 0, 0, 0, 2, 3, 0x16};
  for (const uint8_t precision : {uint8_t(0x16), uint8_t(0)}) {
    std::vector<uint8_t> bytes = good;
    bytes.back() = precision;
    const int32_t f = ClassGroupFileNumber(4574);
    WriteClassGroupFile(folder.Path(ClassGroupFileName(f)), f, {{4574, bytes}});
    ZPoly root;
    int32_t code = 0;
    EXPECT_EQ(RootByTower(root, 4574, N, code, c), precision != 0) << int(precision);
  }
}

}  // namespace
}  // namespace karvo
