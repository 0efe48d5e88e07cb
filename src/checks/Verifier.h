#pragma once

// The certificate verifier: decides whether a certificate file proves its
// candidate prime. A structure pass checks every test's ranges without heavy
// arithmetic; then every test is re-run in full while the signature chain is
// re-computed and written back, so that an interrupted verification leaves a
// partial signature behind.
//
// The signature has no key: anyone can recompute it. So this verifier never
// reports a certificate valid on the strength of a signature alone. A partial
// signature is checked as written, then every test is checked again from the
// first; in signature-only mode a matching chain is reported as
// "Valid signature" only after the tests have been checked as well.

#include <cstdint>
#include <functional>
#include <string>

#include "arith/BigInt.h"

namespace karvo {

class TSaveTimer;
class TXFile;

// Status values of a verification.
enum : uint8_t {
  VerifyValid = 1,
  VerifyNotProcessed = 2,  // also aborted
  VerifyNotValid = 3,
};

// Phase codes passed to OnPhase.
enum : int32_t {
  VerifyPhaseStructure = 1,
  VerifyPhaseFull = 2,
  VerifyPhaseSignature = 3,
  VerifyPhasePartial = 4,
};

// The last test of a chain proves its N prime directly: an N of at most
// this many bits, where strong tests to the bases 2 to 17 decide primality.
inline constexpr int32_t MaxLastTestBits = 48;
// Whether N has at most MaxLastTestBits bits and is prime.
bool IsLastTestPrime(const BigInt& N);

// The text the front ends show for a phase code ("" for any other code).
const char* VerifierPhaseText(int32_t phase);

// test number, TestCount, bits of the current N, bits of the candidate.
using TVerifierProgress = std::function<void(int32_t, int32_t, int32_t, int32_t)>;
using TVerifierPhase = std::function<void(int32_t)>;

class TVerifier {
 public:
  BigInt Sig;    // running signature chain
  BigInt N;      // the candidate, then the R of each previous test
  BigInt S;
  BigInt R;
  BigInt A;      // A (type 3), J (type 4), P (type 2)
  BigInt B;      // B (types 1 and 3), Q (type 2)
  BigInt T;
  BigInt Work1;  // scratch; also the evaluated expression and a new chain
  BigInt Work2;
  BigInt Work3;
  BigInt HalfN;  // floor(N/2) in the structure pass; scratch in the N+1 and curve tests
  int32_t TestCount = 0;
  TVerifierProgress OnProgress;
  TVerifierPhase OnPhase;
  // 0 none, -i an error in test i, 1 an error in the certificate as a whole,
  // 3 a signature mismatch.
  int32_t ErrorPlace = 0;
  uint8_t Status = VerifyNotProcessed;
  std::string Message;
  TSaveTimer* SaveTimer = nullptr;  // not owned; may stay null

  TVerifier();

  // Verifies one certificate and writes its start and finish entries to the
  // task report; afterwards Status, Message and ErrorPlace hold the outcome.
  // An exception (abort, internal error, file error) becomes the outcome and
  // is then raised again for the task driver.
  void Verify(const std::string& fileName, int32_t fileIndex);

  // The structure pass; false with Message and ErrorPlace set on failure.
  bool CheckStructure(const TXFile& file);
  // The arithmetic of the current test on the loaded fields; false with
  // Message set on failure.
  bool CheckNMinus1();
  bool CheckNPlus1();
  bool CheckCurve(int32_t type);

  // One test of the certificate on the fields: reads its type and numbers
  // (false with Message set when they cannot be read), feeds its signed
  // values into Sig, runs its arithmetic. N must be the test's N.
  bool ReadTest(const TXFile& file, int32_t i, int32_t& type);
  void SignTest(int32_t i, int32_t type);
  bool CheckTest(int32_t type);
  // The structure checks of test i alone, which leave its R in R; last tells
  // whether it was a type 0 test (the last one when TestCount is i).
  bool CheckTestStructure(const TXFile& file, int32_t i, bool& last);

  void Clear();

 private:
  enum class TMode { Full, SignatureOnly };

  void RunVerification(TXFile& file);
  bool ReadTestCount(const TXFile& file);
  bool ReadCandidate(const TXFile& file);
  bool CheckExpression(const TXFile& file);
  bool SetUpSignature(TXFile& file, TMode& mode);
  bool CheckPartialSignature(TXFile& file);
  void StartSignature(TXFile& file);
  bool ReadNumber(const TXFile& file, const std::string& section, const char* key, BigInt& x);
  // Runs tests first..last from N; sign feeds Sig, check runs the arithmetic,
  // record writes the chain into the file after each test. True when the
  // last test reached is a type 0 test that holds (or was not checked).
  bool RunTests(TXFile& file, int32_t first, int32_t last, bool sign, bool check, bool record);
  void RecordProgress(TXFile& file, int32_t i, bool complete);
  bool Fail(const char* message);

  bool saveTimerOn_ = false;
  bool fullModeBegun_ = false;
  int32_t candidateBits_ = 0;
};

}  // namespace karvo
