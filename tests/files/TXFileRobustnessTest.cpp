// Files are untrusted: any bytes must load without harm, huge lines and huge
// section counts must load in linear time, and whatever loads must come back
// unchanged through a save and a fresh load.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "FilesTestSupport.h"
#include "base/Errors.h"
#include "files/TXFile.h"
#include "support/TestEnv.h"

namespace karvo {
namespace {

// Loading what a save wrote gives the same sections, which also holds for
// anything read from arbitrary bytes.
testing::AssertionResult RoundTrips(const TXFile& file) {
  TXFile again;
  again.LoadFromBytes(file.SaveToBytes());
  if (again.Sections.size() != file.Sections.size()) {
    return testing::AssertionFailure()
           << again.Sections.size() << " sections instead of " << file.Sections.size();
  }
  for (size_t i = 0; i < file.Sections.size(); ++i) {
    if (again.Sections[i].Name != file.Sections[i].Name ||
        again.Sections[i].Lines != file.Sections[i].Lines) {
      return testing::AssertionFailure() << "section " << i << " differs";
    }
  }
  return testing::AssertionSuccess();
}

// Bytes biased towards the characters that matter to the reader.
std::string RandomBytes(std::mt19937_64& rng, size_t size) {
  static constexpr char interesting[] = {'[', ']', ';', '=', '\r', '\n', '\0', ' ', 'a', 'K', '$'};
  std::string bytes(size, ' ');
  for (char& c : bytes) {
    const uint64_t pick = rng() % 16;
    c = pick < sizeof interesting ? interesting[pick] : static_cast<char>(rng() & 0xFF);
  }
  return bytes;
}

void ReadEverything(const TXFile& file) {
  std::vector<std::string> names;
  for (const TXSection& section : file.Sections) {
    file.ReadKeyNames(section.Name, names);
    for (const std::string& key : names) {
      (void)file.ReadString(section.Name, key);
      (void)file.ReadInteger(section.Name, key, 3);
      (void)file.ReadInt64(section.Name, key);
      BigInt x;
      try {
        file.ReadBigHex(section.Name, key, x);
      } catch (const EKV&) {
      }
    }
  }
  (void)file.ReadComments();
}

TEST(TXFileRobustnessTest, RandomBytesLoadAndRoundTrip) {
  std::mt19937_64 rng(test::TestSeed());
  SCOPED_TRACE("seed " + std::to_string(test::TestSeed()));
  for (int round = 0; round < 2000 * test::TestMultiplier(); ++round) {
    TXFile file;
    file.LoadFromBytes(RandomBytes(rng, rng() % 400));
    ReadEverything(file);
    ASSERT_TRUE(RoundTrips(file)) << "round " << round;
  }
}

TEST(TXFileRobustnessTest, TenMegabyteLine) {
  const std::string value(10 << 20, 'F');
  TXFile file;
  std::string bytes = "[S]\r\nN$=";
  bytes += value;
  bytes += "\r\nnext=1\r\n";
  file.LoadFromBytes(bytes);
  EXPECT_EQ(file.ReadString("S", "N$"), value);
  EXPECT_EQ(file.ReadInteger("S", "N$", 7), 7);
  EXPECT_EQ(file.ReadInteger("S", "next"), 1);
  EXPECT_TRUE(RoundTrips(file));
}

TEST(TXFileRobustnessTest, TenMegabyteHeaderAndLoneCarriageReturns) {
  std::string bytes(1, '[');
  bytes.append(10 << 20, 'x');
  bytes += ']';
  bytes.append(1 << 20, '\r');
  bytes += "a=1";
  TXFile file;
  file.LoadFromBytes(bytes);
  ASSERT_EQ(file.Sections.size(), 1u);
  EXPECT_EQ(file.Sections[0].Lines, (TXLines{"a=1"}));
}

TEST(TXFileRobustnessTest, HundredThousandSections) {
  std::string bytes;
  for (int i = 0; i < 100000; ++i) {
    bytes += '[';
    bytes += std::to_string(i);
    bytes += "]\r\nType=";
    bytes += std::to_string(i % 5);
    bytes += "\r\n\r\n";
  }
  test::TempFolder folder;
  test::WriteBytes(folder.Path("many.out"), bytes);
  TXFile file(folder.Path("many.out"));
  ASSERT_EQ(file.Sections.size(), 100000u);
  EXPECT_EQ(file.ReadInteger("99999", "Type"), 4);
  EXPECT_EQ(file.SaveToBytes(), bytes);
  file.Save();
  EXPECT_EQ(test::ReadBytes(folder.Path("many.out")), bytes);
}

TEST(TXFileRobustnessTest, BinaryFileWithNulBytes) {
  std::string bytes = "[S]\r\nk=v\r\n";
  bytes += std::string(1000, '\0');
  bytes += "[T]\r\nx=y\r\n";
  test::TempFolder folder;
  test::WriteBytes(folder.Path("nul.out"), bytes);
  const TXFile file(folder.Path("nul.out"));
  ASSERT_EQ(file.Sections.size(), 1u);
  EXPECT_EQ(file.ReadString("S", "k"), "v");
  EXPECT_FALSE(file.SectionExists("T"));
}

}  // namespace
}  // namespace karvo
