#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "arith/BigInt.h"
#include "base/Clock.h"
#include "base/Globals.h"
#include "files/CertificationReport.h"
#include "files/FilesTestSupport.h"
#include "files/TaskReport.h"

namespace karvo {
namespace {

using test::ReadBytes;
using test::TempFolder;

// Reports of a task in a temporary work folder, at a fixed UTC time.
class ReportsTest : public testing::Test {
 protected:
  void SetUp() override {
    savedWorkFolder_ = WorkFolder;
    WorkFolder = folder_.Path("");
    TaskID = "B4906034A6F1B";
  }
  void TearDown() override {
    TaskReportClose();
    WorkFolder = savedWorkFolder_;
  }

  TempFolder folder_;

 private:
  test::FixedLocalTime time_{std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} +
                             std::chrono::hours{20} + std::chrono::minutes{1} +
                             std::chrono::seconds{2}};
  std::string savedWorkFolder_;
};

TEST_F(ReportsTest, CertificationTaskOfThreeFiles) {
  TaskReportOpen(3, TTaskKind::Certification);
  const std::string name = folder_.Path("karvo-B4906034A6F1B.tr");
  const std::string header =
      "[KARVO - Task Report]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org\r\n"
      "Task=Certification\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:01:02 PM\r\n\r\n";
  EXPECT_EQ(ReadBytes(name), header + "[Common]\r\nPath=" + WorkFolder +
                                 "\r\nSelected=3\r\nProcessed=0\r\nCertified=0\r\n\r\n");

  TaskReportBeginCandidate(1, "/in/a.in");
  TaskReportSetReport(WorkFolder + "karvo-B4906034A6F1B-001.cr");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-001.tmp");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-001.out");
  TaskReportEndCandidate("Candidate certified prime", 3, 1234);
  TaskReportBeginCandidate(2, "/in/b.in");
  TaskReportSetReport("");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-002.tmp");
  TaskReportEndCandidate("Aborted by user", 4, 6000);
  // Only open and close write the file.
  EXPECT_EQ(ReadBytes(name), header + "[Common]\r\nPath=" + WorkFolder +
                                 "\r\nSelected=3\r\nProcessed=0\r\nCertified=0\r\n\r\n");

  TaskReportToDisplay();
  const std::vector<std::string> lines = {"[KARVO - Task Report]",
                                          "Version=3.0.9",
                                          "WebSite=https://karvo.example.org",
                                          "Task=Certification",
                                          "ID=B4906034A6F1B",
                                          "Created=12/05/2026 08:01:02 PM",
                                          "",
                                          "[Common]",
                                          "Selected=3",
                                          "Processed=2",
                                          "Certified=1",
                                          "Candidate #1=Certified, 12.34s",
                                          "Candidate #2=Aborted, 1mn 0s",
                                          "",
                                          "[Candidate #1]",
                                          "Input=a.in",
                                          "Report=karvo-B4906034A6F1B-001.cr",
                                          "Output=karvo-B4906034A6F1B-001.out",
                                          "Status=Candidate certified prime",
                                          "",
                                          "[Candidate #2]",
                                          "Input=b.in",
                                          "Report=no report",
                                          "Output=karvo-B4906034A6F1B-002.tmp",
                                          "Status=Aborted by user",
                                          ""};
  EXPECT_EQ(DisplayLines, lines);
  ASSERT_EQ(DisplayPaths.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const bool opens = i == 15 || i == 16 || i == 17 || i == 21;
    EXPECT_EQ(DisplayPaths[i].empty(), !opens);
    if (opens) {
      EXPECT_EQ(DisplayPaths[i], WorkFolder + lines[i].substr(lines[i].find('=') + 1));
    }
  }

  TaskReportClose();
  EXPECT_FALSE(TaskReportIsOpen());
  const std::string saved = ReadBytes(name);
  EXPECT_NE(saved.find("Processed=2\r\nCertified=1\r\nCandidate #1=Certified, 12.34s\r\n"
                       "Candidate #2=Aborted, 1mn 0s\r\n\r\n[Candidate #1]"),
            std::string::npos);
  EXPECT_EQ(saved.find("Candidate #3"), std::string::npos);
}

TEST_F(ReportsTest, RejectedInputHasZeroTimeAndNoFiles) {
  TaskReportOpen(1, TTaskKind::Certification);
  TaskReportBeginCandidate(1, "/in/a.IN");
  TaskReportEndCandidate("Invalid file name extension", 4, 0);
  TaskReportClose();
  TXFile file(folder_.Path("karvo-B4906034A6F1B.tr"));
  EXPECT_EQ(file.ReadString("Common", "Candidate #1"), "Aborted, 0.00s");
  EXPECT_FALSE(file.ValueExists("Candidate #1", "Report"));
  EXPECT_FALSE(file.ValueExists("Candidate #1", "Output"));
  EXPECT_EQ(file.ReadString("Candidate #1", "Status"), "Invalid file name extension");
}

TEST_F(ReportsTest, VerificationOutcomesByStatus) {
  TaskReportOpen(4, TTaskKind::Verification);
  const struct {
    int32_t status;
    const char* outcome;
  } cases[] = {{1, "Valid, 0.05s"}, {2, "Aborted, 0.05s"}, {3, "NOT VALID, 0.05s"}, {7, ""}};
  int32_t position = 0;
  for (const auto& c : cases) {
    TaskReportBeginCertificate(++position, "/c/x.out");
    TaskReportEndCertificate("message", c.status, 5);
  }
  TaskReportClose();
  TXFile file(folder_.Path("karvo-B4906034A6F1B.tr"));
  EXPECT_EQ(file.ReadString("KARVO - Task Report", "Task"), "Verification");
  EXPECT_EQ(file.ReadString("Common", "Valid"), "1");
  EXPECT_EQ(file.ReadString("Common", "Processed"), "4");
  position = 0;
  for (const auto& c : cases) {
    const std::string key = "Certificate #" + std::to_string(++position);
    EXPECT_EQ(file.ReadString("Common", key), c.outcome);
    EXPECT_EQ(file.ValueExists("Common", key), *c.outcome != 0);
    EXPECT_EQ(file.ReadString(key, "Status"), "message");
  }
}

TEST_F(ReportsTest, OperationsWithoutOpenReportDoNothing) {
  TaskReportBeginCandidate(1, "a.in");
  TaskReportSetOutput("a.tmp");
  TaskReportEndCandidate("x", 3, 1);
  TaskReportToDisplay();
  EXPECT_TRUE(DisplayLines.empty());
  TaskReportClose();
  EXPECT_FALSE(test::Exists(folder_.Path("karvo-B4906034A6F1B.tr")));
}

TEST_F(ReportsTest, CertificationReportTestsAndBacktracks) {
  TCertificationReport report;
  const std::string name = folder_.Path("karvo-B4906034A6F1B-001.cr");
  report.Create(name, folder_.Path("karvo-B4906034A6F1B-001.out"));
  report.AddTest(1, TReportTest{1, 1, 30, 0, 0, 0});
  TReportTest curve{3, 2, 25, 7, 1, 1};
  report.AddTest(2, curve);
  curve.DiscriminantCode = 5;
  curve.ClassNumber = 2;
  curve.Genera = 2;
  report.AddTest(3, curve);
  BigInt r;
  BigSetWord(r, 0xABCDEF);
  report.RecordBacktrack(3, r);
  report.AddTest(3, TReportTest{2, 2, 20, 0, 0, 0});
  BigSetWord(r, 0x1234);
  report.RecordBacktrack(3, r);
  report.AddTest(3, TReportTest{0, 2, 40, 0, 0, 0});

  EXPECT_EQ(ReadBytes(name),
            "[KARVO - Certification Report]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org"
            "\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:01:02 PM\r\nCertificate=" +
                folder_.Path("karvo-B4906034A6F1B-001.out") +
                "\r\nTestCount=3\r\n\r\n"
                "[Backtrack]\r\nCount=2\r\nRejected=3,3\r\n\r\n"
                "[1]\r\nType=1\r\nRun=1\r\nGain=30\r\n\r\n"
                "[2]\r\nType=3\r\nRun=2\r\nGain=25\r\nD=-7\r\nH=1\r\nG=1\r\n\r\n"
                "[3, backtrack #1]\r\nType=3\r\nRun=2\r\nGain=25\r\nD=-20\r\nH=2\r\nG=2\r\n"
                "R$=ABCDEF\r\n\r\n"
                "[3, backtrack #2]\r\nType=2\r\nRun=2\r\nGain=20\r\nR$=1234\r\n\r\n"
                "[3]\r\nType=0\r\nRun=2\r\nGain=40\r\n\r\n");

  TCertificationReport reopened;
  reopened.Reopen(name);
  EXPECT_EQ(reopened.File().ReadString("Backtrack", "Rejected"), "3,3");
}

TEST(DiscriminantOfCodeTest, FourTimesForCodesOneAndTwoModFour) {
  EXPECT_EQ(DiscriminantOfCode(3), -3);
  EXPECT_EQ(DiscriminantOfCode(7), -7);
  EXPECT_EQ(DiscriminantOfCode(1), -4);
  EXPECT_EQ(DiscriminantOfCode(2), -8);
  EXPECT_EQ(DiscriminantOfCode(5), -20);
  EXPECT_EQ(DiscriminantOfCode(6), -24);
}

}  // namespace
}  // namespace karvo
