#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace karvo {

// An error of the system's own, carrying a user-readable message.
class EKV : public std::runtime_error {
 public:
  explicit EKV(const std::string& message) : std::runtime_error(message) {}
};

// The user's confirmed abort: ends the current file and stops the task.
class EKVAbort : public EKV {
 public:
  using EKV::EKV;
};

// Ends the current file without stopping the task.
class EKVAbortSilent : public EKV {
 public:
  using EKV::EKV;
};

[[noreturn]] void RaiseError(const std::string& message);

// Records "unit.routine.case" in LastInternalError and raises
// EKV("Internal error unit.routine.case").
[[noreturn]] void InternalError(int unit, int routine, int kase);

// The outcome text of a file that an exception ended: "Aborted" (silent
// abort), "Aborted by user", "ABORTED DUE TO INTERNAL ERROR <code>" for any
// other error of the system's own (the code of an internal error, else the
// first line of its text), "Aborted due to unknown OS exception".
std::string AbortOutcomeText(const std::exception_ptr& error);

// Shows an information message; the front end decides how (a box, a line on
// stderr). Without a handler the message goes to stderr.
using TInformHandler = std::function<void(const std::string&)>;
void SetInformHandler(TInformHandler handler);
void InformUser(const std::string& message);

}  // namespace karvo
