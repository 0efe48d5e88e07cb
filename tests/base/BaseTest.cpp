// Errors and their outcome texts, polling and the abort, task ids, folders.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/TaskId.h"
#include "base/TimerThread.h"

namespace karvo {
namespace {

using namespace std::chrono_literals;

TEST(BaseTest, ErrorsTaskIdsAndFolders) {
  const std::pair<std::function<void()>, const char*> rows[] = {
      {[] { InternalError(1000, 30, 2); }, "ABORTED DUE TO INTERNAL ERROR 1000.30.2"},
      {[] { RaiseError("File error #2001\r\nOperation aborted"); },
       "ABORTED DUE TO INTERNAL ERROR File error #2001"},
      {[] { RaiseError("one line"); }, "ABORTED DUE TO INTERNAL ERROR one line"},
      {[] { throw EKVAbort("x"); }, "Aborted by user"},
      {[] { throw EKVAbortSilent("x"); }, "Aborted"},
      {[] { throw std::bad_alloc(); }, "Aborted due to unknown OS exception"}};
  for (const auto& [raise, text] : rows) {
    try {
      raise();
    } catch (...) {
      EXPECT_EQ(AbortOutcomeText(std::current_exception()), text);
    }
  }
  EXPECT_EQ(LastInternalError, "1000.30.2");  // kept until the next internal error
  EXPECT_THROW(InternalError(2, 12, 40), EKV);
  EXPECT_EQ(LastInternalError, "2.12.40");
  std::string seen;
  SetInformHandler([&](const std::string& message) { seen = message; });
  InformUser("Cannot read karvo.ini");
  SetInformHandler(nullptr);
  EXPECT_EQ(seen, "Cannot read karvo.ini");
  const std::pair<TDateTimeFields, const char*> ids[] = {
      {{1, 1, 0, 1, 0, 0, 0, 0}, "0000100000000"}, {{1, 12, 0, 31, 0, 0, 0, 1}, "0016D00000001"},
      {{2000, 2, 0, 29, 0, 0, 0, 0}, "B244300000000"},
      {{2026, 12, 0, 6, 13, 45, 7, 123}, "B4A7402F36B33"},
      {{9999, 12, 0, 31, 23, 59, 59, 999}, "37B9DB05265BFF"}};
  for (const auto& [time, id] : ids) EXPECT_EQ(TaskIDFromTimeStamp(time), id);
  const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 6} + 49507123ms;
  SetClock([when] { return when; });
  const TDateTimeFields utc = UtcNow();
  EXPECT_EQ(TaskIDFromTimeStamp(utc) + std::to_string(utc.DayOfWeek), "B4A7402F36B330");  // Sunday
  NewTaskID();
  EXPECT_EQ(TaskID, TaskIDFromTimeStamp(LocalNow()));
  SetClock(nullptr);
  EXPECT_TRUE(std::filesystem::exists(ExecutableFolder() + "karvo_tests_base"));
  SetProgramFolder("/opt/karvo");
  EXPECT_EQ(ProgramFolder + WorkFolder + SettingsFileName + HelpFileName,
            "/opt/karvo//opt/karvo//opt/karvo/karvo.ini/opt/karvo/karvo.html");
}

TEST(BaseTest, PollRunsTheHandlerOnceAndRaisesAConfirmedAbort) {
  RequestAbort();  // no handler: ignored
  int calls = 0;
  SetPollHandler([&] { ++calls, Poll(); });  // which does not recurse
  CheckPoll();
  PollFlag = 1;
  CheckPoll();
  EXPECT_EQ(calls + PollFlag, 1);
  RequestAbort();
  EXPECT_THROW(Poll(), EKVAbort);
  EXPECT_EQ(AbortRequested + InPoll * 10, 10);
  Poll();  // blocked until the next handler
  EXPECT_EQ(calls, 2);
  SetPollHandler([] { RequestAbort(); });
  EXPECT_EQ(InPoll, 0);
  EXPECT_THROW(Poll(), EKVAbort);
  // The timer thread raises the flag only while a handler is installed.
  CreateTimerThread();
  for (int file = 0; file < 2; ++file) {
    SetPollHandler([] {});
    EXPECT_FALSE(TTimerThread::Instance()->Suspended());
    for (int wait = 0; PollFlag == 0 && wait < 500; ++wait) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(PollFlag, 1);
    ClearPollHandler();
    EXPECT_TRUE(TTimerThread::Instance()->Suspended());
    EXPECT_EQ(PollFlag + PollEnabled, 0);
    RequestAbort();
    EXPECT_EQ(AbortRequested, 0);
  }
  SetPollHandler([] {});
  FreeTimerThread();
  EXPECT_TRUE(PollFlag == 0 && TTimerThread::Instance() == nullptr);
  ClearPollHandler();
}

}  // namespace
}  // namespace karvo
