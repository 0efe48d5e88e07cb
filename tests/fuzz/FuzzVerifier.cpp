// The certificate verifier on arbitrary bytes taken as a certificate file.
// Small certificates are verified in signature-only mode, then in full mode
// on a fresh copy, and a certificate that full mode accepts is verified again
// in signature-only mode after its re-signing. Large ones get the structure
// pass alone, which is cheap at any size. Whatever the verifier accepts must
// be a proof by an independent judge: GMP says every N of the chain is prime
// and the chain ends with a type 0 test.

#include <gmp.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "arith/BigInt.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "checks/Verifier.h"
#include "files/TXFile.h"

namespace {

using karvo::TVerifier;
using karvo::TXFile;
using karvo::fuzz::AbortAfter;
using karvo::fuzz::NoSyncOps;
using karvo::fuzz::ScratchFolder;

// Full verification only below these sizes: the arithmetic grows with the
// cube of the size, and sanitizers slow it tenfold.
constexpr size_t MaxFullFileBytes = 16 * 1024;
constexpr size_t MaxFullCandidateDigits = 100;  // hexadecimal, about 400 bits
// A curve test's S is not tied to N, so one long S would cost a long
// multiplication; no other value of a small certificate comes near this.
constexpr size_t MaxFullValueChars = 200;
constexpr size_t MaxExpressionChars = 40;
// Stands in for the user's abort should a run still be slow; an abort is a
// legitimate outcome, so only the verdicts of completed runs are judged.
constexpr auto Budget = std::chrono::milliseconds(300);

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_verifier: %s\n", what);
    __builtin_trap();
  }
}

void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  Check(out != nullptr, "cannot create the scratch certificate");
  Check(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size(), "short write");
  Check(std::fclose(out) == 0, "cannot close the scratch certificate");
}

// Hexadecimal digits of a value as the file format reads it: blanks anywhere,
// one leading sign, leading zeros not counted.
size_t SignificantHexDigits(std::string_view text) {
  size_t digits = 0;
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) != 0 && (digits > 0 || c != '0')) {
      ++digits;
    }
  }
  return digits;
}

// Reads a "$" value into x by the format's rules, without the program's
// parser: blanks (TAB, LF, CR, space, backslash) anywhere, one leading sign,
// hexadecimal digits of either case; empty is zero. False when the text is
// not such a number.
bool ReadHex(const TXFile& file, std::string_view section, std::string_view key, mpz_t x) {
  const std::string text = file.ReadString(section, key);
  std::string digits;
  bool negative = false;
  bool signAllowed = true;
  for (const char c : text) {
    if (c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '\\') {
      continue;
    }
    if (signAllowed && (c == '+' || c == '-')) {
      negative = c == '-';
      signAllowed = false;
      continue;
    }
    signAllowed = false;
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
      return false;
    }
    digits += c;
  }
  if (digits.empty()) {
    mpz_set_ui(x, 0);
    return true;
  }
  if (mpz_set_str(x, digits.c_str(), 16) != 0) {
    return false;
  }
  if (negative) {
    mpz_neg(x, x);
  }
  return true;
}

// Whether the candidate's expression can be evaluated quickly: short, and
// with at most one power, factorial or primorial, on operands of at most
// three digits and outside any group that could make a large operand. The
// cap of the evaluator holds for the rest, but values near it take seconds
// under the sanitizers, and an abort cannot cut a single squaring short.
bool CheapExpression(std::string_view text) {
  if (text.size() > MaxExpressionChars) {
    return false;
  }
  int costly = 0;
  bool groups = false;
  size_t run = 0;
  size_t longestRun = 0;
  for (const char c : text) {
    costly += c == '^' || c == '!' || c == '#' ? 1 : 0;
    groups = groups || c == '(' || c == ')';
    run = c >= '0' && c <= '9' ? run + 1 : 0;
    longestRun = std::max(longestRun, run);
  }
  return costly == 0 || (costly == 1 && !groups && longestRun <= 3);
}

bool Small(const TXFile& file, size_t size) {
  if (size > MaxFullFileBytes) {
    return false;
  }
  if (SignificantHexDigits(file.ReadString("Candidate", "N$")) > MaxFullCandidateDigits) {
    return false;
  }
  if (!CheapExpression(file.ReadString("Candidate", "Expression"))) {
    return false;
  }
  for (const karvo::TXSection& section : file.Sections) {
    for (const std::string& line : section.Lines) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos && equals > 0 && line[equals - 1] == '$' &&
          line.size() - equals - 1 > MaxFullValueChars) {
        return false;
      }
    }
  }
  return true;
}

// The verdict of an accepted certificate, judged without the program's
// arithmetic: the candidate and each test's R (the N of the next test) are
// primes by GMP, every test before the last has a test type, and the last
// is a type 0 test.
void CheckProof(const TXFile& file) {
  const int32_t count = file.ReadInteger("KARVO - Primality Certificate", "TestCount", 0);
  Check(count >= 1, "accepted without tests");
  mpz_t n;
  mpz_init(n);
  Check(ReadHex(file, "Candidate", "N$", n), "accepted a candidate that is not a number");
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    Check(file.SectionExists(section), "accepted a missing test");
    Check(mpz_cmp_ui(n, 1) > 0, "accepted an N below 2");
    Check(mpz_probab_prime_p(n, 30) > 0, "accepted a composite N");
    const int32_t type = file.ReadInteger(section, "Type", -1);
    if (i == count) {
      Check(type == 0, "accepted a chain that does not end with a type 0 test");
    } else {
      Check(type >= 1 && type <= 4, "accepted a test of no valid type before the last");
      Check(ReadHex(file, section, "R$", n), "accepted an R that is not a number");
    }
  }
  mpz_clear(n);
}

struct TOutcome {
  bool Completed = false;  // no exception: the verdict stands
  uint8_t Status = karvo::VerifyNotProcessed;
  int32_t ErrorPlace = 0;
  std::string Message;
};

TOutcome Verify(TVerifier& verifier, const std::string& path, int32_t signaturesOnly) {
  karvo::Settings.CheckSignaturesOnly = signaturesOnly;
  TOutcome outcome;
  {
    const AbortAfter abort(Budget);
    try {
      verifier.Verify(path, 1);
      outcome.Completed = true;
    } catch (const karvo::EKV&) {
      // Aborts and internal errors are raised again after being recorded.
    }
  }
  outcome.Status = verifier.Status;
  outcome.ErrorPlace = verifier.ErrorPlace;
  outcome.Message = verifier.Message;
  if (outcome.Completed) {
    Check(outcome.Status == karvo::VerifyValid || outcome.Status == karvo::VerifyNotValid,
          "completed without a verdict");
  }
  if (outcome.Status == karvo::VerifyValid) {
    Check(outcome.Completed, "valid yet raised");
    Check(outcome.ErrorPlace == 0, "valid with an error place");
    // Signature-only mode falls back to full mode without a complete
    // signature.
    Check(outcome.Message == "Valid certificate" ||
              (signaturesOnly != 0 && outcome.Message == "Valid signature"),
          "valid with another message");
  }
  return outcome;
}

bool Accepted(const TOutcome& outcome) {
  return outcome.Completed && outcome.Status == karvo::VerifyValid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoSyncOps ops;
  static const ScratchFolder folder;
  // The verifier is reused across certificates, as in the programs.
  static TVerifier verifier;
  static const bool started = [] {
    karvo::BaseStartup();
    karvo::BigStartup();
    karvo::Settings.DoubleFileManagement = 0;
    return true;
  }();
  (void)started;
  karvo::SetFileSystemOps(&ops);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  TXFile file;
  file.LoadFromBytes(bytes);
  if (!Small(file, size)) {
    try {
      (void)verifier.CheckStructure(file);
    } catch (const karvo::EKV&) {
      // Internal errors of the layers below surface as EKV.
    }
    verifier.Clear();
    return 0;
  }

  const std::string path = folder.Path() + "/cert.out";
  WriteFile(path, bytes);
  const TOutcome quick = Verify(verifier, path, 1);
  if (Accepted(quick)) {
    CheckProof(file);
  }

  WriteFile(path, bytes);
  const TOutcome full = Verify(verifier, path, 0);
  if (Accepted(full)) {
    CheckProof(file);
    // Full mode has signed the file completely: its own signature must now
    // pass.
    const TXFile resigned(path);
    Check(!resigned.ValueExists("Signature", "ce"), "left a partial signature behind");
    const TOutcome again = Verify(verifier, path, 1);
    Check(!again.Completed || again.Status == karvo::VerifyValid, "rejected its own signature");
  }
  // Both modes check every test, so a signature cannot make up for a test
  // that fails.
  if (Accepted(quick) && full.Completed) {
    Check(full.Status == karvo::VerifyValid, "valid signature on a certificate full mode rejects");
  }
  return 0;
}
