#include <gtest/gtest.h>

#include <filesystem>

#include "base/Globals.h"

namespace karvo {
namespace {

TEST(ProgramFolderTest, IsTheFolderOfTheRunningExecutable) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "karvo_tests_base"));
}

TEST(ProgramFolderTest, DerivedNamesFollowTheFolder) {
  const std::string saved = ProgramFolder;
  SetProgramFolder("/opt/karvo");
  EXPECT_EQ(ProgramFolder, "/opt/karvo/");
  EXPECT_EQ(WorkFolder, "/opt/karvo/");
  EXPECT_EQ(SettingsFileName, "/opt/karvo/karvo.ini");
  EXPECT_EQ(HelpFileName, "/opt/karvo/karvo.html");
  SetProgramFolder(saved);
}

}  // namespace
}  // namespace karvo
