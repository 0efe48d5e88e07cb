// TXFile in memory: what Load reads from bytes, the byte-exact form that
// Save writes, and every read and write operation by section and key.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FilesTestSupport.h"
#include "arith/BigInt.h"
#include "base/Errors.h"
#include "files/TXFile.h"

namespace karvo {
namespace {

using namespace std::string_literals;

TXFile FromBytes(const std::string& bytes) {
  TXFile file;
  file.LoadFromBytes(bytes);
  return file;
}

std::vector<std::string> SectionNames(const TXFile& file) {
  std::vector<std::string> names;
  for (const TXSection& section : file.Sections) {
    names.push_back(section.Name);
  }
  return names;
}

TEST(TXFileFormatTest, SixLineExampleIsByteExact) {
  test::TempFolder folder;
  TXFile file(folder.Path("six.txt"));
  file.WriteString("A", "x", "1");
  file.Sections.back().Lines.push_back("free text");
  file.AddSection("B");
  const std::string expected = "[A]\r\nx=1\r\nfree text\r\n\r\n[B]\r\n\r\n";
  EXPECT_EQ(file.SaveToBytes(), expected);
  file.Save();
  EXPECT_EQ(test::ReadBytes(folder.Path("six.txt")), expected);
}

TEST(TXFileFormatTest, NoSectionsSavesAnEmptyFile) { EXPECT_EQ(TXFile().SaveToBytes(), ""); }

TEST(TXFileLoadTest, SplitsAtCrLfLoneCrAndLoneLf) {
  const TXFile file = FromBytes("[S]\r\na=1\rb=2\nc=3\n\rd=4\r\r\ne=5");
  ASSERT_EQ(file.Sections.size(), 1u);
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"a=1", "b=2", "c=3", "d=4", "e=5"}));
}

TEST(TXFileLoadTest, NulEndsTheText) {
  const TXFile file = FromBytes("[S]\na=1\0b=2\n[T]\nc=3"s);
  EXPECT_EQ(SectionNames(file), (std::vector<std::string>{"S"}));
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"a=1"}));
  EXPECT_TRUE(FromBytes("\0[S]\na=1"s).Sections.empty());
}

TEST(TXFileLoadTest, CommentsEmptyLinesAndTextBeforeTheFirstHeaderLoadAsNothing) {
  EXPECT_TRUE(FromBytes("; a comment\r\n\r\nloose=text\r\nmore\r\n;[S]\r\n").Sections.empty());
  const TXFile file = FromBytes("before\r\n[S]\r\n;gone\r\n\r\nkept\r\n ;kept too\r\n");
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"kept", " ;kept too"}));
}

TEST(TXFileLoadTest, HeaderNamesAreTakenLiterally) {
  const TXFile file =
      FromBytes("[ ]\n[]\n[abc\n[Candidate #3]\n[2, backtrack #1]\n[a]b]\n [X]\n[\n]\n");
  EXPECT_EQ(SectionNames(file),
            (std::vector<std::string>{" ", "", "Candidate #3", "2, backtrack #1", "a]b"}));
  EXPECT_EQ(file.Sections[1].Lines, (TXLines{"[abc"}));
  EXPECT_EQ(file.Sections[4].Lines, (TXLines{" [X]", "[", "]"}));
}

TEST(TXFileLoadTest, LeadingBlanksBelongToTheKey) {
  const TXFile file = FromBytes("[S]\n  k=v\n");
  EXPECT_EQ(file.ReadString("S", "  k"), "v");
  EXPECT_EQ(file.ReadString("S", "k"), "");
  EXPECT_FALSE(file.ValueExists("S", "k"));
}

TEST(TXFileLoadTest, DuplicatesAreKeptAndOnlyTheFirstIsRead) {
  TXFile file = FromBytes("[S]\nk=1\nk=2\n[s]\nk=3\n");
  EXPECT_EQ(file.ReadString("S", "k"), "1");
  EXPECT_EQ(file.ReadString("s", "K"), "1");
  file.WriteString("s", "k", "9");
  EXPECT_EQ(file.SaveToBytes(), "[S]\r\nk=9\r\nk=2\r\n\r\n[s]\r\nk=3\r\n\r\n");
}

TEST(TXFileLoadTest, MissingFileGivesAnEmptyFileWithItsName) {
  test::TempFolder folder;
  const std::string name = folder.Path("absent.out");
  TXFile file(name);
  EXPECT_EQ(file.FileName, name);
  EXPECT_TRUE(file.Sections.empty());
  file.Load(folder.Path("no/such/folder.out"));
  EXPECT_TRUE(file.Sections.empty());
}

TEST(TXFileLoadTest, LoadReplacesEverything) {
  test::TempFolder folder;
  test::WriteBytes(folder.Path("f.ini"), "[New]\r\nk=v\r\n");
  TXFile file = FromBytes("[Old]\nx=y\n");
  file.Load(folder.Path("f.ini"));
  EXPECT_EQ(SectionNames(file), (std::vector<std::string>{"New"}));
  file.Load("");
  EXPECT_TRUE(file.Sections.empty());
  EXPECT_EQ(file.FileName, "");
}

TEST(TXFileLoadTest, UnreadableFileRaises) {
  test::TempFolder folder;
  TXFile file;
  EXPECT_THROW(file.Load(folder.Folder().string()), EKV);
}

TEST(TXFileReadTest, ValueIsEverythingAfterTheFirstEquals) {
  const TXFile file = FromBytes("[S]\nKey=a=b\nEmpty=\nfree text\n");
  EXPECT_EQ(file.ReadString("S", "Key"), "a=b");
  EXPECT_EQ(file.ReadString("S", "Empty"), "");
  EXPECT_TRUE(file.ValueExists("S", "Empty"));
  EXPECT_FALSE(file.ValueExists("S", "free text"));
  EXPECT_EQ(file.ReadString("S", "free text"), "");
  EXPECT_EQ(file.ReadString("T", "Key"), "");
  EXPECT_FALSE(file.ValueExists("T", "Key"));
}

TEST(TXFileReadTest, LookUpIgnoresCase) {
  const TXFile file = FromBytes("[Candidate]\nTestCount=5\n");
  EXPECT_EQ(file.ReadString("candidate", "testcount"), "5");
  EXPECT_EQ(file.ReadInteger("CANDIDATE", "TESTCOUNT"), 5);
  EXPECT_TRUE(file.SectionExists("cAnDiDaTe"));
  EXPECT_FALSE(file.SectionExists("Candidates"));
}

TEST(TXFileReadTest, KeyNamesInOrderWithEmptyNamesForFreeText) {
  const TXFile file = FromBytes("[S]\na=1\nfree\n=x\nb=c=d\n");
  std::vector<std::string> names{"stale"};
  file.ReadKeyNames("S", names);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "", "", "b"}));
  file.ReadKeyNames("T", names);
  EXPECT_TRUE(names.empty());
}

TEST(TXFileReadTest, CommentsJoinedByCrLf) {
  EXPECT_EQ(FromBytes("[Comments]\na\nb\n").ReadComments(), "a\r\nb");
  EXPECT_EQ(FromBytes("[comments]\nonly\n").ReadComments(), "only");
  EXPECT_EQ(FromBytes("[Other]\na\n").ReadComments(), "");
  EXPECT_EQ(FromBytes("[Comments]\n").ReadComments(), "");
  TXFile file;
  file.AddSection("Comments").push_back("");
  EXPECT_EQ(file.ReadComments(), "");
}

struct IntegerCase {
  const char* text;
  int32_t value;  // with default -99
};

class TXFileReadIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(TXFileReadIntegerTest, AcceptsDecimalAndHexadecimalForms) {
  const IntegerCase& c = GetParam();
  const TXFile file = FromBytes("[S]\nk="s + c.text + "\n");
  EXPECT_EQ(file.ReadInteger("S", "k", -99), c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TXFileReadIntegerTest,
    testing::Values(
        IntegerCase{"42", 42}, IntegerCase{"-42", -42}, IntegerCase{"+7", 7}, IntegerCase{"007", 7},
        IntegerCase{"-0", 0}, IntegerCase{"$1F", 31}, IntegerCase{"$1f", 31},
        IntegerCase{"0x1f", 31}, IntegerCase{"0X1F", 31}, IntegerCase{"-$10", -16},
        IntegerCase{"+0x10", 16}, IntegerCase{"2147483647", 2147483647},
        IntegerCase{"-2147483648", -2147483647 - 1}, IntegerCase{"$7FFFFFFF", 2147483647},
        IntegerCase{"-$80000000", -2147483647 - 1}, IntegerCase{" 12", 12},
        IntegerCase{"12\t ", 12}, IntegerCase{"2147483648", -99}, IntegerCase{"-2147483649", -99},
        IntegerCase{"$80000000", -99}, IntegerCase{"$FFFFFFFF", -99},
        IntegerCase{"99999999999999999999", -99}, IntegerCase{"", -99}, IntegerCase{" ", -99},
        IntegerCase{"+", -99}, IntegerCase{"-", -99}, IntegerCase{"$", -99}, IntegerCase{"0x", -99},
        IntegerCase{"abc", -99}, IntegerCase{"12a", -99}, IntegerCase{"1 2", -99},
        IntegerCase{"1F", -99}, IntegerCase{"--1", -99}, IntegerCase{"$-1", -99},
        IntegerCase{"1.5", -99}, IntegerCase{"1e3", -99}));

TEST(TXFileReadTest, IntegerDefaults) {
  const TXFile file = FromBytes("[S]\nbad=x\n");
  EXPECT_EQ(file.ReadInteger("S", "missing", 17), 17);
  EXPECT_EQ(file.ReadInteger("S", "bad", 17), 17);
  EXPECT_EQ(file.ReadInteger("S", "bad"), 0);
  EXPECT_EQ(file.ReadInteger("T", "bad"), 0);
}

TEST(TXFileReadTest, Int64Range) {
  const TXFile file = FromBytes(
      "[S]\nmax=9223372036854775807\nmin=-9223372036854775808\nover=9223372036854775808\n"
      "hex=$7FFFFFFFFFFFFFFF\nbig=4294967296\nbad=x\n");
  EXPECT_EQ(file.ReadInt64("S", "max"), INT64_MAX);
  EXPECT_EQ(file.ReadInt64("S", "min"), INT64_MIN);
  EXPECT_EQ(file.ReadInt64("S", "over"), 0);
  EXPECT_EQ(file.ReadInt64("S", "hex"), INT64_MAX);
  EXPECT_EQ(file.ReadInt64("S", "big"), int64_t{4294967296});
  EXPECT_EQ(file.ReadInt64("S", "bad"), 0);
  EXPECT_EQ(file.ReadInt64("S", "missing"), 0);
  EXPECT_EQ(file.ReadInteger("S", "big", 3), 3);
}

TEST(TXFileReadTest, BigHexGoesThroughTheBigIntegerParser) {
  const TXFile file = FromBytes("[S]\nN$=1F\nM$=-123456789ABCDEF0123\nX$=12G\nE$=\n");
  BigInt x;
  file.ReadBigHex("S", "n$", x);
  EXPECT_EQ(BigToHex(x), "1F");
  file.ReadBigHex("S", "M$", x);
  EXPECT_EQ(BigToHex(x), "-123456789ABCDEF0123");
  EXPECT_THROW(file.ReadBigHex("S", "X$", x), EKV);
  // The parser reads the empty text, hence also a missing key, as zero.
  file.ReadBigHex("S", "E$", x);
  EXPECT_TRUE(BigIsZero(x));
  BigSetWord(x, 5);
  file.ReadBigHex("S", "missing$", x);
  EXPECT_TRUE(BigIsZero(x));
}

TEST(TXFileWriteTest, WriteStringReplacesInPlaceOrAppends) {
  TXFile file = FromBytes("[S]\na=1\nTestCount=5\nc=3\n");
  file.WriteString("S", "testcount", "6");
  file.WriteString("S", "d", "x=y");
  file.WriteString("New", "k", "");
  EXPECT_EQ(file.SaveToBytes(),
            "[S]\r\na=1\r\ntestcount=6\r\nc=3\r\nd=x=y\r\n\r\n[New]\r\nk=\r\n\r\n");
}

TEST(TXFileWriteTest, WriteStringsInOrderIntoOneSection) {
  TXFile file;
  file.WriteStrings("S", {{"a", "1"}, {"b", "2"}, {"a", "3"}});
  ASSERT_EQ(file.Sections.size(), 1u);
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"a=3", "b=2"}));
}

TEST(TXFileWriteTest, DeleteKeyRemovesTheFirstMatchOnly) {
  TXFile file = FromBytes("[S]\na=1\nb=2\nA=3\n");
  file.DeleteKey("s", "a");
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"b=2", "A=3"}));
  file.DeleteKey("S", "missing");
  file.DeleteKey("T", "b");
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"b=2", "A=3"}));
  file.DeleteKeys("S", {"a", "b", "zz"});
  EXPECT_TRUE(file.Sections[0].Lines.empty());
}

TEST(TXFileWriteTest, EraseSectionRemovesTheFirstOfThatName) {
  TXFile file = FromBytes("[A]\n[B]\nx=1\n[C]\n[b]\ny=2\n");
  file.EraseSection("b");
  EXPECT_EQ(SectionNames(file), (std::vector<std::string>{"A", "C", "b"}));
  file.EraseSection("missing");
  EXPECT_EQ(file.Sections.size(), 3u);
  EXPECT_EQ(file.ReadString("B", "y"), "2");
}

TEST(TXFileWriteTest, RenameSectionKeepsPlaceAndLines) {
  TXFile file = FromBytes("[2]\n[3]\nType=-4\n[4]\n");
  file.RenameSection("3", "3, backtrack #1");
  EXPECT_EQ(SectionNames(file), (std::vector<std::string>{"2", "3, backtrack #1", "4"}));
  EXPECT_EQ(file.ReadString("3, backtrack #1", "Type"), "-4");
  file.RenameSection("2", "4");
  file.RenameSection("missing", "5");
  file.RenameSection("2", "3, BACKTRACK #1");
  EXPECT_EQ(SectionNames(file), (std::vector<std::string>{"2", "3, backtrack #1", "4"}));
}

TEST(TXFileWriteTest, AddCommentsOnlyWhenThereAreNone) {
  TXFile file;
  file.AddComments("");
  EXPECT_EQ(file.ReadComments(), "Write any comment here");
  file.AddComments("other");
  EXPECT_EQ(file.Sections.size(), 1u);
  EXPECT_EQ(file.ReadComments(), "Write any comment here");
}

TEST(TXFileWriteTest, CommentWithLineBreaksIsWrittenAsSeveralLines) {
  TXFile file;
  file.AddComments("first\r\nsecond");
  EXPECT_EQ(file.Sections[0].Lines.size(), 1u);
  EXPECT_EQ(file.ReadComments(), "first\r\nsecond");
  const std::string bytes = file.SaveToBytes();
  EXPECT_EQ(bytes, "[Comments]\r\nfirst\r\nsecond\r\n\r\n");
  const TXFile reloaded = FromBytes(bytes);
  EXPECT_EQ(reloaded.Sections[0].Lines, (TXLines{"first", "second"}));
  EXPECT_EQ(reloaded.ReadComments(), "first\r\nsecond");
}

TEST(TXFileWriteTest, AddSectionListStaysValidWhileSectionsAreAdded) {
  TXFile file;
  TXLines& first = file.AddSection("A");
  for (int i = 0; i < 1000; ++i) {
    file.WriteString(std::to_string(i), "k", "v");
  }
  first.push_back("x=1");
  EXPECT_EQ(file.ReadString("A", "x"), "1");
}

TEST(TXFileWriteTest, ClearDropsEverything) {
  TXFile file = FromBytes("[A]\nx=1\n");
  file.Clear();
  EXPECT_TRUE(file.Sections.empty());
  EXPECT_FALSE(file.SectionExists("A"));
}

TEST(TXFileTextTest, SameTextFoldsAsciiLettersOnly) {
  EXPECT_TRUE(TXSameText("Setup+", "SETUP+"));
  EXPECT_TRUE(TXSameText("", ""));
  EXPECT_FALSE(TXSameText("a", "ab"));
  EXPECT_FALSE(TXSameText("[", "{"));
  EXPECT_FALSE(TXSameText("\xC9", "\xE9"));
}

}  // namespace
}  // namespace karvo
