#pragma once

// Shared helpers of the certifier tests: a folder and globals of its own for
// each test, input files, certifiable candidates built with GMP together with
// the chain the descent must find for them, a GMP model of the N-1/N+1
// split, and readers of certificates and working files.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "base/Settings.h"
#include "certifs/Certifier.h"
#include "files/FilesTestSupport.h"
#include "files/TXFile.h"
#include "support/MpzValue.h"

namespace karvo::test {

inline constexpr const char* CertifiedText = "Candidate certified prime";
inline constexpr const char* ImpossibleText = "Failed, impossible to certify last N";
inline constexpr const char* HeaderSection = "KARVO - Primality Certificate";
inline constexpr const char* ResumeSection = "X";
inline constexpr const char* TestTaskId = "0123456789ABC";

// stem + decimal i + extension. Out of line: GCC 12 warns wrongly about the
// inlined concatenation of a literal and std::to_string.
std::string NumberedName(const std::string& stem, int32_t i, const std::string& extension);

// "KARVO_TEST_SEED=...", for the trace of tests on random numbers.
std::string SeedText();

// Upper-case hexadecimal and decimal texts, as the engine writes them.
std::string GmpHex(mpz_srcptr x);
std::string GmpDecimal(mpz_srcptr x);
void GmpFromHex(mpz_ptr x, const std::string& hex);
int32_t GmpBits(mpz_srcptr x);

// Puts Settings, WorkFolder, TaskID and LastInternalError back as they were,
// and removes whatever a test may have left installed: poll handler and
// flags, inform handler, file-system stand-in.
class CertifierGlobalsGuard {
 public:
  CertifierGlobalsGuard();
  ~CertifierGlobalsGuard();
  CertifierGlobalsGuard(const CertifierGlobalsGuard&) = delete;
  CertifierGlobalsGuard& operator=(const CertifierGlobalsGuard&) = delete;

 private:
  TSettings settings_;
  std::string workFolder_;
  std::string taskId_;
  std::string lastInternalError_;
};

// Enables polling with a handler that does nothing, for the lifetime of the
// object; AbortNow makes the engine's next poll raise EKVAbort.
class PollingOn {
 public:
  PollingOn();
  ~PollingOn();
  PollingOn(const PollingOn&) = delete;
  PollingOn& operator=(const PollingOn&) = delete;
};
void AbortNow();

// Where a certification is stopped by the user. Phase 1: at the poll after
// Count more tests are recorded in this run. Phase 2, which goes over all
// tests again when resumed: at the first poll after tests 1..Count are
// complete (0: at the start of the phase), for Count below TestCount.
struct TStopPoint {
  int32_t Phase = 1;
  int32_t Count = 0;
};
// Sets the certifier's callbacks so that it aborts at the stop point; needs
// PollingOn.
void ArmAbort(TCertifier& certifier, TStopPoint stop);

// The real file-system calls without the syncs, which only make a save
// durable and would have the tests wait for the disk; the failures of
// FailingOps on demand, syncs included.
class QuickOps : public FailingOps {
 public:
  // Renames still to fail before they work again: a save that fails once.
  int RenamesToFail = 0;

  int Fsync(int fd) override { return FailFileSync || FailFolderSync ? FailingOps::Fsync(fd) : 0; }
  int Rename(const std::string& from, const std::string& to) override {
    if (RenamesToFail > 0) {
      --RenamesToFail;
      errno = EIO;
      return -1;
    }
    return FailingOps::Rename(from, to);
  }
};

// Puts ops in use for the lifetime of the object, then the previous ones.
class OpsInUse {
 public:
  explicit OpsInUse(TFileSystemOps& ops) : previous_(&FileSystemOps()) { SetFileSystemOps(&ops); }
  ~OpsInUse() { SetFileSystemOps(previous_); }
  OpsInUse(const OpsInUse&) = delete;
  OpsInUse& operator=(const OpsInUse&) = delete;

 private:
  TFileSystemOps* previous_;
};

// What one Certify call ended with; Raised names the exception it raised
// again ("" when none).
struct TCertifyOutcome {
  int Status = -1;
  std::string Message;
  std::string Raised;
};
TCertifyOutcome RunCertify(TCertifier& certifier, const std::string& fileName,
                           int32_t fileIndex = 1);

// Each test works in a fresh folder, which is also the work folder, with the
// task identifier TestTaskId and the settings of a plain certification.
class CertifierTest : public ::testing::Test {
 protected:
  CertifierTest();

  std::string Path(const std::string& name) const;
  // The name the engine gives the files of a certification at fileIndex.
  std::string WorkingName(int32_t fileIndex, const std::string& extension) const;
  // Writes an input file: a [Candidate] section with keys, and a
  // [Comments] section when comments is not empty.
  std::string WriteInput(const std::string& name, const TXKeyValues& keys,
                         const std::string& comments = "") const;
  // The names of the files of the folder, sorted.
  std::vector<std::string> FolderContent() const;

  QuickOps quickOps_;
  CertifierGlobalsGuard globals_;
  OpsInUse quickOpsInUse_{quickOps_};
  TempFolder folder_;
};

// One test of a certificate or working file, as far as the comparisons of
// the tests need it: "$" values verbatim, Witness is B$ or Q$.
struct TTestRecord {
  int32_t Type = -100;
  std::string S;
  std::string R;
  std::string Witness;
  bool operator==(const TTestRecord&) const = default;
};
std::vector<TTestRecord> ReadTests(const TXFile& file);
std::ostream& operator<<(std::ostream& out, const TTestRecord& test);

// A test the descent must record: type 1 (N-1), 2 (N+1) or 0 (last N), S and
// R in upper-case hexadecimal.
struct TExpectedTest {
  int32_t Type = 0;
  std::string S;
  std::string R;
};

// The split of the descent, rebuilt with GMP: N - 1 (method 1) or N + 1
// (method 2) loses its factors 2 and its factors among the first
// TCertifier::PrimeBoundFor(bits of N) primes; it splits when the cofactor
// R is then a probable prime above isqrt(N) (isqrt(N) + 1 for N + 1) and
// at least one bit shorter than N. Needs the prime table.
bool ReferenceSplit(mpz_srcptr n, int method, mpz_ptr s, mpz_ptr r);
// The chain the descent records when every N down to 48 bits splits, N - 1
// tried first; false when some N does not split.
bool ReferenceChain(mpz_srcptr n, std::vector<TExpectedTest>& tests);

// A prime built from one of about 40 bits by steps N = k·R + 1 and
// N = k·R - 1 (k even, below 2^14; the first two steps are one of each
// kind, so the chain ends with both), such that the descent follows exactly
// those steps back down. Built once per size and variant from the test seed.
struct TCertifiable {
  std::string Hex;
  std::string Decimal;
  int32_t Bits = 0;
  std::vector<TExpectedTest> Tests;  // as ReferenceChain gives them
};
const TCertifiable& CertifiablePrime(int32_t bits, int32_t variant = 0);

// A prime of the given size neither of whose N - 1 and N + 1 splits.
std::string UnsplittablePrime(int32_t bits, int32_t variant = 0);

// A prime N = k·R + 1 whose N - 1 splits into the prime R, while N + 1 and
// both R - 1 and R + 1 do not: the descent takes one step, then is stuck.
struct TDeadEnd {
  std::string Hex;
  std::string RHex;
};
const TDeadEnd& DeadEndPrime(int32_t bits);

// Verifies a copy of the certificate (the verifier writes into the file it
// checks): full mode, or signature-only when signaturesOnly. Returns the
// verifier's message, followed by " (status n)" unless the status is valid.
std::string VerifyCopy(const std::string& certificate, bool signaturesOnly = false);

// A value of a loaded file ("" when missing), short for the checks.
std::string Value(const TXFile& file, const std::string& section, const std::string& key);

}  // namespace karvo::test
