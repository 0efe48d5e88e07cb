// A started task driver in a temporary folder, through a recording front end:
// the order and limit of the selection, the outcome of each file, the abort.

#include <gtest/gtest.h>

#include "base/Globals.h"
#include "base/Poll.h"
#include "classpolys/DataFiles.h"
#include "files/FilesTestSupport.h"
#include "shell/TaskDriver.h"

namespace karvo {
namespace {

struct TRecorder : TFrontEnd {
  std::string Errors, Ended, Fields[7];
  bool AbortEnabled = false, ConfirmShown = false, Report = false;
  std::function<void()> OnEvents = [] {};
  void ShowField(TTaskKind, TField f, const std::string& t) override { Fields[int(f)] = t; }
  void EnableAbort(bool enabled) override { AbortEnabled = enabled; }
  void ShowConfirmAbort(bool shown) override { ConfirmShown = shown; }
  void ProcessEvents() override { OnEvents(); }
  void ShowError(const std::string& message) override { Errors += message + "|"; }
  void FileEnded(TTaskKind, const TFileOutcome& o) override { Ended += o.Message + "|"; }
  void ShowTaskReport(const std::vector<std::string>& lines) override { Report = !lines.empty(); }
};

TEST(TaskDriverTest, SelectsAndRunsFilesUntilAConfirmedAbortAndFiresTimers) {
  test::TempFolder folder;
  test::CurrentFolder current(folder.Folder());
  TRecorder ui;
  TTaskDriver driver(ui);
  ASSERT_EQ(driver.Start(), "");
  // Table 1 stays for the curve steps; the others wait for their level.
  EXPECT_TRUE(DiscriminantTables[0].size() == 97453 && DiscriminantTables[4].empty());
  auto run = [&](std::vector<std::string> names) {
    for (std::string& name : names) name = folder.Path(name);
    ASSERT_TRUE(driver.SelectFiles(names));
    driver.RunTask(TTaskKind::Verification);
  };
  std::vector<std::string> files(MaxTaskFiles, "/d/x");
  EXPECT_TRUE(driver.SelectFiles(files) && driver.SelectedFiles.size() == 999u);
  driver.SelectedFiles.clear();
  files.push_back("/d/y");
  EXPECT_FALSE(driver.SelectFiles(files) || !driver.SelectedFiles.empty());
  files.resize(500);  // two selections before a task count together
  EXPECT_TRUE(driver.SelectFiles(files) && !driver.SelectFiles(files));
  EXPECT_EQ(ui.Errors, std::string(TextTooManyFiles) + "|" + TextTooManyFiles + "|");
  driver.SelectedFiles.clear();
  EXPECT_TRUE(driver.SelectFiles({"/d/b", "/d/A", "/d/ab", "/d/C", "/d/B", "/d/a", "/d/a"}));
  EXPECT_EQ(driver.SelectedFiles, (std::vector<std::string>{"/d/A", "/d/a", "/d/a", "/d/ab",
                                                            "/d/B", "/d/b", "/d/C"}));
  driver.SelectedFiles.clear();
  for (const char* name : {"a.out", "b.out", "A.out"}) {
    test::WriteBytes(folder.Path(name), "[KARVO - Primality Certificate]\r\nTestCount=0\r\n");
  }
  run({"b.out", "A.out", "none.out"});
  EXPECT_TRUE(driver.SelectedFiles.empty() && !driver.TaskRunning && !driver.StoppedByUser);
  EXPECT_EQ(WorkFolder + ui.Fields[int(TField::Number)], folder.Path("") + "3/3");
  EXPECT_TRUE(test::Exists(folder.Path("karvo-" + TaskID + ".tr")) && ui.Report);
  driver.AbortCommand(), driver.ConfirmAbort();  // no task: no abort left pending
  EXPECT_FALSE(driver.ConfirmAbortShown() || AbortRequested.load());
  driver.TaskRunning = ui.AbortEnabled = true;
  driver.AbortCommand();
  EXPECT_TRUE(driver.ConfirmAbortShown() && ui.ConfirmShown && driver.AbortTimer.Enabled());
  EXPECT_FALSE(ui.AbortEnabled);
  driver.AbortTimerFired();  // not confirmed in time: forgotten
  EXPECT_TRUE(!ui.ConfirmShown && ui.AbortEnabled && !driver.AbortTimer.Enabled());
  driver.TaskRunning = false;
  // Confirmed during the first of two files: it ends aborted, the second never starts.
  ui.OnEvents = [&] { driver.AbortCommand(), driver.ConfirmAbort(); };
  driver.Verifier.OnPhase = [](int32_t) { PollFlag = 1, CheckPoll(); };
  run({"a.out", "b.out"});
  EXPECT_TRUE(driver.StoppedByUser && !ui.AbortEnabled);
  // Confirmed after the file's last poll: it ends normally, the task stops,
  // and nothing is left to hit a later file.
  driver.Verifier.OnPhase = [&](int32_t) { ui.OnEvents(); };
  run({"a.out", "b.out"});
  EXPECT_TRUE(driver.StoppedByUser && !driver.ConfirmAbortShown() && !AbortRequested.load());
  EXPECT_EQ(ui.Ended, "ERROR: Invalid test count|ERROR: Invalid test count|Invalid file name|"
                      "Aborted by user|ERROR: Invalid test count|");
  int fired = 0;
  TEventTimer timer(1000, [&] { ++fired; });
  const auto now = TEventTimer::TClock::now();
  timer.FireIfDue(now + std::chrono::hours(1));  // not enabled
  timer.SetEnabled(true);
  for (const int s : {0, 2, 2}) timer.FireIfDue(now + std::chrono::seconds(s));  // due once
  EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace karvo
