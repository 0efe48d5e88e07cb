// The files the program writes and reads besides certificates: input and
// working-file layouts, task and certification reports, karvo.ini, and the
// running times they show.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "FilesTestSupport.h"
#include "arith/PrimeTable.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "files/CertificationReport.h"
#include "files/Chrono.h"
#include "files/FileFormats.h"
#include "files/SettingsFile.h"
#include "files/TaskReport.h"

namespace karvo {
namespace {

using namespace std::string_literals;
using test::ReadBytes;

// Files of task B4906034A6F1B in a temporary work folder, written on
// 12/05/2026 at 08:01:02 PM, UTC.
class LayoutsTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} +
                      std::chrono::seconds{20 * 3600 + 62};
    SetClock([when] { return when; });
    setenv("TZ", "UTC", 1);
    tzset();
    WorkFolder = folder_.Path("");
    SettingsFileName = folder_.Path("karvo.ini");
    TaskID = "B4906034A6F1B";
    SetInformHandler([this](const std::string& message) { messages_ += message + "|"; });
  }
  void TearDown() override {
    TaskReportClose();
    SetClock(nullptr);
    SetInformHandler(nullptr);
    Settings = saved_;
  }

  test::TempFolder folder_;
  std::string messages_;
  TSettings saved_ = Settings;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "|";
  return text;
}

TEST_F(LayoutsTest, DatesNamesAndRunningTimes) {
  for (const auto& [hour, text] : {std::pair{8, "12/05/2026 08:01:02 AM"},
                                   {0, "12/05/2026 12:01:02 AM"},
                                   {12, "12/05/2026 12:01:02 PM"},
                                   {23, "12/05/2026 11:01:02 PM"}}) {
    TDateTimeFields t = LocalNow();
    t.Hour = static_cast<uint16_t>(hour);
    EXPECT_EQ(FormatFileDate(t), text);
  }
  EXPECT_EQ(CertificationFileName("/w/", TaskID, 10, ".tmp"), "/w/karvo-B4906034A6F1B-00A.tmp");
  EXPECT_EQ(CertificationFileName("", "1", 4096, ".cr"), "karvo-1-1000.cr");
  EXPECT_EQ(TaskReportFileName("/w/", "B4906034A6F1B"), "/w/karvo-B4906034A6F1B.tr");
  EXPECT_EQ(ChangeFileExtension("/a.b/karvo-1-001.tmp", ".out"), "/a.b/karvo-1-001.out");
  EXPECT_EQ(ChangeFileExtension("/a.b/noext", ".cr"), "/a.b/noext.cr");
  EXPECT_EQ(ChangeFileExtension("noext", ".cr"), "noext.cr");
  EXPECT_EQ(FileNameWithoutFolder("/x/y/z.in") + FileNameWithoutFolder("z.in"), "z.inz.in");
  constexpr int64_t unknown = int64_t{100} << 32;
  const std::tuple<bool, int64_t, const char*> times[] = {
      {true, 5, "0.05s"},          {true, 1234, "12.34s"},
      {true, 0, "0.00s"},          {true, 6000, "1mn 0s"},
      {true, 366100, "1h 1mn 1s"}, {true, 360500, "1h 0mn 5s"},
      {false, 1234, "12s"},        {true, 5999, "59.99s"},
      {true, 359999, "59mn 59s"},  {false, 360099, "1h 0mn 0s"},
      {true, 6099, "1mn 0s"},      {true, unknown, "unknown"},
      {true, -1, "unknown"},       {false, unknown - 1, "1193046h 28mn 15s"}};
  for (const auto& [hundredths, t, text] : times) EXPECT_EQ(FormatRunningTime(hundredths, t), text);
  const uint64_t start = ProcessTime();
  for (volatile uint64_t sink = 0; ElapsedCentiseconds(start) < 2;) sink = sink + 1;
  EXPECT_GE(ProcessTime(), start + 150000);
  EXPECT_EQ(ElapsedCentiseconds(ProcessTime() + 1000000), 0);
}

TEST_F(LayoutsTest, InputAndWorkingFiles) {
  const std::string name = folder_.Path("new.in");
  test::WriteBytes(name, "[Old]\r\nx=1\r\n");
  NewInputFile(name);
  EXPECT_EQ(ReadBytes(name),
            "[KARVO - Input]\r\nVersion=3.0.9\r\nFormat=1\r\nCreated=12/05/2026 08:01:02 PM\r\n"
            "\r\n[Comments]\r\nWrite any comment here\r\n\r\n[Candidate]\r\nN=\r\n\r\n");
  EXPECT_TRUE(IsExistingFile(name));
  EXPECT_FALSE(IsExistingFile(folder_.Path("")) || IsExistingFile(""));
  const std::tuple<const char*, const char*, const char*> rows[] = {
      // lines, message, N
      {"N$=1ffff\r\nN=5", "", "131071|"},
      {"N$=1FG", "Invalid expression", ""},
      {"N$=", "Candidate binary size < 17", ""},
      {"N= 1000003", "", "1000003|"},
      {"N=2^127-1", "", "170141183460469231731687303715884105727|2^127-1"},
      {"N=5+", "Error in expression, code = 3", ""},
      {"Run=1", "Invalid expression", ""},
      {"N=2-2^20", "Candidate < 0", ""},
      {"N=65535", "Candidate binary size < 17", ""},
      {"N=65536", "", "65536|"},
      {"N=2^131072", "Candidate binary size > 131072", ""},
      {"N=65537\r\nRun=0", "Run parameter should be in 1..6", ""},
      {"N=65537\r\nRun=7", "Run parameter should be in 1..6", ""},
      {"N=65537\r\nRun=6", "", "65537|"}};
  for (const auto& [lines, message, value] : rows) {
    TXFile file;
    file.LoadFromBytes("[Comments]\r\nfirst\r\nsecond\r\n[Candidate]\r\n" + std::string(lines));
    TCandidateInput input;
    EXPECT_EQ(ReadCandidateInput(file, input), message) << lines;
    if (*message == 0) {
      EXPECT_EQ(BigToDecimal(input.N) + "|" + input.Expression, value);
      EXPECT_EQ(input.Comments, "first\r\nsecond");
    }
  }
  TXFile file;
  file.LoadFromBytes("[Candidate]\r\nN=2^131072-1\r\nRun=3\r\n");
  TCandidateInput input;
  ASSERT_EQ(ReadCandidateInput(file, input), "");
  EXPECT_EQ(BigBitSize(input.N), 131072);
  EXPECT_EQ(input.Expression + "|" + std::to_string(input.Run) + input.Comments, "2^131072-1|3");
  BigSetPower(input.N, 2, 127);
  BigDecrement(input.N);
  input.Expression = "2^127-1";
  file.Clear();
  WriteNewWorkingFile(file, input, "/in/m127.in", 12);
  BigSetWord(input.N, 65537);
  input.Expression = "";
  input.Comments = "mine";
  TXFile small;
  WriteNewWorkingFile(small, input, "a.in", 0);
  EXPECT_EQ(small.ReadComments() + "|" + Joined(small.Sections[3].Lines),
            "mine|File=a.in|N$=10001|HexadecimalSize=5|DecimalSize=5|BinarySize=17|");
  EXPECT_EQ(file.SaveToBytes(),
            "[KARVO - Primality Certificate]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org"
            "\r\nFormat=3\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:01:02 PM\r\nTestCount=0"
            "\r\nStatus=Running\r\n\r\n[Comments]\r\nWrite any comment here\r\n\r\n"
            "[Running Times]\r\nInitialization=12\r\n1stPhase=0\r\n2ndPhase=0\r\nTotal=0\r\n\r\n"
            "[Candidate]\r\nFile=/in/m127.in\r\nExpression=2^127-1\r\n"
            "N$=7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\r\nHexadecimalSize=32\r\nDecimalSize=39\r\n"
            "BinarySize=127\r\n\r\n[X]\r\nve=3009\r\nce=1\r\npe=1\r\ntx=0\r\nsf=0\r\n\r\n");
}

TEST_F(LayoutsTest, TaskReports) {
  TaskReportBeginCandidate(1, "a.in");  // no report open: nothing happens
  TaskReportEndCandidate("x", 3, 1);
  TaskReportToDisplay();
  TaskReportClose();
  EXPECT_TRUE(DisplayLines.empty() && std::filesystem::is_empty(folder_.Folder()));
  TaskReportOpen(3, TTaskKind::Certification);
  const std::string name = folder_.Path("karvo-B4906034A6F1B.tr");
  const std::string header =
      "[KARVO - Task Report]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org\r\n"
      "Task=Certification\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:01:02 PM\r\n\r\n"
      "[Common]\r\nPath=" +
      WorkFolder + "\r\nSelected=3\r\nProcessed=";
  EXPECT_EQ(ReadBytes(name), header + "0\r\nCertified=0\r\n\r\n");
  TaskReportBeginCandidate(1, "/in/a.in");
  TaskReportSetReport(WorkFolder + "karvo-B4906034A6F1B-001.cr");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-001.tmp");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-001.out");
  TaskReportEndCandidate("Candidate certified prime", 3, 1234);
  TaskReportBeginCandidate(2, "/in/b.in");
  TaskReportSetReport("");
  TaskReportSetOutput(WorkFolder + "karvo-B4906034A6F1B-002.tmp");
  TaskReportEndCandidate("Aborted by user", 4, 6000);
  for (const int32_t status : {1, 2, 5, 0}) {
    TaskReportBeginCandidate(status + 3, "c.in");
    TaskReportEndCandidate("m", status, 0);
  }
  EXPECT_EQ(ReadBytes(name), header + "0\r\nCertified=0\r\n\r\n");  // until closed
  TaskReportToDisplay();
  TaskReportClose();
  EXPECT_FALSE(TaskReportIsOpen());
  const std::string candidates =
      "Candidate #1=Certified, 12.34s|Candidate #2=Aborted, 1mn 0s|Candidate #4=Aborted, 0.00s|"
      "Candidate #5=Aborted, 0.00s|Candidate #8=Failed, 0.00s||[Candidate #1]|Input=a.in|"
      "Report=karvo-B4906034A6F1B-001.cr|Output=karvo-B4906034A6F1B-001.out|"
      "Status=Candidate certified prime||[Candidate #2]|Input=b.in|Report=no report|"
      "Output=karvo-B4906034A6F1B-002.tmp|Status=Aborted by user||[Candidate #4]|Input=c.in|"
      "Status=m||[Candidate #5]|Input=c.in|Status=m||[Candidate #8]|Input=c.in|Status=m||"
      "[Candidate #3]|Input=c.in|Status=m||";
  EXPECT_EQ(Joined(DisplayLines),
            "[KARVO - Task Report]|Version=3.0.9|WebSite=https://karvo."
            "example.org|Task=Certification|ID=B4906034A6F1B|Created=12/05/"
            "2026 08:01:02 PM||[Common]|Selected=3|Processed=6|Certified=1|" +
                candidates);
  const std::string c = WorkFolder + "c.in|||";
  EXPECT_EQ(Joined(DisplayPaths), std::string(18, '|') + WorkFolder + "a.in|" + WorkFolder +
                                      "karvo-B4906034A6F1B-001.cr|" + WorkFolder +
                                      "karvo-B4906034A6F1B-001.out||||" + WorkFolder +
                                      "b.in||||||" + c + "|" + c + "|" + c + "|" + c);
  std::string saved = ReadBytes(name);
  std::replace(saved.begin(), saved.end(), '\r', '|');
  std::erase(saved, '\n');
  EXPECT_EQ(saved.substr(saved.find("Processed")), "Processed=6|Certified=1|" + candidates);

  TaskReportOpen(4, TTaskKind::Verification);
  for (const int32_t status : {1, 2, 3, 7}) {
    TaskReportBeginCertificate(status, "/c/x.out");
    TaskReportEndCertificate("m", status, 5);
  }
  TaskReportToDisplay();
  const std::string lines = Joined(DisplayLines);
  EXPECT_EQ(lines.substr(lines.find("Task=")),
            "Task=Verification|ID=B4906034A6F1B|Created=12/05/2026 08:01:02 PM||[Common]|"
            "Selected=4|Processed=4|Valid=1|Certificate #1=Valid, 0.05s|Certificate #2=Aborted, "
            "0.05s|Certificate #3=NOT VALID, 0.05s||[Certificate #1]|Input=x.out|Status=m||"
            "[Certificate #2]|Input=x.out|Status=m||[Certificate #3]|Input=x.out|Status=m||"
            "[Certificate #7]|Input=x.out|Status=m||");
}

TEST_F(LayoutsTest, CertificationReport) {
  TCertificationReport report;
  const std::string name = folder_.Path("karvo-B4906034A6F1B-001.cr");
  report.Create(name, "c.out");
  report.AddTest(1, TReportTest{1, 1, 30, 0, 0, 0});
  report.AddTest(2, TReportTest{3, 2, 25, 7, 1, 1});
  report.AddTest(3, TReportTest{4, 2, 25, 5, 2, 2});
  BigInt r;
  BigSetWord(r, 0xABCDEF);
  report.RecordBacktrack(3, r);
  report.AddTest(3, TReportTest{2, 2, 20, 6, 0, 0});
  BigSetWord(r, 0x1234);
  report.RecordBacktrack(3, r);
  report.AddTest(3, TReportTest{0, 2, 40, 0, 0, 0});
  EXPECT_EQ(ReadBytes(name),
            "[KARVO - Certification Report]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org"
            "\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:01:02 PM\r\nCertificate=c.out\r\n"
            "TestCount=3\r\n\r\n[Backtrack]\r\nCount=2\r\nRejected=3,3\r\n\r\n"
            "[1]\r\nType=1\r\nRun=1\r\nGain=30\r\n\r\n"
            "[2]\r\nType=3\r\nRun=2\r\nGain=25\r\nD=-7\r\nH=1\r\nG=1\r\n\r\n"
            "[3, backtrack #1]\r\nType=4\r\nRun=2\r\nGain=25\r\nD=-20\r\nH=2\r\nG=2\r\n"
            "R$=ABCDEF\r\n\r\n[3, backtrack #2]\r\nType=2\r\nRun=2\r\nGain=20\r\nR$=1234\r\n\r\n"
            "[3]\r\nType=0\r\nRun=2\r\nGain=40\r\n\r\n");
  report.Reopen(name);
  EXPECT_EQ(report.File().SaveToBytes(), ReadBytes(name));
  for (const auto& [d, discriminant] : {std::pair{3, -3}, {7, -7}, {1, -4}, {2, -8}, {6, -24}}) {
    EXPECT_EQ(DiscriminantOfCode(d), discriminant);
  }
}

// Settings as text: the four choices, the tuning values, the prime table size.
std::string Dump() {
  const TSettings& s = Settings;
  std::string text;
  for (const int32_t value : {s.CertificationReports, s.CheckSignaturesOnly, s.DoubleFileManagement,
                              s.IdlePriority, s.BT1, s.BT2, s.BT3, s.BT4, s.BT5, s.MRF, s.MSC,
                              s.CPC, s.QAV, s.NM1, s.NP1, s.BHB, WantedPrimeTableSize()}) {
    text += std::to_string(value) + " ";
  }
  return text;
}

TEST_F(LayoutsTest, SettingsFile) {
  const std::tuple<const char*, const char*, const char*> rows[] = {
      // file, settings, saved
      {nullptr, "1 1 0 1 91 92 93 94 95 96 21 97 1 0 0 1 155611 ",
       "[Setup]\r\nCertificationReports=1\r\nCheckSignaturesOnly=1\r\n"
       "DoubleFileManagement=0\r\nIdlePriority=1\r\n\r\n"},
      {"[Setup+]\r\n[System]", "1 1 0 1 12 24 48 96 192 8 23 100 0 1 1 0 564163 ", nullptr},
      {"[Setup]\r\nCertificationReports=7\r\nCheckSignaturesOnly=0\r\nDoubleFileManagement=-3\r\n"
       "IdlePriority=x\r\n[Setup+]\r\nMSC=30\r\nCPC=50\r\nBT1=-1\r\nBT2=7\r\nBT3=-9\r\nBT4=0\r\n"
       "BT5=$100\r\nMRF=-8\r\nNM1=0\r\nNP1=5\r\nBHB=2\r\n[system]\r\nQAV=4",
       "1 0 1 1 0 7 0 0 256 0 26 100 1 0 1 1 3957809 ",
       "[Setup]\r\nCertificationReports=1\r\nCheckSignaturesOnly=0\r\nDoubleFileManagement=1\r\n"
       "IdlePriority=1\r\n\r\n[Setup+]\r\nMSC=30\r\nCPC=50\r\nBT1=-1\r\nBT2=7\r\nBT3=-9\r\n"
       "BT4=0\r\nBT5=$100\r\nMRF=-8\r\nNM1=0\r\nNP1=5\r\nBHB=2\r\n\r\n[system]\r\nQAV=4\r\n\r\n"},
      {"; mine\r\n[Setup+]\r\n; fast\r\nMSC=5\r\nCPC=900\r\nMRF=3\r\nBHB=0\r\n[Other]\r\nk=v",
       "1 1 0 1 12 24 48 96 192 3 20 500 1 1 1 0 82025 ",
       "[Setup+]\r\nMSC=5\r\nCPC=900\r\nMRF=3\r\nBHB=0\r\n\r\n[Other]\r\nk=v\r\n\r\n[Setup]\r\n"
       "CertificationReports=1\r\nCheckSignaturesOnly=1\r\nDoubleFileManagement=0\r\n"
       "IdlePriority=1\r\n\r\n"},
      {"[Setup+]\r\nMSC=x\r\nCPC=250\r\n[Setup]\r\nIdlePriority=0",
       "1 1 0 0 12 24 48 96 192 8 23 250 1 1 1 0 564163 ", nullptr}};
  for (const auto& [file, settings, saved] : rows) {
    Settings = TSettings{0, 0, 1, 0, 91, 92, 93, 94, 95, 96, 21, 97, 1, 0, 0, 1};
    std::filesystem::remove(SettingsFileName);
    if (file != nullptr) test::WriteBytes(SettingsFileName, file);
    LoadSettings();
    EXPECT_EQ(Dump(), settings) << (file != nullptr ? file : "no file");
    SaveSettings();
    EXPECT_EQ(ReadBytes(SettingsFileName), saved != nullptr ? saved : ReadBytes(SettingsFileName));
  }
  EXPECT_FALSE(test::Exists(SettingsFileName + "old") || test::Exists(SettingsFileName + "new"));
  EXPECT_EQ(messages_, "");
  const std::string previous = ReadBytes(SettingsFileName);
  test::FailingOps ops;
  ops.WriteBudget = 12;
  {
    test::OpsInstalled installed(ops);
    SaveSettings();
  }
  EXPECT_EQ(ReadBytes(SettingsFileName), previous);
  std::filesystem::remove(SettingsFileName);
  std::filesystem::create_directory(SettingsFileName);
  const std::string before = Dump();
  LoadSettings();
  SaveSettings();
  EXPECT_EQ(Dump(), before);
  EXPECT_EQ(messages_, "Cannot write karvo.ini|Cannot read karvo.ini|Cannot write karvo.ini|");
}

}  // namespace
}  // namespace karvo
