// A new certification: the input, the pre-tests and the working file.

#include "base/Constants.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "certifs/Certifier.h"
#include "certifs/PreTests.h"
#include "files/Chrono.h"
#include "files/FileFormats.h"
#include "files/TaskReport.h"

namespace karvo {

namespace {

// WorkFolder + "karvo-" + TaskID, with "-" and the position in three or more
// hexadecimal digits for a position above 0.
std::string WorkingBaseName(int32_t fileIndex) {
  if (fileIndex > 0) {
    return CertificationFileName(WorkFolder, TaskID, fileIndex, "");
  }
  return WorkFolder + ProgramBaseName + "-" + TaskID;
}

}  // namespace

bool TCertifier::StartNew(const std::string& fileName, int32_t fileIndex) {
  const TXFile input(fileName);
  TCandidateInput candidate;
  std::string rejection = ReadCandidateInput(input, candidate);
  if (!rejection.empty()) {
    Status = CertifyRejected;
    Message = rejection;
    return false;
  }
  BigAssign(Candidate, candidate.N);
  Expression = candidate.Expression;
  Run = candidate.Run;
  CandidateBits = BigBitSize(Candidate);
  OnTest(0, CandidateBits, CandidateBits);

  const uint64_t start = ProcessTime();
  rejection = CandidatePreTests(Candidate);
  InitTime = ElapsedCentiseconds(start);
  if (!rejection.empty()) {
    Status = CertifyRejected;
    Message = rejection;
    return false;
  }

  const std::string base = FreshBaseName(WorkingBaseName(fileIndex), {".tmp", ".out", ".cr"});
  TempName = base + ".tmp";
  TempFile.Clear();
  TempFile.FileName = TempName;
  WriteNewWorkingFile(TempFile, candidate, fileName, InitTime);
  TempFile.SaveReplace();
  workingFileReady_ = true;
  TaskReportSetOutput(TempName);
  if (Settings.CertificationReports != 0) {
    ReportFile.Create(base + ".cr", base + ".out");
    reportOpen_ = true;
    TaskReportSetReport(base + ".cr");
  } else {
    TaskReportSetReport("");
  }
  BigAssign(N, Candidate);
  Level = Run;
  Phase = 1;
  return true;
}

}  // namespace karvo
