// The task driver through a recording front end: the order and limit of the
// selection, the outcome of each file, the two-step abort and its timer.

#include <gtest/gtest.h>

#include <map>

#include "base/Globals.h"
#include "base/Poll.h"
#include "files/FilesTestSupport.h"
#include "shell/TaskDriver.h"

namespace karvo {
namespace {

struct TRecorder : TFrontEnd {
  std::map<TField, std::string> Fields;
  std::string Errors, Ended;
  std::vector<std::string> Report;
  bool AbortEnabled = false, ConfirmShown = false;
  std::function<void()> OnEvents = [] {};
  void ShowField(TTaskKind, TField field, const std::string& text) override { Fields[field] = text; }
  void EnableAbort(bool enabled) override { AbortEnabled = enabled; }
  void ShowConfirmAbort(bool shown) override { ConfirmShown = shown; }
  void ProcessEvents() override { OnEvents(); }
  void ShowError(const std::string& message) override { Errors += message + "|"; }
  void FileEnded(TTaskKind, const TFileOutcome& o) override { Ended += o.Message + "|"; }
  void ShowTaskReport(const std::vector<std::string>& lines) override { Report = lines; }
};

// A started driver working in a temporary folder of its own.
class TaskDriverTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(driver_.Start(), ""); }
  void TearDown() override { WorkFolder = savedWorkFolder_; }
  std::string File(const std::string& name, const std::string& content) {
    test::WriteBytes(folder_.Path(name), content);
    return folder_.Path(name);
  }
  void Run(const std::vector<std::string>& files) {
    ASSERT_TRUE(driver_.SelectFiles(files));
    driver_.RunTask(TTaskKind::Verification);
  }

  test::TempFolder folder_;
  test::CurrentFolder current_{folder_.Folder()};
  TRecorder ui_;
  TTaskDriver driver_{ui_};
  std::string savedWorkFolder_ = WorkFolder;
  const std::string empty_ = "[KARVO - Primality Certificate]\r\nTestCount=0\r\n";
};

TEST_F(TaskDriverTest, SelectsAtMost999FilesInCaseInsensitiveOrder) {
  std::vector<std::string> files(MaxTaskFiles, "/d/x");
  EXPECT_TRUE(driver_.SelectFiles(files) && driver_.SelectedFiles.size() == 999u);
  driver_.SelectedFiles.clear();
  files.push_back("/d/y");
  EXPECT_FALSE(driver_.SelectFiles(files) || !driver_.SelectedFiles.empty());
  files.resize(500);  // two selections before a task count together
  EXPECT_TRUE(driver_.SelectFiles(files) && !driver_.SelectFiles(files));
  EXPECT_EQ(ui_.Errors, std::string(TextTooManyFiles) + "|" + TextTooManyFiles + "|");
  driver_.SelectedFiles.clear();
  EXPECT_TRUE(driver_.SelectFiles({"/d/b", "/d/A", "/d/a", "/d/C", "/d/B", "/d/a"}));
  EXPECT_EQ(driver_.SelectedFiles,
            (std::vector<std::string>{"/d/A", "/d/a", "/d/a", "/d/B", "/d/b", "/d/C"}));
  EXPECT_TRUE(SelectedFileLess("/d/a", "/d/ab") && !SelectedFileLess("/d/ab", "/d/a"));
  int fired = 0;
  TEventTimer timer(1000, [&] { ++fired; });
  const auto now = TEventTimer::TClock::now();
  for (const int seconds : {3600, 0, 2, 2}) {  // not enabled, not due, due, done
    timer.FireIfDue(now + std::chrono::seconds(seconds));
    if (seconds == 3600) timer.SetEnabled(true);
  }
  timer.SetEnabled(false);
  timer.FireIfDue(now + std::chrono::hours(2));
  EXPECT_EQ(fired, 1);
}

TEST_F(TaskDriverTest, RunsEveryFileInOrderUntilAConfirmedAbort) {
  Run({File("b.out", empty_), File("A.out", "not a certificate"), folder_.Path("none.out")});
  EXPECT_EQ(ui_.Ended, "ERROR: Invalid test count|" + driver_.Outcomes[1].Message +
                           "|Invalid file name|");
  EXPECT_EQ(driver_.Outcomes[0].File + driver_.Outcomes[1].File,
            folder_.Path("A.out") + folder_.Path("b.out"));
  EXPECT_TRUE(driver_.SelectedFiles.empty() && !driver_.TaskRunning && !driver_.StoppedByUser);
  EXPECT_EQ(WorkFolder, folder_.Path(""));
  EXPECT_TRUE(test::Exists(folder_.Path("karvo-" + TaskID + ".tr")) && !ui_.Report.empty());
  EXPECT_EQ(ui_.Fields[TField::Number], "3/3");

  driver_.AbortCommand();  // no task: ignored
  driver_.ConfirmAbort();  // nothing to confirm: no abort left pending
  EXPECT_FALSE(driver_.ConfirmAbortShown() || AbortRequested.load());
  driver_.TaskRunning = ui_.AbortEnabled = true;
  driver_.AbortCommand();
  EXPECT_TRUE(driver_.ConfirmAbortShown() && ui_.ConfirmShown && driver_.AbortTimer.Enabled());
  EXPECT_FALSE(ui_.AbortEnabled);
  driver_.AbortTimerFired();  // not confirmed in time: forgotten
  EXPECT_TRUE(!ui_.ConfirmShown && ui_.AbortEnabled && !driver_.AbortTimer.Enabled());
  driver_.TaskRunning = false;
  // Confirmed during the first of two files: it ends aborted, the second is never started.
  ui_.OnEvents = [this] {
    driver_.AbortCommand();
    driver_.ConfirmAbort();
  };
  driver_.Verifier.OnPhase = [](int32_t) {
    PollFlag.store(1);
    CheckPoll();
  };
  ui_.Ended.clear();
  Run({File("a.out", empty_), File("c.out", "")});
  EXPECT_TRUE(driver_.StoppedByUser && !ui_.AbortEnabled);
  EXPECT_EQ(ui_.Ended, "Aborted by user|");
  // Confirmed after the file's last poll: it ends normally, the task stops, and
  // nothing is left to hit a later file.
  driver_.Verifier.OnPhase = [this](int32_t) { ui_.OnEvents(); };
  Run({File("a.out", empty_), File("c.out", "")});
  EXPECT_TRUE(driver_.StoppedByUser && !driver_.ConfirmAbortShown() && !AbortRequested.load());
  EXPECT_EQ(ui_.Ended, "Aborted by user|ERROR: Invalid test count|");
}

}  // namespace
}  // namespace karvo
