// Resuming a working file. The file is untrusted input: everything the
// engine will rely on is range-checked first, and a file that cannot be
// resumed is left exactly as it was.

#include <climits>
#include <vector>
#include <filesystem>
#include <system_error>

#include "arith/Expression.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Settings.h"
#include "certifs/Certifier.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"
#include "files/TaskReport.h"

namespace karvo {

namespace {

constexpr int32_t MinResumableFormat = 3;
constexpr int32_t MinResumableVersion = 3001;
constexpr int32_t CurrentLayoutVersion = 3005;
constexpr int32_t NeverUndoneLevel = 64;
constexpr int32_t MaxLevel = 6;
// Level 6 enumerates discriminant codes up to 2^25 - 1; table positions stay
// far below that.
constexpr int32_t MaxSearchPosition = 33554431;
// A code below 2^25 has at most seven odd prime factors.
constexpr int32_t MaxRootEntries = 8;
constexpr int32_t Missing = INT32_MIN;

bool IsClassNumberOneCode(int32_t d) {
  for (int32_t code : {1, 2, 3, 7, 11, 19, 43, 67, 163}) {
    if (d == code) {
      return true;
    }
  }
  return false;
}

// A "$" key that must be present and readable.
bool ReadHex(const TXFile& file, const std::string& section, const std::string& key, BigInt& x) {
  if (!file.ValueExists(section, key)) {
    return false;
  }
  const std::string text = file.ReadString(section, key);
  if (!BigIsNumberText(text, 16)) {
    return false;
  }
  BigFromString(x, text, 16);
  return true;
}

// A decimal key in min..max, dflt when absent; false when present and
// unreadable or out of range.
bool ReadRange(const TXFile& file, const std::string& section, const char* key, int32_t dflt,
               int32_t min, int32_t max, int32_t& value) {
  if (!file.ValueExists(section, key)) {
    value = dflt;
    return true;
  }
  value = file.ReadInteger(section, key, Missing);
  return value >= min && value <= max;
}

bool IsSignatureText(const std::string& text) {
  return text.size() <= 40 && text.find('-') == std::string::npos && BigIsNumberText(text, 16);
}

}  // namespace

bool TCertifier::Resume(const std::string& fileName) {
  TempFile.Load(fileName);
  TempName = fileName;
  const int32_t format = TempFile.ReadInteger(SectionCertificateHeader, "Format", 0);
  const int32_t version = TempFile.ReadInteger(SectionResumeState, "ve", 0);
  if (format < MinResumableFormat || version < MinResumableVersion) {
    InformUser("Cannot resume this certificate");
    throw EKVAbort(TextOperationAborted);
  }
  if (version < CurrentLayoutVersion) {
    ConvertOldWorkingFile(fileName);
  }
  if (!ValidateWorkingFile()) {
    Status = CertifyRejected;
    Message = TextInvalidFile;
    return false;
  }
  RestoreState();
  workingFileReady_ = true;
  return true;
}

void TCertifier::ConvertOldWorkingFile(const std::string& fileName) {
  TempFile.SaveAs(fileName + ".dup");
  const int32_t count = TempFile.ReadInteger(SectionCertificateHeader, "TestCount", 0);
  if (count > 0 && TempFile.SectionExists(std::to_string(count))) {
    TempFile.WriteString(std::to_string(count), "rn", std::to_string(NeverUndoneLevel));
  }
  std::vector<std::string> keys;
  TempFile.ReadKeyNames(SectionResumeState, keys);
  TempFile.DeleteKeys(SectionResumeState, keys);
  TempFile.WriteStrings(SectionResumeState, {{"ve", std::to_string(WorkingFileVersion)},
                                             {"ce", "4"},
                                             {"pe", "1"},
                                             {"sf", "0"},
                                             {"tx", "0"},
                                             {"ar", "1"},
                                             {"ap", "2"}});
  TempFile.WriteString(SectionCertificateHeader, "Version", Version);
}

bool TCertifier::ValidateWorkingFile() {
  const TXFile& file = TempFile;
  TestCount = file.ReadInteger(SectionCertificateHeader, "TestCount", -1);
  CandidateBits = file.ReadInteger(SectionCandidate, "BinarySize", 0);
  if (TestCount < 0 || CandidateBits < MinCandidateBits || CandidateBits > MaxCandidateBits ||
      !file.ValueExists(SectionResumeState, "pe")) {
    return false;
  }
  int32_t value = 0;
  if (!ReadRange(file, SectionResumeState, "pe", 1, 1, 3, Phase) ||
      !ReadRange(file, SectionResumeState, "ce", 1, 1, 4, value) ||
      !ReadRange(file, SectionResumeState, "ar", 1, 1, MaxLevel, value) ||
      !ReadRange(file, SectionResumeState, "ap", 0, 0, MaxSearchPosition, value)) {
    return false;
  }
  if (!ReadHex(file, SectionCandidate, "N$", Candidate) || BigIsNegative(Candidate) ||
      !BigIsOdd(Candidate) || BigBitSize(Candidate) != CandidateBits) {
    return false;
  }
  for (const char* key : {"Initialization", "1stPhase", "2ndPhase"}) {
    if (file.ReadInt64(SectionRunningTimes, key) < 0) {
      return false;
    }
  }
  if (file.ReadInt64(SectionResumeState, "tx") < 0) {
    return false;
  }
  const std::string expression = file.ReadString(SectionCandidate, "Expression");
  if (!expression.empty() &&
      (EvaluateExpression(Work1, expression) != ExprOk || !BigEqual(Work1, Candidate))) {
    return false;
  }
  BigAssign(Work1, Candidate);
  bool last = false;
  for (int32_t i = 1; i <= TestCount; ++i) {
    if (last || !ValidateTest(i, Work1, last)) {
      return false;
    }
  }
  if (Phase >= 2 && !last) {
    return false;
  }
  if (file.SectionExists(SectionSignature)) {
    if (!IsSignatureText(file.ReadString(SectionSignature, "1$")) ||
        !IsSignatureText(file.ReadString(SectionSignature, "2$")) ||
        !ReadRange(file, SectionSignature, "ce", TestCount, 0, TestCount, value)) {
      return false;
    }
  }
  return true;
}

bool TCertifier::ValidateTest(int32_t i, BigInt& testN, bool& last) {
  const TXFile& file = TempFile;
  const std::string section = std::to_string(i);
  int32_t type = 0;
  if (!file.SectionExists(section) || !file.ValueExists(section, "Type") ||
      !ReadRange(file, section, "Type", 0, -4, 4, type)) {
    return false;
  }
  if (type >= 0) {
    // A final record must pass what a verifier checks before any arithmetic.
    TVerifier checker;
    checker.TestCount = TestCount;
    BigAssign(checker.N, testN);
    if (!checker.CheckTestStructure(file, i, last)) {
      return false;
    }
    BigAssign(testN, checker.R);
    return true;
  }
  if (!ReadHex(file, section, "S$", S) || !ReadHex(file, section, "R$", R) ||
      BigCompareWord(S, 2) < 0 || !BigIsOdd(R) || BigIsNegative(R) || BigCompare(R, testN) >= 0) {
    return false;
  }
  const int32_t kind = -type;
  if (kind <= 2) {
    // N ∓ 1 = S·R with an even S below R, so that R exceeds the root of N.
    BigMulTo(Work2, S, R);
    if (kind == 1) {
      BigIncrement(Work2);
    } else {
      BigDecrement(Work2);
    }
    if (BigIsOdd(S) || BigCompare(S, R) >= 0 || !BigEqual(Work2, testN)) {
      return false;
    }
  }
  int32_t level = 0;
  int32_t position = 0;
  int32_t code = 0;
  const int32_t minCode = kind <= 2 ? 0 : 1;
  const int32_t maxCode = kind <= 2 ? 0 : MaxSearchPosition;
  if (!ReadRange(file, section, "rn", 1, 1, NeverUndoneLevel, level) ||
      (level > MaxLevel && level != NeverUndoneLevel) ||
      !ReadRange(file, section, "pm", 0, 0, MaxSearchPosition, position) ||
      !ReadRange(file, section, "dc", 0, minCode, maxCode, code) ||
      (kind >= 3 && IsClassNumberOneCode(code) != (kind == 3))) {
    return false;
  }
  for (const char* key : {"G$", "U$", "V$"}) {
    if (file.ValueExists(section, key) && !ReadHex(file, section, key, Work2)) {
      return false;
    }
  }
  if (kind == 4 && !ValidateRootEntries(section)) {
    return false;
  }
  BigAssign(testN, R);
  return true;
}

bool TCertifier::ValidateRootEntries(const std::string& section) {
  const TXFile& file = TempFile;
  int32_t entries = 0;
  if (!ReadRange(file, section, "rs", 0, 0, MaxRootEntries, entries)) {
    return false;
  }
  for (int32_t k = 0; k < entries; ++k) {
    const std::string digit(1, static_cast<char>('0' + k));
    int32_t qStar = 0;
    if (!ReadRange(file, section, ("f" + digit).c_str(), 0, -MaxSearchPosition, MaxSearchPosition,
                   qStar) ||
        qStar == 0 || !ReadHex(file, section, digit + "$", Work2) || BigIsZero(Work2)) {
      return false;
    }
  }
  return true;
}

void TCertifier::RestoreState() {
  const TXFile& file = TempFile;
  InitTime = file.ReadInt64(SectionRunningTimes, "Initialization");
  Phase1Time = file.ReadInt64(SectionRunningTimes, "1stPhase");
  Phase2Time = file.ReadInt64(SectionRunningTimes, "2ndPhase");
  // The time the phase had spent when the file was last saved.
  (Phase == 1 ? Phase1Time : Phase2Time) += file.ReadInt64(SectionResumeState, "tx");
  Expression = file.ReadString(SectionCandidate, "Expression");
  Level = file.ReadInteger(SectionResumeState, "ar", 1);
  RestartIndex = file.ReadInteger(SectionResumeState, "ap", 0);
  AfterBacktrack = RestartIndex > 0;
  Run = Level;
  const bool phase1Done =
      TestCount > 0 && file.ReadInteger(std::to_string(TestCount), "Type", -1) == 0;
  if (phase1Done && Phase == 1) {
    Phase = 2;
  }
  // A file marked done is completed like one in phase 2: its final records
  // are checked again before it becomes a certificate.
  if (Phase == 3) {
    Phase = 2;
  }
  if (TestCount == 0 || phase1Done) {
    BigAssign(N, Candidate);
  } else {
    file.ReadBigHex(std::to_string(TestCount), "R$", N);
  }
  TaskReportSetOutput(TempName);
  if (Phase == 1 && Settings.CertificationReports != 0) {
    const std::string reportName = ChangeFileExtension(TempName, ".cr");
    std::error_code error;
    if (std::filesystem::exists(reportName, error)) {
      ReportFile.Reopen(reportName);
    } else {
      ReportFile.Create(reportName, ChangeFileExtension(TempName, ".out"));
    }
    reportOpen_ = true;
    TaskReportSetReport(reportName);
  } else {
    TaskReportSetReport("");
  }
}

}  // namespace karvo
