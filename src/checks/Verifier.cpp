// One verification from end to end: structure pass, signature set-up, the
// tests, the outcome and its task-report entries.

#include "checks/Verifier.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "arith/BigMod.h"
#include "arith/Expression.h"
#include "arith/ProbablePrime.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/SaveTimer.h"
#include "base/Settings.h"
#include "checks/Signature.h"
#include "files/Chrono.h"
#include "files/FileFormats.h"
#include "files/TXFile.h"
#include "files/TaskReport.h"

namespace karvo {

namespace {

// From this size on, reduction goes through the registered modulus.
constexpr int32_t RegisteredModulusWords = 169;

// A stored seed: plain hexadecimal, no sign; an empty one reads as zero.
bool ReadSeed(const TXFile& file, BigInt& seed) {
  const std::string text = file.ReadString(SectionSignature, "1$");
  if (text.find('-') != std::string::npos || (!text.empty() && !BigIsNumberText(text, 16))) {
    return false;
  }
  SignatureFromText(seed, text);
  return true;
}

}  // namespace

bool IsLastTestPrime(const BigInt& N) {
  constexpr int32_t rounds = 7;  // the bases 2, 3, 5, ..., 17
  return BigBitSize(N) <= MaxLastTestBits && BigIsProbablePrime(N, rounds);
}

const char* VerifierPhaseText(int32_t phase) {
  switch (phase) {
    case VerifyPhaseStructure:
      return "Checking file structure and parameter validity";
    case VerifyPhaseFull:
      return "Checking and signing certificate";
    case VerifyPhaseSignature:
      return "Checking signature";
    case VerifyPhasePartial:
      return "Checking partial signature";
    default:
      return "";
  }
}

TVerifier::TVerifier()
    : OnProgress([](int32_t, int32_t, int32_t, int32_t) {}), OnPhase([](int32_t) {}) {}

void TVerifier::Clear() {
  TestCount = 0;
  for (BigInt* x : {&Sig, &N, &S, &R, &A, &B, &T, &Work1, &Work2, &Work3, &HalfN}) {
    BigSetZero(*x);
  }
}

void TVerifier::Verify(const std::string& fileName, int32_t fileIndex) {
  Clear();
  fullModeBegun_ = false;
  TaskReportBeginCertificate(fileIndex, fileName);
  if (!IsExistingFile(fileName)) {
    ErrorPlace = 0;
    Status = VerifyNotProcessed;
    Message = TextInvalidFileName;
    TaskReportEndCertificate(Message, Status, 0);
    return;
  }
  Status = VerifyNotValid;
  Message = "Invalid certificate";
  ErrorPlace = 1;
  const uint64_t start = ProcessTime();
  std::exception_ptr failure;
  {
    TXFile file;
    try {
      file.Load(fileName);
      RunVerification(file);
    } catch (...) {
      failure = std::current_exception();
      Message = AbortOutcomeText(failure);
    }
    if (failure) {
      ErrorPlace = 0;
      Status = VerifyNotProcessed;
    }
  }
  SwitchSaveTimer(SaveTimer, saveTimerOn_, false);
  SaveRequested.store(0);
  BigClearModulus();
  Clear();
  if (ErrorPlace < 0) {
    Status = VerifyNotValid;
    Message = "ERROR at test #" + std::to_string(-ErrorPlace) + ": " + Message;
  } else if (ErrorPlace > 0) {
    Status = VerifyNotValid;
    Message = "ERROR: " + Message;
  } else if (fullModeBegun_) {
    std::error_code error;
    std::filesystem::remove(fileName + "old", error);
  }
  TaskReportEndCertificate(Message, Status, ElapsedCentiseconds(start));
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void TVerifier::RunVerification(TXFile& file) {
  OnPhase(VerifyPhaseStructure);
  if (!CheckStructure(file)) {
    return;
  }
  ErrorPlace = 1;
  ReadCandidate(file);
  if (!CheckExpression(file)) {
    return;
  }
  TMode mode = TMode::Full;
  if (!SetUpSignature(file, mode)) {
    return;
  }
  if (mode == TMode::Full) {
    fullModeBegun_ = true;
    file.SaveReplace();
    if (N.Length > PeriodicSaveWords) {
      SwitchSaveTimer(SaveTimer, saveTimerOn_, true);
      SaveRequested.store(0);
    }
    if (!RunTests(file, 1, TestCount, true, true, true)) {
      return;
    }
    SwitchSaveTimer(SaveTimer, saveTimerOn_, false);
    file.SaveReplace();
    Message = "Valid certificate";
  } else {
    // The chain first, so that a changed value is reported as such rather
    // than as the arithmetic failure it may cause.
    if (!RunTests(file, 1, TestCount, true, false, false)) {
      return;
    }
    if (!SignatureMatches(Sig, file.ReadString(SectionSignature, "2$"))) {
      ErrorPlace = 3;
      Fail("Invalid signature");
      return;
    }
    ReadCandidate(file);
    if (!RunTests(file, 1, TestCount, false, true, false)) {
      return;
    }
    Message = "Valid signature";
  }
  ErrorPlace = 0;
  Status = VerifyValid;
}

bool TVerifier::CheckExpression(const TXFile& file) {
  const std::string expression = file.ReadString(SectionCandidate, "Expression");
  if (expression.empty()) {
    return true;
  }
  if (EvaluateExpression(Work1, expression) != ExprOk) {
    return Fail("Invalid Expression");
  }
  return BigEqual(Work1, N) || Fail("Expression <> Candidate");
}

bool TVerifier::SetUpSignature(TXFile& file, TMode& mode) {
  mode = TMode::Full;
  if (!file.SectionExists(SectionSignature)) {
    OnPhase(VerifyPhaseFull);
    StartSignature(file);
    return true;
  }
  if (file.ValueExists(SectionSignature, "ce")) {
    if (!CheckPartialSignature(file)) {
      return false;
    }
    OnPhase(VerifyPhaseFull);
    StartSignature(file);
    return true;
  }
  if (Settings.CheckSignaturesOnly == 0) {
    OnPhase(VerifyPhaseFull);
    // Full mode re-signs the file anyway; an unreadable seed is replaced.
    if (!ReadSeed(file, Sig)) {
      StartSignature(file);
    }
    return true;
  }
  OnPhase(VerifyPhaseSignature);
  mode = TMode::SignatureOnly;
  if (!ReadSeed(file, Sig)) {
    ErrorPlace = 3;
    return Fail("Invalid signature");
  }
  return true;
}

bool TVerifier::CheckPartialSignature(TXFile& file) {
  const int32_t completed = file.ReadInteger(SectionSignature, "ce", -1);
  if (completed < 0 || completed >= TestCount) {
    return Fail("Invalid certificate");
  }
  if (!ReadSeed(file, Sig)) {
    ErrorPlace = 3;
    return Fail("Invalid partial signature");
  }
  OnPhase(VerifyPhasePartial);
  if (!RunTests(file, 1, completed, true, false, false)) {
    return false;
  }
  if (!SignatureMatches(Sig, file.ReadString(SectionSignature, "2$"))) {
    ErrorPlace = 3;
    return Fail("Invalid partial signature");
  }
  ErrorPlace = 1;
  return true;
}

void TVerifier::StartSignature(TXFile& file) {
  // The signature has no key, so a partial one is only an integrity check:
  // every test is checked again from the first under a new seed.
  SignatureSeed(Sig);
  const std::string seed = SignatureText(Sig);
  file.WriteStrings(SectionSignature, {{"1$", seed}, {"2$", seed}, {"ce", "0"}});
  ReadCandidate(file);
}

void TVerifier::SignTest(int32_t i, int32_t type) {
  const auto number = static_cast<uint32_t>(i);
  switch (type) {
    case 1:
      SignatureUpdate(Sig, number, {&N, &S, &R, &B});
      break;
    case 2:
      SignatureUpdate(Sig, number, {&N, &S, &R, &A, &B});
      break;
    case 3:
      SignatureUpdate(Sig, number, {&N, &S, &R, &A, &B, &T});
      break;
    default:
      SignatureUpdate(Sig, number, {&N, &S, &R, &A, &T});
      break;
  }
}

bool TVerifier::CheckTest(int32_t type) {
  switch (type) {
    case 1:
      return CheckNMinus1();
    case 2:
      return CheckNPlus1();
    default:
      return CheckCurve(type);
  }
}

bool TVerifier::RunTests(TXFile& file, int32_t first, int32_t last, bool sign, bool check,
                         bool record) {
  for (int32_t i = first; i <= last; ++i) {
    ErrorPlace = -i;
    OnProgress(i, TestCount, BigBitSize(N), candidateBits_);
    if (N.Length >= RegisteredModulusWords) {
      BigSetModulus(N);
    } else {
      BigClearModulus();
    }
    int32_t type = -1;
    if (!ReadTest(file, i, type)) {
      return false;
    }
    if (type == 0) {
      if (sign) {
        SignatureUpdate(Sig, static_cast<uint32_t>(i), {&N});
      }
      if (check && !IsLastTestPrime(N)) {
        return Fail("Invalid certificate");
      }
      if (record) {
        RecordProgress(file, i, true);
      }
      return i == TestCount || Fail("Invalid certificate");
    }
    if (sign) {
      SignTest(i, type);
    }
    if (check && !CheckTest(type)) {
      return false;
    }
    if (record) {
      RecordProgress(file, i, false);
    }
    BigAssign(N, R);
  }
  return last < TestCount || Fail("Invalid certificate");
}

void TVerifier::RecordProgress(TXFile& file, int32_t i, bool complete) {
  file.WriteString(SectionSignature, "2$", SignatureText(Sig));
  if (complete) {
    // A hand-edited file may hold the key twice; none may survive.
    while (file.ValueExists(SectionSignature, "ce")) {
      file.DeleteKey(SectionSignature, "ce");
    }
    return;
  }
  file.WriteString(SectionSignature, "ce", std::to_string(i));
  if (SaveRequested.exchange(0) != 0) {
    file.SaveReplace();
  }
}


}  // namespace karvo
