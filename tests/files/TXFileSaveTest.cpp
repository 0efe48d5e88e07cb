// Saving: the file on disk after Save, SaveAs and SaveReplace, the old/new
// rotation of double file management, and what a disk failing at any step
// leaves behind: the previous version under the target name, always.

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "FilesTestSupport.h"
#include "base/Errors.h"
#include "base/Settings.h"
#include "files/TXFile.h"

namespace karvo {
namespace {

using test::Exists;
using test::ReadBytes;
using test::WriteBytes;

// A file of some size, distinct for each version.
TXFile Version(const std::string& name, int version, int lines = 20) {
  TXFile file;
  file.FileName = name;
  file.WriteString("Candidate", "Version", std::to_string(version));
  for (int i = 0; i < lines; ++i) {
    file.WriteString("Test " + std::to_string(i), "R$", std::string(i + 1, 'A' + i % 6));
  }
  file.AddComments("version " + std::to_string(version));
  return file;
}

class TXFileSaveTest : public testing::Test {
 protected:
  void TearDown() override { Settings = saved_; }

  // Raises EKV with exactly message.
  static void ExpectFileError(const std::function<void()>& save, const char* message) {
    try {
      save();
      ADD_FAILURE() << "no error raised";
    } catch (const EKVAbort&) {
      ADD_FAILURE() << "abort raised";
    } catch (const EKV& error) {
      EXPECT_STREQ(error.what(), message);
    }
  }

  test::TempFolder folder_;
  const std::string target_ = folder_.Path("c.out");

 private:
  TSettings saved_ = Settings;
};

TEST_F(TXFileSaveTest, SaveLeavesOnlyTheTarget) {
  const TXFile file = Version(target_, 1);
  file.Save();
  EXPECT_EQ(ReadBytes(target_), file.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
  EXPECT_FALSE(Exists(target_ + "old"));
  EXPECT_EQ(TXFile(target_).SaveToBytes(), file.SaveToBytes());
}

TEST_F(TXFileSaveTest, SaveReplacesALongerFileCompletely) {
  WriteBytes(target_, std::string(100000, 'x'));
  const TXFile file = Version(target_, 1, 2);
  file.Save();
  EXPECT_EQ(ReadBytes(target_), file.SaveToBytes());
}

TEST_F(TXFileSaveTest, SaveKeepsTheTargetsPermissions) {
  WriteBytes(target_, "old");
  ASSERT_EQ(::chmod(target_.c_str(), 0640), 0);
  Version(target_, 1).Save();
  struct stat info {};
  ASSERT_EQ(::stat(target_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(TXFileSaveTest, SaveThroughALinkWritesTheFileItNames) {
  const std::string real = folder_.Path("real.out");
  WriteBytes(real, "old");
  ASSERT_EQ(::symlink(real.c_str(), target_.c_str()), 0);
  const TXFile file = Version(target_, 1);
  file.Save();
  struct stat info {};
  ASSERT_EQ(::lstat(target_.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadBytes(real), file.SaveToBytes());
}

TEST_F(TXFileSaveTest, EmptyFileNameSavesNothing) {
  TXFile file = Version("", 1);
  file.Save();
  file.SaveReplace();
  file.SaveAs("");
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Folder()));
}

TEST_F(TXFileSaveTest, SaveAsKeepsFileName) {
  const TXFile file = Version(target_, 1);
  file.SaveAs(folder_.Path("copy.out"));
  EXPECT_EQ(file.FileName, target_);
  EXPECT_EQ(ReadBytes(folder_.Path("copy.out")), file.SaveToBytes());
  EXPECT_FALSE(Exists(target_));
}

TEST_F(TXFileSaveTest, SaveAsKeepsFileNameWhenItFails) {
  const TXFile file = Version(target_, 1);
  ExpectFileError([&] { file.SaveAs(folder_.Path("missing/copy.out")); }, TextFileError2001);
  EXPECT_EQ(file.FileName, target_);
}

TEST_F(TXFileSaveTest, SaveReplaceWithoutDoubleFileManagementKeepsNoOldVersion) {
  Settings.DoubleFileManagement = 0;
  Version(target_, 1).SaveReplace();
  const TXFile second = Version(target_, 2);
  second.SaveReplace();
  EXPECT_EQ(ReadBytes(target_), second.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "old"));
  EXPECT_FALSE(Exists(target_ + "new"));
}

TEST_F(TXFileSaveTest, DoubleFileManagementKeepsThePreviousVersionAsOld) {
  Settings.DoubleFileManagement = 1;
  const TXFile first = Version(target_, 1);
  first.SaveReplace();
  EXPECT_TRUE(Exists(target_));
  EXPECT_FALSE(Exists(target_ + "old"));
  const TXFile second = Version(target_, 2);
  second.SaveReplace();
  EXPECT_EQ(ReadBytes(target_), second.SaveToBytes());
  EXPECT_EQ(ReadBytes(target_ + "old"), first.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
  const TXFile third = Version(target_, 3);
  third.SaveReplace();
  EXPECT_EQ(ReadBytes(target_), third.SaveToBytes());
  EXPECT_EQ(ReadBytes(target_ + "old"), second.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
}

TEST_F(TXFileSaveTest, StaleNewFileIsReplaced) {
  Settings.DoubleFileManagement = 1;
  WriteBytes(target_ + "new", std::string(50000, 'z'));
  const TXFile file = Version(target_, 1);
  file.SaveReplace();
  EXPECT_EQ(ReadBytes(target_), file.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
}

TEST_F(TXFileSaveTest, WithoutHardLinksTheOldVersionIsACopy) {
  Settings.DoubleFileManagement = 1;
  const TXFile first = Version(target_, 1);
  first.SaveReplace();
  test::FailingOps ops;
  ops.FailLink = true;
  test::OpsInstalled installed(ops);
  const TXFile second = Version(target_, 2);
  second.SaveReplace();
  EXPECT_EQ(ReadBytes(target_), second.SaveToBytes());
  EXPECT_EQ(ReadBytes(target_ + "old"), first.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
}

// Every way a save can fail leaves the previous version under the target
// name, no stray new file, and raises the operation's message.
class TXFileSaveFailureTest : public TXFileSaveTest, public testing::WithParamInterface<int> {
 protected:
  // 0: Save, 1: SaveReplace, 2: SaveReplace with double file management.
  void SaveWith(const TXFile& file) const {
    if (GetParam() == 0) {
      file.Save();
    } else {
      file.SaveReplace();
    }
  }
  const char* Message() const { return GetParam() == 0 ? TextFileError2001 : TextFileError2002; }

  void SetUp() override {
    Settings.DoubleFileManagement = GetParam() == 2 ? 1 : 0;
    previous_ = Version(target_, 1).SaveToBytes();
    Version(target_, 1).Save();
  }

  void ExpectFailureKeepsPrevious(test::FailingOps& ops, int lines = 20) {
    const TXFile next = Version(target_, 2, lines);
    {
      test::OpsInstalled installed(ops);
      ExpectFileError([&] { SaveWith(next); }, Message());
    }
    EXPECT_EQ(ReadBytes(target_), previous_);
    EXPECT_FALSE(Exists(target_ + "new"));
    if (Exists(target_ + "old")) {
      EXPECT_EQ(ReadBytes(target_ + "old"), previous_);
    }
  }

  std::string previous_;
};

TEST_P(TXFileSaveFailureTest, DiskFullAfterAnyNumberOfBytes) {
  const size_t size = Version(target_, 2).SaveToBytes().size();
  for (size_t budget = 0; budget < size; ++budget) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    test::FailingOps ops;
    ops.WriteBudget = static_cast<long>(budget);
    ExpectFailureKeepsPrevious(ops);
  }
}

TEST_P(TXFileSaveFailureTest, DiskFullInALargeFile) {
  const size_t size = Version(target_, 2, 3000).SaveToBytes().size();
  ASSERT_GT(size, 200000u);
  for (size_t budget :
       {size_t{0}, size_t{65535}, size_t{65536}, size_t{65537}, size / 2, size - 1}) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    test::FailingOps ops;
    ops.WriteBudget = static_cast<long>(budget);
    ExpectFailureKeepsPrevious(ops, 3000);
  }
}

TEST_P(TXFileSaveFailureTest, FailingSync) {
  test::FailingOps ops;
  ops.FailFileSync = true;
  ExpectFailureKeepsPrevious(ops);
}

TEST_P(TXFileSaveFailureTest, FailingClose) {
  test::FailingOps ops;
  ops.FailClose = true;
  ExpectFailureKeepsPrevious(ops);
}

TEST_P(TXFileSaveFailureTest, FailingRenameAfterTheNewFileIsWritten) {
  test::FailingOps ops;
  ops.FailRename = true;
  ExpectFailureKeepsPrevious(ops);
  EXPECT_EQ(ops.Renames, 1);
  if (GetParam() == 2) {
    EXPECT_EQ(ReadBytes(target_ + "old"), previous_);
  }
}

TEST_P(TXFileSaveFailureTest, FailingOpen) {
  test::FailingOps ops;
  ops.FailOpen = true;
  ExpectFailureKeepsPrevious(ops);
}

TEST_P(TXFileSaveFailureTest, FailingFolderSyncIsReported) {
  test::FailingOps ops;
  ops.FailFolderSync = true;
  const TXFile next = Version(target_, 2);
  {
    test::OpsInstalled installed(ops);
    ExpectFileError([&] { SaveWith(next); }, Message());
  }
  // The rename may have happened; the target then holds the whole new file.
  const std::string now = ReadBytes(target_);
  EXPECT_TRUE(now == previous_ || now == next.SaveToBytes());
  EXPECT_FALSE(Exists(target_ + "new"));
}

TEST_P(TXFileSaveFailureTest, FailedSaveThenSucceeds) {
  test::FailingOps ops;
  ops.WriteBudget = 10;
  ExpectFailureKeepsPrevious(ops);
  const TXFile next = Version(target_, 3);
  SaveWith(next);
  EXPECT_EQ(ReadBytes(target_), next.SaveToBytes());
  if (GetParam() == 2) {
    EXPECT_EQ(ReadBytes(target_ + "old"), previous_);
  }
}

std::string ModeName(const testing::TestParamInfo<int>& info) {
  static const char* const names[] = {"Save", "SaveReplace", "DoubleFileManagement"};
  return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Modes, TXFileSaveFailureTest, testing::Values(0, 1, 2), ModeName);

TEST_F(TXFileSaveTest, OldVersionThatCannotBeKeptStopsTheReplacement) {
  Settings.DoubleFileManagement = 1;
  const std::string previous = Version(target_, 1).SaveToBytes();
  Version(target_, 1).Save();
  const TXFile next = Version(target_, 2);
  test::FailingOps ops;
  ops.FailLink = true;
  // Enough for the new file, not for the copy of the previous one.
  ops.WriteBudget = static_cast<long>(next.SaveToBytes().size() + 5);
  {
    test::OpsInstalled installed(ops);
    ExpectFileError([&] { next.SaveReplace(); }, TextFileError2002);
  }
  EXPECT_EQ(ReadBytes(target_), previous);
  EXPECT_FALSE(Exists(target_ + "new"));
  EXPECT_FALSE(Exists(target_ + "old"));
}

// Permissions do not bind the superuser, who therefore checks as nobody, in
// a child process.
bool AsOrdinaryUser(const std::function<bool()>& check) {
  if (::geteuid() != 0) {
    return check();
  }
  const pid_t child = ::fork();
  if (child == 0) {
    bool ok = false;
    if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
      try {
        ok = check();
      } catch (...) {
      }
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool RaisesFileError(const std::function<void()>& save, const char* message) {
  try {
    save();
  } catch (const EKV& error) {
    return std::string(error.what()) == message;
  }
  return false;
}

TEST_F(TXFileSaveTest, ReadOnlyFolder) {
  Settings.DoubleFileManagement = 1;
  WriteBytes(target_, "previous");
  ASSERT_EQ(::chmod(folder_.Folder().c_str(), 0555), 0);
  EXPECT_TRUE(AsOrdinaryUser([&] {
    test::CurrentFolder inside(folder_.Folder());
    return RaisesFileError([&] { Version(target_, 1).Save(); }, TextFileError2001) &&
           RaisesFileError([&] { Version(target_, 1).SaveReplace(); }, TextFileError2002) &&
           !CanWriteCurrentFolder();
  }));
  EXPECT_EQ(ReadBytes(target_), "previous");
  EXPECT_FALSE(Exists(target_ + "new"));
  EXPECT_FALSE(Exists(target_ + "old"));
}

TEST_F(TXFileSaveTest, ReadOnlyFileSystem) {
  WriteBytes(target_, "previous");
  test::FailingOps ops;
  ops.FailOpen = true;
  test::OpsInstalled installed(ops);
  ExpectFileError([&] { Version(target_, 1).Save(); }, TextFileError2001);
  EXPECT_EQ(ReadBytes(target_), "previous");
  test::CurrentFolder inside(folder_.Folder());
  EXPECT_FALSE(CanWriteCurrentFolder());
}

TEST_F(TXFileSaveTest, CanWriteCurrentFolderLeavesNothingBehind) {
  test::CurrentFolder inside(folder_.Folder());
  EXPECT_TRUE(CanWriteCurrentFolder());
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Folder()));
}

TEST_F(TXFileSaveTest, CanWriteCurrentFolderAvoidsExistingNames) {
  WriteBytes(folder_.Path("karvo.$"), "mine");
  WriteBytes(folder_.Path("karvo.$$"), "mine too");
  test::CurrentFolder inside(folder_.Folder());
  EXPECT_TRUE(CanWriteCurrentFolder());
  EXPECT_EQ(ReadBytes(folder_.Path("karvo.$")), "mine");
  EXPECT_EQ(ReadBytes(folder_.Path("karvo.$$")), "mine too");
  EXPECT_FALSE(Exists(folder_.Path("karvo.$$$")));
}

TEST_F(TXFileSaveTest, CanWriteCurrentFolderReportsEachStep) {
  test::CurrentFolder inside(folder_.Folder());
  for (int step = 0; step < 2; ++step) {
    test::FailingOps ops;
    ops.FailClose = step == 0;
    ops.FailUnlink = step == 1;
    {
      test::OpsInstalled installed(ops);
      EXPECT_FALSE(CanWriteCurrentFolder()) << "step " << step;
    }
    std::filesystem::remove(folder_.Path("karvo.$"));
  }
}

}  // namespace
}  // namespace karvo
