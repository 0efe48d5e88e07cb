// Ctrl-C during a task: a second one within 7 s aborts the current file and
// skips the rest, a single one is forgotten after 7 s.
//
// The tasks are made of working files of one 2000-bit candidate, fresh from
// the pre-tests (after an input file of it, in the first test): each resumes
// into the whole certification, so whichever file the abort lands in has a
// working file to resume.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "E2eSupport.h"

namespace karvo::e2e {
namespace {

std::string NumberedName(const char* stem, int i, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%03d%s", stem, i, extension);
  return name;
}

TEST(CliAbort, SecondCtrlCAbortsTheCurrentFileWhichThenResumes) {
  TSandbox box;
  const TCandidate& prime = MediumChainPrime();
  WriteText(box.WorkPath("a.in"), InputText(prime.Decimal));
  const int copies = 30;
  const std::string fresh = FreshWorkingFileText(prime);
  std::vector<std::string> args = {"--no-idle", "certify", "a.in"};
  for (int i = 0; i < copies; ++i) {
    WriteText(box.WorkPath(NumberedName("b", i, ".tmp")), fresh);
    args.push_back(NumberedName("b", i, ".tmp"));
  }
  const std::unique_ptr<TCliProcess> cli = box.Start(args);
  // The first file is past its pre-tests once its working file exists (or
  // already done, on a fast machine).
  ASSERT_TRUE(cli->WaitUntil([&] {
    return !FilesEndingWith(box.Work(), "-001.tmp").empty() ||
           !FilesEndingWith(box.Work(), ".out").empty();
  })) << cli->ErrorText();
  cli->Interrupt();
  ASSERT_TRUE(cli->WaitUntil([&] { return Contains(cli->ErrorText(), ConfirmText); }))
      << cli->ErrorText();
  cli->Interrupt();
  const TRunResult run = cli->Wait();
  EXPECT_EQ(run.Status, ExitInterrupted) << run.Err;
  EXPECT_FALSE(run.Signaled);

  const TSections report = ReadSections(TaskReportPath(box.Work(), run));
  EXPECT_EQ(Value(report, "Common", "Selected"), std::to_string(copies + 1));
  const int processed = std::atoi(Value(report, "Common", "Processed").c_str());
  ASSERT_GE(processed, 1);
  ASSERT_LE(processed, copies);
  // Every file before the aborted one was certified; none after it began.
  for (int i = 1; i < processed; ++i) {
    EXPECT_EQ(Value(report, "Candidate #" + std::to_string(i), "Status"), CertifiedText);
  }
  const std::string aborted = "Candidate #" + std::to_string(processed);
  EXPECT_EQ(Value(report, aborted, "Status"), AbortedByUserText);
  EXPECT_EQ(report.count("Candidate #" + std::to_string(processed + 1)), 0u);
  EXPECT_EQ(Value(report, "Common", "Certified"), std::to_string(processed - 1));
  for (int i = processed - 1; i < copies; ++i) {
    EXPECT_EQ(ReadText(box.WorkPath(NumberedName("b", i, ".tmp"))), fresh) << i;
  }
  EXPECT_TRUE(Contains(run.Out, "Status=" + std::string(AbortedByUserText))) << run.Out;
  EXPECT_TRUE(Contains(run.Err, "| " + std::string(AbortedByUserText))) << run.Err;

  // The aborted file's working file holds its progress and resumes.
  const std::string working = Value(report, aborted, "Output");
  ASSERT_FALSE(working.empty());
  ASSERT_TRUE(FileExists(box.WorkPath(working)));
  EXPECT_EQ(Value(ReadSections(box.WorkPath(working)), "KARVO - Primality Certificate", "Status"),
            AbortedByUserText);
  const TRunResult resumed = box.Run({"--no-idle", "certify", working});
  EXPECT_EQ(resumed.Status, 0) << resumed.Err;
  EXPECT_TRUE(Contains(resumed.Out, "Status=" + std::string(CertifiedText))) << resumed.Out;
  EXPECT_FALSE(FileExists(box.WorkPath(working)));
  const std::string certificate = working.substr(0, working.size() - 4) + ".out";
  const TRunResult check = box.Run({"--full", "verify", certificate});
  EXPECT_EQ(check.Status, 0) << check.Out;
  EXPECT_TRUE(Contains(check.Out, "Status=" + std::string(ValidCertificateText))) << check.Out;
}

TEST(CliAbort, SingleCtrlCIsForgottenAfterSevenSeconds) {
  TSandbox box;
  const TCandidate& prime = MediumChainPrime();
  // Enough files to outlast the 7 s on any machine; once the request is
  // dropped, those not yet done become quick ones.
  const int copies = 150;
  // No certification reports: fewer files to write for each of them.
  std::vector<std::string> args = {"--no-idle", "--no-reports", "certify"};
  for (int i = 0; i < copies; ++i) {
    WriteText(box.WorkPath(NumberedName("c", i, ".tmp")), FreshWorkingFileText(prime));
    args.push_back(NumberedName("c", i, ".tmp"));
  }
  const std::unique_ptr<TCliProcess> cli = box.Start(args);
  ASSERT_TRUE(cli->WaitUntil([&] { return !FilesEndingWith(box.Work(), ".out").empty(); }))
      << cli->ErrorText();
  cli->Interrupt();
  ASSERT_TRUE(cli->WaitUntil([&] { return Contains(cli->ErrorText(), ConfirmText); }))
      << cli->ErrorText();
  ASSERT_TRUE(cli->WaitUntil([&] { return Contains(cli->ErrorText(), "Abort request dropped"); }))
      << cli->ErrorText();
  // The chain's first prime, of 40 bits: a single test.
  const TCandidate quick = ChainPrime(20, 1);
  for (const std::string& name : FilesEndingWith(box.Work(), ".tmp")) {
    ReplaceText(box.WorkPath(name), FreshWorkingFileText(quick));
  }
  const TRunResult run = cli->Wait();
  EXPECT_EQ(run.Status, 0) << run.Err;
  const TSections report = ReadSections(TaskReportPath(box.Work(), run));
  EXPECT_EQ(Value(report, "Common", "Processed"), std::to_string(copies));
  EXPECT_EQ(Value(report, "Common", "Certified"), std::to_string(copies));
  EXPECT_FALSE(Contains(run.Out, "Aborted"));
  EXPECT_EQ(CountOf(run.Err, ConfirmText), 1) << run.Err;
  EXPECT_FALSE(Contains(run.Err, "Aborting")) << run.Err;
}

// Whether the process has a handler of its own for SIGINT.
bool CatchesInterrupts(pid_t pid) {
  const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find("SigCgt:");
  if (at == std::string::npos) {
    return false;
  }
  const unsigned long long caught = std::strtoull(status.c_str() + at + 7, nullptr, 16);
  return (caught & (1ULL << (SIGINT - 1))) != 0;
}

TEST(CliAbort, CtrlCOutsideATaskEndsTheProgramWith130) {
  TSandbox box;
  // Start-up then waits for ever on reading karvo.ini, outside any task.
  ASSERT_EQ(mkfifo(box.IniFile().c_str(), 0600), 0);
  const std::unique_ptr<TCliProcess> cli = box.Start({"settings"});
  ASSERT_TRUE(cli->WaitUntil([&] { return CatchesInterrupts(cli->Pid()); }));
  cli->Interrupt();
  const TRunResult run = cli->Wait();
  EXPECT_FALSE(run.Signaled);
  EXPECT_EQ(run.Status, ExitInterrupted);
  EXPECT_EQ(run.Out, "");
}

}  // namespace
}  // namespace karvo::e2e
