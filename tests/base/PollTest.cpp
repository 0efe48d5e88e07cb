#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/Errors.h"
#include "base/Poll.h"
#include "base/TimerThread.h"

namespace karvo {
namespace {

using namespace std::chrono_literals;

// Every case leaves the poll state as it found it: no handler, no flags.
class PollTest : public testing::Test {
 protected:
  void TearDown() override {
    ClearPollHandler();
    AbortRequested = 0;
    FreeTimerThread();
  }
};

// Waits for a condition driven by the timer thread; generous, since only the
// mechanism is under test, not its period.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

TEST_F(PollTest, AbortRequestedWithoutHandlerIsIgnored) {
  RequestAbort();
  EXPECT_EQ(AbortRequested, 0);
  int calls = 0;
  SetPollHandler([&] { ++calls; });
  EXPECT_NO_THROW(Poll());
  EXPECT_EQ(calls, 1);
}

TEST_F(PollTest, ConfirmedAbortRaisesOnceAndBlocksPollingUntilNextHandler) {
  int calls = 0;
  SetPollHandler([&] { ++calls; });
  RequestAbort();
  try {
    Poll();
    FAIL() << "no abort";
  } catch (const EKVAbort& abort) {
    EXPECT_STREQ(abort.what(), "Operation aborted");
  }
  EXPECT_EQ(AbortRequested, 0);
  EXPECT_EQ(InPoll, 1);
  EXPECT_NO_THROW(Poll());
  EXPECT_EQ(calls, 1);
  SetPollHandler([&] { ++calls; });
  EXPECT_EQ(InPoll, 0);
  Poll();
  EXPECT_EQ(calls, 2);
}

TEST_F(PollTest, HandlerThatPollsDoesNotRecurse) {
  int depth = 0;
  int calls = 0;
  SetPollHandler([&] {
    ++calls;
    ++depth;
    EXPECT_EQ(depth, 1);
    Poll();
    Poll();
    --depth;
  });
  Poll();
  Poll();
  EXPECT_EQ(calls, 2);
}

TEST_F(PollTest, AbortRequestedInsideHandlerRaisesAtTheSamePoll) {
  SetPollHandler([] { RequestAbort(); });
  EXPECT_THROW(Poll(), EKVAbort);
}

TEST_F(PollTest, HandlerErrorsPropagateUnchanged) {
  SetPollHandler([] { throw std::runtime_error("window gone"); });
  EXPECT_THROW(Poll(), std::runtime_error);
}

TEST_F(PollTest, CheckPollRunsHandlerOnlyWhenFlagRaised) {
  int calls = 0;
  SetPollHandler([&] { ++calls; });
  CheckPoll();
  EXPECT_EQ(calls, 0);
  PollFlag = 1;
  CheckPoll();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(PollFlag, 0);
}

TEST_F(PollTest, EmptyHandlerClears) {
  SetPollHandler([] {});
  EXPECT_EQ(PollEnabled, 1);
  PollFlag = 1;
  SetPollHandler(nullptr);
  EXPECT_EQ(PollEnabled, 0);
  EXPECT_EQ(PollFlag, 0);
  RequestAbort();
  EXPECT_EQ(AbortRequested, 0);
}

TEST_F(PollTest, TimerThreadRaisesFlagOnlyWhileHandlerInstalled) {
  CreateTimerThread();
  TTimerThread* timer = TTimerThread::Instance();
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->Suspended());

  int calls = 0;
  SetPollHandler([&] { ++calls; });
  EXPECT_FALSE(timer->Suspended());
  EXPECT_TRUE(Eventually([&] {
    CheckPoll();
    return calls >= 2;
  }));

  ClearPollHandler();
  EXPECT_TRUE(timer->Suspended());
  EXPECT_EQ(PollFlag, 0);
  std::this_thread::sleep_for(3 * std::chrono::milliseconds(TTimerThread::PeriodMs));
  EXPECT_EQ(PollFlag, 0);

  // A second file gets a working timer again.
  SetPollHandler([&] { ++calls; });
  const int before = calls;
  EXPECT_TRUE(Eventually([&] {
    CheckPoll();
    return calls > before;
  }));
}

TEST_F(PollTest, FreeingTimerThreadLeavesFlagDown) {
  CreateTimerThread();
  SetPollHandler([] {});
  EXPECT_TRUE(Eventually([] { return PollFlag.load() == 1; }));
  FreeTimerThread();
  EXPECT_EQ(PollFlag, 0);
  EXPECT_EQ(TTimerThread::Instance(), nullptr);
}

}  // namespace
}  // namespace karvo
