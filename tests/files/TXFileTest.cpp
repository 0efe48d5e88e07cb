// TXFile: what any bytes load to and save back as, look-ups, numbers, edits,
// and what each kind of save, or a disk failing at any step, leaves on disk.

#include <gtest/gtest.h>

#include <functional>

#include "FilesTestSupport.h"
#include "base/Errors.h"
#include "base/Settings.h"

namespace karvo {
namespace {

using namespace std::string_literals;
using test::Exists;
using test::ReadBytes;

TXFile FromBytes(const std::string& bytes) {
  TXFile file;
  file.LoadFromBytes(bytes);
  return file;
}

// The message raised, or "".
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EKV& error) {
    return error.what();
  }
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
    return (file.ValueExists(section, key) ? "+" : "-") + file.ReadString(section, key);
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
  file.DeleteKey("S", "a");
  file.DeleteKey("S", "none");
  file.DeleteKey("none", "k");
  file.DeleteKeys("S", {"k", "z"});
  file.EraseSection("b");
  file.EraseSection("none");
  file.RenameSection("3", "3, b #1");
  file.RenameSection("4", "3, B #1");
  file.RenameSection("none", "5");
  file.AddComments("a\r\nb");
  file.AddComments("other");
  for (int i = 0; i < 1000; ++i) file.AddSection("C");
  added.push_back("x");
  file.Sections.resize(10);
  EXPECT_EQ(test::Bars(file.SaveToBytes()),
            "[S]|testcount=6|k=2|d=3||[s]||[b]|y=2||[3, b #1]|T=4||[4]||[A]|x||[New]|e=||"
            "[Comments]|a|b||[C]||[C]||");
  file.Clear();
  file.AddComments("");
  EXPECT_EQ(test::Bars(file.SaveToBytes()), "[Comments]|Write any comment here||");
}

TEST(TXFileTest, ReadsIntegersInRangeElseTheDefault) {
  // Text, ReadInteger with default -99, ReadInt64.
  const std::tuple<const char*, int32_t, int64_t> rows[] = {
      {"42", 42, 42}, {"-42", -42, -42}, {"+7", 7, 7}, {"007", 7, 7}, {"-0", 0, 0},
      {"$1f", 31, 31}, {"0X1F", 31, 31}, {"0x1f", 31, 31}, {"-$10", -16, -16}, {"+0x10", 16, 16},
      {" 12", 12, 12}, {"12\t ", 12, 12}, {"2147483647", INT32_MAX, INT32_MAX},
      {"-2147483648", INT32_MIN, INT32_MIN}, {"$7FFFFFFF", INT32_MAX, INT32_MAX},
      {"-$80000000", INT32_MIN, INT32_MIN}, {"2147483648", -99, 2147483648},
      {"-2147483649", -99, -2147483649}, {"$FFFFFFFF", -99, 0xFFFFFFFF},
      {"9223372036854775807", -99, INT64_MAX}, {"-9223372036854775808", -99, INT64_MIN},
      {"$7FFFFFFFFFFFFFFF", -99, INT64_MAX}, {"9223372036854775808", -99, 0},
      {"99999999999999999999", -99, 0}, {"", -99, 0}, {" ", -99, 0}, {"+", -99, 0},
      {"-", -99, 0}, {"$", -99, 0}, {"0x", -99, 0}, {"12a", -99, 0}, {"1 2", -99, 0},
      {"1F", -99, 0}, {"--1", -99, 0}, {"$-1", -99, 0}, {"1.5", -99, 0}};
  for (const auto& [text, value, value64] : rows) {
    const TXFile file = FromBytes("[S]\nk="s + text);
    EXPECT_EQ(file.ReadInteger("S", "k", -99), value) << '"' << text << '"';
    EXPECT_EQ(file.ReadInt64("s", "K"), value64) << '"' << text << '"';
  }
  EXPECT_EQ(FromBytes("[S]\nk=x").ReadInteger("S", "k"), 0);
}

// Versions of c.out in a temporary folder, of some size and distinct.
class TXFileSaveTest : public testing::Test {
 protected:
  void TearDown() override { Settings = saved_; }
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
  }

  test::TempFolder folder_;
  const std::string target_ = folder_.Path("c.out");
  TSettings saved_ = Settings;
};

TEST_F(TXFileSaveTest, EachSaveWritesTheWholeFileAndKeepsTheOldOneOnlyWhenAsked) {
  Settings.DoubleFileManagement = 0;
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
  v1.Save();
  ExpectOnly(v1, "");
  struct stat info {};
  EXPECT_TRUE(::stat(target_.c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
  file.Load(target_);
  EXPECT_EQ(file.SaveToBytes(), v1.SaveToBytes());
  v2.SaveReplace();
  ExpectOnly(v2, "");
  Settings.DoubleFileManagement = 1;
  v3.Save();
  ExpectOnly(v3, "");
  v1.SaveReplace();
  ExpectOnly(v1, v3.SaveToBytes());
  test::FailingOps noLinks;
  noLinks.FailLink = true;
  test::OpsInstalled installed(noLinks);
  v2.SaveReplace();  // the old version is then a copy
  ExpectOnly(v2, v1.SaveToBytes());
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
TEST_F(TXFileSaveTest, FailuresKeepThePreviousVersion) {
  const TXFile previous = Version(1), next = Version(2, 380);
  const auto size = static_cast<long>(next.SaveToBytes().size());
  std::vector<long> budgets = {65535, 65536, 65537, size - 1};
  for (long budget = -4; budget < 500; ++budget) budgets.push_back(budget);
  for (int mode = 0; mode < 3; ++mode) {
    Settings.DoubleFileManagement = mode == 2 ? 1 : 0;
    const char* message = mode == 0 ? TextFileError2001 : TextFileError2002;
    auto save = [mode, &next] { mode == 0 ? next.Save() : next.SaveReplace(); };
    previous.Save();
    for (const long budget : budgets) {  // below 0: one failing call instead
      SCOPED_TRACE("mode " + std::to_string(mode) + ", budget " + std::to_string(budget));
      test::FailingOps ops;
      ops.WriteBudget = std::max(budget, -1L);
      ops.FailOpen = budget == -1;
      ops.FailFileSync = budget == -2;
      ops.FailClose = budget == -3;
      ops.FailRename = budget == -4;
      test::OpsInstalled installed(ops);
      EXPECT_EQ(ErrorOf(save), message);
      ExpectOnly(previous, mode == 2 && ops.FailRename ? previous.SaveToBytes() : "");
      EXPECT_EQ(ops.Renames, ops.FailRename ? 1 : 0);
      std::filesystem::remove(target_ + "old");
    }
    // The folder sync after the rename, or after keeping the old version.
    test::FailingOps ops;
    ops.FailFolderSync = true;
    test::OpsInstalled installed(ops);
    EXPECT_EQ(ErrorOf(save), message);
    ExpectOnly(mode == 2 ? previous : next, mode == 2 ? previous.SaveToBytes() : "");
    std::filesystem::remove(target_ + "old");
  }
  // Without links, an old version that cannot be copied stops the replacement.
  previous.Save();
  test::FailingOps ops;
  ops.FailLink = true;
  ops.WriteBudget = size + 5;
  test::OpsInstalled installed(ops);
  EXPECT_EQ(ErrorOf([&] { next.SaveReplace(); }), TextFileError2002);
  ExpectOnly(previous, "");
  // The check that the current folder can be written tries a free name.
  test::WriteBytes(folder_.Path("karvo.$"), "mine");
  test::CurrentFolder inside(folder_.Folder());
  EXPECT_TRUE(CanWriteCurrentFolder() && ReadBytes("karvo.$") == "mine" && !Exists("karvo.$$"));
  for (int step = 0; step < 3; ++step) {
    ops.FailOpen = step == 0;
    ops.FailClose = step == 1;
    ops.FailUnlink = step == 2;
    EXPECT_FALSE(CanWriteCurrentFolder()) << "step " << step;
  }
}

}  // namespace
}  // namespace karvo
