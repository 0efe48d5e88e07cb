// The task driver through a recording front end: the order and limit of the
// selection, the outcome of each file and the two-step abort.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "files/FileFormats.h"
#include "files/FilesTestSupport.h"
#include "shell/TaskDriver.h"

namespace karvo {
namespace {

class RecordingFrontEnd : public TFrontEnd {
 public:
  std::map<TField, std::string> Fields;
  std::vector<std::string> Errors;
  std::vector<std::string> Report;
  std::vector<std::string> Ended;
  bool AbortEnabled = false;
  bool ConfirmShown = false;
  int EventPasses = 0;
  std::function<void()> OnEvents;

  void ShowField(TTaskKind, TField field, const std::string& text) override {
    Fields[field] = text;
  }
  void EnableAbort(bool enabled) override { AbortEnabled = enabled; }
  void ShowConfirmAbort(bool shown) override { ConfirmShown = shown; }
  void ProcessEvents() override {
    ++EventPasses;
    if (OnEvents) {
      OnEvents();
    }
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void FileEnded(TTaskKind, const TFileOutcome& outcome) override { Ended.push_back(outcome.Message); }
  void ShowTaskReport(const std::vector<std::string>& lines) override { Report = lines; }
};

// A started driver working in a temporary folder of its own.
class TaskDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    savedWorkFolder_ = WorkFolder;
    ASSERT_EQ(driver_.Start(), "");
  }
  void TearDown() override {
    WorkFolder = savedWorkFolder_;
    ClearPollHandler();
  }
  std::string MakeFile(const std::string& name, const std::string& content) {
    const std::string path = folder_.Path(name);
    test::WriteBytes(path, content);
    return path;
  }

  test::TempFolder folder_;
  test::CurrentFolder current_{folder_.Folder()};
  RecordingFrontEnd ui_;
  TTaskDriver driver_{ui_};
  std::string savedWorkFolder_;
};

TEST(SelectedFileOrderTest, IgnoresCaseAndKeepsPathsThatDifferOnlyInCase) {
  std::vector<std::string> files = {"/d/b.out", "/d/A.out", "/d/a.out", "/d/C.out", "/d/B.out"};
  std::sort(files.begin(), files.end(), SelectedFileLess);
  EXPECT_EQ(files, (std::vector<std::string>{"/d/A.out", "/d/a.out", "/d/B.out", "/d/b.out",
                                             "/d/C.out"}));
  EXPECT_FALSE(SelectedFileLess("/d/a.out", "/d/a.out"));
}

TEST_F(TaskDriverTest, AcceptsAtMost999Files) {
  std::vector<std::string> files(MaxTaskFiles, folder_.Path("x.out"));
  EXPECT_TRUE(driver_.SelectFiles(files));
  EXPECT_EQ(driver_.SelectedFiles.size(), files.size());
  driver_.SelectedFiles.clear();
  files.push_back(folder_.Path("y.out"));
  EXPECT_FALSE(driver_.SelectFiles(files));
  EXPECT_TRUE(driver_.SelectedFiles.empty());
  EXPECT_EQ(ui_.Errors, std::vector<std::string>{TextTooManyFiles});
  // Two selections before a task count together.
  files.resize(500);
  EXPECT_TRUE(driver_.SelectFiles(files));
  EXPECT_FALSE(driver_.SelectFiles(files));
  EXPECT_EQ(driver_.SelectedFiles.size(), 500u);
}

TEST_F(TaskDriverTest, RunsEveryFileInOrderAndWritesTheReportBesideTheFirst) {
  const std::string second = MakeFile("b.out", "[KARVO - Primality Certificate]\r\nTestCount=0\r\n");
  const std::string first = MakeFile("A.out", "not a certificate");
  ASSERT_TRUE(driver_.SelectFiles({second, first, folder_.Path("missing.out")}));
  driver_.RunTask(TTaskKind::Verification);
  ASSERT_EQ(driver_.Outcomes.size(), 3u);
  EXPECT_EQ(driver_.Outcomes[0].File, first);
  EXPECT_EQ(driver_.Outcomes[0].Message, "ERROR: Invalid test count");
  EXPECT_EQ(driver_.Outcomes[1].File, second);
  EXPECT_EQ(driver_.Outcomes[2].Message, "Invalid file name");
  EXPECT_EQ(ui_.Ended, (std::vector<std::string>{"ERROR: Invalid test count",
                                                 driver_.Outcomes[1].Message,
                                                 "Invalid file name"}));
  EXPECT_FALSE(driver_.StoppedByUser);
  EXPECT_TRUE(driver_.SelectedFiles.empty());
  EXPECT_FALSE(driver_.TaskRunning);
  EXPECT_EQ(WorkFolder, folder_.Folder().string() + "/");
  EXPECT_TRUE(test::Exists(TaskReportFileName(WorkFolder, TaskID)));
  EXPECT_FALSE(ui_.Report.empty());
  EXPECT_EQ(ui_.Fields[TField::Number], "3/3");
}

TEST_F(TaskDriverTest, AnAbortNotConfirmedIsForgottenAndAConfirmedOneStopsTheTask) {
  driver_.AbortCommand();  // no task: ignored
  EXPECT_FALSE(driver_.ConfirmAbortShown());
  driver_.ConfirmAbort();  // nothing to confirm: no abort is left pending
  EXPECT_EQ(AbortRequested.load(), 0);

  driver_.TaskRunning = true;
  ui_.AbortEnabled = true;
  driver_.AbortCommand();
  EXPECT_TRUE(driver_.ConfirmAbortShown());
  EXPECT_TRUE(ui_.ConfirmShown);
  EXPECT_FALSE(ui_.AbortEnabled);
  EXPECT_TRUE(driver_.AbortTimer.Enabled());
  driver_.AbortTimerFired();
  EXPECT_FALSE(ui_.ConfirmShown);
  EXPECT_TRUE(ui_.AbortEnabled);
  EXPECT_FALSE(driver_.AbortTimer.Enabled());
  driver_.TaskRunning = false;

  // A confirmed abort during the first of two files: the file ends aborted,
  // the second is never started.
  const std::string first = MakeFile("a.out", "[KARVO - Primality Certificate]\r\nTestCount=0\r\n");
  const std::string second = MakeFile("b.out", "");
  ASSERT_TRUE(driver_.SelectFiles({first, second}));
  int polls = 0;
  ui_.OnEvents = [&] {
    if (++polls == 1) {
      driver_.AbortCommand();
      driver_.ConfirmAbort();
    }
  };
  driver_.Verifier.OnPhase = [](int32_t) {
    PollFlag.store(1);
    CheckPoll();
  };
  driver_.RunTask(TTaskKind::Verification);
  EXPECT_TRUE(driver_.StoppedByUser);
  ASSERT_EQ(driver_.Outcomes.size(), 1u);
  EXPECT_EQ(driver_.Outcomes[0].Message, "Aborted by user");
  EXPECT_FALSE(ui_.AbortEnabled);

  // Confirmed after the first file's last poll: that file ends normally, the
  // task stops, and nothing is left to hit a later file.
  ASSERT_TRUE(driver_.SelectFiles({first, second}));
  driver_.Verifier.OnPhase = [this](int32_t) {
    driver_.AbortCommand();
    driver_.ConfirmAbort();
  };
  driver_.RunTask(TTaskKind::Verification);
  EXPECT_TRUE(driver_.StoppedByUser);
  ASSERT_EQ(driver_.Outcomes.size(), 1u);
  EXPECT_EQ(driver_.Outcomes[0].Message, "ERROR: Invalid test count");
  EXPECT_EQ(AbortRequested.load(), 0);
  EXPECT_FALSE(driver_.ConfirmAbortShown());
}

TEST(EventTimerTest, FiresOnlyWhenEnabledAndDue) {
  int fired = 0;
  TEventTimer timer(1000, [&] { ++fired; });
  const auto now = TEventTimer::TClock::now();
  timer.FireIfDue(now + std::chrono::hours(1));
  EXPECT_EQ(fired, 0);
  timer.SetEnabled(true);
  timer.FireIfDue(now);
  EXPECT_EQ(fired, 0);
  timer.FireIfDue(now + std::chrono::seconds(2));
  EXPECT_EQ(fired, 1);
  timer.FireIfDue(now + std::chrono::seconds(2));
  EXPECT_EQ(fired, 1);
  timer.SetEnabled(false);
  timer.FireIfDue(now + std::chrono::hours(1));
  EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace karvo
