#include "VerifierTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>

#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "checks/Signature.h"
#include "support/EngineRuns.h"

namespace karvo::test {

PollGuard::PollGuard() : savedLastInternalError_(LastInternalError) {}

PollGuard::~PollGuard() {
  ResetPolling();
  LastInternalError = savedLastInternalError_;
}

TOutcome RunVerify(TVerifier& verifier, const std::string& path, int checkSignaturesOnly,
                   int32_t fileIndex) {
  SettingsGuard settings;
  Settings.CheckSignaturesOnly = checkSignaturesOnly;
  TOutcome outcome;
  outcome.Raised = RaisedBy([&] { verifier.Verify(path, fileIndex); });
  outcome.Status = verifier.Status;
  outcome.Message = verifier.Message;
  outcome.ErrorPlace = verifier.ErrorPlace;
  return outcome;
}

TOutcome RunVerify(const std::string& path, int checkSignaturesOnly) {
  TVerifier verifier;
  return RunVerify(verifier, path, checkSignaturesOnly);
}

void ExpectConsistent(const TOutcome& outcome) {
  const std::string& m = outcome.Message;
  if (outcome.ErrorPlace < 0) {
    EXPECT_EQ(outcome.Status, VerifyNotValid) << m;
    const std::string prefix = "ERROR at test #" + std::to_string(-outcome.ErrorPlace) + ": ";
    EXPECT_EQ(m.compare(0, prefix.size(), prefix), 0) << m;
    EXPECT_GT(m.size(), prefix.size()) << m;
  } else if (outcome.ErrorPlace > 0) {
    EXPECT_EQ(outcome.Status, VerifyNotValid) << m;
    EXPECT_TRUE(outcome.ErrorPlace == 1 || outcome.ErrorPlace == 3) << outcome.ErrorPlace;
    EXPECT_EQ(m.compare(0, 7, "ERROR: "), 0) << m;
    EXPECT_EQ(outcome.ErrorPlace == 3, m.find("signature") != std::string::npos) << m;
  } else if (outcome.Status == VerifyValid) {
    EXPECT_TRUE(m == "Valid certificate" || m == "Valid signature") << m;
    EXPECT_TRUE(outcome.Raised.empty()) << outcome.Raised;
  } else {
    EXPECT_EQ(outcome.Status, VerifyNotProcessed) << m;
    EXPECT_NE(m.compare(0, 5, "ERROR"), 0) << m;
  }
  // Only an outcome of status 2 may come with an exception.
  if (!outcome.Raised.empty()) {
    EXPECT_EQ(outcome.Status, VerifyNotProcessed) << outcome.Raised;
  }
}

std::string BareMessage(const std::string& message) {
  if (message.compare(0, 15, "ERROR at test #") == 0) {
    const size_t colon = message.find(": ");
    return colon == std::string::npos ? message : message.substr(colon + 2);
  }
  if (message.compare(0, 7, "ERROR: ") == 0) {
    return message.substr(7);
  }
  return message;
}

std::string SharedCertificate(const std::string& name) {
  return TestDataPath("certificates/" + name);
}

std::string CopyCertificate(const TempFolder& folder, const std::string& name) {
  const std::string bytes = ReadBytes(SharedCertificate(name));
  EXPECT_FALSE(bytes.empty()) << "cannot read " << SharedCertificate(name);
  const std::string path = folder.Path(name);
  WriteBytes(path, bytes);
  return path;
}

const std::vector<TRow>& ExpectedRows() {
  static const std::vector<TRow> rows = [] {
    // Read while the tests are registered: a failure shows as an empty list,
    // which the test of the table itself reports.
    std::vector<TRow> read;
    std::string error;
    if (!ReadRows(TestDataPath("certificates/expected.tsv"), read, error)) {
      read.clear();
    }
    return read;
  }();
  return rows;
}

namespace {

const std::map<int, std::vector<std::string>>& KeysOfType() {
  static const std::map<int, std::vector<std::string>> keys = {
      {1, {"S$", "R$", "B$"}},
      {2, {"S$", "R$", "Q$"}},
      {3, {"S$", "R$", "A$", "B$", "T$"}},
      {4, {"S$", "R$", "J$", "T$"}}};
  return keys;
}

}  // namespace

bool ComputeChain(const TXFile& file, int32_t count, BigInt& chain, std::string& error) {
  SignatureFromText(chain, file.ReadString("Signature", "1$"));
  BigInt n;
  const std::string candidate = file.ReadString("Candidate", "N$");
  if (!BigIsNumberText(candidate, 16)) {
    error = "unreadable N$";
    return false;
  }
  BigFromHex(n, candidate);
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    const int type = file.ReadInteger(section, "Type", -1);
    if (type == 0) {
      SignatureUpdate(chain, static_cast<uint32_t>(i), {&n});
      continue;
    }
    const auto keys = KeysOfType().find(type);
    if (keys == KeysOfType().end()) {
      error = "test " + section + " has no known type";
      return false;
    }
    std::vector<std::unique_ptr<BigInt>> owned;
    std::vector<const BigInt*> values = {&n};
    BigInt r;
    for (const std::string& key : keys->second) {
      const std::string text = file.ReadString(section, key);
      if (!BigIsNumberText(text, 16)) {
        error = "test " + section + " has no readable " + key;
        return false;
      }
      auto value = std::make_unique<BigInt>();
      BigFromHex(*value, text);
      if (key == "Q$") {
        // P is not stored: 2 for a positive odd Q, else 1.
        const BigInt& q = *value;
        auto p = std::make_unique<BigInt>();
        BigSetWord(*p, !BigIsNegative(q) && BigIsOdd(q) ? 2 : 1);
        values.push_back(p.get());
        owned.push_back(std::move(p));
      }
      if (key == "R$") {
        BigAssign(r, *value);
      }
      values.push_back(value.get());
      owned.push_back(std::move(value));
    }
    SignatureUpdate(chain, static_cast<uint32_t>(i), values);
    BigAssign(n, r);
  }
  return true;
}

void WriteSignature(TXFile& file, const std::string& seedText, int32_t count, bool partial) {
  file.WriteString("Signature", "1$", seedText);
  BigInt chain;
  std::string error;
  ASSERT_TRUE(ComputeChain(file, count, chain, error)) << error;
  file.WriteString("Signature", "2$", SignatureText(chain));
  if (partial) {
    file.WriteString("Signature", "ce", std::to_string(count));
  } else {
    file.DeleteKey("Signature", "ce");
  }
}

bool ChainMatches(const TXFile& file, int32_t count) {
  BigInt chain;
  std::string error;
  if (!ComputeChain(file, count, chain, error)) {
    ADD_FAILURE() << error;
    return false;
  }
  return SignatureMatches(chain, file.ReadString("Signature", "2$"));
}

std::string CertificateText(const std::string& nHex, const std::vector<TMadeTest>& tests,
                            const std::string& testCount) {
  std::vector<std::string> lines = {std::string("[") + CertificateHeader + "]",
                                    "Version=3.0.9",
                                    "WebSite=https://www.karvo.example",
                                    "Format=3",
                                    "ID=B4B5E0263CE12",
                                    "Created=07/28/2027 11:08:15 AM"};
  if (testCount == "#") {
    lines.push_back(std::string("TestCount=").append(std::to_string(tests.size())));
  } else if (!testCount.empty()) {
    lines.push_back("TestCount=" + testCount);
  }
  for (const char* line : {"Status=Candidate certified prime", "", "[Candidate]", "File=made.in"}) {
    lines.emplace_back(line);
  }
  lines.push_back("N$=" + nHex);
  lines.emplace_back();
  int i = 0;
  for (const TMadeTest& test : tests) {
    lines.push_back(std::string("[").append(std::to_string(++i)).append("]"));
    lines.push_back(std::string("Type=").append(std::to_string(test.Type)));
    for (const auto& [key, value] : test.Values) {
      lines.push_back(key + "=" + value);
    }
    lines.emplace_back();
  }
  std::string text;
  for (const std::string& line : lines) {
    text.append(line).append("\r\n");
  }
  return text;
}

TXFile CertificateFile(const std::string& nHex, const std::vector<TMadeTest>& tests,
                       const std::string& testCount) {
  TXFile file;
  file.LoadFromBytes(CertificateText(nHex, tests, testCount));
  return file;
}

std::string ChangeOneDigit(const std::string& text) {
  std::string changed = text;
  const size_t first = !changed.empty() && changed[0] == '-' ? 1 : 0;
  if (changed.size() <= first) {
    ADD_FAILURE() << "no digit to change in \"" << text << "\"";
    return changed;
  }
  char& c = changed[first + (changed.size() - first) / 2];
  if (c == '0') {
    c = '1';
  } else if (c == 'A' || c == 'a') {
    c = '9';
  } else {
    --c;
  }
  return changed;
}

std::string MpzHex(mpz_srcptr x) {
  char* raw = mpz_get_str(nullptr, 16, x);
  std::string text(raw);
  void (*release)(void*, size_t) = nullptr;
  mp_get_memory_functions(nullptr, nullptr, &release);
  release(raw, text.size() + 1);
  for (char& c : text) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text;
}

std::string MpzHex(unsigned long x) {
  MpzValue v;
  mpz_set_ui(v, x);
  return MpzHex(v);
}

namespace {

// Every N = S R + 1 with S even and below R; B the first base that proves it.
TLargeChain BuildLargeChain(unsigned topBits) {
  gmp_randstate_t random;
  gmp_randinit_mt(random);
  gmp_randseed_ui(random, 20270728 + topBits);
  struct TLevel {
    MpzValue N, S, R, B;
  };
  std::vector<TLevel> levels;
  MpzValue r, s, n, t, b;
  mpz_urandomb(r, random, 47);
  mpz_setbit(r, 46);
  mpz_nextprime(r, r);
  // Each step nearly doubles the size; the last one has exactly topBits.
  for (const unsigned bits : {93u, 185u, 369u, 737u, 1473u, topBits}) {
    // S below R, so at most one bit shorter.
    const auto rBits = static_cast<unsigned>(mpz_sizeinbase(r, 2));
    const unsigned sBits = std::min(bits - rBits, rBits - 1);
    for (;;) {
      mpz_urandomb(s, random, sBits);
      mpz_setbit(s, sBits - 1);
      mpz_clrbit(s, 0);
      mpz_mul(n, s, r);
      mpz_add_ui(n, n, 1);
      if (mpz_cmp(s, r) < 0 && (bits != topBits || mpz_sizeinbase(n, 2) == bits) &&
          mpz_probab_prime_p(n, 30) > 0) {
        break;
      }
    }
    mpz_set_ui(b, 2);
    for (;; mpz_add_ui(b, b, 1)) {
      mpz_powm(t, b, s, n);
      mpz_sub_ui(t, t, 1);
      mpz_gcd(t, t, n);
      if (mpz_cmp_ui(t, 1) != 0) {
        continue;
      }
      mpz_sub_ui(t, n, 1);
      mpz_powm(t, b, t, n);
      if (mpz_cmp_ui(t, 1) == 0) {
        break;
      }
    }
    TLevel level;
    level.N = n;
    level.S = s;
    level.R = r;
    level.B = b;
    levels.push_back(level);
    r = n;
  }
  gmp_randclear(random);
  TLargeChain chain;
  std::vector<TMadeTest> tests;
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    tests.push_back({1, {{"S$", MpzHex(level->S)}, {"R$", MpzHex(level->R)}, {"B$", MpzHex(level->B)}}});
    chain.Bits.push_back(static_cast<int32_t>(mpz_sizeinbase(level->N, 2)));
  }
  tests.push_back({0, {}});
  chain.Bits.push_back(static_cast<int32_t>(mpz_sizeinbase(levels.front().R, 2)));
  chain.Text = CertificateText(MpzHex(levels.back().N), tests);
  chain.TestCount = static_cast<int32_t>(tests.size());
  return chain;
}

}  // namespace

const TLargeChain& LargeChain(unsigned topBits) {
  static std::map<unsigned, TLargeChain> chains;
  auto it = chains.find(topBits);
  if (it == chains.end()) {
    it = chains.emplace(topBits, BuildLargeChain(topBits)).first;
  }
  return it->second;
}

}  // namespace karvo::test
