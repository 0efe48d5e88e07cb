// Layouts of the files besides certificates: input and working files, task
// and certification reports, karvo.ini, and the texts and times they show.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

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

using test::Bars;

// Task B4906034A6F1B in a temporary work folder, on 12/05/2026 at 08:01:02 PM UTC.
class LayoutsTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 5};
    SetClock([when] { return when + std::chrono::seconds{72062}; });
    setenv("TZ", "UTC", 1);
    tzset();
    WorkFolder = folder_.Path("");
    SettingsFileName = folder_.Path("karvo.ini");
    TaskID = "B4906034A6F1B";
    SetInformHandler([this](const std::string& message) { messages_ += message + "|"; });
  }
  void TearDown() override {
    SetClock(nullptr);
    SetInformHandler(nullptr);
    Settings = saved_;
  }
  std::string Read(const std::string& name) { return Bars(test::ReadBytes(folder_.Path(name))); }

  test::TempFolder folder_;
  std::string messages_;
  TSettings saved_ = Settings;
};

TEST_F(LayoutsTest, Texts) {
  auto date = [](int h) { auto t = LocalNow(); return t.Hour = uint16_t(h), FormatFileDate(t); };
  auto candidate = [](const std::string& lines) {  // rejection message, or bits|expression|run
    TXFile file;
    file.LoadFromBytes("[Comments]\r\na\r\nb\r\n[Candidate]\r\n" + lines);
    TCandidateInput in;
    const std::string message = ReadCandidateInput(file, in);
    if (!message.empty() || in.Comments != "a\r\nb") return message + in.Comments;
    return std::to_string(BigBitSize(in.N)) + "|" + in.Expression + "|" + std::to_string(in.Run);
  };
  auto time = [](int64_t t) { return FormatRunningTime(true, t) + FormatRunningTime(false, t); };
  const std::pair<std::string, std::string> rows[] = {
      {date(0) + date(8), "12/05/2026 12:01:02 AM12/05/2026 08:01:02 AM"},
      {date(12) + date(23), "12/05/2026 12:01:02 PM12/05/2026 11:01:02 PM"},
      {CertificationFileName("/w/", TaskID, 10, ".tmp"), "/w/karvo-B4906034A6F1B-00A.tmp"},
      {CertificationFileName("", "1", 4096, ".cr") + TaskReportFileName("/w/", "1"),
       "karvo-1-1000.cr/w/karvo-1.tr"},
      {ChangeFileExtension("/a.b/c.tmp", ".out") + ChangeFileExtension("/a.b/c", ".cr"),
       "/a.b/c.out/a.b/c.cr"},
      {ChangeFileExtension("c", ".cr") + FileNameWithoutFolder("/x/z") + FileNameWithoutFolder("z"),
       "c.crzz"},
      {std::to_string(DiscriminantOfCode(3)) + std::to_string(DiscriminantOfCode(7)) +
           std::to_string(DiscriminantOfCode(1)) + std::to_string(DiscriminantOfCode(2)) +
           std::to_string(DiscriminantOfCode(6)), "-3-7-4-8-24"},
      {time(0) + time(5) + time(1234), "0.00s0s0.05s0s12.34s12s"},
      {time(5999) + time(6099), "59.99s59s1mn 0s1mn 0s"}, {time(366100), "1h 1mn 1s1h 1mn 1s"},
      {time(360599) + time(359999), "1h 0mn 5s1h 0mn 5s59mn 59s59mn 59s"},
      {time(-1) + time(int64_t{100} << 32), "unknownunknownunknownunknown"},
      {time((int64_t{100} << 32) - 1), "1193046h 28mn 15s1193046h 28mn 15s"},
      {candidate("N$=1ffff\r\nN=5"), "17||1"}, {candidate("N$=1FG"), "Invalid expression"},
      {candidate("N$="), "Candidate binary size < 17"}, {candidate("N= 1000003"), "20||1"},
      {candidate("N=2^127-1\r\nRun=6"), "127|2^127-1|6"},
      {candidate("Run=1"), "Invalid expression"}, {candidate("N=2-2^20"), "Candidate < 0"},
      {candidate("N=5+"), "Error in expression, code = 3"},
      {candidate("N=65535"), "Candidate binary size < 17"}, {candidate("N=65536"), "17||1"},
      {candidate("N=2^131072"), "Candidate binary size > 131072"},
      {candidate("N=2^131072-1\r\nRun=3"), "131072|2^131072-1|3"},
      {candidate("N=65537\r\nRun=0") + candidate("N=65537\r\nRun=7"),
       "Run parameter should be in 1..6Run parameter should be in 1..6"}};
  for (const auto& [actual, expected] : rows) EXPECT_EQ(actual, expected);
  const uint64_t start = ProcessTime();
  for (volatile uint64_t sink = 0; ElapsedCentiseconds(start) < 2;) sink = sink + 1;
  EXPECT_GE(ProcessTime(), start + 150000);
  EXPECT_EQ(ElapsedCentiseconds(ProcessTime() + 1000000), 0);
}

TEST_F(LayoutsTest, FilesWritten) {
  NewInputFile(folder_.Path("new.in"));
  EXPECT_EQ(Read("new.in"),
            "[KARVO - Input]|Version=3.0.9|Format=1|Created=12/05/2026 08:01:02 PM||"
            "[Comments]|Write any comment here||[Candidate]|N=||");
  EXPECT_TRUE(IsExistingFile(folder_.Path("new.in")));
  EXPECT_FALSE(IsExistingFile(folder_.Path("")) || IsExistingFile(""));
  TXFile file;
  TCandidateInput input;
  BigSetPower(input.N, 2, 127);
  input.Expression = "2^127";
  WriteNewWorkingFile(file, input, "/in/m127.in", 0);
  BigSetWord(input.N, 65537);
  input.Expression = "";
  input.Comments = "mine";
  WriteNewWorkingFile(file, input, "a.in", 12);  // as a second file would
  EXPECT_EQ(Bars(file.SaveToBytes()),
            "[KARVO - Primality Certificate]|Version=3.0.9|WebSite=https://karvo.example.org|"
            "Format=3|ID=B4906034A6F1B|Created=12/05/2026 08:01:02 PM|TestCount=0|Status=Running||"
            "[Comments]|Write any comment here||[Running Times]|Initialization=12|1stPhase=0|"
            "2ndPhase=0|Total=0||[Candidate]|File=a.in|Expression=2^127|N$=10001|"
            "HexadecimalSize=5|DecimalSize=5|BinarySize=17||[X]|ve=3009|ce=1|pe=1|tx=0|sf=0||");
  file.Clear();
  BigSetPower(input.N, 2, 127);
  WriteNewWorkingFile(file, input, "", 0);
  const std::string r = "8" + std::string(31, '0');
  std::string lines;
  for (const std::string& line : file.Sections[3].Lines) lines += line + "|";
  EXPECT_EQ(lines, "File=|N$=" + r + "|HexadecimalSize=32|DecimalSize=39|BinarySize=128|");
  TCertificationReport report;
  report.Create(folder_.Path("c.cr"), "c.out");
  report.AddTest(1, TReportTest{1, 1, 30, 0, 0, 0});
  report.AddTest(2, TReportTest{3, 2, 25, 7, 1, 1});
  report.AddTest(3, TReportTest{4, 2, 25, 5, 2, 2});
  report.RecordBacktrack(3, input.N);
  report.AddTest(3, TReportTest{2, 2, 20, 6, 0, 0});
  report.RecordBacktrack(3, input.N);
  report.AddTest(3, TReportTest{0, 2, 40, 0, 0, 0});
  const std::string cr =
      "[KARVO - Certification Report]|Version=3.0.9|WebSite=https://karvo.example.org|"
      "ID=B4906034A6F1B|Created=12/05/2026 08:01:02 PM|Certificate=c.out|TestCount=3||"
      "[Backtrack]|Count=2|Rejected=3,3||[1]|Type=1|Run=1|Gain=30||[2]|Type=3|Run=2|Gain=25|D=-7|"
      "H=1|G=1||[3, backtrack #1]|Type=4|Run=2|Gain=25|D=-20|H=2|G=2|R$=" + r +
      "||[3, backtrack #2]|Type=2|Run=2|Gain=20|R$=" + r + "||[3]|Type=0|Run=2|Gain=40||";
  EXPECT_EQ(Read("c.cr"), cr);
  report.Reopen(folder_.Path("c.cr"));
  EXPECT_EQ(Bars(report.File().SaveToBytes()), cr);
}

TEST_F(LayoutsTest, TaskReport) {
  TaskReportBeginCandidate(1, "a.in");  // no report open: nothing happens
  TaskReportEndCandidate("x", 3, 1);
  TaskReportToDisplay();
  EXPECT_TRUE(DisplayLines.empty() && std::filesystem::is_empty(folder_.Folder()));
  TaskReportOpen(3, TTaskKind::Certification);
  const std::string w = WorkFolder, header =
      "[KARVO - Task Report]|Version=3.0.9|WebSite=https://karvo.example.org|Task=Certification|"
      "ID=B4906034A6F1B|Created=12/05/2026 08:01:02 PM||[Common]|";
  const std::string opened = header + "Path=" + w + "|Selected=3|Processed=0|Certified=0||";
  EXPECT_EQ(Read("karvo-B4906034A6F1B.tr"), opened);
  TaskReportBeginCandidate(1, "/in/a.in");
  TaskReportSetReport(w + "k-1.cr");
  TaskReportSetOutput(w + "k-1.tmp");
  TaskReportSetOutput(w + "k-1.out");
  TaskReportEndCandidate("Candidate certified prime", 3, 1234);
  TaskReportBeginCandidate(2, "/in/b.in");
  TaskReportSetReport("");
  TaskReportSetOutput(w + "k-2.tmp");
  TaskReportEndCandidate("Aborted by user", 4, 6000);
  for (const int32_t status : {1, 2, 5, 0}) {
    TaskReportBeginCandidate(status + 3, "c.in");
    TaskReportEndCandidate("m", status, 0);
  }
  EXPECT_EQ(Read("karvo-B4906034A6F1B.tr"), opened);  // until closed
  TaskReportToDisplay();
  TaskReportClose();
  EXPECT_FALSE(TaskReportIsOpen());
  const std::string files =
      "Selected=3|Processed=6|Certified=1|Candidate #1=Certified, 12.34s|Candidate #2=Aborted, "
      "1mn 0s|Candidate #4=Aborted, 0.00s|Candidate #5=Aborted, 0.00s|Candidate #8=Failed, 0.00s||"
      "[Candidate #1]|Input=a.in|Report=k-1.cr|Output=k-1.out|Status=Candidate certified prime||"
      "[Candidate #2]|Input=b.in|Report=no report|Output=k-2.tmp|Status=Aborted by user||"
      "[Candidate #4]|Input=c.in|Status=m||[Candidate #5]|Input=c.in|Status=m||"
      "[Candidate #8]|Input=c.in|Status=m||[Candidate #3]|Input=c.in|Status=m||";
  EXPECT_EQ(Read("karvo-B4906034A6F1B.tr"), header + "Path=" + w + "|" + files);
  std::string lines, paths;
  for (size_t i = 0; i < DisplayLines.size(); ++i) {
    lines += DisplayLines[i] + "|";
    paths += DisplayPaths.at(i) + "|";
  }
  EXPECT_EQ(lines, header + files);
  const std::string c = w + "c.in||||";
  EXPECT_EQ(paths, std::string(18, '|') + w + "a.in|" + w + "k-1.cr|" + w + "k-1.out||||" + w +
                       "b.in||||||" + c + c + c + w + "c.in|||");
}

TEST_F(LayoutsTest, SettingsFile) {
  const std::string setup = "[Setup]|CertificationReports=1|CheckSignaturesOnly=";
  const std::string defaults = setup + "1|DoubleFileManagement=0|IdlePriority=1||";
  const TSettings start{0, 0, 1, 0, 91, 92, 93, 94, 95, 96, 21, 97, 1, 0, 0, 1};
  // The file, the settings read and the prime table size they give, the file saved then.
  const std::tuple<const char*, TSettings, int32_t, std::string> rows[] = {
      {nullptr, {1, 1, 0, 1, 91, 92, 93, 94, 95, 96, 21, 97, 1, 0, 0, 1}, 155611, defaults},
      {"[Setup+]\r\n[System]", TSettings{}, 564163, "[Setup+]||[System]||" + defaults},
      {"[Setup]\r\nCertificationReports=7\r\nCheckSignaturesOnly=0\r\nDoubleFileManagement=-3\r\n"
       "IdlePriority=x\r\n[Setup+]\r\nMSC=30\r\nCPC=50\r\nBT1=-1\r\nBT2=7\r\nBT3=-9\r\nBT4=0\r\n"
       "BT5=$100\r\nMRF=-8\r\nNM1=0\r\nNP1=5\r\nBHB=2\r\n[system]\r\nQAV=4",
       {1, 0, 1, 1, 0, 7, 0, 0, 256, 0, 26, 100, 1, 0, 1, 1}, 3957809,
       setup + "0|DoubleFileManagement=1|IdlePriority=1||[Setup+]|MSC=30|CPC=50|BT1=-1|BT2=7|"
               "BT3=-9|BT4=0|BT5=$100|MRF=-8|NM1=0|NP1=5|BHB=2||[system]|QAV=4||"},
      {"; mine\r\n[Setup+]\r\n; fast\r\nMSC=5\r\nCPC=900\r\nMRF=3\r\n[Setup]\r\nIdlePriority=0",
       {1, 1, 0, 0, 12, 24, 48, 96, 192, 3, 20, 500, 1, 1, 1, 0}, 82025,
       "[Setup+]|MSC=5|CPC=900|MRF=3||[Setup]|IdlePriority=0|CertificationReports=1|"
       "CheckSignaturesOnly=1|DoubleFileManagement=0||"},
      {"[Setup+]\r\nMSC=x\r\nCPC=250", {1, 1, 0, 1, 12, 24, 48, 96, 192, 8, 23, 250, 1, 1, 1, 0},
       564163, "[Setup+]|MSC=x|CPC=250||" + defaults}};
  for (const auto& [file, settings, tableSize, saved] : rows) {
    Settings = start;
    std::filesystem::remove(SettingsFileName);
    if (file != nullptr) test::WriteBytes(SettingsFileName, file);
    LoadSettings();
    EXPECT_EQ(std::memcmp(&Settings, &settings, sizeof settings), 0) << (file ? file : "no file");
    EXPECT_EQ(WantedPrimeTableSize(), tableSize);
    SaveSettings();
    EXPECT_EQ(Read("karvo.ini"), saved);
  }
  EXPECT_FALSE(test::Exists(SettingsFileName + "old") || test::Exists(SettingsFileName + "new"));
  test::FailingOps ops;
  ops.WriteBudget = 12;
  {
    test::OpsInstalled installed(ops);
    SaveSettings();
  }
  EXPECT_EQ(Read("karvo.ini"), std::get<3>(rows[4]));
  std::filesystem::remove(SettingsFileName);
  std::filesystem::create_directory(SettingsFileName);
  Settings = start;
  LoadSettings();
  SaveSettings();
  EXPECT_EQ(std::memcmp(&Settings, &start, sizeof start), 0);
  EXPECT_EQ(messages_, "Cannot write karvo.ini|Cannot read karvo.ini|Cannot write karvo.ini|");
}

}  // namespace
}  // namespace karvo
