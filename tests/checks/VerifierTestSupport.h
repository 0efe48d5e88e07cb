#pragma once

// Shared helpers of the verifier tests: fresh copies of the shared
// certificates, hand-made certificates, the signature chain computed on the
// test side, GMP texts (the value and the conversions are those of
// support/MpzValue.h), and guards that put the globals a verification
// touches back as they were.

#include <gmp.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ChecksTestData.h"
#include "arith/BigInt.h"
#include "base/Settings.h"
#include "checks/Verifier.h"
#include "files/FilesTestSupport.h"
#include "files/TXFile.h"
#include "support/MpzValue.h"

namespace karvo::test {

inline constexpr const char* CertificateHeader = "KARVO - Primality Certificate";

// The message CheckCurve gives when R is too small: non-breaking spaces
// around the last "+", and 10 written where the bound adds 6.
inline constexpr const char* RBoundMessage = "R <= N^(1/2) + 2 N^(1/4)\xA0+\xA0" "10";

// Restores every field of Settings on destruction.
class SettingsGuard {
 public:
  SettingsGuard() : saved_(Settings) {}
  ~SettingsGuard() { Settings = saved_; }
  SettingsGuard(const SettingsGuard&) = delete;
  SettingsGuard& operator=(const SettingsGuard&) = delete;

 private:
  TSettings saved_;
};

// Removes any poll handler and lowers every poll and save flag on
// destruction, so an abort provoked by one test cannot reach the next.
// LastInternalError is put back as well.
class PollGuard {
 public:
  PollGuard();
  ~PollGuard();
  PollGuard(const PollGuard&) = delete;
  PollGuard& operator=(const PollGuard&) = delete;

 private:
  std::string savedLastInternalError_;
};

// What one Verify call ended with; Raised names the exception it raised
// again ("" when none).
struct TOutcome {
  int Status = 0;
  std::string Message;
  int32_t ErrorPlace = 0;
  std::string Raised;
};

// Verify(path, fileIndex) with Settings.CheckSignaturesOnly set for the call
// only. Any exception is caught and named in Raised.
TOutcome RunVerify(TVerifier& verifier, const std::string& path, int checkSignaturesOnly,
                   int32_t fileIndex = 1);
TOutcome RunVerify(const std::string& path, int checkSignaturesOnly);

// Checks that Status, ErrorPlace and the form of Message agree with each
// other as the outcome rules say.
void ExpectConsistent(const TOutcome& outcome);

// The message as a check routine sets it, without the "ERROR at test #i: "
// or "ERROR: " that Verify adds.
std::string BareMessage(const std::string& message);

// Path of a shared certificate; the file must never be written.
std::string SharedCertificate(const std::string& name);
// Copies a shared certificate into folder and returns the copy's path.
std::string CopyCertificate(const TempFolder& folder, const std::string& name);

// The rows of certificates/expected.tsv (read once; empty when unreadable).
const std::vector<TRow>& ExpectedRows();

// Loads path, lets edit change it, saves it back.
template <typename F>
void EditFile(const std::string& path, F edit) {
  TXFile file(path);
  edit(file);
  file.Save();
}

// The signature chain from "1$" over tests 1..count, each test fed in the
// certificate's order (N, then the values of its type, P before Q for an
// N+1 test); false with a reason when a test cannot be read.
bool ComputeChain(const TXFile& file, int32_t count, BigInt& chain, std::string& error);
// Writes a chain over tests 1..count from the given seed: "ce" = count when
// partial is set, a complete signature otherwise.
void WriteSignature(TXFile& file, const std::string& seedText, int32_t count, bool partial);
// Whether the stored "2$" is the chain over tests 1..count from "1$".
bool ChainMatches(const TXFile& file, int32_t count);

// One test of a hand-made certificate: its type and its "$" values in the
// order they are written.
struct TMadeTest {
  int Type = 0;
  TXKeyValues Values;
};

// A certificate in the program's format with the candidate nHex and the
// tests given; TestCount is the number of tests unless testCount is given
// ("" leaves the key out). No [Signature] section.
std::string CertificateText(const std::string& nHex, const std::vector<TMadeTest>& tests,
                            const std::string& testCount = "#");
TXFile CertificateFile(const std::string& nHex, const std::vector<TMadeTest>& tests,
                       const std::string& testCount = "#");

// Changes one hexadecimal digit near the middle of text: a non-zero digit
// goes one down, a zero becomes a one. Any sign is kept.
std::string ChangeOneDigit(const std::string& text);

// Upper-case hexadecimal, with "-", as the certificates write values.
std::string MpzHex(mpz_srcptr x);
std::string MpzHex(unsigned long x);

// A proof of a prime of exactly topBits bits (1500 to 2900) made of N-1
// tests only, each R more than half its N, closed by a type 0 test: cheap to
// check, yet as large as the periodic save needs. Built once per size from a
// fixed seed.
struct TLargeChain {
  std::string Text;      // the certificate, unsigned
  int32_t TestCount = 0;
  std::vector<int32_t> Bits;  // bit length of the N of each test
};
const TLargeChain& LargeChain(unsigned topBits);

}  // namespace karvo::test
