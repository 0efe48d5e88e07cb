#pragma once

// What the fuzz targets share: the file system without syncs, a private
// scratch folder, and a stand-in for the user who aborts a run that takes
// too long. Header-only: each target is one source file.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/Poll.h"
#include "files/TXFile.h"

namespace karvo::fuzz {

// The real file system without the syncs, which would slow the fuzzer down
// a hundredfold and prove nothing here.
class NoSyncOps : public TFileSystemOps {
 public:
  int Fsync(int) override { return 0; }
};

// A private folder for the files a target writes, removed when the fuzzer
// exits normally.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = (std::filesystem::temp_directory_path() / "karvo-fuzz-XXXXXX").string();
    if (::mkdtemp(path_.data()) == nullptr) {
      std::abort();
    }
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// While the object lives, every poll reaches a handler that confirms an
// abort once the budget is spent: the user's abort ends an overlong run in
// the program, and this keeps the abort path under the fuzzer too.
class AbortAfter {
 public:
  explicit AbortAfter(std::chrono::milliseconds budget) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    SetPollHandler([deadline] {
      PollFlag = 1;
      if (std::chrono::steady_clock::now() > deadline) {
        RequestAbort();
      }
    });
    PollFlag = 1;
  }
  ~AbortAfter() {
    ClearPollHandler();
    AbortRequested = 0;
  }
  AbortAfter(const AbortAfter&) = delete;
  AbortAfter& operator=(const AbortAfter&) = delete;
};

}  // namespace karvo::fuzz
