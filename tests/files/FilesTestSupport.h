#pragma once

// Temporary folders and raw file access for the file tests, plus a
// file-system stand-in that fails on demand.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "base/Clock.h"
#include "files/TXFile.h"

namespace karvo::test {

// A fresh folder under the system's temporary folder, removed with all its
// content on destruction.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("karvo-files-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) {
        break;
      }
    }
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Folder() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Enters a folder for the lifetime of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::filesystem::path& folder)
      : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() {
    std::error_code error;
    std::filesystem::current_path(saved_, error);
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

// Local time fixed at an instant, in UTC, for the lifetime of the object, so
// that dates written into files are known in advance.
class FixedLocalTime {
 public:
  explicit FixedLocalTime(std::chrono::system_clock::time_point when) {
    SetClock([when] { return when; });
    const char* tz = std::getenv("TZ");
    savedTz_ = tz != nullptr ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~FixedLocalTime() {
    SetClock(nullptr);
    if (hadTz_) {
      setenv("TZ", savedTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  FixedLocalTime(const FixedLocalTime&) = delete;
  FixedLocalTime& operator=(const FixedLocalTime&) = delete;

 private:
  std::string savedTz_;
  bool hadTz_ = false;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The real calls, except those told to fail. A write budget lets the first
// bytes through and then reports a full disk, as a disk that fills up
// halfway would; the failing close still closes the descriptor.
class FailingOps : public TFileSystemOps {
 public:
  long WriteBudget = -1;  // bytes still accepted; -1: no limit
  bool FailOpen = false;
  bool FailFileSync = false;
  bool FailFolderSync = false;
  bool FailClose = false;
  bool FailRename = false;
  bool FailLink = false;
  bool FailUnlink = false;
  int Renames = 0;

  int Open(const std::string& path, int flags, unsigned mode) override {
    if (FailOpen) {
      errno = EROFS;
      return -1;
    }
    return TFileSystemOps::Open(path, flags, mode);
  }
  long Write(int fd, const char* data, size_t size) override {
    if (WriteBudget >= 0) {
      if (WriteBudget == 0) {
        errno = ENOSPC;
        return -1;
      }
      size = std::min(size, static_cast<size_t>(WriteBudget));
    }
    const long written = TFileSystemOps::Write(fd, data, size);
    if (written > 0 && WriteBudget >= 0) {
      WriteBudget -= written;
    }
    return written;
  }
  int Fsync(int fd) override {
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    if (folder ? FailFolderSync : FailFileSync) {
      errno = EIO;
      return -1;
    }
    return TFileSystemOps::Fsync(fd);
  }
  int Close(int fd) override {
    const int result = TFileSystemOps::Close(fd);
    if (FailClose) {
      errno = EIO;
      return -1;
    }
    return result;
  }
  int Rename(const std::string& from, const std::string& to) override {
    ++Renames;
    if (FailRename) {
      errno = EIO;
      return -1;
    }
    return TFileSystemOps::Rename(from, to);
  }
  int Link(const std::string& from, const std::string& to) override {
    if (FailLink) {
      errno = EPERM;
      return -1;
    }
    return TFileSystemOps::Link(from, to);
  }
  int Unlink(const std::string& path) override {
    if (FailUnlink) {
      errno = EIO;
      return -1;
    }
    return TFileSystemOps::Unlink(path);
  }
};

// Installs ops for the lifetime of the object.
class OpsInstalled {
 public:
  explicit OpsInstalled(TFileSystemOps& ops) { SetFileSystemOps(&ops); }
  ~OpsInstalled() { SetFileSystemOps(nullptr); }
  OpsInstalled(const OpsInstalled&) = delete;
  OpsInstalled& operator=(const OpsInstalled&) = delete;
};

}  // namespace karvo::test
