#include <gtest/gtest.h>

#include <chrono>

#include "arith/BigInt.h"
#include "base/Clock.h"
#include "base/Globals.h"
#include "files/FileFormats.h"
#include "files/FilesTestSupport.h"

namespace karvo {
namespace {

using test::ReadBytes;
using test::TempFolder;

TDateTimeFields At(int hour, int minute, int second) {
  TDateTimeFields t;
  t.Year = 2026;
  t.Month = 12;
  t.Day = 5;
  t.Hour = static_cast<uint16_t>(hour);
  t.Minute = static_cast<uint16_t>(minute);
  t.Second = static_cast<uint16_t>(second);
  return t;
}

TEST(FileDateTest, TwelveHourClockWithMeridiem) {
  EXPECT_EQ(FormatFileDate(At(8, 38, 15)), "12/05/2026 08:38:15 AM");
  EXPECT_EQ(FormatFileDate(At(0, 0, 0)), "12/05/2026 12:00:00 AM");
  EXPECT_EQ(FormatFileDate(At(12, 0, 1)), "12/05/2026 12:00:01 PM");
  EXPECT_EQ(FormatFileDate(At(23, 59, 59)), "12/05/2026 11:59:59 PM");
}

TEST(FileNamesTest, TaskFilesFollowIdAndPosition) {
  EXPECT_EQ(CertificationFileName("/w/", "B4906034A6F1B", 10, ".tmp"),
            "/w/karvo-B4906034A6F1B-00A.tmp");
  EXPECT_EQ(CertificationFileName("/w/", "B4906034A6F1B", 999, ".out"),
            "/w/karvo-B4906034A6F1B-3E7.out");
  EXPECT_EQ(CertificationFileName("", "1", 4096, ".cr"), "karvo-1-1000.cr");
  EXPECT_EQ(TaskReportFileName("/w/", "B4906034A6F1B"), "/w/karvo-B4906034A6F1B.tr");
  EXPECT_EQ(ChangeFileExtension("/a.b/karvo-1-001.tmp", ".out"), "/a.b/karvo-1-001.out");
  EXPECT_EQ(ChangeFileExtension("/a.b/noext", ".cr"), "/a.b/noext.cr");
  EXPECT_EQ(FileNameWithoutFolder("/x/y/z.in"), "z.in");
  EXPECT_EQ(FileNameWithoutFolder("z.in"), "z.in");
}

class FixedClock : public testing::Test {
 private:
  test::FixedLocalTime time_{std::chrono::sys_days{std::chrono::year{2026} / 12 / 5} +
                             std::chrono::hours{8} + std::chrono::minutes{38} +
                             std::chrono::seconds{15}};
};

using NewInputFileTest = FixedClock;

TEST_F(NewInputFileTest, WritesTemplateReplacingContent) {
  TempFolder folder;
  const std::string name = folder.Path("new.in");
  test::WriteBytes(name, "[Old]\r\nx=1\r\n\r\n");
  NewInputFile(name);
  EXPECT_EQ(ReadBytes(name),
            "[KARVO - Input]\r\nVersion=3.0.9\r\nFormat=1\r\nCreated=12/05/2026 08:38:15 AM\r\n"
            "\r\n[Comments]\r\nWrite any comment here\r\n\r\n[Candidate]\r\nN=\r\n\r\n");
}

struct InputCase {
  const char* name;
  const char* candidateLines;  // lines of the [Candidate] section
  const char* message;         // "" when accepted
  const char* value;           // decimal value when accepted
};

class ReadCandidateInputTest : public testing::TestWithParam<InputCase> {};

TEST_P(ReadCandidateInputTest, AcceptsOrRejectsWithMessage) {
  const InputCase& c = GetParam();
  TXFile file;
  file.LoadFromBytes(std::string("[Comments]\r\nfirst\r\nsecond\r\n[Candidate]\r\n") +
                     c.candidateLines);
  TCandidateInput input;
  EXPECT_EQ(ReadCandidateInput(file, input), c.message);
  if (std::string(c.message).empty()) {
    EXPECT_EQ(BigToDecimal(input.N), c.value);
    EXPECT_EQ(input.Comments, "first\r\nsecond");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadCandidateInputTest,
    testing::Values(
        InputCase{"HexTakesPrecedence", "N$=1FFFF\r\nN=5\r\n", "", "131071"},
        InputCase{"HexLowerCase", "N$=1ffff\r\n", "", "131071"},
        InputCase{"BadHex", "N$=1FG\r\n", "Invalid expression", ""},
        InputCase{"EmptyHex", "N$=\r\n", "Candidate binary size < 17", ""},
        InputCase{"Decimal", "N=1000003\r\n", "", "1000003"},
        InputCase{"Expression", "N=2^127-1\r\n", "",
                  "170141183460469231731687303715884105727"},
        InputCase{"ExpressionError", "N=5+\r\n", "Error in expression, code = 3", ""},
        InputCase{"NoCandidate", "Run=1\r\n", "Invalid expression", ""},
        InputCase{"Negative", "N=2-2^20\r\n", "Candidate < 0", ""},
        InputCase{"Bits16", "N=65535\r\n", "Candidate binary size < 17", ""},
        InputCase{"Bits17", "N=65536\r\n", "", "65536"},
        InputCase{"Bits131073", "N=2^131072\r\n", "Candidate binary size > 131072", ""},
        InputCase{"RunZero", "N=65537\r\nRun=0\r\n", "Run parameter should be in 1..6", ""},
        InputCase{"RunSeven", "N=65537\r\nRun=7\r\n", "Run parameter should be in 1..6", ""},
        InputCase{"RunSix", "N=65537\r\nRun=6\r\n", "", "65537"}),
    [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(ReadCandidateInputTest, LargestCandidateAndExpressionKept) {
  TXFile file;
  file.LoadFromBytes("[Candidate]\r\nN=2^131072-1\r\nRun=3\r\n");
  TCandidateInput input;
  ASSERT_EQ(ReadCandidateInput(file, input), "");
  EXPECT_EQ(BigBitSize(input.N), 131072);
  EXPECT_EQ(input.Expression, "2^131072-1");
  EXPECT_EQ(input.Run, 3);

  file.LoadFromBytes("[Candidate]\r\nN= 1000003\r\n");
  ASSERT_EQ(ReadCandidateInput(file, input), "");
  EXPECT_EQ(input.Expression, "");
  EXPECT_EQ(input.Run, 1);
  EXPECT_EQ(input.Comments, "");
}

using WorkingFileTest = FixedClock;

TEST_F(WorkingFileTest, NewWorkingFileLayout) {
  TaskID = "B4906034A6F1B";
  TXFile file;
  TCandidateInput input;
  BigSetPower(input.N, 2, 127);
  BigDecrement(input.N);
  input.Expression = "2^127-1";
  file.FileName = "unused";
  WriteNewWorkingFile(file, input, "/in/m127.in", 12);
  EXPECT_EQ(file.SaveToBytes(),
            "[KARVO - Primality Certificate]\r\nVersion=3.0.9\r\nWebSite=https://karvo.example.org"
            "\r\nFormat=3\r\nID=B4906034A6F1B\r\nCreated=12/05/2026 08:38:15 AM\r\nTestCount=0"
            "\r\nStatus=Running\r\n\r\n"
            "[Comments]\r\nWrite any comment here\r\n\r\n"
            "[Running Times]\r\nInitialization=12\r\n1stPhase=0\r\n2ndPhase=0\r\nTotal=0\r\n\r\n"
            "[Candidate]\r\nFile=/in/m127.in\r\nExpression=2^127-1\r\n"
            "N$=7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\r\nHexadecimalSize=32\r\nDecimalSize=39\r\n"
            "BinarySize=127\r\n\r\n"
            "[X]\r\nve=3009\r\nce=1\r\npe=1\r\ntx=0\r\nsf=0\r\n\r\n");
}

TEST_F(WorkingFileTest, SeventeenBitCandidateSizes) {
  TXFile file;
  TCandidateInput input;
  BigSetWord(input.N, 65537);
  input.Comments = "mine";
  WriteNewWorkingFile(file, input, "a.in", 0);
  EXPECT_EQ(file.ReadString("Candidate", "HexadecimalSize"), "5");
  EXPECT_EQ(file.ReadString("Candidate", "BinarySize"), "17");
  EXPECT_EQ(file.ReadString("Candidate", "DecimalSize"), "5");
  EXPECT_FALSE(file.ValueExists("Candidate", "Expression"));
  EXPECT_EQ(file.ReadComments(), "mine");
}

}  // namespace
}  // namespace karvo
