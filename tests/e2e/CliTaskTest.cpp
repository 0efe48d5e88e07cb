// Tasks of several files: their order, where the outputs go, the task
// report, the exit status, and the limit of 999 files.

#include <gtest/gtest.h>

#include <filesystem>

#include "E2eSupport.h"
#include "support/TestEnv.h"

namespace karvo::e2e {
namespace {

namespace fs = std::filesystem;

// Where part occurs in text, npos when it does not.
size_t Where(const std::string& text, const std::string& part) { return text.find(part); }

// An invalid certificate: verified (and refused) at once.
const char* BrokenCertificate = "[KARVO - Primality Certificate]\nFormat=3\nTestCount=1\n";

TEST(CliTask, FilesRunInSortedOrderAndOutputsGoToTheFirstOnesFolder) {
  TSandbox box;
  fs::create_directories(box.WorkPath("A-folder"));
  fs::create_directories(box.WorkPath("b-folder"));
  const uint64_t seed = test::TestSeed();
  const TCandidate alpha = ChainPrime(130, seed);
  const TCandidate beta = ChainPrime(160, seed + 1);
  const TCandidate zeta = ChainPrime(200, seed + 2);
  WriteText(box.WorkPath("A-folder/Alpha.in"), InputText(alpha.Decimal));
  WriteText(box.WorkPath("A-folder/beta.in"), InputTextHex(beta.Hex));
  WriteText(box.WorkPath("b-folder/zeta.in"), InputText(zeta.Decimal));

  // Relative paths, not in sorted order, from a third folder.
  const TRunResult run = box.Run(
      {"certify", "work/b-folder/zeta.in", "work/A-folder/beta.in", "./work/A-folder/Alpha.in"},
      box.Root());
  ASSERT_EQ(run.Status, 0) << run.Err << run.Out;

  const std::string folder = box.WorkPath("A-folder");
  EXPECT_EQ(FilesEndingWith(box.WorkPath("b-folder"), "").size(), 1u);  // zeta.in alone
  EXPECT_EQ(FilesEndingWith(folder, ".tr").size(), 1u);
  EXPECT_TRUE(FilesEndingWith(box.Root(), ".tr").empty());
  const std::string reportPath = TaskReportPath(folder, run);
  ASSERT_TRUE(FileExists(reportPath));
  const TSections report = ReadSections(reportPath);
  const std::string id = Value(report, "KARVO - Task Report", "ID");
  EXPECT_EQ(Value(report, "KARVO - Task Report", "Task"), "Certification");
  EXPECT_EQ(Value(report, "Common", "Selected"), "3");
  EXPECT_EQ(Value(report, "Common", "Processed"), "3");
  EXPECT_EQ(Value(report, "Common", "Certified"), "3");
  const char* inputs[] = {"Alpha.in", "beta.in", "zeta.in"};
  const TCandidate* candidates[] = {&alpha, &beta, &zeta};
  for (int i = 1; i <= 3; ++i) {
    const std::string section = "Candidate #" + std::to_string(i);
    EXPECT_EQ(Value(report, section, "Input"), inputs[i - 1]);
    EXPECT_EQ(Value(report, section, "Status"), CertifiedText);
    EXPECT_EQ(Value(report, "Common", section).rfind("Certified, ", 0), 0u);
    const std::string out = "karvo-" + id + "-00" + std::to_string(i) + ".out";
    EXPECT_EQ(Value(report, section, "Output"), out);
    const TSections certificate = ReadSections(folder + "/" + out);
    EXPECT_EQ(Value(certificate, "Candidate", "N$"), candidates[i - 1]->Hex);
  }
  EXPECT_EQ(FilesEndingWith(folder, ".out").size(), 3u);
  EXPECT_TRUE(FilesEndingWith(folder, ".tmp").empty());

  // Standard output shows the same report, files in the task's order.
  EXPECT_TRUE(Contains(run.Out, "Selected=3"));
  EXPECT_TRUE(Contains(run.Out, "Certified=3"));
  EXPECT_LT(Where(run.Out, "Input=Alpha.in"), Where(run.Out, "Input=beta.in"));
  EXPECT_LT(Where(run.Out, "Input=beta.in"), Where(run.Out, "Input=zeta.in"));
  EXPECT_NE(Where(run.Out, "Input=zeta.in"), std::string::npos);
  EXPECT_EQ(CountOf(run.Out, "Status=" + std::string(CertifiedText)), 3);
  // Progress closes each file with its outcome.
  EXPECT_EQ(CountOf(run.Err, "| " + std::string(CertifiedText)), 3) << run.Err;
  EXPECT_TRUE(Contains(run.Err, "Candidate 3/3")) << run.Err;

  // The certificates verify in full, again in sorted order.
  const TRunResult check = box.Run({"--full", "verify", "karvo-" + id + "-003.out",
                                    "karvo-" + id + "-001.out", "karvo-" + id + "-002.out"},
                                   folder);
  EXPECT_EQ(check.Status, 0) << check.Err << check.Out;
  EXPECT_EQ(CountOf(check.Out, "Status=" + std::string(ValidCertificateText)), 3) << check.Out;
  EXPECT_TRUE(Contains(check.Out, "Valid=3"));
  EXPECT_TRUE(Contains(check.Out, "Task=Verification"));
  EXPECT_LT(Where(check.Out, "Input=karvo-" + id + "-001.out"),
            Where(check.Out, "Input=karvo-" + id + "-003.out"));
  EXPECT_TRUE(Contains(check.Err, "Certificate 3/3")) << check.Err;
}

TEST(CliTask, AFailedOrRejectedFileMakesTheExitStatusOne) {
  TSandbox box;
  const uint64_t seed = test::TestSeed();
  WriteText(box.WorkPath("1-good.in"), InputText(ChainPrime(150, seed).Decimal));
  WriteText(box.WorkPath("2-hard.in"), InputText(UncertifiablePrime(100, seed).Decimal));
  WriteText(box.WorkPath("3-composite.in"), InputText(CompositeNumber(120, seed).Decimal));
  WriteText(box.WorkPath("4-good.in"), InputText(ChainPrime(90, seed + 1).Decimal));
  const TRunResult run =
      box.Run({"certify", "4-good.in", "3-composite.in", "2-hard.in", "1-good.in"});
  EXPECT_EQ(run.Status, 1) << run.Err;
  const TSections report = ReadSections(TaskReportPath(box.Work(), run));
  EXPECT_EQ(Value(report, "Common", "Processed"), "4");
  EXPECT_EQ(Value(report, "Common", "Certified"), "2");
  EXPECT_EQ(Value(report, "Candidate #1", "Status"), CertifiedText);
  EXPECT_EQ(Value(report, "Candidate #2", "Status"), ImpossibleText);
  EXPECT_EQ(Value(report, "Candidate #3", "Status"), "Candidate divisible by 3");
  EXPECT_EQ(Value(report, "Candidate #4", "Status"), CertifiedText);
  EXPECT_EQ(Value(report, "Common", "Candidate #2").rfind("Failed, ", 0), 0u);
  EXPECT_TRUE(Contains(run.Out, ImpossibleText));

  // A certificate that does not verify.
  WriteText(box.WorkPath("broken.out"), BrokenCertificate);
  const std::vector<std::string> outs = FilesEndingWith(box.Work(), ".out");
  ASSERT_EQ(outs.size(), 4u);  // three certificates, one broken file
  std::vector<std::string> args = {"verify"};
  args.insert(args.end(), outs.begin(), outs.end());
  const TRunResult check = box.Run(args);
  EXPECT_EQ(check.Status, 1);
  EXPECT_TRUE(Contains(check.Out, "Valid=")) << check.Out;
  EXPECT_TRUE(Contains(check.Out, "NOT VALID")) << check.Out;
}

TEST(CliTask, PathsDifferingOnlyInCaseAreBothProcessed) {
  TSandbox box;
  const uint64_t seed = test::TestSeed();
  const TCandidate upper = ChainPrime(110, seed);
  const TCandidate lower = ChainPrime(140, seed + 1);
  WriteText(box.WorkPath("Case.in"), InputText(upper.Decimal));
  WriteText(box.WorkPath("case.in"), InputText(lower.Decimal));
  // The same file twice counts once.
  const TRunResult run = box.Run({"certify", "case.in", "Case.in", "case.in"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  const std::string reportPath = TaskReportPath(box.Work(), run);
  const TSections report = ReadSections(reportPath);
  EXPECT_EQ(Value(report, "Common", "Selected"), "2");
  EXPECT_EQ(Value(report, "Common", "Certified"), "2");
  // Case-insensitive order, ties broken by case: "C" before "c".
  EXPECT_EQ(Value(report, "Candidate #1", "Input"), "Case.in");
  EXPECT_EQ(Value(report, "Candidate #2", "Input"), "case.in");
  const std::string id = Value(report, "KARVO - Task Report", "ID");
  EXPECT_EQ(Value(ReadSections(box.WorkPath("karvo-" + id + "-001.out")), "Candidate", "N$"),
            upper.Hex);
  EXPECT_EQ(Value(ReadSections(box.WorkPath("karvo-" + id + "-002.out")), "Candidate", "N$"),
            lower.Hex);
}

// Names 000.out ... for count broken certificates; the arguments to verify
// them.
std::vector<std::string> BrokenCertificates(const TSandbox& box, int count) {
  std::vector<std::string> args = {"verify"};
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d.out", i);
    WriteText(box.WorkPath(name), BrokenCertificate);
    args.push_back(name);
  }
  return args;
}

TEST(CliTask, NineHundredNinetyNineFilesAreOneTask) {
  TSandbox box;
  const TRunResult run = box.Run(BrokenCertificates(box, 999));
  EXPECT_EQ(run.Status, 1);
  EXPECT_FALSE(Contains(run.Err, TooManyFilesText));
  const TSections report = ReadSections(TaskReportPath(box.Work(), run));
  EXPECT_EQ(Value(report, "Common", "Selected"), "999");
  EXPECT_EQ(Value(report, "Common", "Processed"), "999");
  EXPECT_EQ(Value(report, "Common", "Valid"), "0");
  EXPECT_EQ(Value(report, "Certificate #999", "Input"), "0998.out");
  EXPECT_TRUE(Contains(run.Out, "Selected=999"));
}

TEST(CliTask, AThousandFilesAreRefusedAndNothingIsProcessed) {
  TSandbox box;
  const TRunResult run = box.Run(BrokenCertificates(box, 1000));
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, TooManyFilesText)) << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(FilesEndingWith(box.Work(), ".tr").empty());
  // The files are as they were: nothing was signed or rewritten.
  EXPECT_EQ(ReadText(box.WorkPath("0000.out")), BrokenCertificate);
  EXPECT_EQ(FilesEndingWith(box.Work(), "").size(), 1000u);
}

TEST(CliTask, AFolderThatCannotBeWrittenStopsTheTaskBeforeItStarts) {
  TSandbox box;
  WriteText(box.WorkPath("b.in"), InputText(ChainPrime(100, test::TestSeed()).Decimal));
  // /proc sorts first and takes no new file, not even from root.
  const TRunResult run = box.Run({"certify", "b.in", "/proc/version"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, "Impossible to write on current disk")) << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(FilesEndingWith(box.Work(), "").size(), 1u);
}

TEST(CliTask, APrimeTableThatCannotBeBuiltStopsTheStart) {
  TSandbox box;
  // The largest table (primes below 2^26) needs some 50 MB; the address
  // space allowed below leaves room for the program only.
  WriteText(box.IniFile(), "[Setup+]\nMSC=26\n");
  WriteText(box.WorkPath("a.in"), InputText(ChainPrime(100, test::TestSeed()).Decimal));
  const TRunResult run = box.RunProgram(
      "/bin/sh", {"-c", "ulimit -v 32768 && exec '" + box.Program() + "' certify a.in"});
  EXPECT_EQ(run.Status, 2);
  EXPECT_TRUE(Contains(run.Err, "An error occurred while creating the prime table\nKarvo cannot run"))
      << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(FilesEndingWith(box.Work(), ".tr").empty());
  EXPECT_TRUE(FilesEndingWith(box.Work(), ".tmp").empty());
}

TEST(CliTask, AMissingFileFailsItsTaskOnly) {
  TSandbox box;
  WriteText(box.WorkPath("b.in"), InputText(ChainPrime(100, test::TestSeed()).Decimal));
  const TRunResult run = box.Run({"certify", "a-missing.in", "b.in"});
  EXPECT_EQ(run.Status, 1);
  const TSections report = ReadSections(TaskReportPath(box.Work(), run));
  EXPECT_EQ(Value(report, "Candidate #1", "Status"), "Invalid file name");
  EXPECT_EQ(Value(report, "Candidate #2", "Status"), CertifiedText);
}

}  // namespace
}  // namespace karvo::e2e
