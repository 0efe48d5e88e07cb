// The chain over real certificates: every signature marked valid or partial
// must be reproduced from "1$" and the tests' numbers, and every one marked
// invalid must not be, wherever its tests can be read at all.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "ChecksTestData.h"
#include "checks/Signature.h"

namespace karvo {
namespace {

using test::TRow;

// Just enough of a sectioned text file for these tests: the first value of
// every key, by section.
using TSections = std::map<std::string, std::map<std::string, std::string>>;

bool LoadSections(const std::string& path, TSections& sections) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::string line;
  std::string section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      sections[section];
    } else if (const size_t equals = line.find('='); equals != std::string::npos) {
      sections[section].emplace(line.substr(0, equals), line.substr(equals + 1));
    }
  }
  return true;
}

const std::string* Find(const TSections& sections, const std::string& section, const std::string& key) {
  const auto s = sections.find(section);
  if (s == sections.end()) {
    return nullptr;
  }
  const auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

// The chain from "1$" over tests 1..count, each fed N then the values of its
// type; false when a test cannot be read (missing section or key, unknown
// type).
bool ComputeChain(const TSections& sections, int count, BigInt& chain) {
  const std::string* seed = Find(sections, "Signature", "1$");
  const std::string* candidate = Find(sections, "Candidate", "N$");
  if (seed == nullptr || candidate == nullptr) {
    return false;
  }
  SignatureFromText(chain, *seed);
  BigInt n;
  test::BigFromHex(n, *candidate);
  for (int i = 1; i <= count; ++i) {
    const std::string name = std::to_string(i);
    const std::string* type = Find(sections, name, "Type");
    if (type == nullptr) {
      return false;
    }
    if (*type == "0") {
      SignatureUpdate(chain, static_cast<uint32_t>(i), {&n});
      break;
    }
    static const std::map<std::string, std::vector<std::string>> keysOfType = {
        {"1", {"S$", "R$", "B$"}},
        {"2", {"S$", "R$", "Q$"}},
        {"3", {"S$", "R$", "A$", "B$", "T$"}},
        {"4", {"S$", "R$", "J$", "T$"}}};
    const auto keys = keysOfType.find(*type);
    if (keys == keysOfType.end()) {
      return false;
    }
    std::map<std::string, BigInt> field;
    for (const std::string& key : keys->second) {
      const std::string* text = Find(sections, name, key);
      if (text == nullptr) {
        return false;
      }
      test::BigFromHex(field[key], *text);
    }
    std::vector<const BigInt*> values = {&n};
    BigInt p;
    for (const std::string& key : keys->second) {
      if (key == "Q$") {
        // P is not stored: 2 for a positive odd Q, else 1.
        const BigInt& q = field[key];
        BigSetWord(p, !BigIsNegative(q) && BigIsOdd(q) ? 2 : 1);
        values.push_back(&p);
      }
      values.push_back(&field[key]);
    }
    SignatureUpdate(chain, static_cast<uint32_t>(i), values);
    BigAssign(n, field["R$"]);
  }
  return true;
}

TEST(SignatureCertificatesTest, ChainsAgreeWithTheStoredSignatures) {
  std::vector<TRow> rows;
  std::string error;
  ASSERT_TRUE(test::ReadRows(test::TestDataPath("certificates/expected.tsv"), rows, error)) << error;
  ASSERT_FALSE(rows.empty());
  int reproduced = 0;
  int rejected = 0;
  std::string unreadable;
  for (const TRow& row : rows) {
    ASSERT_GE(row.size(), 3u);
    const std::string& file = row[0];
    const std::string& signature = row[2];
    SCOPED_TRACE(file + " (" + signature + ")");
    TSections sections;
    ASSERT_TRUE(LoadSections(test::TestDataPath("certificates/" + file), sections)) << "cannot open";
    if (signature == "absent") {
      EXPECT_EQ(sections.count("Signature"), 0u);
      continue;
    }
    const std::string* stored = Find(sections, "Signature", "2$");
    ASSERT_NE(stored, nullptr);
    const std::string* ce = Find(sections, "Signature", "ce");
    const std::string* testCount = Find(sections, "KARVO - Primality Certificate", "TestCount");
    const std::string* count = ce != nullptr ? ce : testCount;
    BigInt chain;
    const bool readable = count != nullptr && ComputeChain(sections, std::stoi(*count), chain);
    if (signature == "valid" || signature == "partial") {
      EXPECT_EQ(ce != nullptr, signature == "partial");
      ASSERT_TRUE(readable) << "tests cannot be read";
      EXPECT_TRUE(SignatureMatches(chain, *stored)) << SignatureText(chain) << " against " << *stored;
      reproduced += SignatureMatches(chain, *stored) ? 1 : 0;
    } else {
      ASSERT_EQ(signature, "invalid");
      if (readable) {
        EXPECT_FALSE(SignatureMatches(chain, *stored));
        ++rejected;
      } else {
        unreadable += " " + file;
      }
    }
  }
  std::printf("certificates: %d signatures reproduced, %d mismatches found, unreadable:%s\n",
              reproduced, rejected, unreadable.c_str());
  EXPECT_GT(reproduced, 0);
}

}  // namespace
}  // namespace karvo
