#pragma once

// What the tests of the certifier and of the verifier share around a run:
// the name of the exception it raised, and the poll state put back so that
// an abort provoked by one test cannot reach the next.

#include <exception>
#include <string>

#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"

namespace karvo::test {

// Runs action: "" when it returns, else what it raised ("EKVAbortSilent",
// "EKVAbort", "EKV: message", "std::exception: message" or "unknown"). The
// engines record their outcome before they raise again, so a test looks at
// both.
template <typename F>
std::string RaisedBy(F&& action) {
  try {
    action();
  } catch (const EKVAbortSilent&) {
    return "EKVAbortSilent";
  } catch (const EKVAbort&) {
    return "EKVAbort";
  } catch (const EKV& error) {
    return std::string("EKV: ") + error.what();
  } catch (const std::exception& error) {
    return std::string("std::exception: ") + error.what();
  } catch (...) {
    return "unknown";
  }
  return "";
}

// No poll handler, and every poll, abort and save flag lowered.
inline void ResetPolling() {
  ClearPollHandler();
  AbortRequested.store(0);
  // An abort leaves InPoll set until the next handler is installed.
  InPoll.store(0);
  PollFlag.store(0);
  SaveRequested.store(0);
}

}  // namespace karvo::test
