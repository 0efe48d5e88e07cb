// TXFile: what any bytes load to and save back as, look-ups, numbers, edits,
// and what each kind of save, or a disk failing at any step, leaves on disk;
// then the layouts of the other files: input and working files, task and
// certification reports, karvo.ini, and the texts and times they show.

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>

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
using test::Exists;
using test::ReadBytes;

std::string Bars(const std::string& text) {  // each CR LF shown as "|"
  std::string bars;
  for (size_t i = 0; i < text.size(); ++i) {
    bars += text.compare(i, 2, "\r\n") != 0 ? text[i] : (++i, '|');
  }
  return bars;
}

TXFile FromBytes(const std::string& bytes) {
  TXFile file;
  file.LoadFromBytes(bytes);
  return file;
}

std::string ErrorOf(const std::function<void()>& action) {  // the message raised, or ""
  try { action(); } catch (const EKV& error) { return error.what(); }
  return "";
}

// Bytes loaded, then saved; saving what was saved gives it back.
TEST(TXFileTest, LoadsAnyBytesAndSavesThemBack) {
  const std::string huge(4 << 20, 'F');
  std::string many;
  for (int i = 0; i < 100000; ++i) many.append("[").append(std::to_string(i)) += "]\r\nT=0\r\n\r\n";
  const std::pair<std::string, std::string> rows[] = {
      {"[S]\r\na=1\rb=2\nc=3\n\rd=4\r\r\ne=5", "[S]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\ne=5\r\n\r\n"},
      {"[S]\na=1\0b=2\n[T]\nc=3"s, "[S]\r\na=1\r\n\r\n"}, {"\0[S]\na=1"s, ""},
      {"; note\r\n\r\nloose=text\r\n;[S]\r\n", ""},
      {"x\r\n[S]\r\n;no\r\n\r\nkept\r\n ;kept\r\n[T]", "[S]\r\nkept\r\n ;kept\r\n\r\n[T]\r\n\r\n"},
      {"[ ]\n[]\n[abc\n[a]b]\n [X]\n[\n]",
       "[ ]\r\n\r\n[]\r\n[abc\r\n\r\n[a]b]\r\n [X]\r\n[\r\n]\r\n\r\n"},
      {"[S]\nk=1\nk=2\n[s]\nk=3\n", "[S]\r\nk=1\r\nk=2\r\n\r\n[s]\r\nk=3\r\n\r\n"},
      {"[S]\r\nN$=" + huge + "\r\n", "[S]\r\nN$=" + huge + "\r\n\r\n"},
      {"[" + huge + "]" + std::string(1 << 20, '\r') + "a=1", "[" + huge + "]\r\na=1\r\n\r\n"},
      {"[S]\r\nk=v\r\n" + std::string(1000, '\0') + "[T]\r\n", "[S]\r\nk=v\r\n\r\n"}, {many, many}};
  for (const auto& [bytes, saved] : rows) {
    EXPECT_EQ(FromBytes(bytes).SaveToBytes(), saved) << bytes.substr(0, 40);
    EXPECT_EQ(FromBytes(saved).SaveToBytes(), saved) << saved.substr(0, 40);
  }
  EXPECT_EQ(FromBytes(many).ReadString("99999", "T"), "0");
}

TEST(TXFileTest, ReadsAndEditsByCaseInsensitiveSectionAndKey) {
  TXFile file = FromBytes("[@AZ[]\n  k=v\nKey=a=b\nEmpty=\nfree\nkey=2\n[Comments]\na\nb\n");
  auto read = [&](const char* section, const char* key) {  // "+value", or "-" when missing
    return (file.ValueExists(section, key) ? "+"s : "-"s).append(file.ReadString(section, key));
  };
  const std::pair<std::string, std::string> reads[] = {
      {read("@az[", "KEY"), "+a=b"}, {read("@AZ[", "  k"), "+v"}, {read("@AZ[", "k"), "-"},
      {read("@AZ[", "Empty"), "+"}, {read("@AZ[", "free"), "-"}, {read("@AZ[", ""), "+"},
      {read("`AZ[", "Key"), "-"}, {read("@AZ{", "Key"), "-"}, {read("@AZ", "Key"), "-"},
      {file.ReadComments(), "a\r\nb"}, {FromBytes("[comments]\nonly").ReadComments(), "only"},
      {FromBytes("[Comments]\n\n[O]\na").ReadComments(), ""}};
  for (const auto& [actual, expected] : reads) EXPECT_EQ(actual, expected);
  std::vector<std::string> names{"stale"};
  file.ReadKeyNames("@AZ[", names);
  EXPECT_EQ(names, (std::vector<std::string>{"  k", "Key", "Empty", "", "key"}));
  BigInt x;
  file.WriteString("X", "N$", "-123456789abcDEF0123");
  file.ReadBigHex("x", "n$", x);
  EXPECT_EQ(BigToHex(x), "-123456789ABCDEF0123");
  EXPECT_THROW(file.ReadBigHex("@AZ[", "Key", x), EKV);  // the parser's errors pass through
  file = FromBytes("[S]\na=1\nTestCount=5\nk=1\nk=2\n[s]\n[B]\n[b]\ny=2\n[3]\nT=4\n[4]\n");
  TXLines& added = file.AddSection("A");
  file.WriteString("s", "testcount", "6");
  file.WriteStrings("s", {{"d", "x=y"}, {"K", "2"}, {"d", "3"}});
  file.WriteString("New", "e", "");
  for (const auto& [section, key] : {std::pair{"S", "a"}, {"S", "none"}, {"none", "k"}}) {
    file.DeleteKey(section, key);
  }
  file.DeleteKeys("S", {"k", "z"});
  for (const char* section : {"b", "none"}) file.EraseSection(section);
  for (const auto& [from, to] : {std::pair{"3", "3, b #1"}, {"4", "3, B #1"}, {"none", "5"}}) {
    file.RenameSection(from, to);
  }
  for (const char* text : {"a\r\nb", "other"}) file.AddComments(text);
  for (int i = 0; i < 1000; ++i) file.AddSection("C");
  added.push_back("x");
  file.Sections.resize(10);
  EXPECT_EQ(Bars(file.SaveToBytes()),
            "[S]|testcount=6|k=2|d=3||[s]||[b]|y=2||[3, b #1]|T=4||[4]||[A]|x||[New]|e=||"
            "[Comments]|a|b||[C]||[C]||");
  file.Clear();
  file.AddComments("");
  EXPECT_EQ(Bars(file.SaveToBytes()), "[Comments]|Write any comment here||");
}

// ReadInteger gives the default outside 32 bits, ReadInt64 gives 0 outside 64 bits.
TEST(TXFileTest, ReadsIntegersInRangeElseTheDefault) {
  const std::pair<const char*, std::optional<int64_t>> rows[] = {
      {"42", 42}, {"-42", -42}, {"+7", 7}, {"007", 7}, {"-0", 0}, {"$1f", 31}, {"0X1F", 31},
      {"0x1f", 31}, {"-$10", -16}, {"+0x10", 16}, {" 12", 12}, {"12\t ", 12},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"$7FFFFFFF", INT32_MAX},
      {"-$80000000", INT32_MIN}, {"2147483648", 2147483648}, {"-2147483649", -2147483649},
      {"$FFFFFFFF", 0xFFFFFFFF}, {"9223372036854775807", INT64_MAX},
      {"$7FFFFFFFFFFFFFFF", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", {}}, {"99999999999999999999", {}}, {"", {}}, {" ", {}}, {"+", {}},
      {"-", {}}, {"$", {}}, {"0x", {}}, {"12a", {}}, {"1 2", {}}, {"1F", {}}, {"--1", {}},
      {"$-1", {}}, {"1.5", {}}};
  for (const auto& [text, value] : rows) {
    const TXFile file = FromBytes("[S]\nk="s + text);
    const bool fits = value && *value == static_cast<int32_t>(*value);
    EXPECT_EQ(file.ReadInteger("S", "k", -99), fits ? *value : -99) << '"' << text << '"';
    EXPECT_EQ(file.ReadInt64("s", "K"), value.value_or(0)) << '"' << text << '"';
  }
  EXPECT_EQ(FromBytes("[S]\nk=x").ReadInteger("S", "k"), 0);
}

// Task B4906034A6F1B in a temporary work folder, on 12/05/2026 at 08:01:02 PM UTC,
// and versions of c.out there, of some size and distinct.
class FilesTest : public testing::Test {
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
  std::string Read(const std::string& name) { return Bars(ReadBytes(folder_.Path(name))); }
  TXFile Version(int version, int lines = 20) const {
    TXFile file;
    file.FileName = target_;
    file.WriteString("Candidate", "Version", std::to_string(version));
    for (int i = 0; i < lines; ++i) file.WriteString(std::to_string(i), "R", std::string(i, 'A'));
    return file;
  }
  void ExpectOnly(const TXFile& target, const std::string& old) {
    EXPECT_EQ(ReadBytes(target_), target.SaveToBytes());
    EXPECT_EQ(ReadBytes(target_ + "old"), old);
    EXPECT_FALSE(Exists(target_ + "new"));
    std::filesystem::remove(target_ + "old");  // each save is checked on its own
  }

  test::TempFolder folder_;
  const std::string target_ = folder_.Path("c.out");
  std::string messages_;
  TSettings saved_ = Settings;
};

TEST_F(FilesTest, EachSaveWritesTheWholeFileAndKeepsTheOldOneOnlyWhenAsked) {
  TXFile file(target_);  // missing: empty, with its name
  EXPECT_TRUE(file.Sections.empty() && file.FileName == target_);
  TXFile("").Save();
  TXFile("").SaveReplace();
  Version(1).SaveAs("");
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Folder()));
  test::WriteBytes(target_ + "new", std::string(50000, 'z'));  // a stale one
  test::WriteBytes(target_, std::string(100000, 'x'));
  ASSERT_EQ(::chmod(target_.c_str(), 0640), 0);
  const TXFile v1 = Version(1), v2 = Version(2), v3 = Version(3);
  test::FailingOps noLinks;
  noLinks.Failing = noLinks.kLink;
  // Saved, how ('s' Save, 'r' SaveReplace, 'c' the same without links, so that the old
  // version is a copy), with DoubleFileManagement, and the old version then kept.
  for (const auto& [v, how, keep, old] : {std::tuple{&v1, 's', 0, ""s}, {&v2, 'r', 0, ""s},
       {&v3, 's', 1, ""s}, {&v1, 'r', 1, v3.SaveToBytes()}, {&v2, 'c', 1, v1.SaveToBytes()}}) {
    Settings.DoubleFileManagement = keep;
    if (how == 'c') SetFileSystemOps(&noLinks);
    how == 's' ? v->Save() : v->SaveReplace();
    ExpectOnly(*v, old);
  }
  test::OpsInstalled installed(noLinks);  // from the last row on
  struct stat info {};
  EXPECT_TRUE(::stat(target_.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
  file.Load(target_);
  EXPECT_EQ(file.SaveToBytes(), v2.SaveToBytes());
  v1.SaveAs(folder_.Path("copy"));
  EXPECT_EQ(ReadBytes(folder_.Path("copy")) + v1.FileName, v1.SaveToBytes() + target_);
  EXPECT_EQ(ErrorOf([&] { v1.SaveAs(folder_.Path("no/copy")); }), TextFileError2001);
  ASSERT_EQ(::symlink(target_.c_str(), folder_.Path("link").c_str()), 0);
  v3.SaveAs(folder_.Path("link"));  // through to the file it names
  EXPECT_EQ(ReadBytes(target_), v3.SaveToBytes());
  EXPECT_TRUE(::lstat(folder_.Path("link").c_str(), &info) == 0 && S_ISLNK(info.st_mode));
  EXPECT_EQ(ErrorOf([&] { file.Load(folder_.Path("")); }), "Cannot read " + folder_.Path(""));
  file.Load(folder_.Path("no/such"));
  EXPECT_TRUE(file.Sections.empty());
}

// Every failure of every kind of save (Save, SaveReplace, SaveReplace keeping
// the old version) after a good one.
TEST_F(FilesTest, FailuresKeepThePreviousVersion) {
  const TXFile previous = Version(1), next = Version(2, 380);
  const auto size = static_cast<long>(next.SaveToBytes().size());
  std::vector<long> budgets = {65535, 65536, 65537, size - 1};
  for (long budget = -4; budget < 500; ++budget) budgets.push_back(budget);
  for (int mode = 0; mode < 3; ++mode) {
    Settings.DoubleFileManagement = mode == 2 ? 1 : 0;
    const char* message = mode == 0 ? TextFileError2001 : TextFileError2002;
    auto save = [mode, &next] { mode == 0 ? next.Save() : next.SaveReplace(); };
    previous.Save();
    for (const long budget : budgets) {  // -1 to -4: open, file sync, close or rename fails
      SCOPED_TRACE("mode " + std::to_string(mode) + ", budget " + std::to_string(budget));
      test::FailingOps ops;
      ops.WriteBudget = std::max(budget, -1L);
      ops.Failing = budget < 0 ? 1u << (-budget - 1) : 0;
      const bool renameFails = budget == -4;
      test::OpsInstalled installed(ops);
      EXPECT_EQ(ErrorOf(save), message);
      ExpectOnly(previous, mode == 2 && renameFails ? previous.SaveToBytes() : "");
      EXPECT_EQ(ops.Renames, renameFails ? 1 : 0);
    }
    // The folder sync after the rename, or after keeping the old version.
    test::FailingOps ops;
    ops.Failing = ops.kFolderSync;
    test::OpsInstalled installed(ops);
    EXPECT_EQ(ErrorOf(save), message);
    ExpectOnly(mode == 2 ? previous : next, mode == 2 ? previous.SaveToBytes() : "");
  }
  // Without links, an old version that cannot be copied stops the replacement.
  previous.Save();
  test::FailingOps ops;
  ops.Failing = ops.kLink;
  ops.WriteBudget = size + 5;
  test::OpsInstalled installed(ops);
  EXPECT_EQ(ErrorOf([&] { next.SaveReplace(); }), TextFileError2002);
  ExpectOnly(previous, "");
  // The check that the current folder can be written tries a free name.
  test::WriteBytes(folder_.Path("karvo.$"), "mine");
  test::CurrentFolder inside(folder_.Folder());
  EXPECT_TRUE(CanWriteCurrentFolder() && ReadBytes("karvo.$") == "mine" && !Exists("karvo.$$"));
  for (const unsigned call : {ops.kOpen, ops.kClose, ops.kUnlink}) {
    ops.Failing = call;
    EXPECT_FALSE(CanWriteCurrentFolder()) << "failing " << call;
  }
}

TEST_F(FilesTest, Texts) {
  auto date = [](int h) { auto t = LocalNow(); return t.Hour = uint16_t(h), FormatFileDate(t); };
  auto candidate = [](const std::string& lines) {  // rejection message, or bits|expression|run
    const TXFile file = FromBytes("[Comments]\r\na\r\nb\r\n[Candidate]\r\n" + lines);
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

TEST_F(FilesTest, FilesWritten) {
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

TEST_F(FilesTest, TaskReport) {
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

TEST_F(FilesTest, SettingsFile) {
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
  EXPECT_FALSE(Exists(SettingsFileName + "old") || Exists(SettingsFileName + "new"));
  test::FailingOps ops;
  ops.WriteBudget = 12;
  test::OpsInstalled installed(ops);
  SaveSettings();
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
